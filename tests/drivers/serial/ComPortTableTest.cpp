#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "drivers/serial/ComPortTable.h"
#include "drivers/serial/DevicePorts.h"
#include "tests/support/Pty.h"
#include "tests/support/TestInstallation.h"

namespace {

// COM1 and COM10 on pseudo-terminals, COM2 on a path that does not exist.
class ComPortTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.writeIni("[COM-Devices]\nCOM1=" + com1.slavePath() + "\nCOM2=" + inst.dir() +
                  "/ttyGone\nCOM10=" + com10.slavePath() + "\n");
    ComInit(inst.t());
  }
  ComPortTable& com() { return inst.t().com; }
  bool open(uint32_t port, int32_t baud = 19200, int32_t parity = 0, int32_t stop = 0,
            int32_t data = 1) {
    return com().ComOpen(port, baud, parity, stop, data);
  }
  // How another open finds COM1's device: "claimed" for exclusive use (it is
  // refused as busy; root may still open it, and then sees the claim), "free",
  // or why it failed.
  std::string claim() {
    const int fd = ::open(com1.slavePath().c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return errno == EBUSY ? "claimed" : std::strerror(errno);
    int excl = -1;
    EXPECT_EQ(ioctl(fd, TIOCGEXCL, &excl), 0);
    ::close(fd);
    return excl == 1 ? "claimed" : excl == 0 ? "free" : "?";
  }
  // The slave's settings, as the master side reports them.
  termios slaveTermios() {
    termios tio{};
    EXPECT_EQ(tcgetattr(com1.master(), &tio), 0);
    return tio;
  }

  Pty com1, com10;
  TestInstallation inst{Files::Disk};  // the ports are real paths beside it
};

TEST_F(ComPortTableTest, NothingReceivedReadsAsNoByteAndNoBytes) {
  ASSERT_TRUE(open(0));
  char buf[32];
  EXPECT_EQ(com().ComReadByte(0), -1);
  EXPECT_EQ(com().ComRead(0, buf, sizeof buf), 0);
  EXPECT_EQ(com().ComInQueue(0), 0);
}

TEST_F(ComPortTableTest, BytesTravelBothWays) {
  ASSERT_TRUE(open(0));
  com1.send("\x01\xFFxyz");
  ASSERT_TRUE(WaitUntil([&] { return com().ComInQueue(0) == 5; }));
  EXPECT_EQ(com().ComReadByte(0), 0x01);
  EXPECT_EQ(com().ComReadByte(0), 0xFF);
  char buf[32];
  EXPECT_EQ(com().ComRead(0, buf, 2), 2);
  EXPECT_EQ(std::string(buf, 2), "xy");
  EXPECT_EQ(com().ComRead(0, buf, sizeof buf), 1);

  EXPECT_EQ(com().ComWrite(0, "c09", 3), 3);
  EXPECT_EQ(com().ComWriteByte(0, 0xE4), 1);
  EXPECT_EQ(com1.receive(4), "c09\xE4");
}

TEST_F(ComPortTableTest, TwoDigitComNumbersFollowTheConfiguredPath) {
  ASSERT_TRUE(open(9));  // COM10
  EXPECT_EQ(com().ComWrite(9, "x", 1), 1);
  EXPECT_EQ(com10.receive(1), "x");
}

TEST_F(ComPortTableTest, AnAlreadyOpenEntryFailsAndTheOpenPortKeepsWorking) {
  ASSERT_TRUE(open(0));
  EXPECT_FALSE(open(0, 9600, 2, 2, 7));
  const termios tio = slaveTermios();
  EXPECT_EQ(cfgetospeed(&tio), B19200);  // the framing stayed too
  com1.send("ab");
  ASSERT_TRUE(WaitUntil([&] { return com().ComInQueue(0) == 2; }));
  char buf[8];
  EXPECT_EQ(com().ComRead(0, buf, sizeof buf), 2);
}

TEST_F(ComPortTableTest, IndexesOutOfRangeAreNeverOpen) {
  char buf[4] = {};
  for (uint32_t port : {256u, 1000u, static_cast<uint32_t>(-1)}) {
    EXPECT_FALSE(open(port));
    EXPECT_EQ(com().ComClose(port), 0);
    EXPECT_EQ(com().ComRead(port, buf, 4), 0);
    EXPECT_EQ(com().ComWrite(port, buf, 4), 0);
    EXPECT_EQ(com().ComReadByte(port), -1);
    EXPECT_EQ(com().ComWriteByte(port, 1), 0);
    EXPECT_EQ(com().ComInQueue(port), 0);
    EXPECT_EQ(com().ComOutQueue(port), 0);
  }
}

TEST_F(ComPortTableTest, APathThatDoesNotExistDoesNotOpen) {
  EXPECT_FALSE(open(1));
  EXPECT_EQ(com().ComClose(1), 0);
}

