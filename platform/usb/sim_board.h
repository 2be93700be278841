// The simulated acquisition board behind the driver seam: firmware personalities, paced blocks, FIFO, calibration.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/usb/usb.h"

namespace vusb {

// What the board's inputs see: volts per channel (index c-1 for channel c) at a clock time.
class SignalSource {
public:
    virtual ~SignalSource() = default;
    // `scan` counts the scans since the start command; `t` is the clock time of the scan.
    virtual void sample(double t, std::uint64_t scan, double volts[32]) = 0;
    // Error code the board reports for a block spanning [start, end) of clock time (0 = none).
    virtual std::uint8_t block_error(double start, double end)
    {
        (void)start;
        (void)end;
        return 0;
    }
};

// A slow, deterministic pattern: every channel at its own level with a gentle wave.
class PatternSignal : public SignalSource {
public:
    void sample(double t, std::uint64_t scan, double volts[32]) override;
};

// Thermocouple adapters: their curve maps adapter output volts to degrees.
enum class AdapterKind { Present, Absent, BadType, BadChecksum };
constexpr int kCalPoints = 17;
double adapter_degrees(double volts);
double adapter_volts(double degrees);
// The 128-byte record an adapter holds (two 64-byte pages).
std::array<std::uint8_t, 128> adapter_record(int adapter, AdapterKind kind);

// Firmware images carry this marker followed by one personality letter.
constexpr char kFirmwareMarker[] = "VANTREL-SIMFW:";
enum class Personality { None, Silent, LowRate, HighRate, CalRead };

struct SimBoardConfig {
    std::vector<int> device_indexes{0};  // "\\.\Ezusb-%d" names that open
    std::uint16_t bcd_device = 3;
    bool high_speed = true;
    std::uint8_t fifo_base = 55;                   // information packet byte 11
    std::size_t fifo_capacity = 8u * 1024 * 1024;  // bytes the board buffers before it drops blocks
    double read_timeout = 2.5;                     // clock seconds a read waits for data
    std::array<AdapterKind, 32> adapters = make_adapters(AdapterKind::Present);
    std::vector<std::uint8_t> alt1_endpoints{0x01, 0x81, 0x86, 0x88};
    std::shared_ptr<SignalSource> signals;  // PatternSignal when empty

    static std::array<AdapterKind, 32> make_adapters(AdapterKind kind)
    {
        std::array<AdapterKind, 32> a {};
        a.fill(kind);
        return a;
    }
};

// A control call made to fail (or to move fewer bytes than asked).
struct SimFault {
    std::uint32_t code = 0;
    int endpoint = -1;  // for bulk transfers: only this endpoint address; -1 any
    int skip = 0;       // matching calls that still succeed first
    int count = 1;      // calls that then fail; -1 for every later one
    bool short_transfer = false;  // succeed but report one byte less
};

// The simulated board's FIFO for a clock sped up `speed` times: at least its 8 MB, and never less than two
// seconds of wall-clock time at the highest rate (32 channels at 10 kS/s), so that a busy machine that leaves
// the transfer thread waiting a second still loses no block at a high speed-up.
std::size_t fifo_capacity_for_speed(double speed);

// The overflow error code the board reports with the first block after a dropped one.
constexpr std::uint8_t kFifoOverflowError = 4;

struct SimStats {
    std::vector<std::string> opened_names;          // every name tried, in order
    std::vector<std::vector<std::uint8_t>> ep1_out;  // every command written, in order
    std::vector<std::uint16_t> download_addresses;
    Personality personality = Personality::None;
    bool in_reset = false;
    bool running = false;
    bool start_rejected = false;
    std::uint64_t blocks_admitted = 0;
    std::uint64_t blocks_dropped = 0;
    int open_handles = 0;
    // A read that has taken all there is waits for the clock to bring more: until this time (0 when none waits).
    double read_waits_until = 0;
};

class SimBoard : public Backend {
public:
    explicit SimBoard(SimBoardConfig config);
    ~SimBoard() override;

    Handle open(const std::string& name) override;
    int ioctl(Handle handle, std::uint32_t code, const void* in, std::uint32_t in_length, void* out,
              std::uint32_t out_length, std::uint32_t* returned) override;
    void close(Handle handle) override;
    void cancel_reads(Handle handle) override;

    // Test and demo controls.
    void inject(const SimFault& fault);
    void clear_faults();
    void unplug();
    void inject_block_error(std::uint64_t block, std::uint8_t code);
    void set_signals(std::shared_ptr<SignalSource> signals);
    SimStats stats();

private:
    struct Block {
        std::uint64_t index = 0;
        std::size_t read = 0;
        bool status_done = false;
        std::uint8_t error = 0;
    };
    struct Acquisition {
        bool running = false;
        bool info_pending = false;
        std::array<std::uint8_t, 64> info {};
        double t0 = 0.0;
        double period = 0.0;
        std::uint64_t scans_per_block = 1;
        int n = 0;
        std::uint32_t mask = 0;
        bool wide = false;
        std::size_t scan_bytes = 0;
        std::size_t block_bytes = 0;
        std::uint64_t next_block = 0;
        std::deque<Block> blocks;
        // Blocks before this one have their status: a reader that has fallen behind is not slowed further by
        // walking them on every read.
        std::size_t first_without_status = 0;
        std::deque<std::array<std::uint8_t, 2>> status;
        std::uint8_t pending_error = 0;
    };

    int bulk_read(std::unique_lock<std::mutex>& lock, Handle handle, std::uint8_t endpoint, std::uint8_t* out,
                  std::uint32_t length, std::uint32_t* returned);
    int bulk_write(std::uint8_t endpoint, const std::uint8_t* data, std::uint32_t length, std::uint32_t* returned);
    bool take_fault(std::uint32_t code, int endpoint, bool* short_transfer);
    void update(double now);
    void start(const std::uint8_t* command);
    void release_reset();
    double block_start(std::uint64_t block) const;
    std::uint64_t scans_done(double now) const;
    std::size_t unread_bytes(double now) const;
    std::uint8_t level_byte(std::size_t unread) const;
    void make_scan(std::uint64_t scan, std::uint8_t* out);
    bool cancelled(Handle handle);

    SimBoardConfig config_;
    std::mutex mutex_;
    std::atomic<bool> unplugged_{false};
    std::map<Handle, std::shared_ptr<std::atomic<bool>>> handles_;
    Handle next_handle_ = 1;
    std::vector<SimFault> faults_;
    std::map<std::uint64_t, std::uint8_t> block_errors_;
    int alt_setting_ = 0;
    bool in_reset_ = false;
    Personality personality_ = Personality::None;
    std::vector<std::uint8_t> memory_;
    Acquisition acq_;
    std::deque<std::array<std::uint8_t, 64>> cal_answers_;
    SimStats stats_;
};

}  // namespace vusb
