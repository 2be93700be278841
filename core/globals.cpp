// Definitions of the shared program state, in the state main() starts from.
#include "core/globals.h"

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
