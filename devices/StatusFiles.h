#pragma once

class Tessaro;

// The two status files ../debug/fast.xml and ../debug/slow.xml for the front
// end. Each is written whole to a temporary file beside it and renamed over
// it, so a reader sees the old file or the new one, never a part.
void WriteFastXml(Tessaro& t);
void WriteSlowXml(Tessaro& t);
