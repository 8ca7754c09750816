#include "benchratio.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

std::vector<std::string> &keptLines()
{
    static std::vector<std::string> lines;
    return lines;
}

std::string format(const char *pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

} // namespace

BenchRatio::BenchRatio(std::string name, std::string against, Goal goal, double target, std::string unit)
    : m_name(std::move(name)), m_against(std::move(against)), m_goal(goal), m_target(target), m_unit(std::move(unit))
{
}

void BenchRatio::add(double ours, double reference)
{
    if (!(ours > 0) || !(reference > 0))
        return;
    m_ours.push_back(ours);
    m_reference.push_back(reference);
    m_ratios.push_back(m_goal == AtLeast ? reference / ours : ours / reference);
}

double BenchRatio::median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double BenchRatio::ratio() const
{
    return median(m_ratios);
}

// The worst pass is the one that went worst for our side: the highest ratio when ours
// should take little time, the lowest when ours should be fast.
double BenchRatio::worstRatio() const
{
    if (m_ratios.empty())
        return 0;
    return m_goal == AtMost ? *std::max_element(m_ratios.begin(), m_ratios.end())
                            : *std::min_element(m_ratios.begin(), m_ratios.end());
}

// The ratio that 95 in 100 passes do at least as well as (nearest rank).
double BenchRatio::percentile95() const
{
    if (m_ratios.empty())
        return 0;
    std::vector<double> sorted = m_ratios;
    std::sort(sorted.begin(), sorted.end());
    if (m_goal == AtLeast)
        std::reverse(sorted.begin(), sorted.end());
    const size_t rank = (sorted.size() * 95 + 99) / 100;   // ceil(0.95 n), at least 1
    return sorted[std::max<size_t>(rank, 1) - 1];
}

bool BenchRatio::met() const
{
    if (!measured())
        return false;
    if (m_target <= 0)
        return true;
    return m_goal == AtMost ? ratio() <= m_target : ratio() >= m_target;
}

std::string BenchRatio::line() const
{
    std::string text = m_name + ": ";
    if (!measured()) {
        text += "not measured (" + std::to_string(passes()) + " passes, at least "
                + std::to_string(MinPasses) + " needed)";
    } else {
        const auto [low, high] = std::minmax_element(m_ratios.begin(), m_ratios.end());
        text += format("%.2fx ", ratio()) + m_against + " (median of " + std::to_string(passes())
                + " passes, spread " + format("%.2fx", *low) + " .. " + format("%.2fx", *high)
                + "; medians " + format("%.4g ", median(m_ours)) + m_unit + " vs "
                + format("%.4g ", median(m_reference)) + m_unit + ")"
                + format("  worst pass %.2fx", worstRatio()) + format(", p95 %.2fx", percentile95())
                + format(", our slowest pass %.4g ", *std::max_element(m_ours.begin(), m_ours.end())) + m_unit;
    }
    if (m_target <= 0)
        text += "  no target";
    else
        text += format(m_goal == AtMost ? "  target at most %gx: " : "  target at least %gx: ", m_target)
                + (met() ? "met" : "NOT met");
    return text;
}

void BenchRatio::keep() const
{
    keptLines().push_back(line());
}

void BenchRatio::printReports()
{
    if (keptLines().empty())
        return;
    std::printf("\nRatios against their targets:\n");
    for (const std::string &line : keptLines())
        std::printf("  %s\n", line.c_str());
    std::fflush(stdout);
    keptLines().clear();
}
