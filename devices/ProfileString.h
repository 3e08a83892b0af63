#pragma once

#include <optional>
#include <string>
#include <string_view>

class FileSystem;

// The INI look-up every configuration value and the climate data file go
// through. It behaves like the Windows profile service the files were written
// for: section and key names match without regard to letter case; blanks
// around names and values go; a value wholly enclosed in one pair of double
// or single quotes loses them; a line whose first non-blank is ";" is a
// comment; the first matching section, and the first matching key in it, win;
// LF or CR LF line ends; a UTF-8 byte-order mark is skipped; everything after
// "=" is the value (no comments behind it).

// The value of key in section of INI text, or nothing when the section or the
// key is missing.
std::optional<std::string> FindProfileValue(std::string_view ini, std::string_view section,
                                            std::string_view key);

// The value of key in section of the file at path (read afresh at every call),
// else defaultValue (or the empty text); cut to bufferSize - 1 characters.
// A missing or unreadable file is a missing key.
std::string GetPrivateProfileString(FileSystem& files, std::string_view section,
                                    std::string_view key, const char* defaultValue,
                                    size_t bufferSize, const std::string& path);
