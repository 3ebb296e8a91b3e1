// The console reporter of a benchmark program that ends in a table of rates
// and ratios: it keeps each row's rate of one counter for that table. With
// --benchmark_repetitions the median stands for the row, as the machine is
// shared and single runs wander; otherwise the row's one run does.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ConsoleColour.h"

class TRateReporter : public benchmark::ConsoleReporter {
public:
  // Counter: "items_per_second", "bytes_per_second".
  explicit TRateReporter(std::string Counter) : ConsoleReporter(ConsoleOptions()), FCounter(std::move(Counter)) {}

  void ReportRuns(const std::vector<Run> &Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run &R : Runs) {
      const auto Rate = R.counters.find(FCounter);
      if (Rate == R.counters.end())
        continue;
      const std::string Name = R.run_name.function_name;
      if (R.run_type == Run::RT_Iteration && FMedians.count(Name) == 0)
        FRates[Name] = Rate->second.value;
      if (R.run_type == Run::RT_Aggregate && R.aggregate_name == "median") {
        FRates[Name] = Rate->second.value;
        FMedians.insert(Name);
      }
    }
  }

  // The row's rate; 0 for a row that did not run.
  double Rate(const std::string &Name) const {
    const auto Found = FRates.find(Name);
    return Found == FRates.end() ? 0 : Found->second;
  }

private:
  std::string FCounter;
  std::map<std::string, double> FRates;
  std::set<std::string> FMedians;
};
