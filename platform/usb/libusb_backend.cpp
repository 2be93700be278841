// libusb-1.0 backend: enumeration by id, interface claim, alternate setting, vendor requests, bulk transfers.
#include "platform/usb/libusb_backend.h"

#include <libusb.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace vusb {

std::optional<int> device_index_from_name(const std::string& name)
{
    static const std::string prefix = "\\\\.\\Ezusb-";
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) return std::nullopt;
    int index = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || index > 1000) return std::nullopt;
        index = index * 10 + (name[i] - '0');
    }
    return index;
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> parse_usb_id(const std::string& text)
{
    auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() || colon > 4 || text.size() - colon - 1 > 4)
        return std::nullopt;
    auto hex = [](const std::string& s, std::uint16_t& out) {
        char* end = nullptr;
        unsigned long v = std::strtoul(s.c_str(), &end, 16);
        if (end == nullptr || *end != '\0' || v > 0xFFFF) return false;
        out = static_cast<std::uint16_t>(v);
        return true;
    };
    std::pair<std::uint16_t, std::uint16_t> id;
    if (!hex(text.substr(0, colon), id.first) || !hex(text.substr(colon + 1), id.second)) return std::nullopt;
    return id;
}

ControlSetup control_setup_for(const VendorRequest& request)
{
    ControlSetup s;
    s.request_type = static_cast<std::uint8_t>((request.direction ? 0x80 : 0x00) | 0x40);  // vendor, device
    s.request = request.request;
    s.value = request.value;
    s.index = request.index;
    s.length = request.length;
    return s;
}

ControlSetup anchor_download_setup(std::uint16_t address, std::uint16_t length)
{
    return ControlSetup {0x40, kFirmwareLoadRequest, address, 0, length};
}

std::size_t staging_length(std::size_t length, std::size_t max_packet)
{
    if (max_packet == 0) return length;
    return (length + max_packet - 1) / max_packet * max_packet;
}

namespace {

struct Device {
    libusb_device_handle* handle = nullptr;
    int index = 0;              // among the matching boards, as opened
    int alt = 0;
    bool cpu_released = false;  // its firmware was just started: it may come back under another id
    std::atomic<bool> cancelled {false};
    std::mutex io;                                       // one transfer at a time per device
    std::map<std::uint8_t, std::vector<std::uint8_t>> staging;  // per read endpoint
    std::mutex pending_mutex;                            // guards pending against cancel_reads
    libusb_transfer* pending = nullptr;                  // the read in flight
};

using TransferPtr = std::unique_ptr<libusb_transfer, decltype(&libusb_free_transfer)>;

void LIBUSB_CALL mark_completed(libusb_transfer* transfer) { *static_cast<int*>(transfer->user_data) = 1; }

class LibusbBackend : public Backend {
public:
    explicit LibusbBackend(const LibusbConfig& config) : config_(config)
    {
        if (libusb_init(&context_) != 0) context_ = nullptr;
    }

    ~LibusbBackend() override
    {
        for (auto& [h, d] : devices_) release(*d);
        devices_.clear();
        if (context_ != nullptr) libusb_exit(context_);
    }

    Handle open(const std::string& name) override
    {
        auto index = device_index_from_name(name);
        if (!index || context_ == nullptr) return kInvalidHandle;
        libusb_device_handle* handle = connect(*index);
        if (handle == nullptr) return kInvalidHandle;
        auto device = std::make_shared<Device>();
        device->handle = handle;
        device->index = *index;
        std::lock_guard lock(mutex_);
        Handle h = next_++;
        devices_[h] = device;
        return h;
    }

    void close(Handle handle) override
    {
        std::shared_ptr<Device> device;
        {
            std::lock_guard lock(mutex_);
            auto it = devices_.find(handle);
            if (it == devices_.end()) return;
            device = it->second;
            devices_.erase(it);
        }
        std::lock_guard io(device->io);
        release(*device);
    }

