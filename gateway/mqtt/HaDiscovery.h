#pragma once

#include <map>
#include <string>
#include <string_view>

#include "gateway/model/State.h"

// Home Assistant's MQTT discovery for the installation: one device, and per
// channel a select for its mode, a binary_sensor for its output and two
// numbers that start an on-timer and an off-timer (0 ends the running one);
// sensors for the analog inputs, the tank and the climate values; a switch
// for output enable. Every config is retained at
// DISCOVERY/<component>/<node id>/<object>/config and names its topics under
// prefix. An entity is available while the gateway and the server are
// (PREFIX/status) and its own valid is 1 (.../available). Topic to JSON text.
std::map<std::string, std::string> DiscoveryConfigs(const State& state, const std::string& prefix,
                                                    const std::string& discoveryPrefix);

// The prefix as a node id of the discovery topics, which Home Assistant takes
// only of [a-zA-Z0-9_-]: every other byte becomes "_" ("haus.tessaro" gives
// "haus_tessaro"). Prefixes that differ only there share their node id.
std::string DiscoveryNodeId(std::string_view prefix);
