#pragma once

// The console table of a benchmark program, with each benchmark's rate kept
// for the figures the program prints after the table, beside its baseline.

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace quor::bench {

class RateReporter : public benchmark::ConsoleReporter {
 public:
  RateReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // With repetitions, the median stands for the benchmark.
    for (const auto& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (!median && run.repetitions > 1) continue;
      const auto it = run.counters.find("items_per_second");
      if (it != run.counters.end()) rates_[run.run_name.function_name] = it->second.value;
    }
  }

 protected:
  // Items per second of each benchmark that ran, by its function name.
  [[nodiscard]] const std::map<std::string, double>& Rates() const { return rates_; }
  // The rate of one benchmark; 0 when it did not run.
  [[nodiscard]] double Rate(const std::string& name) const {
    const auto it = rates_.find(name);
    return it == rates_.end() ? 0 : it->second;
  }
  // Nanoseconds per item; 0 when the benchmark did not run or counted nothing.
  [[nodiscard]] double NsPerItem(const std::string& name) const {
    const double rate = Rate(name);
    return rate > 0 ? 1e9 / rate : 0;
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace quor::bench
