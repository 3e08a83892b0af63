#pragma once

#include <memory>
#include <vector>

#include "platform/FtdiAdapter.h"

struct ftdi_context;

// The FTDI calls on libftdi1. Only devices with FTDI's own vendor and product
// ids are seen (FT232R/FT245R, FT2232, FT4232, FT232H, FT230X), so a machine
// without such a chip lists none. Every call looks at the bus afresh, so
// device numbers follow the bus's enumeration order at the time of the call.
// A handle is the libftdi context of an opened device; it stays open until
// the adapter goes, and is valid only for the adapter that gave it out.
class LibFtdiAdapter final : public FtdiAdapter {
 public:
  LibFtdiAdapter();
  ~LibFtdiAdapter() override;
  LibFtdiAdapter(const LibFtdiAdapter&) = delete;
  LibFtdiAdapter& operator=(const LibFtdiAdapter&) = delete;

  FtStatus FT_CreateDeviceInfoList(uint32_t* count) override;
  FtStatus FT_GetDeviceInfoList(FtDeviceInfo* list, uint32_t* count) override;
  FtStatus FT_Open(int32_t deviceNumber, FtHandle* handle) override;
  FtStatus FT_SetBitMode(FtHandle handle, uint8_t mask, uint8_t mode) override;
  FtStatus FT_Write(FtHandle handle, const void* buffer, uint32_t length,
                    uint32_t* written) override;

 private:
  struct CloseContext {
    void operator()(ftdi_context* context) const;
  };
  using Context = std::unique_ptr<ftdi_context, CloseContext>;

  // The context of a handle this adapter gave out, else null.
  ftdi_context* opened(FtHandle handle) const;

  Context lister_;  // enumerates and reads the USB strings; never opens
  std::vector<Context> opened_;
};
