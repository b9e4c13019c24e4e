// The folder every rename benchmark works on: recording names as a tuner
// writes them, and the floor they are all measured against.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

namespace quor::bench {

inline std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  return names;
}

// The floor: list, then renameat2 each entry to its precomputed name.
inline void Floor(const std::string& dir, const std::unordered_map<std::string, std::string>& to) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  for (const std::string& name : ListNames(dir)) {
    const auto it = to.find(name);
    if (it != to.end()) renameat2(fd, name.c_str(), fd, it->second.c_str(), RENAME_NOREPLACE);
  }
  close(fd);
}

// count files of five shows; each holds its own name, so that a benchmark
// can put the folder back whatever a contender made of the names. With
// `companion`, each recording has a file of its error counts beside it
// (NAME + ".err"), as a recorder writes it.
inline void MakeRecordings(const std::string& dir, int count, bool companion = false) {
  std::filesystem::create_directory(dir);
  const char* shows[] = {"ニュース7", "アニメ劇場", "ドキュメント72時間", "ドラマ10", "Eテレ0655"};
  const char* titles[] = {"旅立ち", "約束の場所", "さよなら〜また明日", "A Day", "最終回スペシャル"};
  const char* tags[] = {"[字]", "[再]", "[字][デ]", "", "[新]"};
  const char* exts[] = {".TS", ".ts", ".MP4", ".m2ts"};
  for (int i = 0; i < count; ++i) {
    const std::string name = std::string(shows[i % 5]) + " 第" + std::to_string(i / 5 + 1) + "話｢" +
                             titles[(i / 7) % 5] + "｣" + tags[(i / 3) % 5] + exts[(i / 11) % 4];
    for (const std::string& file : {name, companion ? name + ".err" : std::string()}) {
      if (file.empty()) continue;
      const int fd = open((dir + "/" + file).c_str(), O_CREAT | O_WRONLY, 0644);
      if (fd >= 0) {
        (void)!write(fd, file.data(), file.size());
        close(fd);
      }
    }
  }
}

}  // namespace quor::bench
