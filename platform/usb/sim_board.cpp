// The simulated board: a model exact enough that the board layer cannot tell it from the real one.
#include "platform/usb/sim_board.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/sys/clock.h"

namespace vusb {
namespace {

constexpr std::uint8_t kEp1Out = 0x01;
constexpr std::uint8_t kEp1In = 0x81;
constexpr std::uint8_t kEp6In = 0x86;
constexpr std::size_t kFirmwareMemory = 0x2000;
constexpr double kCountsPerVolt = 1638.4;
constexpr double kLeastRealWait = 0.001;  // seconds of real time a waiting read sleeps at least at a sped-up clock

std::uint32_t get_be32(const std::uint8_t* p)
{
    return (std::uint32_t {p[0]} << 24) | (std::uint32_t {p[1]} << 16) | (std::uint32_t {p[2]} << 8) | p[3];
}

// Rounded half away from zero (as std::round), without its library call: 32 of them a scan.
std::int16_t to_counts(double volts)
{
    if (volts == 0.0) return 0;  // every channel without a signal, most of a scan
    const double x = volts * kCountsPerVolt;
    if (!(x > -32768.5)) return -32768;  // NaN lands here too
    if (x >= 32767.5) return 32767;
    auto c = static_cast<int>(x);  // towards zero; the fraction left is exact
    const double fraction = x - c;
    if (fraction >= 0.5) ++c;
    else if (fraction <= -0.5) --c;
    return static_cast<std::int16_t>(c);
}

}  // namespace

void PatternSignal::sample(double t, std::uint64_t scan, double volts[32])
{
    (void)scan;
    for (int c = 0; c < 32; ++c)
        volts[c] = 0.25 * (c + 1) * 0.1 + 0.05 * std::sin(t * 0.5 + c);
}

// Adapter curve: slightly bent, 0..10 V onto 0..300 degrees.
double adapter_degrees(double volts) { return 25.0 * volts + 0.5 * volts * volts; }

double adapter_volts(double degrees)
{
    // Inverse of the quadratic above (the positive root).
    double d = 625.0 + 2.0 * degrees;
    if (d < 0.0) d = 0.0;
    return -25.0 + std::sqrt(d);
}

std::array<std::uint8_t, 128> adapter_record(int adapter, AdapterKind kind)
{
    std::array<std::uint8_t, 128> r {};
    if (kind == AdapterKind::Absent) return r;
    r[0] = (adapter % 2 == 0) ? 0xFF : 0xFE;
    if (kind == AdapterKind::BadType) r[0] = 0x5A;
    r[1] = 'K';
    r[2] = static_cast<std::uint8_t>(adapter);
    r[3] = 1;
    std::uint32_t serial = 0x10000u + static_cast<std::uint32_t>(adapter);
    std::memcpy(r.data() + 4, &serial, 4);
    for (int k = 0; k < kCalPoints; ++k) {
        int mv = k * 625;
        int hundredths = static_cast<int>(std::lround(adapter_degrees(mv / 1000.0) * 100.0));
        std::uint8_t* p = r.data() + 8 + 4 * k;
        p[0] = static_cast<std::uint8_t>((mv >> 8) & 0xFF);
        p[1] = static_cast<std::uint8_t>(mv & 0xFF);
        p[2] = static_cast<std::uint8_t>((hundredths >> 8) & 0xFF);
        p[3] = static_cast<std::uint8_t>(hundredths & 0xFF);
    }
    std::uint32_t sum = 0;
    for (int i = 0; i < 124; ++i) sum += r[static_cast<std::size_t>(i)];
    if (kind == AdapterKind::BadChecksum) sum += 1;
    r[124] = static_cast<std::uint8_t>(sum >> 24);
    r[125] = static_cast<std::uint8_t>(sum >> 16);
    r[126] = static_cast<std::uint8_t>(sum >> 8);
    r[127] = static_cast<std::uint8_t>(sum);
    return r;
}

SimBoard::SimBoard(SimBoardConfig config) : config_(std::move(config)), memory_(kFirmwareMemory, 0)
{
    if (!config_.signals) config_.signals = std::make_shared<PatternSignal>();
}

SimBoard::~SimBoard() = default;

Handle SimBoard::open(const std::string& name)
{
    std::lock_guard lock(mutex_);
    stats_.opened_names.push_back(name);
    if (unplugged_) return kInvalidHandle;
    for (int index : config_.device_indexes) {
        if (name == "\\\\.\\Ezusb-" + std::to_string(index)) {
            Handle h = next_handle_++;
            handles_[h] = std::make_shared<std::atomic<bool>>(false);
            ++stats_.open_handles;
            return h;
        }
    }
    return kInvalidHandle;
}

void SimBoard::close(Handle handle)
{
    std::lock_guard lock(mutex_);
    if (handles_.erase(handle) > 0) --stats_.open_handles;
}

void SimBoard::cancel_reads(Handle handle)
{
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    if (it != handles_.end()) it->second->store(true);
}

bool SimBoard::cancelled(Handle handle)
{
    // Called with the mutex held.
    auto it = handles_.find(handle);
    return it == handles_.end() || it->second->load() || unplugged_.load();
}

void SimBoard::inject(const SimFault& fault)
{
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
}

void SimBoard::clear_faults()
{
    std::lock_guard lock(mutex_);
    faults_.clear();
}

void SimBoard::unplug() { unplugged_.store(true); }

void SimBoard::inject_block_error(std::uint64_t block, std::uint8_t code)
{
    std::lock_guard lock(mutex_);
    block_errors_[block] = code;
}

void SimBoard::set_signals(std::shared_ptr<SignalSource> signals)
{
    std::lock_guard lock(mutex_);
    config_.signals = signals ? std::move(signals) : std::make_shared<PatternSignal>();
}

SimStats SimBoard::stats()
{
    std::lock_guard lock(mutex_);
    SimStats s = stats_;
    s.personality = personality_;
    s.in_reset = in_reset_;
    s.running = acq_.running;
    return s;
}

bool SimBoard::take_fault(std::uint32_t code, int endpoint, bool* short_transfer)
{
    // Every matching fault sees the call; the first one due fires.
    bool fired = false;
    for (auto it = faults_.begin(); it != faults_.end();) {
        if (it->code != code || (it->endpoint >= 0 && it->endpoint != endpoint)) {
            ++it;
            continue;
        }
        if (it->skip > 0) {
            --it->skip;
            ++it;
            continue;
        }
        if (fired) {
            ++it;
            continue;
        }
        fired = true;
        *short_transfer = it->short_transfer;
        if (it->count > 0 && --it->count == 0) it = faults_.erase(it);
        else ++it;
    }
    return fired;
}

int SimBoard::ioctl(Handle handle, std::uint32_t code, const void* in, std::uint32_t in_length, void* out,
                    std::uint32_t out_length, std::uint32_t* returned)
{
    std::unique_lock lock(mutex_);
    *returned = 0;
    if (unplugged_ || handles_.find(handle) == handles_.end()) return 0;
    const auto* input = static_cast<const std::uint8_t*>(in);
    auto* output = static_cast<std::uint8_t*>(out);

    int endpoint = -1;
    if (code == IOCTL_BULK_READ || code == IOCTL_BULK_WRITE) {
        if (input == nullptr || in_length < 4) return 0;
        std::uint32_t pipe = 0;
        std::memcpy(&pipe, input, 4);
        if (alt_setting_ != 1 || pipe >= config_.alt1_endpoints.size()) return 0;
        endpoint = config_.alt1_endpoints[pipe];
    }
    bool short_transfer = false;
    if (take_fault(code, endpoint, &short_transfer) && !short_transfer) return 0;

    int ok = 0;
    switch (code) {
    case IOCTL_GET_PIPE_INFO: {
        if (output == nullptr || out_length < kPipeRecordsOffset) return 0;
        static const std::vector<std::uint8_t> none;
        const auto& list = alt_setting_ == 1 ? config_.alt1_endpoints : none;
        encode_pipe_info(list.data(), list.size(), output, out_length);
        *returned = out_length;
        ok = 1;
        break;
    }
    case IOCTL_GET_DEVICE_DESCRIPTOR: {
        if (output == nullptr || out_length < kDeviceDescriptorSize) return 0;
        const std::uint8_t d[kDeviceDescriptorSize] = {18, 1, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, 0xB4, 0x04, 0x13, 0x86,
                                                      static_cast<std::uint8_t>(config_.bcd_device & 0xFF),
                                                      static_cast<std::uint8_t>(config_.bcd_device >> 8), 0, 0, 0, 1};
        std::memcpy(output, d, kDeviceDescriptorSize);
        *returned = kDeviceDescriptorSize;
        ok = 1;
        break;
    }
    case IOCTL_VENDOR_REQUEST: {
        if (input == nullptr || in_length < kVendorRequestSize) return 0;
        VendorRequest r = decode_vendor_request(input);
        if (r.request != kFirmwareLoadRequest || r.value != kCpuControlRegister || r.length != 1) return 0;
        if (r.data == 1) {
            in_reset_ = true;
            personality_ = Personality::None;
            acq_ = Acquisition {};
            cal_answers_.clear();
            std::fill(memory_.begin(), memory_.end(), 0);
        } else if (in_reset_) {
            release_reset();
        }
        ok = 1;
        break;
    }
    case IOCTL_SET_INTERFACE:
        if (input == nullptr || in_length < 2 || input[0] != 0 || input[1] > 1) return 0;
        alt_setting_ = input[1];
        ok = 1;
        break;
    case IOCTL_ANCHOR_DOWNLOAD: {
        if (input == nullptr || in_length < 2 || output == nullptr) return 0;
        std::size_t address = static_cast<std::size_t>(input[0] | (input[1] << 8));
        if (!in_reset_ || address + out_length > kFirmwareMemory) return 0;
        std::memcpy(memory_.data() + address, output, out_length);
        stats_.download_addresses.push_back(static_cast<std::uint16_t>(address));
        *returned = out_length;
        ok = 1;
        break;
    }
    case IOCTL_BULK_READ:
        if (output == nullptr) return 0;
        ok = bulk_read(lock, handle, static_cast<std::uint8_t>(endpoint), output, out_length, returned);
        break;
    case IOCTL_BULK_WRITE:
        if (output == nullptr) return 0;
        ok = bulk_write(static_cast<std::uint8_t>(endpoint), output, out_length, returned);
        break;
    default:
        return 0;
    }
    if (ok && short_transfer && *returned > 0) --*returned;
    return ok;
}

void SimBoard::release_reset()
{
    in_reset_ = false;
    personality_ = Personality::Silent;
    const std::size_t marker_length = sizeof(kFirmwareMarker) - 1;
    auto it = std::search(memory_.begin(), memory_.end(), kFirmwareMarker, kFirmwareMarker + marker_length);
    if (it == memory_.end() || it + static_cast<long>(marker_length) == memory_.end()) return;
    switch (*(it + static_cast<long>(marker_length))) {
    case 'L': personality_ = Personality::LowRate; break;
    case 'H': personality_ = Personality::HighRate; break;
    case 'C': personality_ = Personality::CalRead; break;
    default: break;
    }
}

int SimBoard::bulk_write(std::uint8_t endpoint, const std::uint8_t* data, std::uint32_t length,
                         std::uint32_t* returned)
{
    if (endpoint != kEp1Out) return 0;
    stats_.ep1_out.emplace_back(data, data + length);
    if (stats_.ep1_out.size() > 1000) stats_.ep1_out.erase(stats_.ep1_out.begin());
    *returned = length;
    if (personality_ == Personality::LowRate || personality_ == Personality::HighRate) {
        if (length == 10) start(data);
        else if (length == 8) acq_ = Acquisition {};
    } else if (personality_ == Personality::CalRead && length == 2) {
        if (data[0] < 32 && data[1] < 2) {
            auto record = adapter_record(data[0], config_.adapters[data[0]]);
            std::array<std::uint8_t, 64> page {};
            std::memcpy(page.data(), record.data() + 64 * data[1], 64);
            cal_answers_.push_back(page);
        }
    }
    return 1;
}

void SimBoard::start(const std::uint8_t* command)
{
    std::uint32_t period_us = get_be32(command);
    int n = command[4];
    std::uint32_t mask = get_be32(command + 5);
    int highest = command[9];
    bool wide = personality_ == Personality::HighRate;
    std::uint32_t shortest = wide ? 100 : 1000;
    bool valid = mask != 0 && n == std::popcount(mask) && highest == 32 - std::countl_zero(mask) &&
                 period_us >= shortest && period_us <= 10000000;
    stats_.start_rejected = !valid;
    if (!valid) return;
    acq_ = Acquisition {};
    acq_.running = true;
    acq_.info_pending = true;
    acq_.t0 = vsys::clock_seconds();
    acq_.period = period_us * 1e-6;
    acq_.scans_per_block = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(1e6 / period_us)));
    acq_.n = n;
    acq_.mask = mask;
    acq_.wide = wide;
    acq_.scan_bytes = wide ? 64 : static_cast<std::size_t>(2 * n);
    acq_.block_bytes = acq_.scan_bytes * acq_.scans_per_block;
    std::memcpy(acq_.info.data(), "VANTRELSIM", 10);
    acq_.info[10] = config_.high_speed ? 0x80 : 0x00;
    acq_.info[11] = config_.fifo_base;
    acq_.info[12] = wide ? 'H' : 'L';
}

