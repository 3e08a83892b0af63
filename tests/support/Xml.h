#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

// The status files as a standard XML parser (expat) reads them, so that a
// test sees what any front end would: texts decoded by the files' declared
// encoding into UTF-8, and a file that a parser refuses refused here too.
struct XmlElement {
  std::string name;
  std::string text;  // the character data directly inside, in UTF-8
  std::vector<XmlElement> children;

  // The first child named name, or null.
  const XmlElement* child(std::string_view name) const;
};

struct XmlDocument {
  XmlElement root;
  std::string error;  // the parser's message and line; empty when well-formed
};

XmlDocument ParseXml(std::string_view text);

// Well-formed by expat, with the parser's message when not.
::testing::AssertionResult WellFormedXml(const std::string& text);
