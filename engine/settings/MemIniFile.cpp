#include "engine/settings/MemIniFile.h"

#include <cstdint>
#include <utility>

#include "system/FileStore.h"
#include "text/Bytes.h"
#include "text/Escape.h"
#include "text/TextConvert.h"
#include "text/Codepage.h"

namespace quor {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::uint32_t FoldedHash(std::string_view s) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (const char c : s) {
    h ^= static_cast<unsigned char>(AsciiUpper(c));
    h *= 1099511628211ull;
  }
  // FNV's low bits are weak for short similar names ("1", "2", ...), and
  // the table indexes by them: mix (the MurmurHash3 finaliser).
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  return static_cast<std::uint32_t>(h);
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Position of `name` in an index whose names `nameAt(position)` gives, or kNone.
template <class Slot, class NameAt>
std::size_t FindSlot(const std::vector<Slot>& slots, std::string_view name, std::uint32_t hash,
                     NameAt nameAt) {
  if (slots.empty()) return kNone;
  const std::size_t mask = slots.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots[i];
    if (slot.pos1 == 0) return kNone;
    if (slot.hash == hash && SameAsciiFolded(nameAt(slot.pos1 - 1), name)) return slot.pos1 - 1;
  }
}

// Adds a name known to be missing; the table stays at most half full.
template <class Slot>
void InsertSlot(std::vector<Slot>& slots, std::size_t& count, std::size_t pos, std::uint32_t hash) {
  const auto place = [](std::vector<Slot>& into, Slot slot) {
    const std::size_t mask = into.size() - 1;
    std::size_t i = slot.hash & mask;
    while (into[i].pos1 != 0) i = (i + 1) & mask;
    into[i] = slot;
  };
  if ((count + 1) * 2 > slots.size()) {
    std::vector<Slot> bigger(slots.empty() ? 8 : slots.size() * 2);
    for (const Slot& slot : slots)
      if (slot.pos1 != 0) place(bigger, slot);
    slots.swap(bigger);
  }
  place(slots, Slot{static_cast<std::uint32_t>(pos + 1), hash});
  ++count;
}

// Length of the character at `i` when it must be escaped, else 0: control
// bytes, C1 controls and the Unicode line and paragraph separators (other
// editors break lines there), and bytes that are not valid UTF-8.


