// The transfer thread and its start and stop: it owns the board while buffered input runs.
#include "board/transfer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "board/board_setup.h"
#include "board/usb_transport.h"
#include "platform/sys/clock.h"
#include "platform/sys/message_box.h"
#include "platform/sys/thread_pool.h"
#include "platform/sys/timing.h"

std::atomic<std::uint8_t> bQLX4USBStop {0};
std::atomic<std::uint8_t> bQLX4USBActiveThread {0};
std::atomic<std::uint8_t> daq_block_error {0};
std::atomic<std::uint8_t> daq_scan_time {0};
std::atomic<int> VantrelStatus {1};

namespace vboard {
namespace {

// Clock seconds between attempts of a failing driver call: retries wait
// instead of spinning, and see a stop request while they wait.
constexpr double kRetryPause = 0.01;

struct ThreadSlot {
    std::mutex mutex;  // guards id and params (user-interface thread side)
    int id = -1;       // thread-pool id of a thread not yet joined
    TransferParams params;
};

ThreadSlot& slot()
{
    static ThreadSlot s;
    return s;
}

std::atomic<double> cpu_seconds {0.0};
std::atomic<bool> fail_transfer_buffer {false};

enum class Outcome { Done, Failed, Stopped };

bool stop_requested() { return bQLX4USBStop.load() != 0; }

// A read repeated while it fails (or brings nothing) for `patience` seconds.
Outcome read_with_retry(std::uint8_t pipe, std::uint8_t* buffer, std::uint32_t length, std::uint32_t minimum,
                        double patience, std::uint32_t* moved)
{
    const double first = Timer();
    for (;;) {
        if (stop_requested()) return Outcome::Stopped;
        *moved = 0;
        if (bulk_read(pipe, buffer, length, moved) == 1 && *moved >= minimum && *moved > 0) return Outcome::Done;
        if (stop_requested()) return Outcome::Stopped;
        if (Timer() - first >= patience) return Outcome::Failed;
        vsys::wait_until_clock(vsys::clock_seconds() + kRetryPause, [] { return stop_requested(); });
    }
}

bool send_exact(const std::uint8_t* bytes, std::uint32_t length)
{
    std::uint32_t sent = 0;
    return bulk_write(EP1_OUT.load(), bytes, length, &sent) == 1 && sent == length;
}

// Failure exit: device closed, status 200 set before anything is reported.
int fail(const char* caption, const char* text)
{
    close_usb_handle();
    VantrelStatus.store(200);
    vsys::message_box(caption, text);
    bQLX4USBActiveThread.store(0);
    return 0;
}

// Failure exit after a step that has shown its own message (and set 200 first).
int fail_reported()
{
    close_usb_handle();
    VantrelStatus.store(200);
    bQLX4USBActiveThread.store(0);
    return 0;
}

const char kRevisionAMessage[] =
    "The QLX4USB you are attempting to connect is Revision A which has a 1000 samples/sec/channel sample rate limit.\n\n"
    "If you need higher sample rates, please contact sales@vantrel.example to upgrade the board.";

void note_cpu() { cpu_seconds.store(vusb::thread_cpu_seconds()); }

}  // namespace

BlockQueue& block_queue()
{
    static BlockQueue q;
    return q;
}

std::uint32_t sampling_period_us(int sample_rate)
{
    switch (sample_rate) {
    case 1: case 2: case 4: case 5: case 20: case 25: case 40: case 50: case 100: case 200:
    case 250: case 500: case 1000: case 2000: case 4000: case 5000: case 8000: case 10000:
        return 1000000u / static_cast<std::uint32_t>(sample_rate);
    default:
        return 100000u;
    }
}

std::array<std::uint8_t, 10> build_start_command(int sample_rate, std::uint32_t mask)
{
    std::uint32_t period = sampling_period_us(sample_rate);
    std::array<std::uint8_t, 10> c {};
    c[0] = static_cast<std::uint8_t>(period >> 24);
    c[1] = static_cast<std::uint8_t>(period >> 16);
    c[2] = static_cast<std::uint8_t>(period >> 8);
    c[3] = static_cast<std::uint8_t>(period);
    c[4] = static_cast<std::uint8_t>(channel_count(mask));
    c[5] = static_cast<std::uint8_t>(mask >> 24);
    c[6] = static_cast<std::uint8_t>(mask >> 16);
    c[7] = static_cast<std::uint8_t>(mask >> 8);
    c[8] = static_cast<std::uint8_t>(mask);
    c[9] = static_cast<std::uint8_t>(highest_channel(mask));
    return c;
}

std::uint8_t fifo_fill_percent(std::uint8_t error, std::uint8_t level, std::uint8_t base)
{
    if (error != 0) return 100;
    if (base == 255) return level == 255 ? 100 : 0;
    if (level <= base) return 0;
    int fill = (level - base) * 100 / (255 - base);
    return static_cast<std::uint8_t>(fill > 100 ? 100 : fill);
}

void unpack_wide_scan(const std::uint8_t* packet, std::uint32_t mask, std::int16_t* out)
{
    if (mask == 0xFFFFFFFFu) {
        // Every channel: 320,000 values a block at the top rate, without a test of the mask each.
        for (int c = 31; c >= 0; --c)
            *out++ = static_cast<std::int16_t>(static_cast<std::uint16_t>((packet[2 * c + 1] << 8) | packet[2 * c]));
        return;
    }
    for (int c = 31; c >= 0; --c) {
        if (!(mask & (1u << c))) continue;
        *out++ = static_cast<std::int16_t>(static_cast<std::uint16_t>((packet[2 * c + 1] << 8) | packet[2 * c]));
    }
}

double transfer_thread_cpu_seconds() { return cpu_seconds.load(); }

std::size_t queue_blocks(double clock_speed)
{
    constexpr double kWallSeconds = 4.0;
    const double blocks = std::ceil(kWallSeconds * std::max(clock_speed, 1.0)) + 2;
    return std::max(kQueueBlocks, static_cast<std::size_t>(blocks));
}

void inject_transfer_buffer_failure() { fail_transfer_buffer.store(true); }

}  // namespace vboard

