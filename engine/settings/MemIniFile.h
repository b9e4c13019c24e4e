#pragma once

// TMemIniFile: an INI file held in memory, read whole at construction and
// written whole by UpdateFile only.
//
// The dialect. It reads back everything it writes and survives anything else.
// - Encoding. Written in UTF-8 with LF line ends and no BOM. Read: a UTF-8
//   BOM is skipped and CRLF is taken like LF. A file that is not valid UTF-8
//   is read as CP932, the code page of files made on Windows, and converted;
//   one that is not valid CP932 either is taken line by line (UTF-8 if the
//   line is, else CP932 if it is, else its bad bytes become U+FFFD).
// - Lines. "[name]" starts a section (blanks around it are allowed).
//   "key=value": the key is the text before the first "=" without blanks
//   (space, tab) around it; the value is the whole text after that "=",
//   unchanged apart from the escape below. Section and key names match
//   without regard to ASCII case.
// - Everything else survives a save in its place: comments (";" or "#"),
//   lines without "=" or with an empty key, lines before the first section,
//   keys and sections that no one reads. Blank lines do not; the writer puts
//   one between sections.
// - Repeats. A section that appears again continues the first one. In a
//   section the first line of a key wins; a later line of the same key is
//   kept as it is but is never read, listed or changed.
// - Integers: an optional sign and decimal digits within 32 bits, blanks
//   around ignored. Booleans are written "1" and "0" and read as 1, 0, true
//   or false in any ASCII case, blanks around ignored. Anything else reads
//   as the caller's default.
//
// Values are written through EscapeLineValue (text/Escape.h), so that no
// value can break a line.
//
// Section and key names are the caller's: they must not hold "=", "]" or a
// control byte, nor start or end with a blank.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/settings/StringList.h"

namespace quor {

// The number in `text` by the integer rule above, or `def`.
[[nodiscard]] int StrToIntDef(std::string_view text, int def);

// A check box's value as the file holds it: "1" or "true", "0" or "false"
// (any case); nothing for any other text. Not trimmed.
[[nodiscard]] std::optional<bool> BoolText(std::string_view text);


class TMemIniFile {
 public:
  // Reads the whole file if it exists; a missing file gives an empty
  // object. Throws quor::Exception when the file exists but cannot be read.
  explicit TMemIniFile(std::string path);

  [[nodiscard]] std::string ReadString(std::string_view section, std::string_view key,
                                       std::string_view def) const;
  [[nodiscard]] int ReadInteger(std::string_view section, std::string_view key, int def) const;
  [[nodiscard]] bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // Replaces the list's content with the section's key names in file order;
  // empty when the section is missing.
  void ReadSection(std::string_view section, TStringList& keys) const;

  // Set a value in memory, creating the section (at the end, or where it
  // was before it was erased) and the key (at the section's end).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // Removes the section with all its lines from memory.
  void EraseSection(std::string_view section);

  // The file's text as UpdateFile writes it.
  [[nodiscard]] std::string Text() const;
  // Replaces the file with the content in memory; see ReplaceFileContents
  // for what holds when that fails (quor::Exception, old file intact).
  void UpdateFile() const;

 private:
  struct Line {
    std::string key;    // empty for a line kept as it is
    std::string value;  // the decoded value, or the whole kept line
  };
  // A slot of an open-addressing index of names without regard to case
  // (node-based maps were too slow for a file of a million junk keys).
  struct Slot {
    std::uint32_t pos1 = 0;  // position + 1; 0 for an empty slot
    std::uint32_t hash = 0;
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
    std::vector<Slot> keySlots;  // the keys of `lines`
    std::size_t keyCount = 0;
    bool erased = false;
  };

  void Parse(std::string_view text, bool lineByLine);
  [[nodiscard]] const Line* Find(std::string_view section, std::string_view key) const;
  [[nodiscard]] std::size_t SectionPos(std::string_view section) const;  // npos when missing
  [[nodiscard]] const Section* FindSection(std::string_view section) const;
  Section& SectionForWrite(std::string_view section);
  // Adds a key line to `s`, or returns false when the key is there already.
  static bool AddKey(Section& s, std::string_view key, std::string value);

  std::string path_;
  std::vector<std::string> preamble_;  // lines before the first section
  std::vector<Section> sections_;
  std::vector<Slot> sectionSlots_;
};

}  // namespace quor
