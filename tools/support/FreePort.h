// A loopback port for a program that a test starts and that needs its port
// on its command line.
#pragma once

#include <cstdint>

// A port the kernel hands out for 127.0.0.1, released again at once: free at
// the time of the call, so the program should take it soon after.
uint16_t FreePort();
