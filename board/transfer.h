// The transfer thread: connection, firmware, start command, then one block per second into the block queue.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "board/block_queue.h"

// Shared with the user-interface thread.
extern std::atomic<std::uint8_t> bQLX4USBStop;
extern std::atomic<std::uint8_t> bQLX4USBActiveThread;
extern std::atomic<std::uint8_t> daq_block_error;
extern std::atomic<std::uint8_t> daq_scan_time;
// Status word of the board interface (0 ok, 200 board failure, ...).
extern std::atomic<int> VantrelStatus;

namespace vboard {

// What one transfer works with, fixed when it starts.
struct TransferParams {
    int sample_rate = 1;       // scans per block
    std::uint32_t mask = 0;    // effective channel mask
};

// Blocks between the transfer thread and the board API.
BlockQueue& block_queue();
// Blocks to hold: a minute of one-second blocks, plus the one being filled
// and the one the consumer holds.
constexpr std::size_t kQueueBlocks = 62;
// Blocks to hold with the clock sped up: a minute, and never less than four wall-clock seconds of blocks, so a
// user-interface thread held up on a busy machine loses none at a high speed-up (made only as they fill).
std::size_t queue_blocks(double clock_speed);

std::uint32_t sampling_period_us(int sample_rate);
std::array<std::uint8_t, 10> build_start_command(int sample_rate, std::uint32_t mask);
// FIFO fill in per cent after a block: 100 on a board error, else the level
// above the base, clamped to 0..100.
std::uint8_t fifo_fill_percent(std::uint8_t error, std::uint8_t level, std::uint8_t base);
// One 64-byte scan packet of all 32 channels -> the enabled ones, highest first.
void unpack_wide_scan(const std::uint8_t* packet, std::uint32_t mask, std::int16_t* out);

// Tests: the next transfer thread finds no memory for its transfer buffer.
void inject_transfer_buffer_failure();

// Transfer thread CPU seconds so far (for load figures).
double transfer_thread_cpu_seconds();

}  // namespace vboard

// 0 when the thread was started; 200 (after its message) when it could not
// be, or when a transfer thread still lives.
int StartQLX4USBTransfer(const vboard::TransferParams& params);
// Stops the thread (cancelling a pending read) and waits for it to end.
void StopQLX4USBTransfer();
bool transfer_thread_alive();
void GetVantrelDaqError(std::uint8_t* error, char* fill);
int UsbTransferThread(void* data);
