#include "devices/DigitalOutput.h"

// Placeholder until the output channels land.
DigitalOutput::DigitalOutput(Tessaro& t, int32_t outIndex, TessaroDev* device, int32_t devOutput,
                             int32_t mode, int32_t slaveOut, std::string_view name,
                             std::string_view controlFile)
    : outIndex(outIndex), device(device), devOutput(devOutput), mode(mode), slaveOut(slaveOut),
      name(name), controlFile(controlFile), t_(t) {}
void DigitalOutput::setValue(int32_t) {}
void DigitalOutput::writeXml(std::string&) const {}
