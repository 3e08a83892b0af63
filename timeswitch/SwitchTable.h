#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "timeswitch/ControlFile.h"

// The merged weekly programme: ascending times with alternating states.
// Entries at and beyond the count are {0, off}.
using SwitchTable = std::array<SwitchPoint, kMaxSwitchPoints>;

// Replaces table with the raw points in ascending time (equal times in the
// order given) whose time is below two weeks, keeping only changes of
// state: a point that repeats the state of the point kept before it is
// dropped. Returns the number of entries kept.
int32_t MergeSwitchPoints(const std::vector<SwitchPoint>& raw, SwitchTable& table);
