#include "tools/support/ProcStatus.h"

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

int OpenDescriptors(pid_t pid) {
  DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (dir == nullptr) return -1;
  int n = 0;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] != '.') ++n;
  }
  closedir(dir);
  return n;
}

long VmRssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  if (!in) return -1;
  const std::string status((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto values = ParseKiB(status);
  const auto rss = values.find("VmRSS");
  return rss == values.end() ? -1 : static_cast<long>(rss->second);
}

std::map<std::string, double> ParseKiB(std::string_view text) {
  std::map<std::string, double> values;
  std::istringstream in{std::string(text)};
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || line.find(" kB") == std::string::npos) continue;
    values[line.substr(0, colon)] = std::atof(line.c_str() + colon + 1);
  }
  return values;
}

