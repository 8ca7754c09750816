#pragma once

#include <string>
#include <vector>

// One comparison a benchmark is held to: each pass times our side and its reference doing
// the same work back to back, so that both meet the same load on a shared machine, and the
// figure is the median of the passes' ratios with their spread. A stall on one pass moves
// the spread, not the figure.
//
//   BenchRatio ratio("ThousandVariablesToSuspended", "raw loopback", BenchRatio::AtMost, 3);
//   for (auto _ : state)
//       ratio.add(oursMs, rawMs);
//   ratio.report(state);   // the counters now; the line at BenchRatio::printReports()
//
// which prints, once every benchmark has run:
//   ThousandVariablesToSuspended: 2.41x raw loopback (median of 21 passes, spread 2.20x .. 2.93x;
//   medians 14.02 ms vs 5.81 ms)  worst pass 2.93x, p95 2.80x, our slowest pass 17.1 ms
//   target at most 3x: met
class BenchRatio
{
public:
    // Fewer passes than this give no figure: a median of a handful says little.
    static constexpr int MinPasses = 20;
    // What benchmarks run: odd, so that the median is one pass's own ratio.
    static constexpr int Passes = 21;

    // Which way the ratio is taken; a target of 0 shows the figure without judging it.
    enum Goal {
        AtMost, // ratio = ours / reference: ours takes at most `target` times as long
        AtLeast // ratio = reference / ours: ours is at least `target` times as fast
    };

    BenchRatio(std::string name, std::string against, Goal goal, double target = 0,
               std::string unit = "ms");

    // The times of one pass, both in `unit`. A pass where either side took no time is
    // left out: it has no ratio.
    void add(double ours, double reference);

    int passes() const { return int(m_ratios.size()); }
    double ratio() const;   // the median of the passes' ratios; 0 without passes
    // For an interactive program a stall on some passes is a fault in itself, so the line
    // shows the worst pass and the 95th percentile beside the median; the target is
    // judged on the median.
    double worstRatio() const;
    double percentile95() const;
    bool measured() const { return passes() >= MinPasses; }
    bool met() const;

    // The printed line, without a line break.
    std::string line() const;

    // Sets the benchmark's counters ("ratio", "ours", "reference") and keeps the line for
    // printReports(). Printing at once would put it between Google Benchmark's table rows.
    template<typename State>
    void report(State &state) const
    {
        state.counters["ratio"] = ratio();
        state.counters["worst_ratio"] = worstRatio();
        state.counters["ours_" + m_unit] = median(m_ours);
        state.counters["reference_" + m_unit] = median(m_reference);
        keep();
    }
    void keep() const;

    // Prints every kept line under a heading; what each benchmark's main calls last.
    static void printReports();

private:
    static double median(std::vector<double> values);

    std::string m_name;
    std::string m_against;
    Goal m_goal;
    double m_target;
    std::string m_unit;
    std::vector<double> m_ratios;
    std::vector<double> m_ours;
    std::vector<double> m_reference;
};
