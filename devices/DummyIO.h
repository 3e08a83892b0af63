#pragma once

#include "devices/TessaroDev.h"

// A device without hardware: 32 outputs whose image is shown on the console
// at every write, so an installation can run with nothing attached.
class DummyIO final : public TessaroDev {
 public:
  DummyIO(const DeviceContext& t, int32_t index);
  int32_t do_WriteAllPortBits() override;
};