double SimBoard::block_start(std::uint64_t block) const
{
    return acq_.t0 + static_cast<double>(block * acq_.scans_per_block) * acq_.period;
}

std::uint64_t SimBoard::scans_done(double now) const
{
    double s = (now - acq_.t0) / acq_.period + 1e-7;
    return s <= 0.0 ? 0 : static_cast<std::uint64_t>(s);
}

std::size_t fifo_capacity_for_speed(double speed)
{
    constexpr std::size_t kBoardFifo = 8u * 1024 * 1024;
    constexpr double kHighestBytesPerSecond = 32.0 * 2 * 10000;
    constexpr double kWallSeconds = 2.0;
    const double wall_seconds = kWallSeconds * kHighestBytesPerSecond * std::max(speed, 1.0);
    return std::max(kBoardFifo, static_cast<std::size_t>(wall_seconds));
}

std::size_t SimBoard::unread_bytes(double now) const
{
    std::size_t total = 0;
    std::uint64_t done = scans_done(now);
    for (const auto& b : acq_.blocks) {
        std::uint64_t first = b.index * acq_.scans_per_block;
        std::uint64_t produced = done <= first ? 0 : std::min<std::uint64_t>(done - first, acq_.scans_per_block);
        std::size_t bytes = static_cast<std::size_t>(produced) * acq_.scan_bytes;
        if (bytes > b.read) total += bytes - b.read;
    }
    return total;
}

