// Names per second through the rules, in both code pages, with the options a
// fresh install has and with every option plus a five-pair ignore-case list;
// then ten replace rows as plain text against the same ten rows as regular
// expressions, on the same names, through the object a run uses; then the
// bound of regex work per name: the time of one name of 250 bytes through
// the worst patterns we know of, beside the README's marker row on it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/rename/NameRules.h"
#include "text/TextConvert.h"

#include "RateReporter.h"

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

// Ten rows a user of recordings keeps: markers, a width, spaces. The regex
// rows are the same texts escaped, so both lists do the same work.
RenameOptions TenRows(bool regex) {
  const std::vector<std::pair<const char*, const char*>> plain = {
      {"[字]", ""},   {"[再]", ""},  {"[二]", ""},  {"[解]", ""}, {"[デ]", ""},
      {"【字】", ""}, {"(字)", ""}, {"#", "第"}, {"ＳＰ", "SP"}, {"  ", " "}};
  const std::vector<std::pair<const char*, const char*>> escaped = {
      {"\\[字\\]", ""},   {"\\[再\\]", ""},  {"\\[二\\]", ""},  {"\\[解\\]", ""}, {"\\[デ\\]", ""},
      {"【字】", ""},     {"\\(字\\)", ""}, {"#", "第"},       {"ＳＰ", "SP"},   {"  ", " "}};
  RenameOptions o;
  for (const auto& [old, replacement] : regex ? escaped : plain) o.ReplaceList.push_back({old, replacement, regex});
  return o;
}

// The run's way: rows made ready once, then one Apply per name.
void RunCompiled(benchmark::State& state, Codepage cp, const RenameOptions& options) {
  const std::vector<std::string> names = Names(cp);
  const CompiledRules rules(options);
  std::string out;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rules.Apply(names[i], cp, out));
    benchmark::DoNotOptimize(out.data());
    if (++i == names.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void DesignUtf8(benchmark::State& s) { Run(s, Codepage::Utf8, RenameOptions{}); }
void DesignCp932(benchmark::State& s) { Run(s, Codepage::Cp932, RenameOptions{}); }
void AllUtf8(benchmark::State& s) { Run(s, Codepage::Utf8, All(Codepage::Utf8)); }
void AllCp932(benchmark::State& s) { Run(s, Codepage::Cp932, All(Codepage::Cp932)); }

void NoRowsUtf8(benchmark::State& s) { RunCompiled(s, Codepage::Utf8, RenameOptions{}); }
void TenPlainRowsUtf8(benchmark::State& s) { RunCompiled(s, Codepage::Utf8, TenRows(false)); }
void TenRegexRowsUtf8(benchmark::State& s) { RunCompiled(s, Codepage::Utf8, TenRows(true)); }
void NoRowsCp932(benchmark::State& s) { RunCompiled(s, Codepage::Cp932, RenameOptions{}); }
void TenPlainRowsCp932(benchmark::State& s) { RunCompiled(s, Codepage::Cp932, TenRows(false)); }
void TenRegexRowsCp932(benchmark::State& s) { RunCompiled(s, Codepage::Cp932, TenRows(true)); }

// Prints the table as usual, then the regex rows against the plain ones:
// per name, and the rows' own share (what they add to no rows at all).
class RatioReporter : public quor::bench::RateReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* cp : {"Utf8", "Cp932"}) {
      const double none = NsPerItem(std::string("NoRows") + cp);
      const double plain = NsPerItem(std::string("TenPlainRows") + cp);
      const double regex = NsPerItem(std::string("TenRegexRows") + cp);
      if (plain <= 0 || regex <= 0) continue;
      std::printf("\n%s names, design options: no rows %.0f ns/name, ten plain rows %.0f ns/name, "
                  "ten regex rows %.0f ns/name\n"
                  "  ten regex rows take %.2fx the time of ten plain rows (target: at most 2x)",
                  cp, none, plain, regex, regex / plain);
      if (plain > none) std::printf("; the rows alone %.2fx", (regex - none) / (plain - none));
      std::printf("\n");
    }
  }
};

}  // namespace

