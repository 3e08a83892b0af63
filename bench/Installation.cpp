#include "bench/Installation.h"

#include <sys/statfs.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

// One dummy device with a few named channels: every dout changes a real
// output image, prints the device's console line and logs an entry.
constexpr const char* kConfig =
    "[Devices]\n"
    "dev0=dummy_io\n"
    "\n"
    "[Digital_Outputs]\n"
    "out0=0,0,-1,aus,Kessel\n"
    "out1=0,1,-1,aus,Pumpe\n"
    "out2=0,2,-1,ein,Ventil\n"
    "out3=0,3,1,aus,Zirkulation\n"
    "out4=0,4,-1,slave,Mischer\n";

}  // namespace

TempInstallation::TempInstallation(const std::string& base, bool keep)
    : root_(base, "tessaro_bench", keep) {
  std::filesystem::create_directory(run());
  std::filesystem::create_directory(root() + "/debug");
  std::ofstream(run() + "/Tessaro.ini", std::ios::binary) << kConfig;
}

std::string FileSystemTypeName(unsigned long type) {
  switch (type) {
    case 0xEF53:
      return "ext4";  // the magic of ext2 and ext3 as well
    case 0x01021994:
      return "tmpfs";
    case 0x58465342:
      return "xfs";
    case 0x9123683E:
      return "btrfs";
    case 0x794C7630:
      return "overlayfs";
    default: {
      char text[40];
      std::snprintf(text, sizeof text, "file system 0x%lx", type);
      return text;
    }
  }
}

std::string FileSystemOf(const std::string& path) {
  struct statfs fs {};
  if (statfs(path.c_str(), &fs) != 0) return "?";
  return FileSystemTypeName(static_cast<unsigned long>(fs.f_type));
}
