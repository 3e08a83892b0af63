#pragma once

#include <map>
#include <string>

#include "gateway/model/State.h"

// Home Assistant's MQTT discovery for the installation: one device, and per
// channel a select for its mode, a binary_sensor for its output and a number
// that starts an on-timer (0 ends it); sensors for the analog inputs, the
// tank and the climate values; a switch for output enable. Every config is
// retained at DISCOVERY/<component>/<prefix>/<object>/config and names its
// topics under prefix. An entity is available while the gateway and the
// server are (PREFIX/status) and its own valid is 1 (.../available).
// Topic to JSON text.
std::map<std::string, std::string> DiscoveryConfigs(const State& state, const std::string& prefix,
                                                    const std::string& discoveryPrefix);
