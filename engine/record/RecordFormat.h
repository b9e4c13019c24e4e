#pragma once

// The record of one rename or undo run, written as the run goes so that a
// kill at any moment leaves enough on the disk to repair and undo it. One
// file per run in the history folder, named after the run's id; a text file
// a person can read, one line per rename:
//
//   quor-renamer history 3
//   begin <TAB> rename <TAB> 1765116930 <TAB> 4242 <TAB> /media/tv/*.ts
//   folder <TAB> /media/tv
//   undoes <TAB> <id>                      (an undo run: the run it undoes)
//   base <TAB> /media/tv/
//   R <TAB> 7 <TAB> f 2049 1311 4096 1765116930123456789 - <TAB> a.MP4 <TAB> a.mp4
//   T <TAB> 7 <TAB> .quor-rename-4242-0-0.tmp
//   E <TAB> 9 <TAB> 17
//   G <TAB> 12 <TAB> replaced
//   C <TAB> 1023
//   end <TAB> finished <TAB> 1020 <TAB> 3 <TAB> 1
//
// "begin": the kind of run, its start in seconds since 1970, its process and
// what it was asked to rename (a folder text, or one entry); "folder": the
// folder whose entries it renames. "base" names the folder that the paths
// after it are in: a path that does not start with "/" is the base followed
// by it. A base line may add what the run knows of every entry of that
// folder at once: the device, the file system's id and a time (in
// nanoseconds) by which each entry was born; then an intent's identity may
// be brief, the entry's kind and inode number alone ("1311", "d1311"):
//
//   base <TAB> /media/tv/ <TAB> 2049 <TAB> 4223175473731870811 <TAB> 1765116930123456789
//   R <TAB> 7 <TAB> 1311 <TAB> a.MP4 <TAB> a.mp4 "R" is the intent to rename entry 7 (of the listing; of an undo,
// the 7th taken back): the entry's identity, old and new path, on record
// before the rename is tried; intents go out in batches ahead of their
// renames. An undo's intent has a sixth field, the number of the rename it
// takes back in the run it undoes, which tells that rename even when its
// entry was found where a later run moved it. Where the number of an intent
// is one more than the last intent's, it is left out ("R <TAB> <TAB> ..."),
// and so is an undo's sixth number where it is one less than the last. The identity is the entry's kind (f file, d folder, l link, o
// other), device, inode number, size, modification time and birth time in
// nanoseconds, "-" for what the system does not tell (system/EntryIdentity.h
// says how two are compared). "T" is the temporary name a case-only rename
// is about to take, on record before the entry moves there. "E" is a refused
// rename with its errno; an undo's "G" an entry that was not there to take
// back ("gone", or "replaced": another entry bears its name), which leaves
// the run's undo list for good. "C n": every intent up to entry n has its
// outcome on record: done unless an "E" or "G" says otherwise; intents after
// the last "C" of a finished record were never tried. "end" closes the
// record: finished, cancelled, failed or recovered, with the renames done,
// refused and gone. A recovery also writes "D n" for each intent it finds
// done, "N n" for each it finds never tried and "fixed <TAB> n <TAB> from
// <TAB> to" for each entry it moved back from a temporary name. Paths are
// written through EscapeLineValue, so any byte of a name survives and no
// name holds a TAB or a line break. No line has a size limit.
//
// Records of versions 1 and 2 are read too. Version 2: no sixth field in
// an undo's intents (an undo names what it took back by its two paths).
// Version 1 besides: no "folder" line, an inode number where later ones
// have the identity, no "G" and no gone count (a repair by a later version
// adds its "N" lines and an end line with the count).
//
// The file is created and locked by its writer for as long as the run goes
// on; a record without "end" whose lock is free belongs to a run that died.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "system/EntryIdentity.h"

namespace quor {

inline constexpr std::string_view kHistoryVersionLine = "quor-renamer history 3";
inline constexpr int kHistoryVersion = 3;

enum class RunKind { Rename, Undo };
enum class RunEnd { Unfinished, Finished, Cancelled, Failed, Recovered };

// The words of a record for a kind of run and a way it ended.
[[nodiscard]] const char* KindWord(RunKind kind);
[[nodiscard]] const char* EndWord(RunEnd end);

// Decimal digits of `n`, appended without allocating.
void AppendNumber(std::string& out, std::uint64_t n);

// One line of a record, its word and then its TAB-separated fields, ended
// when the builder goes out of scope.
class RecordLine {
 public:
  RecordLine(std::string& out, std::string_view word) : out_(out) { out_.append(word); }
  ~RecordLine() { out_ += '\n'; }
  RecordLine(const RecordLine&) = delete;
  RecordLine& operator=(const RecordLine&) = delete;

