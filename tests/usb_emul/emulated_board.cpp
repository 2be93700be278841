// The fake FX2 device: usbdevfs requests from libusb answered by forwarding each transfer to the simulated board.
#include "tests/usb_emul/emulated_board.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/sys/clock.h"

namespace vtest {
namespace {

constexpr const char* kSysPath = "/devices/pci0000:00/0000:00:14.0/usb1/1-1";
constexpr const char* kDevNode = "/dev/bus/usb/001/002";
constexpr int kFirstDevnum = 2;

std::string node_of(int devnum)
{
    char path[32];
    std::snprintf(path, sizeof path, "/dev/bus/usb/001/%03d", devnum);
    return path;
}
constexpr std::size_t kSetupSize = 8;
constexpr std::uint8_t kCpuReset = 0xA0;
constexpr std::uint16_t kCpuControl = 0xE600;

std::string hex(const std::vector<std::uint8_t>& bytes)
{
    std::string s;
    char two[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        s += two;
    }
    return s;
}

void put16(std::vector<std::uint8_t>& v, unsigned x)
{
    v.push_back(static_cast<std::uint8_t>(x & 0xFF));
    v.push_back(static_cast<std::uint8_t>((x >> 8) & 0xFF));
}

int max_packet(std::uint8_t endpoint, bool high_speed)
{
    // EP1 is a 64-byte endpoint on the FX2 at either speed; the FIFO endpoints are 512 at high speed.
    if ((endpoint & 0x7F) == 1 || !high_speed) return 64;
    return 512;
}

// Device descriptor, then the one configuration: interface 0 with alternate 0 (no endpoints) and 1.
std::vector<std::uint8_t> descriptors(const vusb::SimBoardConfig& config, std::uint16_t product)
{
    std::vector<std::uint8_t> d = {18, 1, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64};
    put16(d, 0x04B4);
    put16(d, product);
    put16(d, config.bcd_device);
    d.insert(d.end(), {0, 0, 0, 1});
    const auto& eps = config.alt1_endpoints;
    unsigned total = 9 + 9 + 9 + 7 * static_cast<unsigned>(eps.size());
    d.insert(d.end(), {9, 2});
    put16(d, total);
    d.insert(d.end(), {1, 1, 0, 0x80, 50});
    d.insert(d.end(), {9, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0});
    d.insert(d.end(), {9, 4, 0, 1, static_cast<std::uint8_t>(eps.size()), 0xFF, 0xFF, 0xFF, 0});
    for (std::uint8_t ep : eps) {
        d.insert(d.end(), {7, 5, ep, 2});
        put16(d, static_cast<unsigned>(max_packet(ep, config.high_speed)));
        d.push_back(0);
    }
    return d;
}

// The board's device as it sits on the bus (bus 1, port 1) with the given address and product id.
void add_device(UMockdevTestbed* testbed, const vusb::SimBoardConfig& config, int devnum, std::uint16_t product)
{
    char numbers[160];
    std::snprintf(numbers, sizeof numbers,
                  "N: bus/usb/001/%03d\nE: DEVNAME=/dev/bus/usb/001/%03d\nE: DEVNUM=%03d\nA: devnum=%d\nA: idProduct=%04x\n",
                  devnum, devnum, devnum, devnum, product);
    std::string record = std::string("P: ") + kSysPath + "\n" + numbers +
                         "E: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nE: BUSNUM=001\n"
                         "A: busnum=1\nA: speed=" + (config.high_speed ? "480" : "12") +
                         "\nA: bConfigurationValue=1\nA: idVendor=04b4\n"
                         "H: descriptors=" + hex(descriptors(config, product)) + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, record.c_str(), &error)) {
        std::fprintf(stderr, "emulated board: %s\n", error != nullptr ? error->message : "bad record");
        if (error != nullptr) g_error_free(error);
        std::abort();
    }
}

// A fresh testbed holding the board's device (none when the config has no board).
UMockdevTestbed* make_testbed(const vusb::SimBoardConfig& config)
{
    UMockdevTestbed* testbed = umockdev_testbed_new();
    if (!config.device_indexes.empty()) add_device(testbed, config, kFirstDevnum, 0x8613);
    return testbed;
}

struct Urb {
    UMockdevIoctlData* data = nullptr;  // the URB record (a reference we own)
    UMockdevIoctlData* buffer = nullptr;
    UMockdevIoctlClient* client = nullptr;
    std::atomic<bool> discarded {false};
    std::size_t traffic_index = 0;

    usbdevfs_urb* urb() const { return reinterpret_cast<usbdevfs_urb*>(data->data); }
    std::uint8_t* bytes() const { return buffer != nullptr ? buffer->data : nullptr; }
    int length() const { return buffer != nullptr ? buffer->data_len : 0; }
};

}  // namespace

