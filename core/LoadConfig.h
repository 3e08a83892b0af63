#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

class Tessaro;
class TessaroDev;

// Builds the devices of section Devices and then the output channels of
// section Digital_Outputs from ./Tessaro.ini, reporting on the console.
// Nothing stops it: what cannot be built stays empty.
void LoadConfig(Tessaro& t);

// The devices half of LoadConfig.
void LoadDevices(Tessaro& t);

// A device of the class that the type name selects (exact, with case), or
// null for an unknown name.
std::unique_ptr<TessaroDev> CreateDevice(Tessaro& t, std::string_view typeName, int32_t index);
