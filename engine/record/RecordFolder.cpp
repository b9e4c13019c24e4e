#include "engine/record/RecordFolder.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>

#include "engine/files/Findfile.h"
#include "system/UserFolders.h"

namespace quor {

std::string HistoryFolder() {
  const std::string state = UserStateFolder();
  return state.empty() ? std::string() : state + "/quor-renamer/history";
}

namespace {

// "20261207-193319.990": the time in UTC to the millisecond.
std::string UtcStamp(std::chrono::system_clock::time_point clock, std::time_t& seconds) {
  seconds = std::chrono::system_clock::to_time_t(clock);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(clock.time_since_epoch()).count() % 1000;
  std::tm utc {};
  gmtime_r(&seconds, &utc);
  char stamp[32];
  const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
  std::string text(stamp, length);
  text += '.';
  text += static_cast<char>('0' + millis / 100);
  text += static_cast<char>('0' + millis / 10 % 10);
  text += static_cast<char>('0' + millis % 10);
  return text;
}

// The time an id names, in seconds since 1970; 0 when it names none.
std::int64_t TimeOfId(const std::string& id) {
  std::tm utc {};
  if (id.size() < 15 || std::sscanf(id.c_str(), "%4d%2d%2d-%2d%2d%2d", &utc.tm_year, &utc.tm_mon, &utc.tm_mday,
                                    &utc.tm_hour, &utc.tm_min, &utc.tm_sec) != 6)
    return 0;
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  return static_cast<std::int64_t>(timegm(&utc));
}

// The same in nanoseconds, with the milliseconds of an id that has them.
std::int64_t NanosecondsOfId(const std::string& id) {
  std::int64_t ns = TimeOfId(id) * 1000000000;
  if (id.size() >= 19 && id[15] == '.' && std::isdigit(static_cast<unsigned char>(id[16])) &&
      std::isdigit(static_cast<unsigned char>(id[17])) && std::isdigit(static_cast<unsigned char>(id[18])))
    ns += ((id[16] - '0') * 100 + (id[17] - '0') * 10 + (id[18] - '0')) * std::int64_t{1000000};
  return ns;
}

}  // namespace

SysResult CreateRecord(const std::string& dir, RecordFile& file, std::string& id, std::int64_t& started) {
  // Without the milliseconds, runs of two programs in one second would sort
  // by their process ids, and the newest would not always come first.
  std::time_t seconds = 0;
  const std::string base = UtcStamp(std::chrono::system_clock::now(), seconds) + "-" + std::to_string(ProcessId());
  SysResult created(EEXIST);
  for (int n = 0; n < 1000 && created.Error() == EEXIST; ++n) {
    // A second run of this process in the same millisecond: -001, -002 ...,
    // so that ids still sort by time.
    id = base;
    if (n > 0) id += "-" + std::string(n < 10 ? "00" : n < 100 ? "0" : "") + std::to_string(n);
    created = file.Create(dir + "/" + id + ".log");
  }
  if (!created) id.clear();
  started = static_cast<std::int64_t>(seconds);
  return created;
}

std::vector<RecordFileEntry> RecordFiles(const std::string& dir) {
  std::vector<RecordFileEntry> files;
  if (dir.empty()) return files;
  TFindFile find;
  find.ExcludeAttr = FILE_ATTRIBUTE_DIRECTORY;
  find.First(dir + "/*.log");
  while (find.Next()) {
    const std::string& name = find.cFileName;
    if (name.size() <= 4 || name.ends_with(".log") == false) continue;
    // FILETIME counts 100 ns since 1601.
    const std::int64_t written =
        (static_cast<std::int64_t>(find.LastWriteTime()) - 116444736000000000) * 100;
    files.push_back({name.substr(0, name.size() - 4), find.FullPath, find.FileSize(), written});
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.Id > b.Id; });
  return files;
}

SysResult CanReadHistory(const std::string& dir) {
  if (dir.empty()) return SysResult(ENOENT);
  return CanListFolder(dir);
}

std::vector<RecordHead> ReadRecordHeads(const std::string& dir, std::uint64_t readThrough) {
  std::vector<RecordHead> heads;
  for (const RecordFileEntry& f : RecordFiles(dir)) {
    RecordHead head;
    head.Record = ReadRecord(f.Path, f.Size <= readThrough);
    head.Record.Renames.clear();
    head.Record.Renames.shrink_to_fit();
    head.Size = f.Size;
    head.Written = f.Written;
    head.Began = NanosecondsOfId(head.Record.Id);
    head.Live = head.Record.Readable && head.Record.End == RunEnd::Unfinished && IsLockedByAnother(f.Path);
    heads.push_back(std::move(head));
  }
  // By when the runs began, which ids written in local time by older
  // versions do not tell; a record that cannot be read by its id's time.
  const auto when = [](const RecordHead& h) { return h.Record.Readable ? h.Record.Started : TimeOfId(h.Record.Id); };
  std::stable_sort(heads.begin(), heads.end(), [&](const RecordHead& a, const RecordHead& b) {
    const std::int64_t ta = when(a);
    const std::int64_t tb = when(b);
    return ta != tb ? ta > tb : a.Record.Id > b.Record.Id;
  });
  std::map<std::string, RecordHead*> byId;
  for (RecordHead& h : heads) byId[h.Record.Id] = &h;
  for (const RecordHead& h : heads) {
    const RunRecord& r = h.Record;
    if (!r.Readable || r.Kind != RunKind::Undo || r.Undoes.empty()) continue;
    const auto it = byId.find(r.Undoes);
    if (it == byId.end()) continue;
    it->second->TakenBack += r.Renamed;
    it->second->GivenUp += r.Gone;
  }
  return heads;
}

}  // namespace quor
