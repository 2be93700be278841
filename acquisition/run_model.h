// Runs, wafers and wafer trace files: the run state, opening and closing wafers, precoat split, real-time hand-over.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/sys/files.h"

// What acquisition records with, fixed when it starts: reading another run's
// row, reloading the setup or opening a dialog changes the setup globals but
// never these.
struct AcqContext {
    bool active = false;
    int channels = 0;
    std::uint32_t mask = 0;
    int saved = 0;          // enabled channels
    int rate_index = 1;     // rate code
    int rate = 1;           // scans per block
    double volts_per_count = 0.0006103515625;
    int adc_bits = 0;       // converter scale of the run being recorded
    std::array<double, 33> slope {};
    std::array<double, 33> inter {};
    std::array<int, 33> type {};
    int trigger = 0, trig_type = 0;
    int t1 = 0, t2 = 0;     // positions of the trigger channels within a scan
    int trig_log = 1, trig_2_log = 1;
    double trig_val = 0, trig_2_val = 0;
    int delay = 0, minimum_trig_width = 0, precoat_minimum = 0;
    int run = 0;            // run and wafer being recorded
    int wafer = 1;
    std::string recipe;     // process name of the run rows
    std::string system_id;  // system name at start
};
AcqContext& acq();
// Takes the current setup globals into the context (channel, rate, scaling and trigger settings).
void capture_acquisition_setup();

// Run state.
extern char recipe_name[33];
extern char start_systemID_a[36];
extern vsys::FilePtr data_file;
extern int save;
extern vsys::FilePtr pPlayback;
extern int delay_index;
extern int precoat_counter;
extern short test_precoat_trace;
extern int realtime_run_counter;
extern short realtime_wafer_counter;
extern short daqbuf;
extern short transfer_error;
extern std::int32_t pedestal_ontime[5];
extern int strip_x_position;

// True from Start (recording) to Stop, even when the file itself could not be created or written.
bool wafer_file_open();
// Blocks appended to the open wafer's file since Start.
int wafer_blocks();
void count_wafer_block();
// Removes the open wafer's file, only when this acquisition created it.
vsys::Result discard_wafer_file();

// The first failure to write a wafer trace file or a run row, or to read the
// run table, while recording: nothing more is recorded, acquisition stops and
// says why once. Cleared when acquisition starts.
void fail_recording(const std::string& cause);
bool recording_failed();
// Whether the current run's row was inserted by this acquisition (so it may be taken back).
bool run_row_inserted();
// The cause not shown yet, once; "" when there is none.
std::string take_recording_failure();
void clear_recording_failure();
// Why the run table cannot be read; "" when it can.
std::string run_table_problem();
// The next run number: above the run table's and the SC_DATA folder's highest.
int next_run_number();

int startNewRun();
int Start();
int Stop();
void test_realtime();
// After the last Stop: tests, as real-time testing would have, every wafer it has not tested yet, the last one too.
void test_wafers_left();
short get_trace_number(short channel);

// The wafer trace of the working directory.
std::string wafer_file_path(int run, int wafer);
// The playback list of this edition in the working directory.
std::string playback_list_path();
// Appends one raw block (saved x rate values) and the pedestal on-times; false when the write failed.
bool write_trace_block(std::FILE* file, const std::int16_t* raw, int values);