TEST_F(ComPortTableTest, CloseEmptiesTheEntryAndReleasesTheDevice) {
  ASSERT_TRUE(open(0));
  EXPECT_EQ(claim(), "claimed");
  EXPECT_EQ(com().ComClose(0), 1);
  EXPECT_EQ(com().ComClose(0), 0);
  EXPECT_EQ(com().ComWrite(0, "x", 1), 0);
  EXPECT_EQ(claim(), "free");
  EXPECT_TRUE(open(0));
}

TEST_F(ComPortTableTest, CloseAllClosesEveryEntry) {
  ASSERT_TRUE(open(0));
  ASSERT_TRUE(open(9));
  EXPECT_EQ(com().ComCloseAll(), 1);
  EXPECT_EQ(com().ComWrite(0, "x", 1), 0);
  EXPECT_EQ(com().ComWrite(9, "x", 1), 0);
  EXPECT_TRUE(open(0));
  EXPECT_TRUE(open(9));
}

// A pseudo-terminal keeps every setting but the character size and the
// parity enable (always 8 bits, none); the rest shows the codes' mapping.
TEST_F(ComPortTableTest, FramingFollowsTheCodes) {
  struct Case {
    int32_t baud, parity, stop, data;
    speed_t speed;
    tcflag_t cflag;  // of PARODD, CMSPAR, CSTOPB
  };
  const Case cases[] = {
      {19200, 0, 0, 1, B19200, 0},
      {9600, 1, 2, 0, B9600, CSTOPB},
      {9600, 2, 3, 7, B9600, PARODD},
      {4800, 3, 1, 8, B4800, CMSPAR | CSTOPB},  // one and a half stop bits as two
      {115200, 4, 4, 1, B115200, CMSPAR | PARODD},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "parity " << c.parity << " stop " << c.stop);
    ASSERT_TRUE(open(0, c.baud, c.parity, c.stop, c.data));
    const termios tio = slaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    EXPECT_EQ(cfgetispeed(&tio), c.speed);
    EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR | CSTOPB), c.cflag);
    EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.parity != 0);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_EQ(com().ComClose(0), 1);
  }
}

TEST_F(ComPortTableTest, SettingsThePortCannotTakeFailTheOpenAndLeaveNothingHeld) {
  EXPECT_FALSE(open(0, 19200, 5));  // no parity beyond mark
  EXPECT_FALSE(open(0, 0));
  EXPECT_FALSE(open(0, 12345));  // not a rate the port knows
  EXPECT_TRUE(open(0));
}

TEST_F(ComPortTableTest, AWriteTheDeviceDoesNotTakeGivesUpWithinItsTimeOut) {
  ASSERT_TRUE(open(0));
  // The master reads nothing: fill what the pseudo-terminal buffers.
  char chunk[64];
  std::memset(chunk, 'x', sizeof chunk);
  int written = 0;
  for (int i = 0; i < 100000; ++i) {
    const int32_t n = com().ComWrite(0, chunk, sizeof chunk);
    written += n;
    if (n < static_cast<int32_t>(sizeof chunk)) break;
  }
  ASSERT_GT(written, 0);

  // 19200 baud: 1 ms per byte and 2 ms more. The write waits that long for
  // room, then gives up: it returns (a write that waited for the device,
  // which never reads, would show as the test's time-out).
  const int64_t start = NowMs();
  EXPECT_EQ(com().ComWrite(0, std::string(50, 'y').data(), 50), 0);
  EXPECT_GE(NowMs() - start, 52);

  // The device holds what the writes reported and nothing of the one that
  // gave up: its bytes would come before the next write's.
  const std::string got = com1.receive(static_cast<size_t>(written), 10000);
  EXPECT_EQ(got.size(), static_cast<size_t>(written));
  EXPECT_EQ(got.find_first_not_of('x'), std::string::npos);
  EXPECT_EQ(com().ComWrite(0, "zzz", 3), 3);
  EXPECT_EQ(com1.receive(3), "zzz");
}

TEST_F(ComPortTableTest, ProbeTellsOpenFreeMissingAndUnusablePorts) {
  std::string ini = "[COM-Devices]\nCOM1=" + com1.slavePath() + "\nCOM2=" + com10.slavePath() +
                    "\nCOM3=" + inst.dir() + "\n";  // a directory: exists, no port
  for (int n = 4; n <= 12; ++n) {
    ini += "COM" + std::to_string(n) + "=" + inst.dir() + "/none" + std::to_string(n) + "\n";
  }
  inst.writeIni(ini);
  ASSERT_TRUE(open(1));

  int32_t count = 5;  // only added to
  int32_t states[12];
  std::fill(std::begin(states), std::end(states), 7);
  com().ComProbe(&count, states, 12);
  EXPECT_EQ(states[0], 1);  // free
  EXPECT_EQ(states[1], 1);  // open in the table
  EXPECT_EQ(states[2], 2);
  for (int i = 3; i < 9; ++i) EXPECT_EQ(states[i], 0) << i;
  for (int i = 9; i < 12; ++i) EXPECT_EQ(states[i], 7) << "COM" << i + 1 << " was probed";
  EXPECT_EQ(count, 8);

  // The probe let go of the free port again.
  EXPECT_TRUE(open(0));
}

}  // namespace
