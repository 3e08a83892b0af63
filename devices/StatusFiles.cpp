#include "devices/StatusFiles.h"

#include <cstdio>

#include "core/Tessaro.h"
#include "core/Text.h"

namespace {

// The texts are single bytes of ISO 8859-1 ("K\xFCche"): a declaration
// without an encoding would make every parser read them as UTF-8 and reject
// the file.
constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n";

}  // namespace

std::string FastXmlText(Tessaro& t) {
  std::string text = kDeclaration;
  appendf(text, "<fast>\n   <slowid>%d</slowid>\n", t.SlowId);
  t.devices.forEach([&](TessaroDev& d) { d.do_WriteFastXml(text); });
  text += "</fast>\n";
  return text;
}

std::string SlowXmlText(Tessaro& t) {
  std::string text = kDeclaration;
  appendf(text,
          "<slow>\n   <slowid>%d</slowid>\n   <debug>\n"
          "      <enaoutp>%d</enaoutp>\n   </debug>\n",
          t.SlowId, t.EnableOutput ? 1 : 0);
  t.devices.forEach([&](TessaroDev& d) { d.do_WriteSlowXml(text); });
  for (int32_t ch = 0; ch < OutputTable::kSize; ++ch) {
    if (const DigitalOutput* channel = t.outputs.get(ch)) channel->writeXml(text);
  }
  // The message list keeps its own line ends.
  text += "   <msg>";
  text += xmlEscape(t.log.MessageList);
  text += "</msg>\n</slow>";
  return text;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string temp = path + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  // A short write (a full disk) must not replace a complete file.
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

void WriteFastXml(Tessaro& t) { ReplaceFileAtomically(t.path("../debug/fast.xml"), FastXmlText(t)); }

void WriteSlowXml(Tessaro& t) { ReplaceFileAtomically(t.path("../debug/slow.xml"), SlowXmlText(t)); }
