// The three services every part leans on: the SQL error popup, the fatal-error exit and the access check.
#pragma once

#include <string>

// Shows the last SQL error in a "Database Error" popup.
void ShowError();
// While one exists, ShowError on this thread keeps its text here instead of
// showing it, so that a caller can report the first failure once.
class SqlErrorCapture {
public:
    SqlErrorCapture();
    ~SqlErrorCapture();
    SqlErrorCapture(const SqlErrorCapture&) = delete;
    SqlErrorCapture& operator=(const SqlErrorCapture&) = delete;
    bool any() const { return count_ > 0; }
    const std::string& first() const { return first_; }
    void keep(const std::string& text);

private:
    SqlErrorCapture* outer_;
    int count_ = 0;
    std::string first_;
};
// Shows the caller's text in a "Fatal Error" popup and asks the event loop to end.
void EXIT_NOW(const char* message);
// Access check before clearing alarms and before exiting: always grants (1).
using CheckedCallback = int (*)(int panel, int control, int event, void* data, int d1, int d2);
short check_password(int* panel, int* control, CheckedCallback callback, int callbackData);
