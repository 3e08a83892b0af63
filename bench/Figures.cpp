#include "bench/Figures.h"

#include <algorithm>
#include <cmath>

Percentiles PercentilesOf(std::vector<int64_t> ns) {
  if (ns.empty()) return {};
  std::sort(ns.begin(), ns.end());
  const auto at = [&](double q) {
    const size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(ns.size())));
    return static_cast<double>(ns[std::min(ns.size(), std::max<size_t>(rank, 1)) - 1]) / 1000.0;
  };
  return {at(0.5), at(0.99)};
}
