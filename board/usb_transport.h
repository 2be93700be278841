// The board's transport: device open, connection set-up, the Intel HEX reader and the firmware download.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/usb/usb.h"

// The one open device (-1 when closed) and the pipe indices of the current
// alternate setting (255 = not found). Written by whichever thread owns the
// board at the time: the transfer thread while it lives, else the UI thread.
extern std::atomic<vusb::Handle> hUSB;
extern std::atomic<std::uint8_t> EP1_OUT;
extern std::atomic<std::uint8_t> EP1_IN;
extern std::atomic<std::uint8_t> EP6_IN;
extern std::atomic<std::uint8_t> EP8_IN;

struct hex_segment {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;  // never more than 4096
};
using HexSegmentList = std::vector<hex_segment>;
constexpr std::size_t kMaxSegmentBytes = 0x1000;
constexpr std::uint32_t kFirmwareLimit = 0x2000;

void OpenCypressUSBHandle();
// 0 when a board answers (closed again afterwards), -1 after its message when none does.
int LookForQLX4USB();
// Reads an Intel HEX file into `segments`: data bytes read, 0 for a null file,
// -1 for a bad or unterminated file (a checksum mismatch is a bad line).
int intel_in(std::FILE* file, HexSegmentList& segments, bool spaced);
// 1 when the named image of the program directory runs in the board, 0 after its message.
int downloadFirmware(const char* file_name);

// The calling thread's status word that failures set to 200 before their
// message is shown (the transfer thread's; none on the user-interface thread).
void set_failure_status(std::atomic<int>* status);

// Closes hUSB when open and marks it closed.
void close_usb_handle();
// Connection set-up shared by the transfer thread and the calibration read:
// true with hUSB open, pipes found and the descriptor's bcdDevice in *bcd_device;
// false after its message with hUSB closed.
bool connect_board(std::uint16_t* bcd_device);

// The message for a board whose CPLD is version 1.0.
extern const char kCpldMessage[];

// Bulk transfers on a pipe of hUSB: 1 on success with *moved bytes.
int bulk_read(std::uint8_t pipe, void* buffer, std::uint32_t length, std::uint32_t* moved);
int bulk_write(std::uint8_t pipe, const void* buffer, std::uint32_t length, std::uint32_t* moved);
