#pragma once

// The record of one rename or undo run, written as the run goes so that a
// kill at any moment leaves enough on the disk to repair and undo it. One
// file per run in the history folder, named after the run's id; a text file
// a person can read, one line per rename:
//
//   quor-renamer history 1
//   begin <TAB> rename <TAB> 1765116930 <TAB> 4242 <TAB> /media/tv
//   undoes <TAB> <id>                      (an undo run: the run it undoes)
//   base <TAB> /media/tv/
//   R <TAB> 7 <TAB> 1311 <TAB> a.MP4 <TAB> a.mp4
//   T <TAB> 7 <TAB> .quor-rename-4242-0-0.tmp
//   E <TAB> 9 <TAB> 17
//   C <TAB> 1023
//   end <TAB> finished <TAB> 1020 <TAB> 3
//
// "base" names the folder that the paths after it are in: a path that does
// not start with "/" is the base followed by it. "R" is the intent to
// rename entry 7 of the listing (its inode as listed, old and new path), on
// record before the rename is tried; intents go out in batches ahead of
// their renames. "T" is the temporary name a case-only
// rename is about to take, on record before the entry moves there. "E" is a
// refused rename with its errno. "C n": every intent up to entry n has its
// outcome on record: done unless an "E" says otherwise; intents after the
// last "C" of a finished record were never tried. "end" closes the record:
// finished, cancelled, failed or recovered, with the renames done and
// refused. A recovery also writes "D n" for each intent it finds done and
// "fixed <TAB> n <TAB> from <TAB> to" for each entry it moved back from a
// temporary name. Paths are written through EscapeLineValue, so any byte of
// a name survives and no name holds a TAB or a line break.
//
// The file is created and locked by its writer for as long as the run goes
// on; a record without "end" whose lock is free belongs to a run that died.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quor {

inline constexpr std::string_view kHistoryVersionLine = "quor-renamer history 1";

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

// The lines of a record after its intents, appended to `out`: the writer
// writes them as the run goes, and a recovery that finishes a dead run's
// record writes them too.
void AppendRefusedLine(std::string& out, std::size_t seq, int error);  // E
void AppendDoneLine(std::string& out, std::size_t seq);                // D
void AppendCheckpointLine(std::string& out, std::size_t seq);          // C
void AppendFixedLine(std::string& out, std::size_t seq, std::string_view from, std::string_view to);
void AppendEndLine(std::string& out, RunEnd end, std::size_t renamed, std::size_t refused);

// One rename of a record, with what became of it.
struct RecordedRename {
  enum class State { Unknown, Done, Refused, NotTried };
  std::size_t Seq = 0;
  std::uint64_t Inode = 0;
  std::string OldPath;
  std::string NewPath;
  std::vector<std::string> Temps;
  State Outcome = State::Unknown;
  int Error = 0;
};

struct RunRecord {
  std::string Id;  // the file's name without ".log"
  std::string Path;
  bool Readable = false;
  std::string Problem;  // why it is not
  RunKind Kind = RunKind::Rename;
  std::int64_t Started = 0;  // seconds since 1970
  long Pid = 0;
  std::string Folder;
  std::string Undoes;
  RunEnd End = RunEnd::Unfinished;
  std::size_t Renamed = 0;
  std::size_t Refused = 0;
  std::size_t LastCheckpoint = 0;  // + 1; 0 when there is none
  std::size_t WholeLines = 0;      // bytes up to the end of the last whole line
  std::vector<RecordedRename> Renames;  // in listing order; read in full only
};

// Reads the record at `path`. With `full` false only the head and the end
// are read, enough for a listing. A record that is cut short, damaged, of
// another version or unreadable comes back with Readable false and never
// more than its Id and Problem.
[[nodiscard]] RunRecord ReadRecord(const std::string& path, bool full);

}  // namespace quor
