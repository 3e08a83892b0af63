#pragma once

#include <string>
#include <string_view>

class Tessaro;

// The two status files ../debug/fast.xml and ../debug/slow.xml for the front
// end. Each is written whole to a temporary file beside it and renamed over
// it, so a reader sees the old file or the new one, never a part. A file that
// cannot be written is left as it was, without a word; the next pass retries.
void WriteFastXml(Tessaro& t);
void WriteSlowXml(Tessaro& t);

// The files' whole texts: header, the devices' fragments in slot order (in
// the slow file then the channels' digout fragments in slot order), trailer.
// The slow text ends right after "</slow>", without a line end.
std::string FastXmlText(Tessaro& t);
std::string SlowXmlText(Tessaro& t);

// Replaces the file at path by bytes through "<path>.tmp" in the same
// directory. False, with the old file untouched and no temporary file left,
// when anything fails.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);
