// The activity report over a chosen time window: its popup and the report file.
#pragma once

// Opens the time-window popup ("log_req.uir"), preset to the last hour; acts on a commit.
int request_logfile(int panel, int control, int event, void* data, int eventData1, int eventData2);
// The popup's OK: writes "ACTIVITY.TXT" in the working directory and opens it; 1 when the window is refused.
int get_logfile(int panel, int control, int event, void* data, int eventData1, int eventData2);
