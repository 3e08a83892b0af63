#include "tests/support/Xml.h"

#include <expat.h>

#include <memory>

namespace {

struct Builder {
  XmlDocument doc;
  std::vector<XmlElement*> open;
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** /*attributes*/) {
  auto* b = static_cast<Builder*>(data);
  XmlElement* e = &b->doc.root;
  if (!b->open.empty()) e = &b->open.back()->children.emplace_back();
  e->name = name;
  b->open.push_back(e);
}

void XMLCALL onEnd(void* data, const XML_Char* /*name*/) { static_cast<Builder*>(data)->open.pop_back(); }

void XMLCALL onText(void* data, const XML_Char* text, int length) {
  auto* b = static_cast<Builder*>(data);
  if (!b->open.empty()) b->open.back()->text.append(text, static_cast<size_t>(length));
}

}  // namespace

const XmlElement* XmlElement::child(std::string_view wanted) const {
  for (const XmlElement& c : children) {
    if (c.name == wanted) return &c;
  }
  return nullptr;
}

XmlDocument ParseXml(std::string_view text) {
  Builder b;
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate(nullptr),
                                                                 XML_ParserFree);
  XML_SetUserData(parser.get(), &b);
  XML_SetElementHandler(parser.get(), onStart, onEnd);
  XML_SetCharacterDataHandler(parser.get(), onText);
  if (XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), XML_TRUE) !=
      XML_STATUS_OK) {
    b.doc.error = std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
                  std::to_string(XML_GetCurrentLineNumber(parser.get()));
  }
  return std::move(b.doc);
}

::testing::AssertionResult WellFormedXml(const std::string& text) {
  const XmlDocument doc = ParseXml(text);
  if (doc.error.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << doc.error;
}