    void cancel_reads(Handle handle) override
    {
        auto device = find(handle);
        if (!device) return;
        std::lock_guard lock(device->pending_mutex);
        device->cancelled = true;
        // The read in flight ends now rather than at its time-out.
        if (device->pending != nullptr) libusb_cancel_transfer(device->pending);
    }

    int ioctl(Handle handle, std::uint32_t code, const void* in, std::uint32_t in_length, void* out,
              std::uint32_t out_length, std::uint32_t* returned) override
    {
        auto device = find(handle);
        if (!device) return 0;
        std::lock_guard io(device->io);
        if (device->handle == nullptr) return 0;
        const auto* input = static_cast<const std::uint8_t*>(in);
        auto* output = static_cast<std::uint8_t*>(out);
        switch (code) {
        case IOCTL_GET_PIPE_INFO: {
            if (output == nullptr || out_length < kPipeRecordsOffset) return 0;
            std::vector<std::uint8_t> endpoints = current_endpoints(*device);
            encode_pipe_info(endpoints.data(), endpoints.size(), output, out_length);
            *returned = out_length;
            return 1;
        }
        case IOCTL_GET_DEVICE_DESCRIPTOR: {
            if (output == nullptr || out_length < kDeviceDescriptorSize) return 0;
            libusb_device_descriptor d {};
            if (libusb_get_device_descriptor(libusb_get_device(device->handle), &d) != 0) return 0;
            // The descriptor as it travels on the wire: little-endian words.
            const std::uint8_t bytes[kDeviceDescriptorSize] = {
                d.bLength, d.bDescriptorType, static_cast<std::uint8_t>(d.bcdUSB), static_cast<std::uint8_t>(d.bcdUSB >> 8),
                d.bDeviceClass, d.bDeviceSubClass, d.bDeviceProtocol, d.bMaxPacketSize0,
                static_cast<std::uint8_t>(d.idVendor), static_cast<std::uint8_t>(d.idVendor >> 8),
                static_cast<std::uint8_t>(d.idProduct), static_cast<std::uint8_t>(d.idProduct >> 8),
                static_cast<std::uint8_t>(d.bcdDevice), static_cast<std::uint8_t>(d.bcdDevice >> 8),
                d.iManufacturer, d.iProduct, d.iSerialNumber, d.bNumConfigurations};
            std::memcpy(output, bytes, sizeof bytes);
            *returned = kDeviceDescriptorSize;
            return 1;
        }
        case IOCTL_VENDOR_REQUEST: {
            if (input == nullptr || in_length < kVendorRequestSize) return 0;
            VendorRequest r = decode_vendor_request(input);
            ControlSetup s = control_setup_for(r);
            std::uint8_t data = r.data;
            if (libusb_control_transfer(device->handle, s.request_type, s.request, s.value, s.index, &data,
                                        s.length > 1 ? 1 : s.length, config_.control_timeout_ms) < 0)
                return 0;
            device->cpu_released = r.request == kFirmwareLoadRequest && r.value == kCpuControlRegister && r.data == 0;
            return 1;
        }
        case IOCTL_SET_INTERFACE:
            if (input == nullptr || in_length < 2) return 0;
            if (libusb_set_interface_alt_setting(device->handle, input[0], input[1]) != 0) return 0;
            device->alt = input[1];
            device->staging.clear();
            return 1;
        case IOCTL_ANCHOR_DOWNLOAD: {
            if (input == nullptr || in_length < 2 || output == nullptr || out_length > 0xFFFF) return 0;
            auto address = static_cast<std::uint16_t>(input[0] | (input[1] << 8));
            ControlSetup s = anchor_download_setup(address, static_cast<std::uint16_t>(out_length));
            int moved = libusb_control_transfer(device->handle, s.request_type, s.request, s.value, s.index, output,
                                                s.length, config_.control_timeout_ms);
            if (moved != static_cast<int>(out_length)) return 0;
            *returned = out_length;
            return 1;
        }
        case IOCTL_BULK_READ:
        case IOCTL_BULK_WRITE: {
            if (input == nullptr || in_length < 4 || output == nullptr) return 0;
            std::uint32_t pipe = 0;
            std::memcpy(&pipe, input, 4);
            std::uint8_t endpoint = 0;
            if (!endpoint_of(*device, pipe, &endpoint)) return 0;
            if (code == IOCTL_BULK_WRITE) {
                if (endpoint & 0x80) return 0;
                int sent = 0;
                int r = libusb_bulk_transfer(device->handle, endpoint, output, static_cast<int>(out_length), &sent,
                                             config_.write_timeout_ms);
                if (r == LIBUSB_ERROR_NO_DEVICE && found_again(*device))
                    r = libusb_bulk_transfer(device->handle, endpoint, output, static_cast<int>(out_length), &sent,
                                             config_.write_timeout_ms);
                if (r == LIBUSB_ERROR_PIPE) libusb_clear_halt(device->handle, endpoint);
                if (r != 0) return 0;
                *returned = static_cast<std::uint32_t>(sent);
                return 1;
            }
            if (!(endpoint & 0x80) || device->cancelled) return 0;
            int packet = libusb_get_max_packet_size(libusb_get_device(device->handle), endpoint);
            auto& staging = device->staging[endpoint];
            staging.resize(staging_length(out_length, packet > 0 ? static_cast<std::size_t>(packet) : 0));
            int got = 0;
            bool gone = false;
            if (!read(*device, endpoint, staging.data(), static_cast<int>(staging.size()), &got, &gone)) {
                if (!gone || !found_again(*device)) return 0;
                if (!read(*device, endpoint, staging.data(), static_cast<int>(staging.size()), &got, &gone)) return 0;
            }
            // Bytes beyond the caller's buffer cannot be kept: never more is asked than fits.
            auto n = static_cast<std::uint32_t>(got) > out_length ? out_length : static_cast<std::uint32_t>(got);
            std::memcpy(output, staging.data(), n);
            *returned = n;
            return 1;
        }
        default:
            return 0;
        }
    }

private:
    std::shared_ptr<Device> find(Handle handle)
    {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(handle);
        return it == devices_.end() ? nullptr : it->second;
    }