struct EmulatedBoard::Impl {
    std::shared_ptr<vusb::SimBoard> sim;
    vusb::SimBoardConfig config;
    std::string sim_name;
    UMockdevTestbed* testbed = nullptr;
    UMockdevIoctlBase* handler = nullptr;

    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    bool unplugged = false;
    std::set<UMockdevIoctlClient*> clients;
    std::map<std::uint8_t, std::deque<std::shared_ptr<Urb>>> waiting;  // per IN endpoint, not yet served
    std::map<std::uint8_t, std::shared_ptr<Urb>> serving;              // per IN endpoint
    std::map<std::uint8_t, vusb::Handle> reading;                      // the board handle each reader waits on
    std::set<vusb::Handle> spent;                                      // handles whose reads were cancelled
    std::deque<std::shared_ptr<Urb>> done;                             // finished, not yet reaped
    std::set<std::uint8_t> halted;
    std::vector<UsbFault> faults;
    std::vector<UsbTraffic> log;
    std::vector<std::thread> readers;
    vusb::Handle command_handle = vusb::kInvalidHandle;
    std::chrono::steady_clock::time_point born = std::chrono::steady_clock::now();

    // Replay of a capture: the transfers expected in order, with their recorded outcomes.
    struct Expected {
        std::uint8_t type = 0, endpoint = 0;
        int length = 0;
        std::vector<std::uint8_t> out;
        int status = 0, actual = 0;
        std::vector<std::uint8_t> in;
    };
    std::vector<std::string> attached;  // device nodes the handler answers
    std::string current_node;           // the node of the board as it is now on the bus
    std::uint16_t renumerate_to = 0;    // product id the board comes back with after its firmware starts
    EmulatedBoard::Leaving leaving = EmulatedBoard::Leaving::BeforeNextTransfer;
    int refusals = 0;                   // requests the host made of a node that had left
    std::thread renumerator;
    void attach_node(const std::string& node);