std::uint8_t SimBoard::level_byte(std::size_t unread) const
{
    double share = std::min(1.0, static_cast<double>(unread) / static_cast<double>(config_.fifo_capacity));
    return static_cast<std::uint8_t>(config_.fifo_base + std::floor(share * (255 - config_.fifo_base)));
}

void SimBoard::update(double now)
{
    if (!acq_.running) return;
    while (block_start(acq_.next_block) <= now + 1e-9) {
        std::uint64_t k = acq_.next_block++;
        double start = block_start(k);
        std::size_t unread = unread_bytes(start);
        if (unread + acq_.block_bytes <= config_.fifo_capacity) {
            std::uint8_t error = acq_.pending_error;
            acq_.pending_error = 0;
            std::uint8_t scheduled = config_.signals->block_error(start, block_start(k + 1));
            if (scheduled != 0) error = scheduled;
            auto it = block_errors_.find(k);
            if (it != block_errors_.end()) error = it->second;
            acq_.blocks.push_back(Block {k, 0, false, error});
            ++stats_.blocks_admitted;
        } else {
            acq_.pending_error = kFifoOverflowError;
            ++stats_.blocks_dropped;
        }
    }
    // Blocks end in order: their statuses come in order too.
    for (; acq_.first_without_status < acq_.blocks.size(); ++acq_.first_without_status) {
        Block& b = acq_.blocks[acq_.first_without_status];
        double end = block_start(b.index + 1);
        if (end > now + 1e-9) break;
        acq_.status.push_back({b.error, level_byte(unread_bytes(end))});
        b.status_done = true;
    }
    while (!acq_.blocks.empty() && acq_.blocks.front().status_done &&
           acq_.blocks.front().read >= acq_.block_bytes) {
        acq_.blocks.pop_front();
        --acq_.first_without_status;
    }
}

