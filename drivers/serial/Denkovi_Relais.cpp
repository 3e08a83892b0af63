#include "drivers/serial/Denkovi_Relais.h"

#include <vector>

#include "devices/DeviceContext.h"
#include "drivers/serial/DevicePorts.h"
#include "platform/Console.h"

namespace {

// Stands in when the program has no FTDI adapter: no device is attached.
class NoFtdiDevices final : public FtdiAdapter {
 public:
  FtStatus FT_CreateDeviceInfoList(uint32_t* count) override {
    *count = 0;
    return FT_OK;
  }
  FtStatus FT_GetDeviceInfoList(FtDeviceInfo*, uint32_t* count) override {
    *count = 0;
    return FT_OK;
  }
  FtStatus FT_Open(int32_t, FtHandle*) override { return FT_DEVICE_NOT_FOUND; }
  FtStatus FT_SetBitMode(FtHandle, uint8_t, uint8_t) override { return FT_INVALID_HANDLE; }
  FtStatus FT_Write(FtHandle, const void*, uint32_t, uint32_t*) override {
    return FT_INVALID_HANDLE;
  }
};

constexpr uint8_t kAllPinsOutput = 0xFF;

}  // namespace

FtdiAdapter& Denkovi_Relais::ftdi() const {
  static NoFtdiDevices none;
  return t.ftdi != nullptr ? *t.ftdi : none;
}

Denkovi_Relais::Denkovi_Relais(const DeviceContext& t, int32_t index) : TessaroDev(t) {
  devIndex = index;
  devName = "DenkoviUsbRelais";
  numOutputs = 8;
  baudRate = 19200;
  dataBits = 1;
  parity = 0;
  stopBits = 0;

  // The port is opened and supervised like any serial device's; the board
  // itself does not use it.
  ReadComPortConfig(t, *this);

  uint32_t numDevs = 0;
  if (ftdi().FT_CreateDeviceInfoList(&numDevs) == FT_OK) {
    t.console.printf("Number of devices is %d\n", static_cast<int>(numDevs));
  } else {
    numDevs = 0;
  }

  // The list serves only this report; the board is whatever device 0 is.
  if (numDevs >= 1) {
    std::vector<FtDeviceInfo> devInfo(numDevs);
    uint32_t listed = numDevs;
    if (ftdi().FT_GetDeviceInfoList(devInfo.data(), &listed) == FT_OK) {
      if (listed > numDevs) listed = numDevs;
      for (uint32_t i = 0; i < listed; ++i) {
        FtDeviceInfo& info = devInfo[i];
        info.SerialNumber[sizeof info.SerialNumber - 1] = '\0';
        info.Description[sizeof info.Description - 1] = '\0';
        t.console.printf("Dev %d:\n", static_cast<int>(i));
        t.console.printf(" Flags=0x%x\n", info.Flags);
        t.console.printf(" Type=0x%x\n", info.Type);
        t.console.printf(" ID=0x%x\n", info.ID);
        t.console.printf(" LocId=0x%x\n", info.LocId);
        t.console.printf(" SerialNumber=%s\n", info.SerialNumber);
        t.console.printf(" Description=%s\n", info.Description);
        t.console.printf(" ftHandle=0x%x\n", info.ftHandle);
      }
    }
  }

  if (ftdi().FT_Open(0, &ftHandle) != FT_OK) {
    t.console.printf("FT_Open failed\n");
    ftHandle = nullptr;
  }
  // With the empty handle this fails too, and so will every write.
  if (ftdi().FT_SetBitMode(ftHandle, kAllPinsOutput, FT_BITMODE_SYNC_BITBANG) != FT_OK) {
    t.console.printf("FT_SetBitMode failed\n");
  }
}

int32_t Denkovi_Relais::do_WriteAllPortBits() {
  FtStatus ftStatus = FT_OK;

  char mask_str[9];
  for (int i = 0; i < 8; ++i) mask_str[i] = getOutputBit(7 - i) ? '1' : '0';
  mask_str[8] = '\0';
  t.console.printf("DENKOVI: %s\n", mask_str);

  // With output disabled nothing reaches the board, and that counts as a
  // good transfer.
  if (t.EnableOutput) {
    const uint8_t pins = static_cast<uint8_t>(outputBits & 0xFFu);
    uint32_t bytesWritten = 0;
    ftStatus = ftdi().FT_Write(ftHandle, &pins, 1, &bytesWritten);
    if (ftStatus != FT_OK) t.log.LogEvent(-1, "DENKOVI: Datenausgabe fehlgeschlagen");
  }
  outputsChanged = false;
  outputsValid = ftStatus == FT_OK;
  return 0;
}
