#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "devices/TessaroDev.h"

// The 16 device slots dev0 ... dev15. Filled once at start-up; a device lives
// until the process ends.
class DeviceTable {
 public:
  static constexpr int32_t kSize = 16;

  // The device in slot i, or null for an empty slot or an i out of range.
  TessaroDev* get(int32_t i) const {
    return (i >= 0 && i < kSize) ? slots_[static_cast<size_t>(i)].get() : nullptr;
  }
  void put(int32_t i, std::unique_ptr<TessaroDev> device) {
    slots_.at(static_cast<size_t>(i)) = std::move(device);
  }

  // Calls f(device) for every device, slots in ascending order.
  template <class F>
  void forEach(F&& f) const {
    for (const auto& slot : slots_) {
      if (slot) f(*slot);
    }
  }

 private:
  std::array<std::unique_ptr<TessaroDev>, kSize> slots_;
};