// A line of a file that is neither UTF-8 nor CP932 as a whole, made into
// valid UTF-8 as far as it can be.
std::string RepairLine(std::string_view line) {
  std::string out;
  if (ConvertText(line, Codepage::Cp932, Codepage::Utf8, out)) return out;
  out.clear();
  for (std::size_t i = 0; i < line.size();) {
    const std::size_t n = CharLength(line, i, Codepage::Utf8);
    if (n == 1 && static_cast<unsigned char>(line[i]) >= 0x80)
      out += kReplacementChar;
    else
      out.append(line.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace

int StrToIntDef(std::string_view text, int def) {
  text = TrimView(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return def;
  std::int64_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return def;
    n = n * 10 + (c - '0');
    if (n > std::int64_t{INT32_MAX} + 1) return def;
  }
  if (negative) n = -n;
  if (n > INT32_MAX || n < INT32_MIN) return def;
  return static_cast<int>(n);
}



TMemIniFile::TMemIniFile(std::string path) : path_(std::move(path)) {
  std::string text;
  if (!ReadWholeFile(path_, text)) return;
  std::string_view view(text);
  if (view.starts_with(kBom)) view.remove_prefix(kBom.size());
  bool lineByLine = false;
  std::string converted;
  if (!IsValidText(view, Codepage::Utf8)) {
    if (ConvertText(view, Codepage::Cp932, Codepage::Utf8, converted))
      view = converted;
    else
      lineByLine = true;
  }
  Parse(view, lineByLine);
}

void TMemIniFile::Parse(std::string_view text, bool lineByLine) {
  Section* current = nullptr;
  std::string repaired;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (lineByLine && !IsValidText(line, Codepage::Utf8)) {
      repaired = RepairLine(line);
      line = repaired;
    }
    const std::string_view trimmed = TrimView(line);
    if (trimmed.empty()) continue;

    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      // A repeated section continues the first one.
      current = &SectionForWrite(TrimView(trimmed.substr(1, trimmed.size() - 2)));
      continue;
    }
    if (current == nullptr) {
      preamble_.emplace_back(line);
      continue;
    }
    std::string_view key;
    const std::size_t eq = line.find('=');
    if (trimmed.front() != ';' && trimmed.front() != '#' && eq != std::string_view::npos)
      key = TrimView(line.substr(0, eq));
    if (!key.empty() && AddKey(*current, key, UnescapeLineValue(line.substr(eq + 1)))) continue;
    // A comment, a line without a key, or a repeated key: kept, never read.
    current->lines.push_back(Line{std::string(), std::string(line)});
  }
}

bool TMemIniFile::AddKey(Section& s, std::string_view key, std::string value) {
  const std::uint32_t hash = FoldedHash(key);
  const auto keyAt = [&s](std::size_t i) -> std::string_view { return s.lines[i].key; };
  if (FindSlot(s.keySlots, key, hash, keyAt) != kNone) return false;
  InsertSlot(s.keySlots, s.keyCount, s.lines.size(), hash);
  s.lines.push_back(Line{std::string(key), std::move(value)});
  return true;
}

std::size_t TMemIniFile::SectionPos(std::string_view section) const {
  const auto nameAt = [this](std::size_t i) -> std::string_view { return sections_[i].name; };
  return FindSlot(sectionSlots_, section, FoldedHash(section), nameAt);
}

const TMemIniFile::Section* TMemIniFile::FindSection(std::string_view section) const {
  const std::size_t pos = SectionPos(section);
  if (pos == kNone || sections_[pos].erased) return nullptr;
  return &sections_[pos];
}

const TMemIniFile::Line* TMemIniFile::Find(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return nullptr;
  const auto keyAt = [s](std::size_t i) -> std::string_view { return s->lines[i].key; };
  const std::size_t pos = FindSlot(s->keySlots, key, FoldedHash(key), keyAt);
  return pos == kNone ? nullptr : &s->lines[pos];
}

TMemIniFile::Section& TMemIniFile::SectionForWrite(std::string_view section) {
  const std::size_t pos = SectionPos(section);
  if (pos != kNone) {
    Section& s = sections_[pos];
    s.erased = false;  // an erased section comes back in its old place
    return s;
  }
  std::size_t count = sections_.size();
  InsertSlot(sectionSlots_, count, sections_.size(), FoldedHash(section));
  sections_.push_back(Section{std::string(section), {}, {}, 0, false});
  return sections_.back();
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
  const Line* line = Find(section, key);
  return line != nullptr ? line->value : std::string(def);
}

int TMemIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  const Line* line = Find(section, key);
  return line != nullptr ? StrToIntDef(line->value, def) : def;
}

bool TMemIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  const Line* line = Find(section, key);
  if (line == nullptr) return def;
  return BoolText(TrimView(line->value)).value_or(def);
}

std::optional<bool> BoolText(std::string_view text) {
  if (text == "1" || SameAsciiFolded(text, "true")) return true;
  if (text == "0" || SameAsciiFolded(text, "false")) return false;
  return std::nullopt;
}

void TMemIniFile::ReadSection(std::string_view section, TStringList& keys) const {
  keys.Clear();
  const Section* s = FindSection(section);
  if (s == nullptr) return;
  for (const Line& line : s->lines)
    if (!line.key.empty()) keys.Add(line.key);
}

void TMemIniFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
  Section& s = SectionForWrite(section);
  if (AddKey(s, key, std::string(value))) return;
  const auto keyAt = [&s](std::size_t i) -> std::string_view { return s.lines[i].key; };
  s.lines[FindSlot(s.keySlots, key, FoldedHash(key), keyAt)].value.assign(value);
}

void TMemIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TMemIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TMemIniFile::EraseSection(std::string_view section) {
  const std::size_t pos = SectionPos(section);
  if (pos == kNone) return;
  Section& s = sections_[pos];
  s.lines.clear();
  s.keySlots.clear();
  s.keyCount = 0;
  s.erased = true;
}

std::string TMemIniFile::Text() const {
  std::string out;
  for (const std::string& line : preamble_) {
    out += line;
    out += '\n';
  }
  for (const Section& s : sections_) {
    if (s.erased) continue;
    if (!out.empty()) out += '\n';
    out += '[';
    out += s.name;
    out += "]\n";
    for (const Line& line : s.lines) {
      if (line.key.empty()) {
        out += line.value;
      } else {
        out += line.key;
        out += '=';
        out += EscapeLineValue(line.value);
      }
      out += '\n';
    }
  }
  return out;
}

void TMemIniFile::UpdateFile() const { ReplaceFileContents(path_, Text()); }

}  // namespace quor
