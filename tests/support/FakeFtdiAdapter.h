#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/FtdiAdapter.h"

// An FTDI library for tests: lists the devices a test puts in, opens any of
// them, keeps every byte written through an open handle, and fails the calls
// a test picks. Like the real library it refuses the empty handle and any
// handle it did not give out.
class FakeFtdiAdapter final : public FtdiAdapter {
 public:
  // A listed device with the given ids and texts (cut to their fields).
  static FtDeviceInfo Device(uint32_t id, uint32_t locId, const std::string& serial,
                             const std::string& description, uint32_t flags = 0,
                             uint32_t type = 0) {
    FtDeviceInfo info;
    info.Flags = flags;
    info.Type = type;
    info.ID = id;
    info.LocId = locId;
    std::strncpy(info.SerialNumber, serial.c_str(), sizeof info.SerialNumber - 1);
    std::strncpy(info.Description, description.c_str(), sizeof info.Description - 1);
    return info;
  }

  std::vector<FtDeviceInfo> devices;

  bool failCount = false;
  bool failList = false;
  bool failOpen = false;
  bool failBitMode = false;
  bool failWrite = false;

  // What the calls were given.
  int openCalls = 0;
  int32_t openedDevice = -1;  // the device number of the last good open
  uint8_t bitMask = 0;
  uint8_t bitMode = 0;  // of the last good FT_SetBitMode
  int writeCalls = 0;
  std::vector<uint8_t> written;  // every byte that reached an opened device

  FtStatus FT_CreateDeviceInfoList(uint32_t* count) override {
    if (failCount) return FT_IO_ERROR;
    *count = static_cast<uint32_t>(devices.size());
    return FT_OK;
  }

  FtStatus FT_GetDeviceInfoList(FtDeviceInfo* list, uint32_t* count) override {
    if (failList) return FT_IO_ERROR;
    uint32_t filled = 0;
    for (; filled < *count && filled < devices.size(); ++filled) list[filled] = devices[filled];
    *count = filled;
    return FT_OK;
  }

  FtStatus FT_Open(int32_t deviceNumber, FtHandle* handle) override {
    ++openCalls;
    if (failOpen) return FT_DEVICE_NOT_OPENED;
    if (deviceNumber < 0 || static_cast<size_t>(deviceNumber) >= devices.size()) {
      return FT_DEVICE_NOT_FOUND;
    }
    openedDevice = deviceNumber;
    *handle = &token_;
    return FT_OK;
  }

  FtStatus FT_SetBitMode(FtHandle handle, uint8_t mask, uint8_t mode) override {
    if (handle != &token_) return FT_INVALID_HANDLE;
    if (failBitMode) return FT_IO_ERROR;
    bitMask = mask;
    bitMode = mode;
    return FT_OK;
  }

  FtStatus FT_Write(FtHandle handle, const void* buffer, uint32_t length,
                    uint32_t* count) override {
    ++writeCalls;
    if (handle != &token_) return FT_INVALID_HANDLE;
    if (failWrite) return FT_IO_ERROR;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    written.insert(written.end(), bytes, bytes + length);
    *count = length;
    return FT_OK;
  }

 private:
  int token_ = 0;  // what an opened handle points at
};
