// The run table accessor (insert, look up, POR header rows, trace deletion, archive), run numbering and run deletion.
#pragma once

// The request info_table takes by value: nine words.
struct run_info_request {
    int hdbc;          // connection the statement runs on
    int select;        // select code
    int run;           // run number (3, -1, 6); megabytes (5); archive connection (20)
    char* system_id;   // 17 bytes
    char* recipe;      // 33 bytes (code -1: stored in TRACE_ID)
    char* trace_id;    // 33 bytes (code -1: stored in RECIPE)
    char* comment;     // 65 bytes
    short* complete;
    short* cassette;
};

// Converter scale of the current run's raw counts: 0 = 10 V per 16384 counts, 1 = 10 V per 4095.
extern int ADCBits;
extern const double BinaryToVoltage[2];
extern const double VoltageToBinary[2];

int info_table(run_info_request request);
void determine_run(int connection, int* run);
// operator '<' or '='; flags 1 pack, 2 only tables of the current setup, 4 also endpoint and run tables.
int delete_db_records(int connection, int run, char op, short flags, short wafer);
int get_db_size(const char* directory, int* megabytes);
int free_disk_bytes(short* drive, int* megabytes);
// Sets ADCBits, VantrelChannelStatusBits, channels and saved_channels from a CHANNELS text.
void read_channel_text(const char* text);