    // The firmware just started (`u` is its CPU release): the board leaves the bus and comes back with
    // another address and product id. Called with the mutex held.
    void renumerate(const std::shared_ptr<Urb>& u, int returned)
    {
        const std::uint16_t product = renumerate_to;
        renumerate_to = 0;
        for (auto& [ep, q] : waiting) {
            for (auto& w : q) finish(w, -ESHUTDOWN, 0);
            q.clear();
        }
        for (auto& [ep, w] : serving) {
            w->discarded = true;
            stop_reading(ep);
        }
        const std::string next = node_of(kFirstDevnum + 1);
        const bool at_once = leaving == EmulatedBoard::Leaving::BeforeNextTransfer;
        if (!at_once) {
            finish(u, 0, returned);
            current_node = next;  // the old node refuses from now on
        }
        const int refused = refusals;
        renumerator = std::thread([this, product, u, returned, next, at_once, refused] {
            if (!at_once) {
                // The new device appears only once the host has met the old one gone.
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stopping || refusals > refused; });
            }
            const std::string sys = std::string("/sys") + kSysPath;
            umockdev_testbed_uevent(testbed, sys.c_str(), "remove");
            umockdev_testbed_remove_device(testbed, sys.c_str());
            add_device(testbed, config, kFirstDevnum + 1, product);
            std::lock_guard lock(mutex);
            attach_node(next);
            // The host learns that its request went through only when the board is already gone.
            if (at_once) finish(u, 0, returned);
        });
    }

    bool replaying = false;
    std::vector<Expected> script;
    std::size_t next = 0;
    std::string mismatch;

    // Called with the mutex held.
    void replay(const std::shared_ptr<Urb>& u)
    {
        const auto* raw = u->urb();
        const bool control_urb = raw->type == USBDEVFS_URB_TYPE_CONTROL;
        std::vector<std::uint8_t> out;
        if (u->bytes() != nullptr && !control_urb && !(raw->endpoint & 0x80)) out.assign(u->bytes(), u->bytes() + u->length());
        if (next < script.size()) {
            const Expected& e = script[next];
            if (e.type == raw->type && e.endpoint == raw->endpoint && e.length == u->length() &&
                (control_urb || e.out == out)) {
                ++next;
                if (!e.in.empty() && u->bytes() != nullptr)
                    std::memcpy(u->bytes(), e.in.data(), std::min<std::size_t>(e.in.size(), static_cast<std::size_t>(u->length())));
                return finish(u, e.status, e.actual);
            }
        }
        // Not what the capture holds next: the transfer waits (a read may yet be cancelled by the host).
        if (mismatch.empty()) {
            char text[160];
            std::snprintf(text, sizeof text, "transfer %zu: type %d endpoint 0x%02x length %d, capture expects %s",
                          next, raw->type, raw->endpoint, u->length(),
                          next < script.size() ? "another transfer" : "nothing more");
            mismatch = text;
        }
        waiting[raw->endpoint].push_back(u);
    }

    bool load(const std::string& path)
    {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) return false;
        std::vector<std::uint8_t> bytes;
        std::uint8_t chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
        if (bytes.size() < 24) return false;
        std::map<std::uint64_t, std::size_t> by_id;
        std::size_t at = 24;
        auto get = [&](std::size_t offset, auto& value) { std::memcpy(&value, bytes.data() + offset, sizeof value); };
        while (at + 16 + 64 <= bytes.size()) {
            std::uint32_t length = 0;
            get(at + 8, length);
            const std::size_t event = at + 16;
            if (event + length > bytes.size() || length < 64) return false;
            std::uint64_t id = 0;
            std::int32_t status = 0;
            std::uint32_t urb_length = 0, data_length = 0;
            get(event, id);
            get(event + 28, status);
            get(event + 32, urb_length);
            get(event + 36, data_length);
            const std::uint8_t kind = bytes[event + 8];
            const std::uint8_t* data = bytes.data() + event + 64;
            if (64 + data_length > length) return false;
            if (kind == 'S') {
                Expected e;
                e.type = bytes[event + 9];
                e.endpoint = bytes[event + 10];
                e.length = static_cast<int>(urb_length);
                e.out.assign(data, data + data_length);
                by_id[id] = script.size();
                script.push_back(std::move(e));
            } else if (auto it = by_id.find(id); it != by_id.end()) {
                Expected& e = script[it->second];
                e.status = status;
                e.actual = static_cast<int>(urb_length);
                e.in.assign(data, data + data_length);
            }
            at = event + length;
        }
        return true;
    }

    double now() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - born).count(); }

    int pipe_of(std::uint8_t endpoint) const
    {
        for (std::size_t i = 0; i < config.alt1_endpoints.size(); ++i)
            if (config.alt1_endpoints[i] == endpoint) return static_cast<int>(i);
        return -1;
    }

    // Called with the mutex held: the fault due for the next transfer on the endpoint.
    const UsbFault* take_fault(std::uint8_t endpoint, UsbFault* fired)
    {
        for (auto it = faults.begin(); it != faults.end(); ++it) {
            if (it->endpoint != endpoint) continue;
            if (it->skip > 0) {
                --it->skip;
                continue;
            }
            *fired = *it;
            if (it->count > 0 && --it->count == 0) faults.erase(it);
            return fired;
        }
        return nullptr;
    }

    // The handle the device uses for control and OUT transfers (kept while the board is plugged).
    vusb::Handle commands()
    {
        if (command_handle == vusb::kInvalidHandle) command_handle = sim->open(sim_name);
        return command_handle;
    }

    std::size_t record(const Urb& u, const std::uint8_t* setup)
    {
        UsbTraffic t;
        t.endpoint = u.urb()->type == USBDEVFS_URB_TYPE_CONTROL ? 0 : u.urb()->endpoint;
        int length = u.length();
        if (setup != nullptr) {
            std::memcpy(t.setup, setup, kSetupSize);
            length -= static_cast<int>(kSetupSize);
            if (!(setup[0] & 0x80) && length > 0) t.out.assign(setup + kSetupSize, setup + kSetupSize + length);
        } else if (!(t.endpoint & 0x80) && u.bytes() != nullptr) {
            t.out.assign(u.bytes(), u.bytes() + length);
        }
        t.requested = length;
        t.submitted = now();
        log.push_back(std::move(t));
        return log.size() - 1;
    }

    // Called with the mutex held.
    void finish(const std::shared_ptr<Urb>& u, int status, int actual)
    {
        u->urb()->status = status;
        u->urb()->actual_length = actual;
        if (u->traffic_index < log.size()) {
            UsbTraffic& t = log[u->traffic_index];
            t.status = status;
            t.actual = actual;
            t.finished = now();
            if ((t.endpoint & 0x80) && u->bytes() != nullptr && actual > 0) t.in.assign(u->bytes(), u->bytes() + actual);
        }
        done.push_back(u);
        changed.notify_all();
    }

    // A control transfer, answered at once: the FX2's firmware-load request goes to the board.
    void control(const std::shared_ptr<Urb>& u)
    {
        std::uint8_t* p = u->bytes();
        if (p == nullptr || u->length() < static_cast<int>(kSetupSize)) return finish(u, -EINVAL, 0);
        const std::uint8_t type = p[0], request = p[1];
        const auto value = static_cast<std::uint16_t>(p[2] | (p[3] << 8));
        const auto length = static_cast<std::uint16_t>(p[6] | (p[7] << 8));
        std::uint8_t* data = p + kSetupSize;
        UsbFault fault;
        if (take_fault(0, &fault) != nullptr) {
            // A silent control endpoint is not modelled: every control fault stalls.
            return finish(u, -EPIPE, 0);
        }
        if (type != 0x40 || request != kCpuReset || length > u->length() - static_cast<int>(kSetupSize))
            return finish(u, -EPIPE, 0);
        std::uint32_t returned = 0;
        int ok = 0;
        if (value == kCpuControl && length == 1) {
            vusb::VendorRequest r;
            r.request = request;
            r.value = value;
            r.length = 1;
            r.data = data[0];
            std::uint8_t record_bytes[vusb::kVendorRequestSize];
            vusb::encode_vendor_request(r, record_bytes);
            ok = sim->ioctl(commands(), vusb::IOCTL_VENDOR_REQUEST, record_bytes, sizeof record_bytes, nullptr, 0,
                            &returned);
            returned = ok ? 1 : 0;
        } else {
            const std::uint8_t address[2] = {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
            ok = sim->ioctl(commands(), vusb::IOCTL_ANCHOR_DOWNLOAD, address, 2, data, length, &returned);
        }
        if (!ok) return finish(u, -EPIPE, 0);
        if (value == kCpuControl && data[0] == 0 && renumerate_to != 0) return renumerate(u, static_cast<int>(returned));
        finish(u, 0, static_cast<int>(returned));
    }

    void bulk_out(const std::shared_ptr<Urb>& u)
    {
        const std::uint8_t ep = u->urb()->endpoint;
        if (halted.count(ep)) return finish(u, -EPIPE, 0);
        UsbFault fault;
        if (take_fault(ep, &fault) != nullptr) {
            if (fault.kind == UsbFault::Kind::Silent) return;  // left pending until the host gives up
            halted.insert(ep);
            return finish(u, -EPIPE, 0);
        }
        int pipe = pipe_of(ep);
        if (pipe < 0) return finish(u, -ENOENT, 0);
        std::uint32_t index = static_cast<std::uint32_t>(pipe), returned = 0;
        int ok = sim->ioctl(commands(), vusb::IOCTL_BULK_WRITE, &index, 4, u->bytes(),
                            static_cast<std::uint32_t>(u->length()), &returned);
        if (!ok) {
            halted.insert(ep);
            return finish(u, -EPIPE, 0);
        }
        finish(u, 0, static_cast<int>(returned));
    }

    // One reader per IN endpoint serves its URBs in order: packet by packet from the board,
    // done when the buffer is full or a short packet ends the transfer.
    void reader(std::uint8_t ep)
    {
        const int packet = max_packet(ep, config.high_speed);
        const int pipe = pipe_of(ep);
        vusb::Handle handle = vusb::kInvalidHandle;
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stopping || !waiting[ep].empty(); });
            if (stopping) break;
            std::shared_ptr<Urb> u = waiting[ep].front();
            waiting[ep].pop_front();
            if (unplugged) {
                finish(u, -ESHUTDOWN, 0);
                continue;
            }
            if (halted.count(ep)) {
                finish(u, -EPIPE, 0);
                continue;
            }
            UsbFault fault;
            bool silent = false;
            if (take_fault(ep, &fault) != nullptr) {
                if (fault.kind == UsbFault::Kind::Stall) {
                    halted.insert(ep);
                    finish(u, -EPIPE, 0);
                    continue;
                }
                silent = true;
            }
            serving[ep] = u;
            int actual = 0;
            int status = 0;
            while (true) {
                if (u->discarded) {
                    status = -ENOENT;
                    break;
                }
                if (unplugged) {
                    status = -ESHUTDOWN;
                    break;
                }
                if (silent) {
                    changed.wait_for(lock, std::chrono::milliseconds(5));
                    continue;
                }
                if (actual >= u->length() && u->length() > 0) break;
                if (handle == vusb::kInvalidHandle) handle = sim->open(sim_name);
                reading[ep] = handle;
                const int want = std::min(packet, u->length() - actual);
                std::uint8_t* into = u->bytes() != nullptr ? u->bytes() + actual : nullptr;
                std::uint8_t scratch[1];
                std::uint32_t index = static_cast<std::uint32_t>(pipe), got = 0;
                const vusb::Handle h = handle;
                lock.unlock();
                const double asked = vsys::clock_seconds();
                int ok = h == vusb::kInvalidHandle
                             ? 0
                             : sim->ioctl(h, vusb::IOCTL_BULK_READ, &index, 4, into != nullptr ? into : scratch,
                                          static_cast<std::uint32_t>(want), &got);
                const double waited = vsys::clock_seconds() - asked;
                lock.lock();
                if (spent.erase(h) > 0) {
                    // A cancelled board handle fails every later read: take a fresh one.
                    sim->close(h);
                    handle = vusb::kInvalidHandle;
                    reading.erase(ep);
                    if (!ok) continue;
                }
                if (!ok) {
                    if (u->discarded || unplugged) continue;
                    if (h != vusb::kInvalidHandle && waited >= config.read_timeout - 1e-9) continue;  // nothing yet: NAK
                    // The board refused the read: the endpoint stalls.
                    halted.insert(ep);
                    status = -EPIPE;
                    break;
                }
                actual += static_cast<int>(got);
                if (static_cast<int>(got) < packet) break;  // a short (or empty) packet ends the transfer
            }
            serving.erase(ep);
            reading.erase(ep);
            finish(u, status, actual);
        }
        if (handle != vusb::kInvalidHandle) sim->close(handle);
    }

    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* urb_data)
    {
        auto u = std::make_shared<Urb>();
        u->data = urb_data;
        u->client = client;
        auto* raw = u->urb();
        GError* error = nullptr;
        if (raw->buffer_length > 0) {
            u->buffer = umockdev_ioctl_data_resolve(urb_data, offsetof(usbdevfs_urb, buffer),
                                                    static_cast<gsize>(raw->buffer_length), &error);
            if (error != nullptr) g_error_free(error);
        }
        std::lock_guard lock(mutex);
        const bool control_urb = raw->type == USBDEVFS_URB_TYPE_CONTROL;
        u->traffic_index = record(*u, control_urb ? u->bytes() : nullptr);
        if (unplugged) return finish(u, -ENODEV, 0);
        if (replaying) return replay(u);
        if (control_urb) return control(u);
        if (raw->type != USBDEVFS_URB_TYPE_BULK) return finish(u, -EINVAL, 0);
        if (raw->endpoint & 0x80) {
            if (pipe_of(raw->endpoint) < 0) return finish(u, -ENOENT, 0);
            waiting[raw->endpoint].push_back(u);
            changed.notify_all();
            return;
        }
        bulk_out(u);
    }

    // Called with the mutex held: the reader's wait on the board ends (that handle is spent).
    void stop_reading(std::uint8_t ep)
    {
        auto it = reading.find(ep);
        if (it != reading.end()) {
            sim->cancel_reads(it->second);
            spent.insert(it->second);
        }
        changed.notify_all();
    }

    // -1 with errno EINVAL when the URB is no longer in flight.
    bool discard(UMockdevIoctlClient* client, unsigned long address)
    {
        std::lock_guard lock(mutex);
        for (auto& [ep, queue] : waiting) {
            for (auto it = queue.begin(); it != queue.end(); ++it) {
                if ((*it)->client != client || (*it)->data->client_addr != address) continue;
                auto u = *it;
                queue.erase(it);
                finish(u, -ENOENT, 0);
                return true;
            }
        }
        for (auto& [ep, u] : serving) {
            if (u->client != client || u->data->client_addr != address) continue;
            u->discarded = true;
            stop_reading(ep);
            return true;
        }
        return false;
    }

    std::shared_ptr<Urb> reapable(UMockdevIoctlClient* client)
    {
        std::unique_lock lock(mutex);
        for (int round = 0; round < 2; ++round) {
            for (auto it = done.begin(); it != done.end(); ++it) {
                if ((*it)->client != client) continue;
                auto u = *it;
                done.erase(it);
                return u;
            }
            // Nothing finished: a short pause keeps libusb's polling of the node from eating a core.
            if (round == 0) changed.wait_for(lock, std::chrono::milliseconds(1));
        }
        return nullptr;
    }

    void forget(UMockdevIoctlClient* client)
    {
        std::lock_guard lock(mutex);
        clients.erase(client);
        for (auto& [ep, queue] : waiting)
            queue.erase(std::remove_if(queue.begin(), queue.end(), [&](auto& u) { return u->client == client; }),
                        queue.end());
        for (auto& [ep, u] : serving) {
            if (u->client != client) continue;
            u->discarded = true;
            stop_reading(ep);
        }
        done.erase(std::remove_if(done.begin(), done.end(), [&](auto& u) { return u->client == client; }), done.end());
        changed.notify_all();
    }

    gboolean handle(UMockdevIoctlClient* client)
    {
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        bool gone = false;
        {
            std::lock_guard lock(mutex);
            const char* node = umockdev_ioctl_client_get_devnode(client);
            gone = unplugged || (!current_node.empty() && node != nullptr && current_node != node);
        }
        auto answer = [&](long result, int error) {
            umockdev_ioctl_client_complete(client, result, error);
            return TRUE;
        };
        auto refuse = [&] {
            {
                std::lock_guard lock(mutex);
                ++refusals;
                changed.notify_all();
            }
            return answer(-1, ENODEV);
        };
        GError* error = nullptr;
        auto resolve = [&](gsize size) {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, size, &error);
            if (error != nullptr) {
                g_error_free(error);
                error = nullptr;
            }
            return d;
        };
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* d = resolve(sizeof(std::uint32_t));
            if (d == nullptr) return answer(-1, EFAULT);
            const std::uint32_t caps = USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_BULK_CONTINUATION |
                                       USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT |
                                       USBDEVFS_CAP_ZERO_PACKET;
            std::memcpy(d->data, &caps, sizeof caps);
            g_object_unref(d);
            return answer(0, 0);
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM: {
            if (gone) return refuse();
            std::lock_guard lock(mutex);
            clients.insert(client);
            return answer(0, 0);
        }
        case USBDEVFS_RELEASEINTERFACE:
            // The host lets the board go: what it left in flight is dropped.
            forget(client);
            return gone ? refuse() : answer(0, 0);
        case USBDEVFS_RESET:
            return gone ? refuse() : answer(0, 0);
        case USBDEVFS_CLEAR_HALT: {
            if (gone) return refuse();
            UMockdevIoctlData* d = resolve(sizeof(unsigned int));
            if (d == nullptr) return answer(-1, EFAULT);
            unsigned int ep = 0;
            std::memcpy(&ep, d->data, sizeof ep);
            g_object_unref(d);
            std::lock_guard lock(mutex);
            halted.erase(static_cast<std::uint8_t>(ep));
            return answer(0, 0);
        }
        case USBDEVFS_SETINTERFACE: {
            if (gone) return refuse();
            UMockdevIoctlData* d = resolve(sizeof(usbdevfs_setinterface));
            if (d == nullptr) return answer(-1, EFAULT);
            usbdevfs_setinterface s {};
            std::memcpy(&s, d->data, sizeof s);
            g_object_unref(d);
            const std::uint8_t record_bytes[2] = {static_cast<std::uint8_t>(s.interface),
                                                  static_cast<std::uint8_t>(s.altsetting)};
            std::lock_guard lock(mutex);
            std::uint32_t returned = 0;
            if (sim && !sim->ioctl(commands(), vusb::IOCTL_SET_INTERFACE, record_bytes, 2, nullptr, 0, &returned))
                return answer(-1, EINVAL);
            halted.clear();
            return answer(0, 0);
        }
        case USBDEVFS_GETDRIVER:
        case USBDEVFS_IOCTL:
            return answer(-1, ENODATA);  // no kernel driver holds the interface
        case USBDEVFS_SUBMITURB: {
            if (gone) return refuse();
            UMockdevIoctlData* d = resolve(sizeof(usbdevfs_urb));
            if (d == nullptr) return answer(-1, EFAULT);
            submit(client, d);  // keeps the reference
            return answer(0, 0);
        }
        case USBDEVFS_DISCARDURB: {
            unsigned long address = 0;
            std::memcpy(&address, arg->data, std::min<std::size_t>(sizeof address, static_cast<std::size_t>(arg->data_len)));
            return discard(client, address) ? answer(0, 0) : answer(-1, EINVAL);
        }
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: {
            std::shared_ptr<Urb> u = reapable(client);
            if (!u) return gone ? refuse() : answer(-1, EAGAIN);
            UMockdevIoctlData* d = resolve(sizeof(void*));
            if (d == nullptr) return answer(-1, EFAULT);
            umockdev_ioctl_data_set_ptr(d, 0, u->data);
            g_object_unref(d);
            if (u->buffer != nullptr) g_object_unref(u->buffer);
            g_object_unref(u->data);
            u->buffer = nullptr;
            u->data = nullptr;
            return answer(0, 0);
        }
        default:
            return answer(-1, ENOTTY);
        }
    }
};

