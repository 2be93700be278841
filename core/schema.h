// The database schema: the global tables and the per-channel, per-step and per-timer result tables.
#pragma once

// Creates VT_INFO, OOC_ALRM, ENDP_DAT and ENDP_PAR on the connection *hdbc;
// returns the result of the last statement run. *hdbc becomes -1 when the run
// table can be neither created nor found (a result other than 0 or 4).
int check_tables(int* hdbc);

// Each creates one result table; 0 or 4 (exists already) is success, any
// other result sets *hdbc to -1. Numbers are taken as 16-bit values.
int create_step_table(int* hdbc, int channel, int step);
int create_stpm_table(int* hdbc, int channel, int step);
int create_timer_table(int* hdbc, int timer);
int create_other_table(int* hdbc, int channel);
int create_area_table(int* hdbc, int channel);
// ONTIME_1 to ONTIME_5; only the last result is judged.
int create_ontime_table(int* hdbc);
