// Damaged history records (cut, bytes flipped, lines doubled or dropped)
// through everything that reads them: the record itself, the listing of the
// history, the plan of an undo, and the repair of interrupted runs, dry and
// real, in a history folder of its own over a folder of files of its own.
// What must hold for every input: nothing crashes, a dry repair changes
// nothing, and a record that the history calls unreadable is never acted
// on: it stays byte for byte, and nothing is renamed for it.
//
// An input is the text of one record in which "@D@" stands for the folder
// of files. Every rename the code under test makes goes through the
// wrappers of renameat2() and rename() below: outside that folder it is refused, and
// for an unreadable record any rename at all is a failure.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/history/History.h"
#include "engine/history/Recovery.h"
#include "engine/record/RecordFormat.h"

using namespace quor;

namespace {

std::string gRoot;     // the fuzzer's own temporary folder
std::string gFiles;    // the folder of files that records name, with a trailing '/'
std::string gHistory;  // the history folder
bool gNoRename = false;

// Says which check failed, for the log of ./test.
void Require(bool ok, int line, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz_records.cpp:%d: %s does not hold\n", line, what);
  std::abort();
}
#define REQUIRE(check) Require((check), __LINE__, #check)

// A path that stays inside the folder of files, whatever it names there.
bool Inside(std::string_view path) {
  if (!path.starts_with(gFiles)) return false;
  for (const std::string_view step : {"/../", "/./"})
    if (path.find(step) != std::string_view::npos) return false;
  return !path.ends_with("/..") && !path.ends_with("/.");
}

int GuardedRename(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  // A repair of a record it calls unreadable must not touch the disk.
  REQUIRE(!gNoRename);
  if (fromDir != AT_FDCWD || toDir != AT_FDCWD || !Inside(from) || !Inside(to)) {
    errno = EACCES;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

// What the folder of files holds: every path under it with its content.
std::map<std::string, std::string> Snapshot() {
  std::map<std::string, std::string> tree;
  for (const auto& e : std::filesystem::recursive_directory_iterator(gFiles)) {
    std::string content = "<folder>";
    if (e.is_regular_file()) {
      std::ifstream in(e.path(), std::ios::binary);
      content.assign(std::istreambuf_iterator<char>(in), {});
    }
    tree[e.path().string()] = content;
  }
  return tree;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const std::string& path, std::string_view text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(text.data(), static_cast<std::streamsize>(text.size()));
}

// The files as a run of the seeds left them: some renamed, one under a
// temporary name, a folder with an entry.
void ResetFiles() {
  std::filesystem::remove_all(gFiles);
  std::filesystem::create_directories(gFiles + "S.DIR");
  for (const char* name : {"a.mp4", "b.MP4", "c.MP4", "x.ts", "x.ts.err", ".quor-rename-1-0-0.tmp", "S.DIR/ep1.MP4"})
    WriteAll(gFiles + name, name);
}

// One of the ways a record comes to harm, chosen by `seed`.
std::size_t Damage(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed) {
  std::string text(reinterpret_cast<char*>(data), size);
  std::vector<std::size_t> starts = {0};
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n' && i + 1 < text.size()) starts.push_back(i + 1);
  const auto line = [&](std::size_t k) {
    const std::size_t from = starts[k % starts.size()];
    const std::size_t end = text.find('\n', from);
    return std::make_pair(from, end == std::string::npos ? text.size() : end + 1);
  };
  const unsigned pick = seed / 8;
  switch (seed % 5) {
    case 0:  // cut short, as a crash leaves it
      text.resize(pick % (text.size() + 1));
      break;
    case 1:  // a line written twice
      if (!text.empty()) {
        const auto [from, end] = line(pick);
        text.insert(end, text.substr(from, end - from));
      }
      break;
    case 2:  // a line lost
      if (!text.empty()) {
        const auto [from, end] = line(pick);
        text.erase(from, end - from);
      }
      break;
    case 3:  // two lines in the other order
      if (starts.size() > 1) {
        const auto [from, end] = line(pick);
        const std::string moved = text.substr(from, end - from);
        text.erase(from, end - from);
        text.insert(std::min<std::size_t>(starts[(pick / 7) % starts.size()], text.size()), moved);
      }
      break;
    default:  // a byte flipped
      if (!text.empty()) text[pick % text.size()] ^= static_cast<char>(1u << (seed % 8));
      break;
  }
  if (text.size() > maxSize) text.resize(maxSize);
  std::memcpy(data, text.data(), text.size());
  return text.size();
}

}  // namespace

// The program is linked with --wrap for both (cmake/Fuzz.cmake): every call
// the code under test makes comes here.
extern "C" int __wrap_renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  return GuardedRename(fromDir, from, toDir, to, flags);
}

extern "C" int __wrap_rename(const char* from, const char* to) {
  return GuardedRename(AT_FDCWD, from, AT_FDCWD, to, 0);
}

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
  // Half the time the harm a record meets, else libFuzzer's own byte play.
  if (seed % 2 == 0) return Damage(data, size, maxSize, seed / 2);
  return LLVMFuzzerMutate(data, size, maxSize);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string base = (std::filesystem::temp_directory_path() / "quor-fuzz-records-XXXXXX").string();
  REQUIRE(::mkdtemp(base.data()) != nullptr);
  gRoot = base;
  gFiles = gRoot + "/files/";
  gHistory = gRoot + "/history";
  std::filesystem::create_directories(gHistory);
  std::atexit([] { std::filesystem::remove_all(gRoot); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(bytes), size);
  const std::string folder = gFiles.substr(0, gFiles.size() - 1);
  for (std::size_t at = 0; (at = text.find("@D@", at)) != std::string::npos; at += folder.size())
    text.replace(at, 3, folder);
  ResetFiles();
  std::filesystem::remove_all(gHistory);
  std::filesystem::create_directories(gHistory);
  const std::string id = "20260101-000000.000-1";
  const std::string path = gHistory + "/" + id + ".log";
  WriteAll(path, text);

  // A full read sees all that a read of the head and the end sees.
  const RunRecord head = ReadRecord(path, false);
  const RunRecord full = ReadRecord(path, true);
  if (!head.Readable) REQUIRE(!full.Readable);
  const std::vector<RunSummary> runs = ListRuns(gHistory);
  REQUIRE(runs.size() == 1);
  // A record this small is read through for the listing: damage anywhere
  // shows there as it does to a full read.
  const bool unreadable = runs[0].Now == RunSummary::State::Unreadable;
  REQUIRE(unreadable == !full.Readable);
  if (unreadable) REQUIRE(!IsUndoable(runs[0]));
  const UndoPlan plan = PlanUndo(gHistory, id);
  if (unreadable) REQUIRE(plan.Why == UndoPlan::Block::Unreadable && plan.OldPaths.empty());
  (void)NewestUndoableRun(gHistory);

  const std::map<std::string, std::string> before = Snapshot();
  const RecoveryReport dry = RecoverInterruptedRuns(gHistory, true);
  REQUIRE(Snapshot() == before);
  REQUIRE(ReadAll(path) == text);
  if (unreadable) REQUIRE(dry.Runs.empty() && dry.Repairs.empty());

  gNoRename = unreadable;
  const RecoveryReport real = RecoverInterruptedRuns(gHistory, false);
  gNoRename = false;
  if (unreadable) {
    REQUIRE(real.Runs.empty() && real.Repairs.empty());
    REQUIRE(ReadAll(path) == text);
    REQUIRE(Snapshot() == before);
  } else if (full.End == RunEnd::Unfinished && !real.Runs.empty()) {
    // What a repair writes is a record like any other.
    const RunRecord repaired = ReadRecord(path, true);
    REQUIRE(repaired.Readable && repaired.End == RunEnd::Recovered);
    (void)PlanUndo(gHistory, id);
  }
  return 0;
}
