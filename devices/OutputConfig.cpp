// The output channels half of LoadConfig: section Digital_Outputs, keys
// out0 ... out31, each "device,output,slave,mode[,name[,control file]]".

#include "devices/OutputConfig.h"

#include <memory>
#include <string>
#include <vector>

#include "base/Text.h"
#include "devices/ChannelContext.h"
#include "devices/DeviceContext.h"
#include "devices/DeviceTable.h"
#include "devices/OutputTable.h"
#include "platform/Console.h"

namespace {

// The channel of key number k from its configuration value, or null after
// the console line saying why the line is not used.
std::unique_ptr<DigitalOutput> BuildChannel(const ChannelContext& c, int32_t k,
                                            std::string_view value) {
  const std::vector<std::string> fields = SplitOutputFields(value);
  auto field = [&](size_t n) -> const std::string* {
    return n < fields.size() ? &fields[n] : nullptr;
  };
  if (fields.empty()) return nullptr;

  const int32_t devIndex = parseInt(fields[0]);
  if (devIndex < 0 || devIndex >= DeviceTable::kSize) {
    c.context.console.printf("   Geraet dev%d nicht zugelassen (dev0 ... dev%d)\n", devIndex,
                             DeviceTable::kSize - 1);
    return nullptr;
  }
  TessaroDev* device = c.devices.get(devIndex);
  if (device == nullptr) {
    c.context.console.printf("   Geraet dev%d nicht definiert\n", devIndex);
    return nullptr;
  }

  if (field(1) == nullptr) {
    c.context.console.printf("   Ausgangsnummer nicht angegeben\n");
    return nullptr;
  }
  const int32_t devOutput = parseInt(*field(1));
  if (devOutput < 0 || devOutput >= OutputTable::kSize) {
    c.context.console.printf("   Ausgangsnummer %d nicht zugelassen (0 ... %d)\n", devOutput,
                             OutputTable::kSize - 1);
    return nullptr;
  }
  const int32_t numOutputs = device->getNumOutputs();
  if (numOutputs < 1) {
    c.context.console.printf("   dev%d besitzt keine digitalen Ausgaenge\n", devIndex);
    return nullptr;
  }
  if (devOutput >= numOutputs) {
    c.context.console.printf("   dev%d besitzt nur %d Ausgaenge (0 ... %d)\n", devIndex, numOutputs,
                             numOutputs - 1);
    return nullptr;
  }

  // No slave field means no slave; such a line has no mode field either and
  // is refused just below.
  int32_t slaveOut = field(2) != nullptr ? parseInt(*field(2)) : -1;

  const int32_t mode = ParseOutputMode(field(3) != nullptr ? field(3)->c_str() : nullptr);
  if (mode < 0) {
    c.context.console.printf("   dev%d: unbekannte Default-Betriebsart (%s)\n", devIndex,
                             field(3) != nullptr ? field(3)->c_str() : "(null)");
    return nullptr;
  }

  // A link past the table or onto the channel itself is dropped, the channel
  // is built without a slave.
  if (slaveOut >= 0 && !IsAllowedSlave(k, slaveOut)) {
    c.context.console.printf("   out%d: Slave out%d nicht zugelassen (kein Slave)\n", k, slaveOut);
    slaveOut = -1;
  }

  const std::string_view name = field(4) != nullptr ? std::string_view(*field(4)) : "";
  const std::string_view controlFile = field(5) != nullptr ? std::string_view(*field(5)) : "";
  return std::make_unique<DigitalOutput>(c, k, device, devOutput, mode, slaveOut, name,
                                         controlFile);
}

}  // namespace

std::vector<std::string> SplitOutputFields(std::string_view value) {
  constexpr size_t kMaxFields = 6;
  std::vector<std::string> fields;
  size_t at = 0;
  while (fields.size() < kMaxFields) {
    at = value.find_first_not_of(',', at);
    if (at == std::string_view::npos) break;
    const size_t end = value.find(',', at);
    fields.emplace_back(value.substr(at, end == std::string_view::npos ? end : end - at));
    if (end == std::string_view::npos) break;
    at = end;
  }
  return fields;
}

void LoadOutputs(const ChannelContext& c) {
  c.context.console.printf("\nDIGTAL OUTPUTS:\n");
  for (int32_t k = 0; k < OutputTable::kSize; ++k) {
    const std::string pname = "out" + std::to_string(k);
    c.outputs.put(k, nullptr);
    const std::string pval = c.context.config("Digital_Outputs", pname, 256);
    if (pval.empty()) continue;
    c.context.console.printf("%s: %s\n", pname.c_str(), pval.c_str());
    c.outputs.put(k, BuildChannel(c, k, pval));
  }
}
