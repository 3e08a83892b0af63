#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

// Appends printf-formatted text to out.
void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void vappendf(std::string& out, const char* format, va_list args);

// printf into a text of at most max characters; longer results are cut.
std::string formatCut(size_t max, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string vformatCut(size_t max, const char* format, va_list args);

// The first max characters of text: the fixed-size fields of the system's
// records hold 31 characters, and nothing may run past them.
std::string cut(std::string_view text, size_t max);

// text with "&", "<" and ">" written as entities and every byte that XML 1.0
// forbids (below 0x20, but tab, line feed and carriage return) as "?", so that
// whatever a client or a file puts into a status file text leaves the XML
// well-formed. Other bytes stay: the files declare them ISO 8859-1.
std::string xmlEscape(std::string_view text);

// Decimal numbers as the configuration, control files and requests write
// them: leading blanks, an optional sign, digits up to the first other
// character; no digits give 0. Results beyond the type's range are clamped.
int32_t parseInt(std::string_view text);
int64_t parseInt64(std::string_view text);
