// Board API: status word, block queue ownership, start/stop of buffered input, CPU time and Ctrl key.
#include "board/board_api.h"

#include "platform/sys/clock.h"

#include "board/board_setup.h"
#include "board/usb_transport.h"
#include "platform/sys/clock.h"
#include "platform/sys/message_box.h"
#include "platform/sys/process.h"

namespace {

// CPU-time baseline (user-interface thread only).
std::uint64_t LastTime = 0;
std::uint64_t LastKernel = 0;

}  // namespace

namespace vboard {

short cpu_hundredths(std::uint64_t last_user, std::uint64_t last_kernel, std::uint64_t user, std::uint64_t kernel)
{
    // Unsigned 64-bit differences stay right across a wrap of the low 32 bits.
    const std::uint64_t used = (user - last_user) + (kernel - last_kernel);
    const double seconds = static_cast<double>(used) / 10000000.0;
    return static_cast<short>(static_cast<std::int64_t>(seconds * 100.0));
}

}  // namespace vboard

int VantrelReset()
{
    // The device belongs to a transfer thread while one lives.
    if (transfer_thread_alive()) StopQLX4USBTransfer();
    VantrelStatus.store(0);
#ifndef VANTREL_REVIEW
    if (LookForQLX4USB() != 0) {
        bQLX4USBActiveThread.store(0);
        VantrelStatus.store(7);
    }
#endif
    return VantrelStatus.load();
}

int VantrelInitialize()
{
    vboard::block_queue().clear_ready();
    int status = VantrelReset();
    vsys::CpuTimes now = vsys::process_cpu_times();
    LastTime = now.user;
    LastKernel = now.kernel;
    return status;
}

int VantrelStartBufferedAnalogIn(int scans)
{
    const auto& setup = vboard::board_setup();
    const std::uint32_t mask = vboard::effective_channel_mask(setup.channels, setup.channel_status_bits);
    if (mask == 0) {
        VantrelStatus.store(3);
        vsys::message_box("VantrelStartBufferedAnalogIn Error",
                          "Less than one data acquisition channel is active.  Cannot start data acquisition.");
        return 3;
    }
    if (VantrelInitialize() != 0) return VantrelStatus.load();
    VantrelKillBufferedAnalogIn();
    if (scans < 1) scans = 1;
    const std::size_t values = static_cast<std::size_t>(scans) * static_cast<std::size_t>(vboard::channel_count(mask));
    if (!vboard::block_queue().allocate(vboard::queue_blocks(vsys::clock_speed()), values)) {
        VantrelStatus.store(2);
        vsys::message_box("VantrelStartBufferedAnalogIn Error", "Out of memory.");
        return 2;
    }
#ifndef VANTREL_REVIEW
    vboard::TransferParams params;
    params.sample_rate = scans;
    params.mask = mask;
    // The thread's own failures show at the next check, not here.
    return StartQLX4USBTransfer(params);
#else
    return VantrelStatus.load();
#endif
}

int VantrelKillBufferedAnalogIn()
{
    StopQLX4USBTransfer();
    // Only now, with the thread joined, may the buffers go.
    vboard::block_queue().release();
    return VantrelStatus.load();
}

int VantrelCheckBufferedAnalogIn(int* full)
{
    *full = vboard::block_queue().ready() ? 1 : 0;
    return VantrelStatus.load();
}

int VantrelGetBufferedAnalogInBinary(void** buffer, char* fill)
{
    std::int16_t* data = nullptr;
    std::uint8_t error = 0;
    std::uint8_t level = 0;
    if (vboard::block_queue().take(&data, &error, &level)) {
        *buffer = data;
        *fill = static_cast<char>(level);
        return error;
    }
    VantrelStatus.store(5);
    GetVantrelDaqError(&error, fill);
    return error;
}

short CPU_Time()
{
    vsys::CpuTimes now = vsys::process_cpu_times();
    short used = vboard::cpu_hundredths(LastTime, LastKernel, now.user, now.kernel);
    LastTime = now.user;
    LastKernel = now.kernel;
    return used;
}

short GetCtrlKeyState() { return vsys::ctrl_key_down() ? static_cast<short>(-128) : static_cast<short>(0); }

int VantrelReadDigital(int port, int* value)
{
    (void)port;
    *value = 1;
    return VantrelStatus.load();
}

int VantrelWriteDigital(int port, int value)
{
    (void)port;
    (void)value;
    return VantrelStatus.load();
}

int VantrelReadAnalogBinary(int channel, short* value)
{
    *value = static_cast<short>(channel);
    return VantrelStatus.load();
}

int VantrelReadAnalogSignal(int channel, double* value)
{
    *value = channel;
    return VantrelStatus.load();
}
