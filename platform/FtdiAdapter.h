#pragma once

#include <cstdint>

// Result of every adapter call: FT_OK (0) is success, anything else failure.
// Callers only ever compare with FT_OK; the other values name the cause for
// whoever debugs an adapter.
enum FtStatus : uint32_t {
  FT_OK = 0,
  FT_INVALID_HANDLE,
  FT_DEVICE_NOT_FOUND,
  FT_DEVICE_NOT_OPENED,
  FT_IO_ERROR,
  FT_INVALID_PARAMETER,
};

// An opened FTDI device as the adapter that opened it knows it; null is the
// empty handle, which every call refuses.
using FtHandle = void*;

// FT_SetBitMode mode: synchronous bit-bang, every byte written is put on the
// eight data pins selected as outputs by the mask.
constexpr uint8_t FT_BITMODE_SYNC_BITBANG = 4;

// One entry of the device information list. Fields the adapter cannot fill
// are 0 (texts empty); the texts are always zero-terminated.
struct FtDeviceInfo {
  uint32_t Flags = 0;  // bit 0: opened, bit 1: high-speed USB
  uint32_t Type = 0;   // chip type
  uint32_t ID = 0;     // USB vendor id << 16 | product id
  uint32_t LocId = 0;  // where the device sits on the USB
  char SerialNumber[16] = {};
  char Description[64] = {};
  uint32_t ftHandle = 0;  // the handle of an opened device as a number
};

// The calls the relay board driver makes on the FTDI library, in the order
// it makes them. The library is the only code that talks to the chip.
class FtdiAdapter {
 public:
  virtual ~FtdiAdapter() = default;

  // *count = the number of FTDI devices attached now.
  virtual FtStatus FT_CreateDeviceInfoList(uint32_t* count) = 0;

  // list has room for *count records; fills at most that many, in device
  // number order, and sets *count to the number filled.
  virtual FtStatus FT_GetDeviceInfoList(FtDeviceInfo* list, uint32_t* count) = 0;

  // Opens device number deviceNumber (0 is the first attached device,
  // whichever it is). *handle stays as it was on failure. The device stays
  // open for the adapter's lifetime.
  virtual FtStatus FT_Open(int32_t deviceNumber, FtHandle* handle) = 0;

  // mask selects the data pins that are outputs (bit n = pin n).
  virtual FtStatus FT_SetBitMode(FtHandle handle, uint8_t mask, uint8_t mode) = 0;

  // Writes length bytes; *written = the count the library accepted.
  virtual FtStatus FT_Write(FtHandle handle, const void* buffer, uint32_t length,
                            uint32_t* written) = 0;
};