using namespace vboard;

int UsbTransferThread(void* data)
{
    const TransferParams params = *static_cast<const TransferParams*>(data);
    bQLX4USBActiveThread.store(1);
    set_failure_status(&VantrelStatus);
    const int rate = params.sample_rate;
    const std::uint32_t mask = params.mask;
    const int n = channel_count(mask);
    const bool high = rate > 1000;

    std::uint16_t bcd = 0;
    if (!connect_board(&bcd)) return fail_reported();
    if (bcd == 1) return fail("QLX4USB Error", kCpldMessage);
    if (bcd < 3 && high) return fail("Vantrel Sample Rate Error", kRevisionAMessage);
    if (downloadFirmware(high ? "qlx4hiusb.hex" : "qlx4usb.hex") == 0) return fail_reported();

    std::uint8_t command[64] = {};
    auto start = build_start_command(rate, mask);
    std::memcpy(command, start.data(), start.size());
    if (!send_exact(command, 10)) return fail("Error", "Cannot send USB data.");

    const std::size_t block_size = high ? static_cast<std::size_t>(rate) * 64
                                        : static_cast<std::size_t>(rate) * static_cast<std::size_t>(n) * 2;
    std::vector<std::uint8_t> transfer;
    try {
        if (fail_transfer_buffer.exchange(false)) throw std::bad_alloc();
        transfer.resize(block_size);
    } catch (const std::bad_alloc&) {
        return fail("Error", "Out of memory.");
    }

    daq_block_error.store(0);
    std::uint32_t moved = 0;
    Outcome outcome = read_with_retry(EP6_IN.load(), command, 64, 1, 5.0, &moved);
    if (outcome == Outcome::Failed) return fail("Error", "Cannot receive USB buffer flush.");
    if (outcome == Outcome::Done) {
        if (high && !(command[10] & 0x80))
            return fail("USB Error",
                        "The USB port that the QLX4USB is connected to is not USB 2.0 compliant.  Since USB 2.0 is "
                        "required for sample rates greater than 1000 samples/sec/channel, please reduce the sample "
                        "rate or find a USB 2.0 port.");
    }
    const std::uint8_t base = command[11];
    daq_scan_time.store(0);
    daq_block_error.store(0);
    const std::uint32_t largest = high ? 512 : 0xFE00;
    const std::size_t values = static_cast<std::size_t>(rate) * static_cast<std::size_t>(n);
    BlockQueue& queue = block_queue();

    while (!stop_requested()) {
        std::int16_t* out = queue.fill_buffer();
        if (out == nullptr || queue.values_per_block() < values) return fail("Error", "Out of memory.");
        std::size_t received = 0;
        std::size_t packets_done = 0;
        while (received < block_size && !stop_requested()) {
            auto request = static_cast<std::uint32_t>(std::min<std::size_t>(block_size - received, largest));
            outcome = read_with_retry(EP6_IN.load(), transfer.data() + received, request, 1, 5.0, &moved);
            if (outcome == Outcome::Failed) return fail("Error", "Cannot receive USB data block.");
            if (outcome == Outcome::Stopped) break;
            received += std::min<std::size_t>(moved, request);
            if (high) {
                for (; (packets_done + 1) * 64 <= received; ++packets_done)
                    unpack_wide_scan(transfer.data() + packets_done * 64, mask,
                                     out + packets_done * static_cast<std::size_t>(n));
            }
        }
        if (stop_requested()) break;
        outcome = read_with_retry(EP1_IN.load(), command, 2, 2, 2.0, &moved);
        if (outcome == Outcome::Failed) return fail("Error", "Cannot receive USB status.");
        if (outcome == Outcome::Stopped) break;
        std::uint8_t error = command[0];
        std::uint8_t fill = fifo_fill_percent(command[0], command[1], base);
        daq_block_error.store(error);
        daq_scan_time.store(fill);
        if (!high) std::memcpy(out, transfer.data(), values * 2);
        queue.publish(error, fill);
        note_cpu();
    }

    // Normal end: the board stops, the device closes.
    if (hUSB.load() != vusb::kInvalidHandle && !send_exact(command, 8)) return fail("Error", "Cannot send USB data.");
    close_usb_handle();
    note_cpu();
    bQLX4USBActiveThread.store(0);
    return 0;
}

