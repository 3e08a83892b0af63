#include "devices/StatusFiles.h"

#include "base/Text.h"
#include "devices/DeviceContext.h"
#include "devices/DeviceTable.h"
#include "devices/OutputTable.h"
#include "devices/StatusContext.h"
#include "platform/FileSystem.h"
#include "protocol/InstallationPaths.h"

namespace {

// The texts are single bytes of ISO 8859-1 ("K\xFCche"): a declaration
// without an encoding would make every parser read them as UTF-8 and reject
// the file.
constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n";

}  // namespace

std::string FastXmlText(const StatusContext& s) {
  std::string text = kDeclaration;
  appendf(text, "<fast>\n   <slowid>%d</slowid>\n", s.SlowId);
  s.devices.forEach([&](TessaroDev& d) { d.do_WriteFastXml(text); });
  text += "</fast>\n";
  return text;
}

std::string SlowXmlText(const StatusContext& s) {
  std::string text = kDeclaration;
  appendf(text,
          "<slow>\n   <slowid>%d</slowid>\n   <debug>\n"
          "      <enaoutp>%d</enaoutp>\n   </debug>\n",
          s.SlowId, s.context.EnableOutput ? 1 : 0);
  s.devices.forEach([&](TessaroDev& d) { d.do_WriteSlowXml(text); });
  for (int32_t ch = 0; ch < OutputTable::kSize; ++ch) {
    if (const DigitalOutput* channel = s.outputs.get(ch)) channel->writeXml(text);
  }
  // The message list keeps its own line ends.
  text += "   <msg>";
  text += xmlEscape(s.MessageList);
  text += "</msg>\n</slow>";
  return text;
}

void WriteFastXml(const StatusContext& s) {
  s.context.files.replace(s.context.path(kFastXml), FastXmlText(s));
}

void WriteSlowXml(const StatusContext& s) {
  s.context.files.replace(s.context.path(kSlowXml), SlowXmlText(s));
}
