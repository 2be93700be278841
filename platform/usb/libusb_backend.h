// The driver seam on a real EZ-USB FX2 board through libusb-1.0.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/usb/usb.h"

namespace vusb {

struct LibusbConfig {
    // Vendor and product ids a board may enumerate with, in order of preference.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> ids {{0x04B4, 0x8613}};
    unsigned read_timeout_ms = 500;   // a read that brings nothing fails after this
    unsigned write_timeout_ms = 1000;
    unsigned control_timeout_ms = 1000;
    // A board whose firmware has just started may take this long to come back under its new ids.
    unsigned reenumerate_timeout_ms = 3000;
};

// Pure helpers (unit-tested without a board).
// "\\.\Ezusb-%d" -> the index among the matching boards.
std::optional<int> device_index_from_name(const std::string& name);
// "vvvv:pppp" in hex -> the pair.
std::optional<std::pair<std::uint16_t, std::uint16_t>> parse_usb_id(const std::string& text);
struct ControlSetup {
    std::uint8_t request_type = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};
ControlSetup control_setup_for(const VendorRequest& request);
ControlSetup anchor_download_setup(std::uint16_t address, std::uint16_t length);
// A read buffer that a full last packet cannot overflow.
std::size_t staging_length(std::size_t length, std::size_t max_packet);

std::shared_ptr<Backend> make_libusb_backend(const LibusbConfig& config);

}  // namespace vusb
