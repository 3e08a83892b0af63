#include "timeswitch/SwitchTable.h"

#include <algorithm>

int32_t MergeSwitchPoints(const std::vector<SwitchPoint>& raw, SwitchTable& table) {
  table.fill(SwitchPoint{});
  std::vector<SwitchPoint> sorted;
  sorted.reserve(raw.size());
  // A point at week time 0 (Monday 00:00 loaded at exactly that minute) is a
  // real point here: emptiness is the count's business, not the time's.
  for (const SwitchPoint& p : raw) {
    if (p.time < 2 * kWeekSeconds) sorted.push_back(p);
  }
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const SwitchPoint& a, const SwitchPoint& b) { return a.time < b.time; });

  int32_t count = 0;
  bool haveRequired = false;
  uint8_t required = 0;
  for (const SwitchPoint& p : sorted) {
    if (count >= kMaxSwitchPoints) break;
    if (haveRequired && p.on != required) continue;
    table[static_cast<size_t>(count++)] = p;
    haveRequired = true;
    required = p.on ? 0 : 1;
  }
  return count;
}
