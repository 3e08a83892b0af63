#pragma once

#include <string>
#include <string_view>

// The files of an installation, relative to its working directory: where
// the server reads and writes them and where every front end finds them.
inline constexpr std::string_view kConfigFile = "Tessaro.ini";
inline constexpr std::string_view kLogFile = "logfile.txt";
inline constexpr std::string_view kStatusDir = "../debug";
inline constexpr std::string_view kFastXml = "../debug/fast.xml";
inline constexpr std::string_view kSlowXml = "../debug/slow.xml";

// path (relative to the working directory, as Tessaro.ini names control
// files) as a program whose working directory is not the installation's
// opens it: under dir, or as it is when dir is "" or "." or path is absolute.
std::string InstallationPath(std::string_view dir, std::string_view path);