int StartQLX4USBTransfer(const TransferParams& params)
{
    auto& s = slot();
    std::lock_guard lock(s.mutex);
    if (s.id >= 0) {
        // The previous thread must be joined (by a stop) before another may start.
        VantrelStatus.store(200);
        vsys::message_box("Error", "Cannot start data collection while the previous transfer is still running.");
        return 200;
    }
    s.params = params;
    bQLX4USBStop.store(0);
    bQLX4USBActiveThread.store(1);  // set before the thread runs, so a stop right away still waits for it
    int id = -1;
    if (CmtScheduleThreadPoolFunctionAdv(UsbTransferThread, &s.params, THREAD_PRIORITY_HIGHEST, &id) != 0) {
        bQLX4USBActiveThread.store(0);
        VantrelStatus.store(200);
        vsys::message_box("Error", "Cannot start the USB transfer thread.");
        return 200;
    }
    s.id = id;
    return 0;
}

void StopQLX4USBTransfer()
{
    auto& s = slot();
    std::lock_guard lock(s.mutex);
    bQLX4USBStop.store(1);
    if (s.id < 0) return;
    vusb::usb_cancel_reads(hUSB.load());
    CmtWaitForThreadPoolFunctionCompletion(s.id);
    s.id = -1;
    bQLX4USBActiveThread.store(0);
}

bool transfer_thread_alive()
{
    auto& s = slot();
    std::lock_guard lock(s.mutex);
    return s.id >= 0;
}

void GetVantrelDaqError(std::uint8_t* error, char* fill)
{
    *error = daq_block_error.load();
    *fill = static_cast<char>(daq_scan_time.load());
}
