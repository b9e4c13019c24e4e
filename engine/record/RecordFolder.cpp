#include "engine/record/RecordFolder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "engine/files/Findfile.h"
#include "system/UserFolders.h"

namespace quor {

std::string HistoryFolder() {
  const std::string state = UserStateFolder();
  return state.empty() ? std::string() : state + "/quor-renamer/history";
}

SysResult CreateRecord(const std::string& dir, RecordFile& file, std::string& id, std::int64_t& started) {
  // An id that sorts by time: 20261207-141530.123-4242, with a number added
  // for a second run of the same process in the same millisecond. Without
  // the milliseconds, runs of two programs in one second would sort by
  // their process ids, and the newest would not always come first.
  const auto clock = std::chrono::system_clock::now();
  const std::time_t now = std::chrono::system_clock::to_time_t(clock);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(clock.time_since_epoch()).count() % 1000;
  std::tm local {};
  localtime_r(&now, &local);
  char stamp[40];
  const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::snprintf(stamp + length, sizeof stamp - length, ".%03d", static_cast<int>(millis));
  const std::string base = std::string(stamp) + "-" + std::to_string(ProcessId());
  SysResult created(EEXIST);
  for (int n = 0; n < 1000 && created.Error() == EEXIST; ++n) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "-%03d", n);  // so that ids still sort by time
    id = n == 0 ? base : base + suffix;
    created = file.Create(dir + "/" + id + ".log");
  }
  if (!created) id.clear();
  started = static_cast<std::int64_t>(now);
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
    files.push_back({name.substr(0, name.size() - 4), find.FullPath, find.FileSize()});
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.Id > b.Id; });
  return files;
}

}  // namespace quor
