#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// Nearest-rank percentile of sorted values.
inline double Percentile(const std::vector<double>& sorted, double p)
{
    const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(p / 100.0 * static_cast<double>(sorted.size()))));
    return sorted[rank - 1];
}