namespace {

gboolean on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
{
    return static_cast<EmulatedBoard::Impl*>(self)->handle(client);
}

}  // namespace

bool EmulatedBoard::available()
{
    // The preload library is mapped into the process when the test runs under it.
    std::FILE* maps = std::fopen("/proc/self/maps", "r");
    if (maps == nullptr) return false;
    char line[512];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, maps) != nullptr) found = std::strstr(line, "libumockdev-preload") != nullptr;
    std::fclose(maps);
    return found;
}

EmulatedBoard::EmulatedBoard(std::shared_ptr<vusb::SimBoard> sim, const vusb::SimBoardConfig& config)
    : impl_(std::make_unique<Impl>())
{
    Impl& m = *impl_;
    m.sim = std::move(sim);
    m.config = config;
    m.sim_name = "\\\\.\\Ezusb-" + std::to_string(config.device_indexes.empty() ? 0 : config.device_indexes.front());
    m.testbed = make_testbed(config);
    if (config.device_indexes.empty()) return;
    attach();
    std::set<std::uint8_t> inputs;
    for (std::uint8_t ep : m.config.alt1_endpoints)
        if (ep & 0x80) inputs.insert(ep);
    for (std::uint8_t ep : inputs) m.readers.emplace_back([&m, ep] { m.reader(ep); });
}