BENCHMARK(DesignUtf8);
BENCHMARK(DesignCp932);
BENCHMARK(AllUtf8);
BENCHMARK(AllCp932);
BENCHMARK(NoRowsUtf8);
BENCHMARK(TenPlainRowsUtf8);
BENCHMARK(TenRegexRowsUtf8);
BENCHMARK(NoRowsCp932);
BENCHMARK(TenPlainRowsCp932);
BENCHMARK(TenRegexRowsCp932);

// Milliseconds of the fastest of five runs of one name through one row.
double MsPerName(const ReplacePair& row, const std::string& name, RuleFailure& failure) {
  RenameOptions o;
  o.KakkoHanToZen = o.LowerExt = false;
  o.ReplaceList = {row};
  const CompiledRules rules(o);
  std::string out;
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    failure = rules.Apply(name, Codepage::Utf8, out).Failure;
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

void BoundFigures() {
  const std::string ascii = std::string(245, 'a') + ".MP4!";
  std::string kanji;
  while (kanji.size() < 243) kanji += "話";
  kanji += ".MP4!";
  const char* patterns[] = {
      "(?:(?:.?){17}\\x01|.)", "(a+)+$", "(a|aa)+$", "(?:.*){10}x", "(.)(?:.*\\1){3}x|.", "(?i)(.*)\\1\\1x|.",
      "(?i)(.*)(?:.*\\1)*x", "(?i)((.)\\2*)*x", "(?:(?=.*a).)*x|.", "(?i)(.{0,120})(?:a*\\1)*x",
      "(?:a|aa|aaa|aaaa)*b", "(?:(?=.*a)(?=.*a)(?=.*a)(?=.*a).)*x|.", "(?:(?=.*.*a).)*x|.", "(?:(?!.*b).)*x|.",
      "(?=.*x)|.", "(?:(?=(?:.*a){3}).)*x|.", "(?:(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a).)*x|.",
      "(?<=(?=.*a).)|.", "(?=[^x]*+a)|.", "(?i)(?=.*A)|.", "(?:(?=\\w*+\\W*+\\w*+a).)*x|.", "\\b(?=.*a)|.", "(?=(?:.*?a)+?!)|.", "(?:(?=(.*)\\1).)*x|.", "(?:(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a)(?=.*a).)*x|.", "(?:(?=.*+a)(?=.*+a).)*x|.", "(?:(?=[\\s\\S]*a).)*x|.", "(?:(?=(?i).*A)(?=(?i).*A).)*x|.", "(?:(?=.*(a)\\1?).)*x|.", "(?:(?=(?>.*a)).)*x|."};
  const char* prefixes[] = {"", "(*NO_JIT)", "(*NO_START_OPT)", "(*NO_JIT)(*NO_START_OPT)"};
  std::printf("\nThe bound of regex work per name (%llu units), on names of %zu and %zu bytes:\n",
              static_cast<unsigned long long>(kRegexNameBudget), ascii.size(), kanji.size());
  RuleFailure failure = RuleFailure::None;
  const ReplacePair markers{"[\\[［【(（][^0-9０-９\\]］】)）][\\]］】)）]|[\\x{1F210}-\\x{1F23B}]", "", true};
  std::printf("  baseline, the marker row: %.4f ms a name\n", MsPerName(markers, ascii, failure));
  double worst = 0;
  std::string worstPattern;
  for (const char* prefix : prefixes) {
    for (const char* pattern : patterns) {
      const std::string full = std::string(prefix) + pattern;
      for (const std::string* name : {&ascii, static_cast<const std::string*>(&kanji)}) {
        const double ms = MsPerName({full, "$0", true}, *name, failure);
        if (ms > worst) {
          worst = ms;
          worstPattern = full + (name == &ascii ? " (ASCII)" : " (kanji)");
        }
        if (ms >= 1.0)
          std::printf("  %-45s %-6s %7.2f ms%s\n", full.c_str(), name == &ascii ? "ASCII" : "kanji", ms,
                      failure == RuleFailure::MatchLimit ? "  (bound reached)" : "");
      }
    }
  }
  std::printf("  the slowest name: %.2f ms, %s\n", worst, worstPattern.c_str());
}

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  BoundFigures();
  return 0;
}
