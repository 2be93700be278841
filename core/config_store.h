// The configuration stores (CONFIG, NUMBER_T and the per-process TAGS and NUMB tables) and the process setup globals.
#pragma once

#include <cstdint>

// --- setup globals (arrays indexed by channel 1..32 or timer 1..16) -----------
extern signed char channel_type[33];
extern double channel_slope[33];
extern double channel_inter[33];
extern std::uint32_t VantrelChannelStatusBits;
extern std::uint8_t channels;
extern std::uint8_t saved_channels;
extern int sample_rate_index;
extern int sample_rate;
extern short trigger;
extern short trig_type;
extern short trig_ch, trig_2_ch;
extern short trig_log, trig_2_log;
extern double trig_val, trig_2_val;
extern short process_trig_channel;
extern double process_trig_low, process_trig_high;
extern int delay;
extern int minimum_trig_width;
extern int precoat_minimum;
extern int timer_status_bit, timer_start_logic_bit, timer_end_logic_bit;
extern std::uint8_t timer_start_channel[17], timer_end_channel[17];
extern double timer_start_val[17], timer_end_val[17];
extern int timer_start_gun[17], timer_end_gun[17];
extern signed char step_set_channel[33];
extern signed char steps_per_process[33];

// Operation codes of the stores.
enum : short {
    NUMB_READ = 6,
    NUMB_WRITE = 7,
    LOAD_CHANNEL_GROUP = 8,
    SAVE_CHANNEL_GROUP = 9,
    LOAD_STEP_GROUP = 10,
    SAVE_STEP_GROUP = 11,
    LOAD_TIMER_GROUP = 12,
    NUMBER_T_WRITE = 13,
    NUMBER_T_READ = 14,
    SAVE_TIMER_GROUP = 26,
};
enum : short {
    TAGS_READ = 6,
    TAGS_WRITE = 7,
    CONFIG_WRITE = 13,
    CONFIG_READ = 14,
    CONFIG_DELETE = 15,
    LIST_PROCESSES = 16,
    PROCESS_BY_NAME = 18,
    FIRST_FREE_PROCESS = 19,
    EXPORT_PROCESSES = 28,
};

// Numbers: NUMBER_T (global) and "%.4dNUMB" of recipe_num, always on hdbc.
double get_put_number(short param, short index, short operation, double value);
// Texts of at most 32 characters: CONFIG and "%.4dTAGS". value holds at least 33 bytes.
char* get_put_char(int connection, int param, int index, short operation, char* value);
double get_default_color(short channel);
// Makes the process named in CONFIG (0,5) current.
void LoadSetup();
// 1 when the current process may be edited (and marks changes pending), 0 when write-protected.
int GotoEditMode();