EmulatedBoard::EmulatedBoard(const vusb::SimBoardConfig& config, const std::string& capture)
    : impl_(std::make_unique<Impl>())
{
    Impl& m = *impl_;
    m.config = config;
    m.testbed = make_testbed(config);
    m.replaying = true;
    if (!m.load(capture)) {
        std::fprintf(stderr, "emulated board: cannot read the capture %s\n", capture.c_str());
        std::abort();
    }
    attach();
}

void EmulatedBoard::attach()
{
    Impl& m = *impl_;
    m.handler = umockdev_ioctl_base_new();
    g_signal_connect(m.handler, "handle-ioctl", G_CALLBACK(on_ioctl), &m);
    m.attach_node(kDevNode);
}

void EmulatedBoard::Impl::attach_node(const std::string& node)
{
    GError* error = nullptr;
    attached.push_back(node);
    current_node = node;
    if (!umockdev_testbed_attach_ioctl(testbed, node.c_str(), handler, &error)) {
        std::fprintf(stderr, "emulated board: %s\n", error != nullptr ? error->message : "cannot attach");
        if (error != nullptr) g_error_free(error);
        std::abort();
    }
}

std::size_t EmulatedBoard::replay_left()
{
    std::lock_guard lock(impl_->mutex);
    return impl_->script.size() - impl_->next;
}

