// Byte strings for the tests and the simulators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How often what occurs in text, overlapping occurrences included.
size_t CountOf(std::string_view text, std::string_view what);

// Deterministic bytes of every value, zero bytes and line feeds included.
std::string RandomBytes(size_t count, uint32_t seed);
