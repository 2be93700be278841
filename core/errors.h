// The three services every part leans on: the SQL error popup, the fatal-error exit and the access check.
#pragma once

// Shows the last SQL error in a "Database Error" popup.
void ShowError();
// Shows the caller's text in a "Fatal Error" popup and asks the event loop to end.
void EXIT_NOW(const char* message);
// Access check before clearing alarms and before exiting: always grants (1).
using CheckedCallback = int (*)(int panel, int control, int event, void* data, int d1, int d2);
short check_password(int* panel, int* control, CheckedCallback callback, int callbackData);
