#include "protocol/InstallationPaths.h"

std::string InstallationPath(std::string_view dir, std::string_view path) {
  if (dir.empty() || dir == "." || (!path.empty() && path.front() == '/')) return std::string(path);
  std::string joined(dir);
  joined += '/';
  joined += path;
  return joined;
}
