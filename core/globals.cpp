// Definitions of the shared program state, in the state main() starts from.
#include "core/globals.h"

#include "core/ini_file.h"
#include "platform/sys/confine.h"

std::uint8_t Flags = 0;
int hdbc = -1;
int ndbc = -1;
std::string vt_dir;
int status_color = STATUS_WHITE;
short current_file_index = -1;
char save_date[11] = "";
char save_time[9] = "";
int confidence_level = 4;

int recipe_num = 0;
int run_num = 0;
int num_of_wafers = 0;

int parent_panel = -1;
int handle_menu = -1;
int sc_handle = -1;
int spc_panel = -1;
int list_panel = -1;
int compare_panel = -1;
int spc_chart_selections = -1;
int legend_panel = -1;
int realtime_panel = -1;

namespace {

// A path the operator types leads only to the working directory as the program holds it, the program
// directory and the archive directory (how runs reach a shared drive).
const bool typed_paths_confined = [] {
    vsys::set_working_dir_reader([] { return vt_dir; });
    vsys::set_archive_reader([] {
        char value[kIniValueSize];
        read_rite_ini("VANTREL.INI", 0, "[VANTREL]", "ARCHIVE", value);
        return static_cast<unsigned char>(value[0]) == kIniMissing ? std::string() : std::string(value);
    });
    return true;
}();

}  // namespace
