#pragma once

// The pseudo-terminal a test plays a serial device on, and the waits for
// what it hands over (a few ms from one side to the other).
#include "tools/support/Pty.h"
#include "tools/support/Wait.h"
