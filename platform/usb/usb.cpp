// Routing of the driver seam's calls to the configured backend, and the driver's record layouts.
#include "platform/usb/usb.h"

#include <time.h>

#include <cstring>
#include <mutex>

#include "platform/usb/sim_board.h"

namespace vusb {
namespace {

struct Registry {
    std::mutex mutex;
    std::shared_ptr<Backend> backend;
};

Registry& registry()
{
    static Registry r;
    return r;
}

void put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

void encode_vendor_request(const VendorRequest& request, std::uint8_t out[kVendorRequestSize])
{
    std::memset(out, 0, kVendorRequestSize);
    out[0] = request.request;
    put16(out + 2, request.value);
    put16(out + 4, request.index);
    put16(out + 6, request.length);
    out[8] = request.direction;
    out[9] = request.data;
}

VendorRequest decode_vendor_request(const std::uint8_t in[kVendorRequestSize])
{
    VendorRequest r;
    r.request = in[0];
    r.value = get16(in + 2);
    r.index = get16(in + 4);
    r.length = get16(in + 6);
    r.direction = in[8];
    r.data = in[9];
    return r;
}

void encode_pipe_info(const std::uint8_t* endpoints, std::size_t count, std::uint8_t* out, std::size_t out_size)
{
    std::memset(out, 0, out_size);
    std::size_t fit = out_size < kPipeRecordsOffset ? 0 : (out_size - kPipeRecordsOffset) / kPipeRecordSize;
    if (count > fit) count = fit;
    if (out_size >= kPipeCountOffset + 4) {
        auto n = static_cast<std::uint32_t>(count);
        std::memcpy(out + kPipeCountOffset, &n, 4);
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* record = out + kPipeRecordsOffset + i * kPipeRecordSize;
        put16(record, 512);  // maximum packet size
        record[kPipeEndpointOffset] = endpoints[i];
        record[3] = 2;  // bulk
    }
}

void set_backend(std::shared_ptr<Backend> backend)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.backend = std::move(backend);
}

std::shared_ptr<Backend> backend()
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (!r.backend) r.backend = std::make_shared<SimBoard>(SimBoardConfig{});
    return r.backend;
}

Handle usb_open(const std::string& name) { return backend()->open(name); }

int usb_ioctl(Handle handle, std::uint32_t code, const void* in, std::uint32_t in_length, void* out,
              std::uint32_t out_length, std::uint32_t* returned)
{
    std::uint32_t dummy = 0;
    if (returned == nullptr) returned = &dummy;
    *returned = 0;
    if (handle == kInvalidHandle) return 0;
    return backend()->ioctl(handle, code, in, in_length, out, out_length, returned);
}

void usb_close(Handle handle)
{
    if (handle != kInvalidHandle) backend()->close(handle);
}

void usb_cancel_reads(Handle handle)
{
    if (handle != kInvalidHandle) backend()->cancel_reads(handle);
}

double thread_cpu_seconds()
{
    timespec ts {};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) return 0.0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace vusb
