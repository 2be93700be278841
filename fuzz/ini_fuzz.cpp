// Fuzz target: VANTREL.INI read key by key and one key rewritten.
#include <cstring>
#include <string>

#include "core/ini_file.h"
#include "fuzz/fuzz_popups.h"
#include "platform/sys/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = [] {
        vfuzz::quiet_popups();
        vsys::set_project_dir_override(vfuzz::scratch());
        return true;
    }();
    (void)ready;
    vfuzz::write_file("VANTREL.INI", data, size);
    char value[kIniValueSize];
    for (const char* key : {"DIR", "ARCHIVE", "LEGEND_WIDTH", "LEGEND_VISIBLE"}) {
        std::memset(value, 0, sizeof value);
        read_rite_ini("VANTREL.INI", 0, "[VANTREL]", key, value);
    }
    std::strcpy(value, "/tmp/work");
    read_rite_ini("VANTREL.INI", 1, "[VANTREL]", "DIR", value);
    read_rite_ini("VANTREL.INI", 0, "[VANTREL]", "DIR", value);
    return 0;
}