std::string EmulatedBoard::replay_mismatch()
{
    std::lock_guard lock(impl_->mutex);
    return impl_->mismatch;
}

namespace {

void put(std::string& out, const void* p, std::size_t n) { out.append(static_cast<const char*>(p), n); }

template <typename T>
void put_value(std::string& out, T v)
{
    put(out, &v, sizeof v);
}

// One usbmon event: the 64-byte mmapped header and its data.
void put_event(std::string& out, std::uint64_t id, char kind, const UsbTraffic& t, double when, int status,
               std::uint32_t urb_length, const std::vector<std::uint8_t>& data)
{
    std::string e;
    put_value<std::uint64_t>(e, id);
    put_value<std::uint8_t>(e, static_cast<std::uint8_t>(kind));
    put_value<std::uint8_t>(e, t.endpoint == 0 ? USBDEVFS_URB_TYPE_CONTROL : USBDEVFS_URB_TYPE_BULK);
    put_value<std::uint8_t>(e, t.endpoint);
    put_value<std::uint8_t>(e, 2);    // device
    put_value<std::uint16_t>(e, 1);   // bus
    put_value<std::uint8_t>(e, t.endpoint == 0 && kind == 'S' ? 0 : '-');  // setup present
    put_value<std::uint8_t>(e, data.empty() ? '<' : 0);                     // data present
    const auto seconds = static_cast<std::int64_t>(when);
    put_value<std::int64_t>(e, seconds);
    put_value<std::int32_t>(e, static_cast<std::int32_t>((when - static_cast<double>(seconds)) * 1e6));
    put_value<std::int32_t>(e, status);
    put_value<std::uint32_t>(e, urb_length);
    put_value<std::uint32_t>(e, static_cast<std::uint32_t>(data.size()));
    put(e, t.setup, sizeof t.setup);
    put_value<std::int32_t>(e, 0);   // interval
    put_value<std::int32_t>(e, 0);   // start frame
    put_value<std::uint32_t>(e, 0);  // transfer flags
    put_value<std::uint32_t>(e, 0);  // iso descriptors
    e.insert(e.end(), data.begin(), data.end());
    put_value<std::uint32_t>(out, static_cast<std::uint32_t>(seconds));
    put_value<std::uint32_t>(out, static_cast<std::uint32_t>((when - static_cast<double>(seconds)) * 1e6));
    put_value<std::uint32_t>(out, static_cast<std::uint32_t>(e.size()));
    put_value<std::uint32_t>(out, static_cast<std::uint32_t>(e.size()));
    out += e;
}

}  // namespace

