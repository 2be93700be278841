// The shared program state that start-up owns: flags, connections, panel handles, the working directory and run state.
#pragma once

#include <cstdint>
#include <string>

// Flags bits.
constexpr std::uint8_t FLAG_COMPARE = 1;
constexpr std::uint8_t FLAG_CURSOR_READOUT = 2;
constexpr std::uint8_t FLAG_TRIGGER_ACTIVE = 4;
constexpr std::uint8_t FLAG_PENDING_CHANGES = 8;

constexpr int STATUS_WHITE = 0xFFFFFF;
constexpr int STATUS_YELLOW = 0xFFFF00;

extern std::uint8_t Flags;
extern int hdbc;
extern int ndbc;
// The working directory; empty while unknown. Kept as an owned string so no
// caller ever frees or overruns it.
extern std::string vt_dir;
extern int status_color;
extern short current_file_index;  // 0 real-time testing on, -1 off
extern char save_date[11];        // yyyy/mm/dd
extern char save_time[9];         // hh:mm:ss
extern int confidence_level;

// The current process and run.
extern int recipe_num;
extern int run_num;
extern int num_of_wafers;

// Panel handles: -1 while closed.
extern int parent_panel;
extern int handle_menu;
extern int sc_handle;
extern int spc_panel;
extern int list_panel;
extern int compare_panel;
extern int spc_chart_selections;
extern int legend_panel;
extern int realtime_panel;
