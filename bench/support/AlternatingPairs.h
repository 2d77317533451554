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
                // Reported as this row's error; the rows after it still run.
                std::string side = f < 0 ? "the framework side" : "the bare side";
                state.SkipWithError((side + " did not finish in pair " + std::to_string(i + 1)).c_str());
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

/// The same with several figures per side (wall and CPU time, say): each side answers one
/// figure per unit, in the order of `units` (a negative first figure: it failed). The
/// counters are named after the unit: framework_<unit>, bare_<unit>, ratio_<unit> and
/// ratio_<unit>_min, ratio_<unit>_max. The iteration's manual time is the sum of both
/// sides' first figures.
inline void runAlternatingPairsOf(benchmark::State& state, int pairs, const std::vector<std::string>& units, double scale,
                                  const std::function<std::vector<double>()>& framework,
                                  const std::function<std::vector<double>()>& bare) {
    for (auto _ : state) {
        std::vector<std::vector<double>> frameworkFigures(units.size()), bareFigures(units.size()), ratios(units.size());
        double total = 0;
        for (int i = 0; i < pairs; ++i) {
            std::vector<double> f, b;
            if (i % 2 == 0) {
                f = framework();
                b = bare();
            } else {
                b = bare();
                f = framework();
            }
            bool frameworkFailed = f.size() != units.size() || f[0] < 0;
            bool bareFailed = b.size() != units.size() || b[0] <= 0;
            if (frameworkFailed || bareFailed) {
                std::string side = frameworkFailed ? "the framework side" : "the bare side";
                state.SkipWithError((side + " did not finish in pair " + std::to_string(i + 1)).c_str());
                return;
            }
            for (std::size_t u = 0; u < units.size(); ++u) {
                frameworkFigures[u].push_back(f[u]);
                bareFigures[u].push_back(b[u]);
                ratios[u].push_back(b[u] > 0 ? f[u] / b[u] : 0);
            }
            total += f[0] + b[0];
        }
        state.SetIterationTime(total);
        for (std::size_t u = 0; u < units.size(); ++u) {
            const std::string& unit = units[u];
            state.counters["framework_" + unit] = medianOf(frameworkFigures[u]) * scale;
            state.counters["bare_" + unit] = medianOf(bareFigures[u]) * scale;
            state.counters["ratio_" + unit] = medianOf(ratios[u]);
            state.counters["ratio_" + unit + "_min"] = *std::min_element(ratios[u].begin(), ratios[u].end());
            state.counters["ratio_" + unit + "_max"] = *std::max_element(ratios[u].begin(), ratios[u].end());
        }
    }
}

}  // namespace zidbench
