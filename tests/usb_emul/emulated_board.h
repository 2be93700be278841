// A simulated board behind a fake EZ-USB FX2 device node, so the libusb backend runs unchanged against it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/usb/sim_board.h"

namespace vtest {

// A fault of the USB link itself, below the board's own faults (SimFault).
struct UsbFault {
    enum class Kind {
        Stall,    // the endpoint answers STALL and stays halted until the host clears it
        Silent,   // the endpoint never answers (NAK): the host's transfer times out
    };
    Kind kind = Kind::Stall;
    std::uint8_t endpoint = 0;  // endpoint address; 0 = the control endpoint
    int skip = 0;               // transfers on the endpoint that still go through first
    int count = 1;              // transfers that then meet the fault; -1 for every later one
};

// One transfer the host made, as the device saw it (for the traffic capture).
struct UsbTraffic {
    std::uint8_t endpoint = 0;     // 0 for control, else the address
    std::uint8_t setup[8] = {};    // control transfers only
    int requested = 0;             // buffer length (control: the data stage)
    int actual = 0;                // bytes moved
    int status = 0;                // 0 or a negative errno
    std::vector<std::uint8_t> out; // bytes sent to the device (control OUT data, bulk OUT)
    std::vector<std::uint8_t> in;  // bytes the device sent (bulk IN)
    double submitted = 0, finished = 0;  // real seconds since the device was made
};

// Writes transfers as a usbmon capture (pcap, Linux USB with mmapped header) of bus 1, device 2.
// Transfers the host cancelled are left out: a replay cannot cancel them on its own.
bool write_capture(const std::vector<UsbTraffic>& traffic, const std::string& path);

// One at a time per process: the testbed points the whole process at its mock root.
class EmulatedBoard {
public:
    // Puts `sim` behind a device node of a fresh testbed; its descriptors follow
    // `config` (bcdDevice, link speed, the alternate setting 1 endpoints).
    EmulatedBoard(std::shared_ptr<vusb::SimBoard> sim, const vusb::SimBoardConfig& config);
    // The same device node answered by replaying a capture (see write_capture) instead of a board.
    EmulatedBoard(const vusb::SimBoardConfig& config, const std::string& capture);
    ~EmulatedBoard();
    EmulatedBoard(const EmulatedBoard&) = delete;
    EmulatedBoard& operator=(const EmulatedBoard&) = delete;

    // True when the process runs with the umockdev preload library (tests skip otherwise).
    static bool available();

    // When the board leaves the bus to re-enumerate, against what the host does next.
    enum class Leaving {
        BeforeNextTransfer,  // already gone (descriptors too) when the firmware's start is acknowledged
        WhenTheHostNotices,  // the old node refuses the host's next request; the new one comes after
    };
    // When the next firmware starts, the board re-enumerates: it leaves the bus and comes back at
    // another address with this product id, as an FX2 whose firmware brings its own descriptors.
    void renumerate_after_firmware(std::uint16_t product, Leaving leaving);
    void inject(const UsbFault& fault);
    // The device leaves the bus: transfers in flight end, the node goes away.
    void unplug();
    // Hosts that hold the board's interface claimed.
    int open_clients();
    // Waits (real time, bounded) until every host has released the board.
    bool wait_closed();
    std::vector<UsbTraffic> traffic();
    void clear_traffic();
    // Replay: transfers of the capture not yet asked for, and the first request that did not match.
    std::size_t replay_left();
    std::string replay_mismatch();

    struct Impl;

private:
    void attach();
    std::unique_ptr<Impl> impl_;
};

}  // namespace vtest
