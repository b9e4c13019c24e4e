// Names per second through the rules, in both code pages, with the options a
// fresh install has and with every option plus a five-pair ignore-case list.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/rename/NameRules.h"
#include "text/TextConvert.h"

using namespace quor;

namespace {

std::vector<std::string> Names(Codepage cp) {
  // Typical recording names of about 40 bytes (in UTF-8).
  std::vector<std::string> names;
  const char* shows[] = {"ニュース", "アニメ", "ドラマ", "Docu"};
  for (int i = 0; i < 1000; ++i) {
    std::string n = std::string(shows[i % 4]) + " 第" + std::to_string(i % 99 + 1) + "話｢サブ" +
                    std::to_string(i) + "｣[字].MP4";
    if (cp == Codepage::Cp932) {
      std::string converted;
      if (ConvertText(n, Codepage::Utf8, Codepage::Cp932, converted)) n = converted;
    }
    names.push_back(n);
  }
  return names;
}

RenameOptions All(Codepage cp) {
  RenameOptions o;
  o.WaSpaceKakko = o.DeleteAfterKakko = o.DeleteKakko = true;
  std::vector<ReplacePair> pairs = {{"[字]", ""}, {"mp4", "mp4"}, {"ニュース", "News"}, {"docu", "Doc"}, {"  ", " "}};
  for (auto& p : pairs) {
    std::string converted;
    if (cp == Codepage::Cp932 && ConvertText(p.Old, Codepage::Utf8, Codepage::Cp932, converted)) p.Old = converted;
    if (cp == Codepage::Cp932 && ConvertText(p.New, Codepage::Utf8, Codepage::Cp932, converted)) p.New = converted;
  }
  o.ReplaceList = pairs;
  return o;
}

void Run(benchmark::State& state, Codepage cp, const RenameOptions& options) {
  const std::vector<std::string> names = Names(cp);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ApplyNameRules(names[i], options, cp));
    if (++i == names.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void DesignUtf8(benchmark::State& s) { Run(s, Codepage::Utf8, RenameOptions{}); }
void DesignCp932(benchmark::State& s) { Run(s, Codepage::Cp932, RenameOptions{}); }
void AllUtf8(benchmark::State& s) { Run(s, Codepage::Utf8, All(Codepage::Utf8)); }
void AllCp932(benchmark::State& s) { Run(s, Codepage::Cp932, All(Codepage::Cp932)); }

}  // namespace

BENCHMARK(DesignUtf8);
BENCHMARK(DesignCp932);
BENCHMARK(AllUtf8);
BENCHMARK(AllCp932);
BENCHMARK_MAIN();
