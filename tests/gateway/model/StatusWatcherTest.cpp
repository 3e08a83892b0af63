#include <gtest/gtest.h>

#include <filesystem>

#include "gateway/model/Model.h"
#include "gateway/model/StatusWatcher.h"
#include "platform/PosixFileSystem.h"
#include "tests/support/TempDir.h"
#include "tools/support/Wait.h"

namespace {

std::string SlowWith(const char* mode) {
  return std::string(
             "<?xml version=\"1.0\" ?>\n<slow>\n<slowid>1</slowid>\n<digout>\n<outn>0</outn>\n"
             "<valid>1</valid>\n<value>0</value>\n<mode>") +
         mode + "</mode>\n</digout>\n</slow>\n";
}

// Where the directory cannot be watched, a replaced file is seen by its
// identity alone.
TEST(StatusWatcher, PollingSeesEveryReplacedStatusFile) {
  TempDir root;
  const std::string run = root.path() + "/run", debug = root.path() + "/debug";
  std::filesystem::create_directories(run);
  std::filesystem::create_directories(debug);
  WriteFile(run + "/Tessaro.ini",
            "[Devices]\ndev0=dummy_io\n[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\n");
  WriteFile(debug + "/slow.xml", SlowWith("aus"));
  Model model;
  PosixFileSystem files;
  StatusWatcher watcher(files, run, model, false);
  watcher.start();
  auto modeIs = [&](const char* mode) {
    return WaitUntil([&] {
      const State s = model.snapshot().state;
      return s.outputs.size() == 1 && s.outputs[0].mode == mode;
    });
  };
  EXPECT_TRUE(modeIs("aus"));
  for (const char* mode : {"ein", "uhr"}) {
    WriteFile(debug + "/slow.xml.tmp", SlowWith(mode));
    std::filesystem::rename(debug + "/slow.xml.tmp", debug + "/slow.xml");
    EXPECT_TRUE(modeIs(mode)) << mode;
  }
  watcher.stop();
}

}  // namespace