    // One bulk read that cancel_reads can end. True with the bytes received, also when the
    // time-out ends a read that brought some: they are the board's data and are not sent again.
    bool read(Device& device, std::uint8_t endpoint, std::uint8_t* buffer, int length, int* got, bool* gone)
    {
        *gone = false;
        TransferPtr transfer(libusb_alloc_transfer(0), &libusb_free_transfer);
        if (!transfer) return false;
        int completed = 0;
        libusb_fill_bulk_transfer(transfer.get(), device.handle, endpoint, buffer, length, mark_completed, &completed,
                                  config_.read_timeout_ms);
        {
            std::lock_guard lock(device.pending_mutex);
            if (device.cancelled) return false;
            int submitted = libusb_submit_transfer(transfer.get());
            *gone = submitted == LIBUSB_ERROR_NO_DEVICE;
            if (submitted != 0) return false;
            device.pending = transfer.get();
        }
        bool given_up = false;
        while (!completed) {
            // The transfer must finish before its memory goes: on a failing event loop, cancel and keep waiting.
            int r = libusb_handle_events_completed(context_, &completed);
            if (r < 0 && r != LIBUSB_ERROR_INTERRUPTED && !given_up) {
                libusb_cancel_transfer(transfer.get());
                given_up = true;
            }
        }
        {
            std::lock_guard lock(device.pending_mutex);
            device.pending = nullptr;
        }
        *got = transfer->actual_length;
        switch (transfer->status) {
        case LIBUSB_TRANSFER_COMPLETED:
            return true;
        case LIBUSB_TRANSFER_TIMED_OUT:
            return *got > 0;
        case LIBUSB_TRANSFER_STALL:
            // A halted endpoint stays halted until the host clears it.
            libusb_clear_halt(device.handle, endpoint);
            return false;
        case LIBUSB_TRANSFER_NO_DEVICE:
            *gone = true;
            return false;
        default:
            return false;
        }
    }

