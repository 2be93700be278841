// Device open, connection set-up, Intel HEX reading and firmware download over the driver seam.
#include "board/usb_transport.h"

#include <cstring>
#include <new>
#include <string>

#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/sys/message_box.h"

std::atomic<vusb::Handle> hUSB {vusb::kInvalidHandle};
std::atomic<std::uint8_t> EP1_OUT {255};
std::atomic<std::uint8_t> EP1_IN {255};
std::atomic<std::uint8_t> EP6_IN {255};
std::atomic<std::uint8_t> EP8_IN {255};

const char kCpldMessage[] =
    "A QLX4USB device has been detected with CPLD Version 1.0.  This Version of Vantrel requires CPLD Version 1.1.\n\n"
    "Please return the board to its maker for a free upgrade; the upgrade is done in 1 to 5 business days.  "
    "Please include your return address.\n\n"
    "To use a board with CPLD Version 1.0, version 6.6 of Vantrel must be installed.\n\n"
    "Support: support@vantrel.example";

namespace {

thread_local std::atomic<int>* failure_status = nullptr;

void mark_failure()
{
    if (failure_status != nullptr) failure_status->store(200);
}

int ioctl(std::uint32_t code, const void* in, std::uint32_t in_length, void* out, std::uint32_t out_length,
          std::uint32_t* returned)
{
    return vusb::usb_ioctl(hUSB.load(), code, in, in_length, out, out_length, returned);
}

bool vendor_cpu_reset(std::uint8_t hold)
{
    vusb::VendorRequest r;
    r.request = vusb::kFirmwareLoadRequest;
    r.value = vusb::kCpuControlRegister;
    r.index = 0;
    r.length = 1;
    r.direction = 0;
    r.data = hold;
    std::uint8_t record[vusb::kVendorRequestSize];
    vusb::encode_vendor_request(r, record);
    std::uint32_t returned = 0;
    return ioctl(vusb::IOCTL_VENDOR_REQUEST, record, sizeof record, nullptr, 0, &returned) == 1;
}

void fail_closed(const char* text, const char* caption)
{
    close_usb_handle();
    mark_failure();
    vsys::message_box(caption, text);
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads `digits` hex digits at `column`; -1 when the line is too short or not hex there.
long read_hex(const char* line, std::size_t length, std::size_t column, int digits)
{
    if (column + static_cast<std::size_t>(digits) > length) return -1;
    long value = 0;
    for (int i = 0; i < digits; ++i) {
        int d = hex_digit(line[column + static_cast<std::size_t>(i)]);
        if (d < 0) return -1;
        value = value * 16 + d;
    }
    return value;
}

bool get_pipe_info(std::uint8_t* buffer)
{
    std::uint32_t returned = 0;
    return ioctl(vusb::IOCTL_GET_PIPE_INFO, nullptr, 0, buffer, vusb::kPipeInfoBufferSize, &returned) == 1;
}

}  // namespace

void set_failure_status(std::atomic<int>* status) { failure_status = status; }

void close_usb_handle()
{
    vusb::Handle h = hUSB.exchange(vusb::kInvalidHandle);
    vusb::usb_close(h);
}

void OpenCypressUSBHandle()
{
    close_usb_handle();
    for (int n = 0; n < 32 && hUSB.load() == vusb::kInvalidHandle; ++n)
        hUSB.store(vusb::usb_open(vsys::strprintf("\\\\.\\Ezusb-%d", n)));
}

int LookForQLX4USB()
{
    OpenCypressUSBHandle();
    if (hUSB.load() == vusb::kInvalidHandle) {
        vsys::message_box("Error", "Cannot find a valid QLX4USB device.  Please check USB cable.");
        return -1;
    }
    close_usb_handle();
    return 0;
}

int bulk_read(std::uint8_t pipe, void* buffer, std::uint32_t length, std::uint32_t* moved)
{
    std::uint32_t index = pipe;
    return ioctl(vusb::IOCTL_BULK_READ, &index, 4, buffer, length, moved);
}

int bulk_write(std::uint8_t pipe, const void* buffer, std::uint32_t length, std::uint32_t* moved)
{
    std::uint32_t index = pipe;
    // The driver takes the bytes to send in its output slot.
    return ioctl(vusb::IOCTL_BULK_WRITE, &index, 4, const_cast<void*>(buffer), length, moved);
}

bool connect_board(std::uint16_t* bcd_device)
{
    OpenCypressUSBHandle();
    if (hUSB.load() == vusb::kInvalidHandle) {
        mark_failure();
        vsys::message_box("Error", "Cannot find a valid QLX4USB device.");
        return false;
    }
    std::uint8_t info[vusb::kPipeInfoBufferSize] = {};
    if (!get_pipe_info(info)) {
        fail_closed("Cannot retrieve USB pipe info.", "Driver Error");
        return false;
    }
    const std::uint8_t alternate[2] = {0, 1};
    std::uint32_t returned = 0;
    if (ioctl(vusb::IOCTL_SET_INTERFACE, alternate, 2, nullptr, 0, &returned) != 1) {
        fail_closed("Cannot set USB interface.", "Driver Error");
        return false;
    }
    if (!get_pipe_info(info)) {
        fail_closed("Cannot retrieve USB pipe info.", "Driver Error");
        return false;
    }
    EP1_OUT = 255;
    EP1_IN = 255;
    EP6_IN = 255;
    EP8_IN = 255;
    std::uint32_t pipes = 0;
    std::memcpy(&pipes, info + vusb::kPipeCountOffset, 4);
    const std::uint32_t fit = (vusb::kPipeInfoBufferSize - vusb::kPipeRecordsOffset) / vusb::kPipeRecordSize;
    if (pipes > fit) pipes = fit;  // a bad count must not walk off the buffer
    for (std::uint32_t p = 0; p < pipes; ++p) {
        std::uint8_t address = info[vusb::kPipeRecordsOffset + p * vusb::kPipeRecordSize + vusb::kPipeEndpointOffset];
        bool in = (address & 0x80) != 0;
        int number = address & 0x7F;
        auto index = static_cast<std::uint8_t>(p);
        if (in && number == 1) EP1_IN = index;
        else if (!in && number == 1) EP1_OUT = index;
        else if (in && number == 8) EP8_IN = index;
        else if (in && number == 6) EP6_IN = index;
    }
    if (EP1_IN == 255) {
        fail_closed("USB EP 1 in not found.", "USB Error");
        return false;
    }
    if (EP1_OUT == 255) {
        fail_closed("USB EP 1 out not found.", "USB Error");
        return false;
    }
    if (EP6_IN == 255) {
        fail_closed("USB EP 6 in not found.", "USB Error");
        return false;
    }
    std::uint8_t descriptor[vusb::kDeviceDescriptorSize] = {};
    if (ioctl(vusb::IOCTL_GET_DEVICE_DESCRIPTOR, descriptor, sizeof descriptor, descriptor, sizeof descriptor,
              &returned) != 1) {
        fail_closed("Cannot retrieve USB device info.", "Driver Error");
        return false;
    }
    *bcd_device = static_cast<std::uint16_t>(descriptor[12] | (descriptor[13] << 8));
    return true;
}

int intel_in(std::FILE* file, HexSegmentList& segments, bool spaced)
{
    if (file == nullptr) return 0;
    int total = 0;
    std::uint32_t base = 0;
    char line[256];
    try {
        for (;;) {
            if (std::fgets(line, sizeof line, file) == nullptr) return -1;
            if (line[0] != ':') return -1;
            std::size_t length = std::strlen(line);
            if (length > 1 && line[1] == ' ') spaced = true;
            const std::size_t count_col = spaced ? 2 : 1, address_col = spaced ? 5 : 3;
            const std::size_t type_col = spaced ? 10 : 7, data_col = spaced ? 13 : 9;
            long count = read_hex(line, length, count_col, 2);
            long address = read_hex(line, length, address_col, 4);
            long type = read_hex(line, length, type_col, 2);
            if (count < 0 || address < 0 || type < 0) return -1;
            std::uint8_t data[255];
            unsigned sum = static_cast<unsigned>(count + (address >> 8) + (address & 0xFF) + type);
            for (long i = 0; i < count; ++i) {
                long byte = read_hex(line, length, data_col + 2 * static_cast<std::size_t>(i), 2);
                if (byte < 0) return -1;
                data[i] = static_cast<std::uint8_t>(byte);
                sum += static_cast<unsigned>(byte);
            }
            std::size_t check_col = data_col + 2 * static_cast<std::size_t>(count);
            while (spaced && check_col < length && line[check_col] == ' ') ++check_col;
            long checksum = read_hex(line, length, check_col, 2);
            if (checksum < 0 || ((sum + static_cast<unsigned>(checksum)) & 0xFF) != 0) return -1;

            if (type == 0x01) return total;
            if (type == 0x02) {
                if (count < 2) return -1;
                base = static_cast<std::uint32_t>((data[0] << 8) | data[1]) << 4;
                continue;
            }
            if (type == 0x04) {
                // An upper address word: anything but zero lies beyond the 64 KB the core can hold.
                if (count < 2) return -1;
                base = static_cast<std::uint32_t>((data[0] << 8) | data[1]) << 16;
                continue;
            }
            if (type != 0x00) continue;
            std::uint32_t load = base + static_cast<std::uint32_t>(address);
            if (load > 0xFFFF) {
                vsys::message_box("Driver Error", "Error loading file: address out of range.");
                return total;
            }
            auto n = static_cast<std::size_t>(count);
            if (segments.empty() || segments.back().address + segments.back().bytes.size() != load ||
                segments.back().bytes.size() + n > kMaxSegmentBytes)
                segments.push_back(hex_segment {load, {}});
            auto& bytes = segments.back().bytes;
            bytes.insert(bytes.end(), data, data + n);
            total += static_cast<int>(n);
        }
    } catch (const std::bad_alloc&) {
        mark_failure();
        vsys::message_box("Error", "Out of memory.");
        return -1;
    }
}

int downloadFirmware(const char* file_name)
{
    std::string path = vsys::path_join(vsys::project_dir(), file_name);
    if (!vendor_cpu_reset(1)) {
        fail_closed("Cannot reset cpu.", "Driver Error");
        return 0;
    }
    HexSegmentList segments;
    int read = 0;
    {
        vsys::FilePtr file = vsys::open_file(path, "rb");
        read = intel_in(file.get(), segments, false);
    }
    if (read <= 0) {
        fail_closed("Cannot open hex file for download.", "Driver Error");
        return 0;
    }
    for (const auto& segment : segments) {
        // A segment must lie wholly in the program memory the core can be loaded into.
        if (segment.address >= kFirmwareLimit || segment.address + segment.bytes.size() > kFirmwareLimit) {
            mark_failure();
            vsys::message_box("Download Error",
                              vsys::strprintf("Cannot load to address 0x%.04X.  Download aborted.", segment.address));
            return 0;
        }
        std::uint8_t address[2] = {static_cast<std::uint8_t>(segment.address & 0xFF),
                                   static_cast<std::uint8_t>(segment.address >> 8)};
        std::uint32_t returned = 0;
        auto size = static_cast<std::uint32_t>(segment.bytes.size());
        if (ioctl(vusb::IOCTL_ANCHOR_DOWNLOAD, address, 2, const_cast<std::uint8_t*>(segment.bytes.data()), size,
                  &returned) != 1) {
            fail_closed("Cannot find QLX4USB.HEX file.", "Driver Error");
            return 0;
        }
    }
    if (!vendor_cpu_reset(0)) {
        fail_closed("Cannot run cpu.", "Driver Error");
        return 0;
    }
    return 1;
}
