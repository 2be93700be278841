// The board's driver seam: open a device by name, control calls on it, close it; backends plug in here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vusb {

// Device handle; kInvalidHandle when closed. Handles are never reused, so a
// stale handle only ever fails.
using Handle = long;
constexpr Handle kInvalidHandle = -1;

// Control codes of the EZ-USB general-purpose driver.
constexpr std::uint32_t IOCTL_GET_PIPE_INFO = 0x222000;
constexpr std::uint32_t IOCTL_GET_DEVICE_DESCRIPTOR = 0x222004;
constexpr std::uint32_t IOCTL_VENDOR_REQUEST = 0x222014;
constexpr std::uint32_t IOCTL_SET_INTERFACE = 0x222040;
constexpr std::uint32_t IOCTL_BULK_READ = 0x22204E;
constexpr std::uint32_t IOCTL_BULK_WRITE = 0x222051;
constexpr std::uint32_t IOCTL_ANCHOR_DOWNLOAD = 0x22206D;

// Layout of the pipe-information record.
constexpr std::size_t kPipeInfoBufferSize = 1024;
constexpr std::size_t kPipeCountOffset = 12;
constexpr std::size_t kPipeRecordsOffset = 16;
constexpr std::size_t kPipeRecordSize = 20;
constexpr std::size_t kPipeEndpointOffset = 2;
constexpr std::size_t kDeviceDescriptorSize = 18;
constexpr std::size_t kVendorRequestSize = 10;

// The FX2's firmware-load request and its CPU control register.
constexpr std::uint8_t kFirmwareLoadRequest = 0xA0;
constexpr std::uint16_t kCpuControlRegister = 0xE600;

struct VendorRequest {
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
    std::uint8_t direction = 0;
    std::uint8_t data = 0;
};
void encode_vendor_request(const VendorRequest& request, std::uint8_t out[kVendorRequestSize]);
VendorRequest decode_vendor_request(const std::uint8_t in[kVendorRequestSize]);

// Fills a pipe-information record with the given endpoint addresses.
void encode_pipe_info(const std::uint8_t* endpoints, std::size_t count, std::uint8_t* out, std::size_t out_size);

class Backend {
public:
    virtual ~Backend() = default;
    virtual Handle open(const std::string& name) = 0;
    // 1 on success, 0 on failure; *returned gets the bytes moved (reads and writes).
    virtual int ioctl(Handle handle, std::uint32_t code, const void* in, std::uint32_t in_length, void* out,
                      std::uint32_t out_length, std::uint32_t* returned) = 0;
    virtual void close(Handle handle) = 0;
    // Makes the pending read on the handle, and every later one, fail at once
    // (writes still work, so a stop command can follow). Callable from any thread.
    virtual void cancel_reads(Handle handle) = 0;
};

// The backend every call below goes to; the simulated board unless replaced.
void set_backend(std::shared_ptr<Backend> backend);
std::shared_ptr<Backend> backend();

Handle usb_open(const std::string& name);
int usb_ioctl(Handle handle, std::uint32_t code, const void* in, std::uint32_t in_length, void* out,
              std::uint32_t out_length, std::uint32_t* returned);
void usb_close(Handle handle);
void usb_cancel_reads(Handle handle);

// CPU seconds the calling thread has used (for the transfer thread's load figures).
double thread_cpu_seconds();

}  // namespace vusb
