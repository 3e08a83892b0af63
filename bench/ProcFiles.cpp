#include "bench/ProcFiles.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "bench/BenchSupport.h"
#include "tools/support/ProcStatus.h"

namespace {

std::string ProcPath(pid_t pid, const char* file) {
  return "/proc/" + std::to_string(pid) + "/" + file;
}

bool ParseUnsigned(const std::string& text, uint64_t* value) {
  char* end = nullptr;
  *value = std::strtoull(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0';
}

}  // namespace

std::optional<CpuTicks> ParseCpuTicks(std::string_view stat) {
  // The command name in parentheses may hold blanks and parentheses; the
  // fields after its last ')' are plain, from field 3 (the state) on.
  const size_t close = stat.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::istringstream in{std::string(stat.substr(close + 1))};
  std::string field;
  CpuTicks t;
  int i = 3;
  for (; i <= 15 && in >> field; ++i) {
    if (i == 14 && !ParseUnsigned(field, &t.utime)) return std::nullopt;
    if (i == 15 && !ParseUnsigned(field, &t.stime)) return std::nullopt;
  }
  if (i <= 15) return std::nullopt;
  return t;
}

Memory ParseMemory(std::string_view status, std::string_view rollup) {
  auto s = ParseKiB(status);
  auto r = ParseKiB(rollup);
  Memory m;
  m.rss = s["VmRSS"];
  m.hwm = s["VmHWM"];
  m.privateKiB = r["Private_Clean"] + r["Private_Dirty"];
  m.sharedKiB = r["Shared_Clean"] + r["Shared_Dirty"];
  m.pss = r["Pss"];
  return m;
}

std::map<std::string, std::pair<double, double>> ParseMappings(std::string_view smaps) {
  std::map<std::string, std::pair<double, double>> byName;
  std::istringstream in{std::string(smaps)};
  std::string line, mapping = "[anonymous]";
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    // A mapping's header starts with its address range; its device has a
    // colon, after the range's '-'.
    const bool header = colon == std::string::npos || line.find('-') < colon;
    if (header) {
      // address perms offset dev inode [path]
      std::istringstream h(line);
      std::string skip;
      for (int i = 0; i < 5; ++i) h >> skip;
      mapping.clear();  // getline leaves it as it was when the line ends at the inode
      std::getline(h, mapping);
      mapping.erase(0, mapping.find_first_not_of(' '));
      mapping =
          mapping.empty() ? "[anonymous]" : std::filesystem::path(mapping).filename().string();
    } else if (line.rfind("Rss:", 0) == 0) {
      byName[mapping].first += std::atof(line.c_str() + 4);
    } else if (line.rfind("Private_Clean:", 0) == 0 || line.rfind("Private_Dirty:", 0) == 0) {
      byName[mapping].second += std::atof(line.c_str() + 14);
    }
  }
  return byName;
}

std::string ParseLoadAverage(std::string_view loadavg) {
  std::istringstream in{std::string(loadavg)};
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::string ParseCpuModel(std::string_view cpuinfo) {
  std::istringstream in{std::string(cpuinfo)};
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (line.rfind("model name", 0) != 0 || colon == std::string::npos) continue;
    const size_t value = line.find_first_not_of(" \t", colon + 1);
    return value == std::string::npos ? std::string() : line.substr(value);
  }
  return "unknown CPU";
}

CpuTicks ReadCpuTicks(pid_t pid) {
  const auto ticks = ParseCpuTicks(ReadWholeFile(ProcPath(pid, "stat")));
  if (!ticks) Fail("cannot read " + ProcPath(pid, "stat"));
  return *ticks;
}

int64_t ReadCpuNs(pid_t pid) {
  return std::atoll(ReadWholeFile(ProcPath(pid, "schedstat")).c_str());
}

int64_t ReadThreadsCpuNs(pid_t pid) {
  int64_t ns = 0;
  std::error_code ignored;
  for (const auto& task : std::filesystem::directory_iterator(ProcPath(pid, "task"), ignored)) {
    ns += std::atoll(ReadWholeFile(task.path().string() + "/schedstat").c_str());
  }
  return ns;
}

Memory ReadMemory(pid_t pid, bool byMapping) {
  Memory m = ParseMemory(ReadWholeFile(ProcPath(pid, "status")),
                         ReadWholeFile(ProcPath(pid, "smaps_rollup")));
  if (byMapping) m.byMapping = ParseMappings(ReadWholeFile(ProcPath(pid, "smaps")));
  return m;
}

std::string ReadLoadAverage() {
  return ParseLoadAverage(ReadWholeFile("/proc/loadavg"));
}

std::string ReadCpuModel() {
  return ParseCpuModel(ReadWholeFile("/proc/cpuinfo"));
}
