#include "devices/StatusFiles.h"

// Placeholder until the status files land.
void WriteFastXml(Tessaro&) {}
void WriteSlowXml(Tessaro&) {}
