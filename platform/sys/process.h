// Process CPU time and the Ctrl key state of the current input event.
#pragma once

#include <cstdint>

namespace vsys {

// User and kernel CPU time of the whole process, in 100 ns units.
struct CpuTimes {
    std::uint64_t user = 0;
    std::uint64_t kernel = 0;
};
CpuTimes process_cpu_times();

// The user-interface layer records the modifiers of the event it is handling.
void set_ctrl_key_down(bool down);
bool ctrl_key_down();

}  // namespace vsys
