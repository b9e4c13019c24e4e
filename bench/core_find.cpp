// Listing a folder of 100,000 entries with TFindFile, beside a bare readdir
// loop over the same folder in the same run. The figure that counts is
// entries per second of "TFindFile" against "BareReaddir" (target: within
// 1.5 times).

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "engine/files/File.h"
#include "engine/files/Findfile.h"

#include "RateReporter.h"

namespace {

constexpr int kEntries = 100000;

// The folder, made once: names the size of real episode files.
const std::string& Folder() {
  static const std::string folder = [] {
    std::string templ = (std::filesystem::temp_directory_path() / "quor-bench-find-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) std::abort();
    char name[96];
    for (int i = 0; i < kEntries; ++i) {
      std::snprintf(name, sizeof name, "/\xE7\xAC\xAC%d\xE8\xA9\xB1\xEF\xBD\xA2Title %05d\xEF\xBD\xA3.%s", i % 100,
                    i, i % 4 == 0 ? "txt" : "MP4");
      const int fd = open((templ + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
      if (fd < 0) std::abort();
      close(fd);
    }
    return templ;
  }();
  return folder;
}

void BareReaddir(benchmark::State& state) {
  std::size_t entries = 0;
  for (auto _ : state) {
    entries = 0;
    DIR* dir = opendir(Folder().c_str());
    while (const dirent* e = readdir(dir)) {
      benchmark::DoNotOptimize(e->d_name[0]);
      ++entries;
    }
    closedir(dir);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * entries));
}

// What the rename run and the file list do: every entry's name and full path.
void ListWith(benchmark::State& state, const std::string& pattern, std::uint32_t exclude) {
  std::size_t entries = 0;
  for (auto _ : state) {
    entries = 0;
    quor::TFindFile find;
    find.ExcludeAttr = exclude;
    find.First(pattern);
    while (find.Next()) {
      benchmark::DoNotOptimize(find.FullPath.data());
      benchmark::DoNotOptimize(find.cFileName.data());
      ++entries;
    }
  }
  // Count what was read from the folder, so masks compare on equal terms.
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * (kEntries + 2));
  state.counters["handed_out"] = static_cast<double>(entries);
}

void TFindFile(benchmark::State& state) { ListWith(state, quor::MakeSearchPattern(Folder()), 0); }

void TFindFileWithMask(benchmark::State& state) { ListWith(state, Folder() + "/*.mp4", 0); }

// A filter on the read-only bit needs each entry's inode: one stat each.
void TFindFileReadOnlyFilter(benchmark::State& state) {
  ListWith(state, quor::MakeSearchPattern(Folder()), quor::FILE_ATTRIBUTE_READONLY);
}

BENCHMARK(BareReaddir)->Unit(benchmark::kMillisecond);
BENCHMARK(TFindFile)->Unit(benchmark::kMillisecond);
BENCHMARK(TFindFileWithMask)->Unit(benchmark::kMillisecond);
BENCHMARK(TFindFileReadOnlyFilter)->Unit(benchmark::kMillisecond);

// Prints the table as usual and then each listing against the bare loop.
class RatioReporter : public quor::bench::RateReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    const double bare = Rate("BareReaddir");
    std::printf("\n%d entries; bare readdir: %.0f entries/s\n", kEntries, bare);
    for (const auto& [name, rate] : Rates())
      if (name != "BareReaddir")
        std::printf("%-26s %12.0f entries/s  %.2fx the bare loop's time\n", name.c_str(), rate, bare / rate);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Folder();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(Folder(), ec);
  return 0;
}