bool write_capture(const std::vector<UsbTraffic>& traffic, const std::string& path)
{
    std::string out;
    put_value<std::uint32_t>(out, 0xA1B2C3D4);
    put_value<std::uint16_t>(out, 2);
    put_value<std::uint16_t>(out, 4);
    put_value<std::int32_t>(out, 0);
    put_value<std::uint32_t>(out, 0);
    put_value<std::uint32_t>(out, 1u << 20);  // snapshot length
    put_value<std::uint32_t>(out, 220);       // Linux USB, mmapped header
    // Submissions and completions in the order they happened.
    struct Event {
        double when;
        std::size_t index;
        bool done;
    };
    std::vector<Event> events;
    for (std::size_t i = 0; i < traffic.size(); ++i) {
        if (traffic[i].status == -ENOENT || traffic[i].finished == 0) continue;
        events.push_back({traffic[i].submitted, i, false});
        events.push_back({traffic[i].finished, i, true});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.when < b.when; });
    static const std::vector<std::uint8_t> none;
    for (const Event& ev : events) {
        const UsbTraffic& t = traffic[ev.index];
        // A control transfer's length counts its setup bytes, as libusb submits it.
        const std::uint32_t setup = t.endpoint == 0 ? 8 : 0;
        if (!ev.done) {
            const bool out_data = t.endpoint != 0 && !(t.endpoint & 0x80);
            put_event(out, ev.index + 1, 'S', t, ev.when, -EINPROGRESS, static_cast<std::uint32_t>(t.requested) + setup,
                      out_data ? t.out : none);
        } else {
            put_event(out, ev.index + 1, 'C', t, ev.when, t.status, static_cast<std::uint32_t>(t.actual), t.in);
        }
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

EmulatedBoard::~EmulatedBoard()
{
    Impl& m = *impl_;
    {
        std::lock_guard lock(m.mutex);
        m.stopping = true;
        for (auto& [ep, u] : m.serving) {
            u->discarded = true;
            m.stop_reading(ep);
        }
        m.changed.notify_all();
    }
    for (auto& t : m.readers) t.join();
    GError* error = nullptr;
    if (m.renumerator.joinable()) m.renumerator.join();
    if (m.handler != nullptr) {
        for (const auto& node : m.attached) {
            umockdev_testbed_detach_ioctl(m.testbed, node.c_str(), &error);
            if (error != nullptr) g_error_free(error);
            error = nullptr;
        }
        g_object_unref(m.handler);
    }
    g_object_unref(m.testbed);
    {
        std::lock_guard lock(m.mutex);
        auto drop = [](std::shared_ptr<Urb>& u) {
            if (u->buffer != nullptr) g_object_unref(u->buffer);
            if (u->data != nullptr) g_object_unref(u->data);
            u->buffer = nullptr;
            u->data = nullptr;
        };
        for (auto& [ep, q] : m.waiting)
            for (auto& u : q) drop(u);
        for (auto& u : m.done) drop(u);
        if (m.command_handle != vusb::kInvalidHandle) m.sim->close(m.command_handle);
    }
}

void EmulatedBoard::renumerate_after_firmware(std::uint16_t product, Leaving leaving)
{
    std::lock_guard lock(impl_->mutex);
    impl_->renumerate_to = product;
    impl_->leaving = leaving;
}

void EmulatedBoard::inject(const UsbFault& fault)
{
    std::lock_guard lock(impl_->mutex);
    impl_->faults.push_back(fault);
}

void EmulatedBoard::unplug()
{
    Impl& m = *impl_;
    {
        std::lock_guard lock(m.mutex);
        m.unplugged = true;
        for (auto& [ep, q] : m.waiting) {
            for (auto& u : q) m.finish(u, -ESHUTDOWN, 0);
            q.clear();
        }
        m.changed.notify_all();
    }
    m.sim->unplug();
    if (m.handler == nullptr) return;
    const std::string sys = std::string("/sys") + kSysPath;
    umockdev_testbed_uevent(m.testbed, sys.c_str(), "remove");
    umockdev_testbed_remove_device(m.testbed, sys.c_str());
}

int EmulatedBoard::open_clients()
{
    std::lock_guard lock(impl_->mutex);
    return static_cast<int>(impl_->clients.size());
}

bool EmulatedBoard::wait_closed()
{
    std::unique_lock lock(impl_->mutex);
    // Generous: a loaded machine may keep the host from its release for a while.
    return impl_->changed.wait_for(lock, std::chrono::seconds(60), [&] { return impl_->clients.empty(); });
}

std::vector<UsbTraffic> EmulatedBoard::traffic()
{
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

void EmulatedBoard::clear_traffic()
{
    std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
}

}  // namespace vtest