    // The index-th board of the configured ids, opened with its interface claimed; nullptr when none.
    libusb_device_handle* connect(int index)
    {
        libusb_device** list = nullptr;
        ssize_t count = libusb_get_device_list(context_, &list);
        if (count < 0) return nullptr;
        libusb_device* chosen = nullptr;
        int seen = 0;
        for (const auto& id : config_.ids) {
            for (ssize_t i = 0; i < count && chosen == nullptr; ++i) {
                libusb_device_descriptor d {};
                if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
                if (d.idVendor != id.first || d.idProduct != id.second) continue;
                if (seen++ == index) chosen = list[i];
            }
        }
        libusb_device_handle* handle = nullptr;
        int opened = chosen != nullptr ? libusb_open(chosen, &handle) : LIBUSB_ERROR_NO_DEVICE;
        libusb_free_device_list(list, 1);
        if (opened != 0) return nullptr;
        libusb_set_auto_detach_kernel_driver(handle, 1);
        if (libusb_claim_interface(handle, 0) != 0) {
            libusb_close(handle);
            return nullptr;
        }
        return handle;
    }

    // The endpoint address of `pipe` in the current alternate setting. A board that has just left
    // the bus to re-enumerate has no descriptors to read: it is looked for again first.
    bool endpoint_of(Device& device, std::uint32_t pipe, std::uint8_t* endpoint)
    {
        std::vector<std::uint8_t> endpoints = current_endpoints(device);
        if (endpoints.empty() && found_again(device)) endpoints = current_endpoints(device);
        if (pipe >= endpoints.size()) return false;
        *endpoint = endpoints[pipe];
        return true;
    }

    // A board whose firmware was just started may leave the bus and come back under the
    // firmware's own ids (re-enumeration): the device is looked for again until the configured
    // time has passed (real time: a loaded host must not cut the board's time short), and takes
    // the place of the one that went, in the same alternate setting.
    bool found_again(Device& device)
    {
        if (!device.cpu_released) return false;
        device.cpu_released = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.reenumerate_timeout_ms);
        for (bool last = false; !last;) {
            last = std::chrono::steady_clock::now() >= deadline;
            if (device.cancelled) return false;
            libusb_device_handle* handle = connect(device.index);
            if (handle != nullptr && (device.alt == 0 || libusb_set_interface_alt_setting(handle, 0, device.alt) == 0)) {
                std::lock_guard lock(device.pending_mutex);
                release(device);
                device.handle = handle;
                return true;
            }
            if (handle != nullptr) {
                libusb_release_interface(handle, 0);
                libusb_close(handle);
            }
            struct timeval pause {0, 50000};
            libusb_handle_events_timeout(context_, &pause);
        }
        return false;
    }

    static void release(Device& device)
    {
        if (device.handle == nullptr) return;
        libusb_release_interface(device.handle, 0);
        libusb_close(device.handle);
        device.handle = nullptr;
    }

    static std::vector<std::uint8_t> current_endpoints(Device& device)
    {
        std::vector<std::uint8_t> endpoints;
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(libusb_get_device(device.handle), &config) != 0) return endpoints;
        if (config->bNumInterfaces > 0) {
            const libusb_interface& interface = config->interface[0];
            for (int a = 0; a < interface.num_altsetting; ++a) {
                const libusb_interface_descriptor& alt = interface.altsetting[a];
                if (alt.bAlternateSetting != device.alt) continue;
                for (int e = 0; e < alt.bNumEndpoints; ++e) endpoints.push_back(alt.endpoint[e].bEndpointAddress);
            }
        }
        libusb_free_config_descriptor(config);
        return endpoints;
    }

    LibusbConfig config_;
    libusb_context* context_ = nullptr;
    std::mutex mutex_;
    std::map<Handle, std::shared_ptr<Device>> devices_;
    Handle next_ = 1;
};

}  // namespace

std::shared_ptr<Backend> make_libusb_backend(const LibusbConfig& config)
{
    return std::make_shared<LibusbBackend>(config);
}

}  // namespace vusb