void SimBoard::make_scan(std::uint64_t scan, std::uint8_t* out)
{
    double volts[32] = {};
    config_.signals->sample(acq_.t0 + static_cast<double>(scan + 1) * acq_.period, scan, volts);
    if (acq_.wide) {
        for (int c = 0; c < 32; ++c) {
            auto v = static_cast<std::uint16_t>(to_counts(volts[c]));
            out[2 * c] = static_cast<std::uint8_t>(v & 0xFF);
            out[2 * c + 1] = static_cast<std::uint8_t>(v >> 8);
        }
        return;
    }
    int pos = 0;
    for (int c = 31; c >= 0; --c) {
        if (!(acq_.mask & (1u << c))) continue;
        auto v = static_cast<std::uint16_t>(to_counts(volts[c]));
        out[pos++] = static_cast<std::uint8_t>(v & 0xFF);
        out[pos++] = static_cast<std::uint8_t>(v >> 8);
    }
}

int SimBoard::bulk_read(std::unique_lock<std::mutex>& lock, Handle handle, std::uint8_t endpoint,
                        std::uint8_t* out, std::uint32_t length, std::uint32_t* returned)
{
    if (endpoint != kEp1In && endpoint != kEp6In) return 0;
    const double deadline = vsys::clock_seconds() + config_.read_timeout;
    for (;;) {
        if (cancelled(handle)) return 0;
        double now = vsys::clock_seconds();
        update(now);
        double target = deadline;
        bool acquiring = acq_.running && (personality_ == Personality::LowRate || personality_ == Personality::HighRate);
        if (endpoint == kEp1In && personality_ == Personality::CalRead) {
            if (cal_answers_.empty()) return 1;  // nothing waiting: an empty packet
            std::uint32_t n = std::min<std::uint32_t>(length, 64);
            std::memcpy(out, cal_answers_.front().data(), n);
            cal_answers_.pop_front();
            *returned = n;
            return 1;
        }
        if (endpoint == kEp1In && acquiring) {
            if (!acq_.status.empty()) {
                std::uint32_t n = std::min<std::uint32_t>(length, 2);
                std::memcpy(out, acq_.status.front().data(), n);
                acq_.status.pop_front();
                *returned = n;
                update(now);
                return 1;
            }
            target = acq_.first_without_status < acq_.blocks.size()
                         ? block_start(acq_.blocks[acq_.first_without_status].index + 1)
                         : block_start(acq_.next_block);
        } else if (endpoint == kEp6In && acquiring) {
            if (acq_.info_pending) {
                std::uint32_t n = std::min<std::uint32_t>(length, 64);
                std::memcpy(out, acq_.info.data(), n);
                acq_.info_pending = false;
                *returned = n;
                return 1;
            }
            Block* front = nullptr;
            for (auto& b : acq_.blocks)
                if (b.read < acq_.block_bytes) {
                    front = &b;
                    break;
                }
            if (front == nullptr) {
                target = block_start(acq_.next_block) + acq_.period;
            } else {
                std::uint64_t first = front->index * acq_.scans_per_block;
                std::uint64_t done = scans_done(now);
                std::uint64_t produced = done <= first ? 0 : std::min<std::uint64_t>(done - first, acq_.scans_per_block);
                std::size_t available = static_cast<std::size_t>(produced) * acq_.scan_bytes - front->read;
                std::size_t want = std::min<std::size_t>(length, acq_.block_bytes - front->read);
                if (available >= want) {
                    std::uint8_t scan[64];
                    std::size_t copied = 0;
                    while (copied < want) {
                        std::size_t offset = front->read + copied;
                        std::uint64_t s = offset / acq_.scan_bytes;
                        std::size_t within = offset % acq_.scan_bytes;
                        make_scan(first + s, scan);
                        std::size_t n = std::min(acq_.scan_bytes - within, want - copied);
                        std::memcpy(out + copied, scan + within, n);
                        copied += n;
                    }
                    front->read += want;
                    *returned = static_cast<std::uint32_t>(want);
                    update(now);
                    return 1;
                }
                std::uint64_t need = (front->read + want + acq_.scan_bytes - 1) / acq_.scan_bytes;
                target = acq_.t0 + static_cast<double>(first + need) * acq_.period;
            }
        }
        if (now >= deadline) return 0;
        double until = std::min(target, deadline);
        // On a sped-up clock the board's packets come microseconds of real time apart: a reader woken for each
        // one spends more on waking than on the data. It sleeps at least a real millisecond and finds a batch
        // of packets waiting then.
        if (acquiring && !vsys::clock_is_simulated()) {
            const double speed = vsys::clock_speed();
            if (speed > 1.0) until = std::min(deadline, std::max(until, now + kLeastRealWait * speed));
        }
        auto flag = handles_[handle];
        stats_.read_waits_until = until;
        lock.unlock();
        bool reached = vsys::wait_until_clock(until, [&] { return flag->load() || unplugged_.load(); });
        lock.lock();
        stats_.read_waits_until = 0;
        if (!reached) return 0;
    }
}

}  // namespace vusb
