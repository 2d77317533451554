#pragma once
// Measures a framework side and its bare peer in turn, pair after pair, so that a change
// in the machine's load (it is shared with other builds) falls on both sides alike; the
// side that goes first changes from one pair to the next. Reports, as counters, each
// side's median and the median, lowest and highest of the per-pair ratios
// (framework / bare). A side answers its figure, or a negative value when it failed.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace zidbench {

inline double medianOf(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

/// Runs `pairs` pairs; `unit` names the counters ("ms", "cpu_s", ...) and `scale`
/// multiplies the figures shown. The iteration's manual time is the sum of both sides.
inline void runAlternatingPairs(benchmark::State& state, int pairs, const std::string& unit, double scale,
                                const std::function<double()>& framework, const std::function<double()>& bare) {
    for (auto _ : state) {
        std::vector<double> frameworkFigures, bareFigures, ratios;
        double total = 0;
        for (int i = 0; i < pairs; ++i) {
            double f = -1, b = -1;
            if (i % 2 == 0) {
                f = framework();
                b = bare();
            } else {
                b = bare();
                f = framework();
            }
            if (f < 0 || b <= 0) {
                state.SkipWithError("a side did not finish");
                return;
            }
            frameworkFigures.push_back(f);
            bareFigures.push_back(b);
            ratios.push_back(f / b);
            total += f + b;
        }
        state.SetIterationTime(total);
        state.counters["framework_" + unit] = medianOf(frameworkFigures) * scale;
        state.counters["bare_" + unit] = medianOf(bareFigures) * scale;
        state.counters["ratio"] = medianOf(ratios);
        state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
        state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
    }
}

}  // namespace zidbench
