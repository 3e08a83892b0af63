#pragma once

#include <string>

struct StatusContext;

// The two status files ../debug/fast.xml and ../debug/slow.xml for the front
// end. Each is written whole to a temporary file beside it and renamed over
// it, so a reader sees the old file or the new one, never a part. A file that
// cannot be written is left as it was, without a word; the next pass retries.
void WriteFastXml(const StatusContext& s);
void WriteSlowXml(const StatusContext& s);

// The files' whole texts: header, the devices' fragments in slot order (in
// the slow file then the channels' digout fragments in slot order), trailer.
// The slow text ends right after "</slow>", without a line end.
std::string FastXmlText(const StatusContext& s);
std::string SlowXmlText(const StatusContext& s);
