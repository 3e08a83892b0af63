#include "platform/LibFtdiAdapter.h"

#include <ftdi.h>
#include <libusb.h>

#include <climits>

static_assert(FT_BITMODE_SYNC_BITBANG == BITMODE_SYNCBB);

namespace {

// Vendor and product 0 make libftdi look for FTDI's own ids only.
constexpr int kFtdiIdsOnly = 0;

constexpr uint32_t kFlagOpened = 0x1;
constexpr uint32_t kFlagHighSpeed = 0x2;

// The FTDI devices on the bus now, in enumeration order.
class DeviceList {
 public:
  explicit DeviceList(ftdi_context* context)
      : count_(context ? ftdi_usb_find_all(context, &head_, kFtdiIdsOnly, kFtdiIdsOnly) : -1) {}
  ~DeviceList() { ftdi_list_free(&head_); }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;

  // Negative when the bus could not be searched.
  int count() const { return count_; }
  const ftdi_device_list* head() const { return head_; }
  libusb_device* at(int32_t n) const {
    const ftdi_device_list* node = head_;
    for (int32_t i = 0; node != nullptr && i < n; ++i) node = node->next;
    return (n >= 0 && node != nullptr) ? node->dev : nullptr;
  }

 private:
  ftdi_device_list* head_ = nullptr;
  int count_;
};

bool SameDevice(libusb_device* a, libusb_device* b) {
  return libusb_get_bus_number(a) == libusb_get_bus_number(b) &&
         libusb_get_device_address(a) == libusb_get_device_address(b);
}

}  // namespace

void LibFtdiAdapter::CloseContext::operator()(ftdi_context* context) const {
  if (context->usb_dev != nullptr) ftdi_usb_close(context);
  ftdi_free(context);
}

// libusb is started on first use only, so an installation without a relay
// board never touches the USB.
LibFtdiAdapter::LibFtdiAdapter() = default;

LibFtdiAdapter::~LibFtdiAdapter() = default;

ftdi_context* LibFtdiAdapter::opened(FtHandle handle) const {
  for (const Context& context : opened_) {
    if (context.get() == handle) return context.get();
  }
  return nullptr;
}

FtStatus LibFtdiAdapter::FT_CreateDeviceInfoList(uint32_t* count) {
  if (count == nullptr) return FT_INVALID_PARAMETER;
  if (!lister_) lister_.reset(ftdi_new());
  const DeviceList devices(lister_.get());
  if (devices.count() < 0) return FT_IO_ERROR;
  *count = static_cast<uint32_t>(devices.count());
  return FT_OK;
}

FtStatus LibFtdiAdapter::FT_GetDeviceInfoList(FtDeviceInfo* list, uint32_t* count) {
  if (list == nullptr || count == nullptr) return FT_INVALID_PARAMETER;
  if (!lister_) lister_.reset(ftdi_new());
  const DeviceList devices(lister_.get());
  if (devices.count() < 0) return FT_IO_ERROR;

  uint32_t filled = 0;
  for (const ftdi_device_list* node = devices.head(); node != nullptr && filled < *count;
       node = node->next, ++filled) {
    libusb_device* dev = node->dev;
    FtDeviceInfo info;
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(dev, &descriptor) == 0) {
      info.ID = static_cast<uint32_t>(descriptor.idVendor) << 16 | descriptor.idProduct;
    }
    info.LocId =
        static_cast<uint32_t>(libusb_get_bus_number(dev)) << 16 | libusb_get_device_address(dev);
    if (libusb_get_device_speed(dev) >= LIBUSB_SPEED_HIGH) info.Flags |= kFlagHighSpeed;
    for (const Context& context : opened_) {
      if (SameDevice(libusb_get_device(context->usb_dev), dev)) info.Flags |= kFlagOpened;
    }
    // The strings need the device opened for a moment; without the right to
    // do so they stay empty, as for a device another program holds.
    ftdi_usb_get_strings(lister_.get(), dev, nullptr, 0, info.Description, sizeof info.Description,
                         info.SerialNumber, sizeof info.SerialNumber);
    info.Description[sizeof info.Description - 1] = '\0';
    info.SerialNumber[sizeof info.SerialNumber - 1] = '\0';
    list[filled] = info;
  }
  *count = filled;
  return FT_OK;
}

FtStatus LibFtdiAdapter::FT_Open(int32_t deviceNumber, FtHandle* handle) {
  if (handle == nullptr) return FT_INVALID_PARAMETER;
  Context context(ftdi_new());
  if (!context) return FT_IO_ERROR;
  const DeviceList devices(context.get());
  if (devices.count() < 0) return FT_IO_ERROR;
  libusb_device* dev = devices.at(deviceNumber);
  if (dev == nullptr) return FT_DEVICE_NOT_FOUND;
  if (ftdi_usb_open_dev(context.get(), dev) < 0) return FT_DEVICE_NOT_OPENED;
  *handle = context.get();
  opened_.push_back(std::move(context));
  return FT_OK;
}

FtStatus LibFtdiAdapter::FT_SetBitMode(FtHandle handle, uint8_t mask, uint8_t mode) {
  ftdi_context* context = opened(handle);
  if (context == nullptr) return FT_INVALID_HANDLE;
  return ftdi_set_bitmode(context, mask, mode) < 0 ? FT_IO_ERROR : FT_OK;
}

FtStatus LibFtdiAdapter::FT_Write(FtHandle handle, const void* buffer, uint32_t length,
                                  uint32_t* written) {
  ftdi_context* context = opened(handle);
  if (context == nullptr) return FT_INVALID_HANDLE;
  if ((buffer == nullptr && length > 0) || length > INT_MAX) return FT_INVALID_PARAMETER;
  // In synchronous bit-bang mode the chip reads the pins back for every byte
  // it puts out and stops putting out once its receive buffer is full. No one
  // reads that echo, so it is dropped before each write.
  ftdi_tciflush(context);
  const int count =
      ftdi_write_data(context, static_cast<const unsigned char*>(buffer), static_cast<int>(length));
  if (count < 0) return FT_IO_ERROR;
  if (written != nullptr) *written = static_cast<uint32_t>(count);
  return FT_OK;
}