  RecordLine& Number(std::uint64_t n) {
    out_ += '\t';
    AppendNumber(out_, n);
    return *this;
  }
  RecordLine& Word(std::string_view word) {
    out_ += '\t';
    out_.append(word);
    return *this;
  }
  // A path or a name, escaped so that any byte survives.
  RecordLine& Value(std::string_view value);

 private:
  std::string& out_;
};

// An identity as the field of an "R" line: "f 2049 1311 4096 1765116930123456789 -",
// with the generation as a seventh number where it is known.
void AppendIdentity(std::string& out, const EntryId& id);
[[nodiscard]] bool ParseIdentity(std::string_view text, EntryId& id);

// What a run knows of all its entries at once (EntryId::Dev, Fsid and
// BornBy), written on the "base" line of their folder.
struct RunFacts {
  std::uint64_t Dev = 0;
  std::uint64_t Fsid = 0;
  std::int64_t BornBy = EntryId::kNoTime;
  [[nodiscard]] bool Known() const { return BornBy != EntryId::kNoTime; }
  friend bool operator==(const RunFacts&, const RunFacts&) = default;
};
[[nodiscard]] RunFacts FactsOf(const EntryId& id);

// An identity that says no more of its entry than its kind and inode number,
// the rest being the run's facts: written briefly, "1311" for a file,
// "d1311" for a folder (and "l", "o", "?" as in the full form).
[[nodiscard]] bool IsBriefIdentity(const EntryId& id);
void AppendBriefIdentity(std::string& out, const EntryId& id);
[[nodiscard]] bool ParseBriefIdentity(std::string_view text, const RunFacts& facts, EntryId& id);

// The lines of a record after its intents, appended to `out`: the writer
// writes them as the run goes, and a recovery that finishes a dead run's
// record writes them too.
void AppendRefusedLine(std::string& out, std::size_t seq, int error);  // E
void AppendGoneLine(std::string& out, std::size_t seq, bool replaced);  // G
void AppendDoneLine(std::string& out, std::size_t seq);                // D
void AppendNotTriedLine(std::string& out, std::size_t seq);            // N
void AppendCheckpointLine(std::string& out, std::size_t seq);          // C
void AppendFixedLine(std::string& out, std::size_t seq, std::string_view from, std::string_view to);
void AppendEndLine(std::string& out, RunEnd end, std::size_t renamed, std::size_t refused, std::size_t gone);

inline constexpr std::size_t kNoSeq = static_cast<std::size_t>(-1);

// One rename of a record, with what became of it.
struct RecordedRename {
  enum class State { Unknown, Done, Refused, Gone, NotTried };
  std::size_t Seq = 0;
  EntryId Id;
  std::string OldPath;
  std::string NewPath;
  std::vector<std::string> Temps;
  // Of an undo's intent: the number of the rename it takes back; kNoSeq in
  // a rename run and in undos of version 2 and before.
  std::size_t UndoneSeq = kNoSeq;
  State Outcome = State::Unknown;
  int Error = 0;
  bool Replaced = false;  // Gone because another entry bears its name
};

struct RunRecord {
  std::string Id;  // the file's name without ".log"
  std::string Path;
  bool Readable = false;
  std::string Problem;  // why it is not
  int Version = 0;
  RunKind Kind = RunKind::Rename;
  std::int64_t Started = 0;  // seconds since 1970
  long Pid = 0;
  std::string Folder;         // what the run was asked to rename, as the user gave it
  std::string EntriesFolder;  // the folder whose entries it renames, without a trailing '/'
  std::string Undoes;
  RunEnd End = RunEnd::Unfinished;
  std::size_t Renamed = 0;
  std::size_t Refused = 0;
  std::size_t Gone = 0;
  std::size_t LastCheckpoint = 0;  // + 1; 0 when there is none
  std::size_t WholeLines = 0;      // bytes up to the end of the last whole line
  std::vector<RecordedRename> Renames;  // in listing order; read in full only
};

// Reads the record at `path`. With `full` false only the head and the end
// are read, enough for a listing. A record that is cut short, damaged, of
// another version or unreadable comes back with Readable false and never
// more than its Id and Problem.
[[nodiscard]] RunRecord ReadRecord(const std::string& path, bool full);

// The folder a run's folder text names, without a trailing '/': the text
// itself, or the part before its mask.
[[nodiscard]] std::string FolderOfTarget(const std::string& target);

}  // namespace quor
