// ShowError, EXIT_NOW and check_password.
#include "core/errors.h"

#include "core/sql_access.h"
#include "platform/ui/userint.h"

namespace {
thread_local SqlErrorCapture* t_capture = nullptr;
}

SqlErrorCapture::SqlErrorCapture() : outer_(t_capture) { t_capture = this; }
SqlErrorCapture::~SqlErrorCapture() { t_capture = outer_; }

void SqlErrorCapture::keep(const std::string& text)
{
    if (count_++ == 0) first_ = text;
}

void ShowError()
{
    if (t_capture) {
        const char* text = DBErrorMessage();
        t_capture->keep(text ? text : "");
        return;
    }
    int cursor = VAL_DEFAULT_CURSOR;
    GetMouseCursor(&cursor);
    SetMouseCursor(-1);
    MessagePopup("Database Error", DBErrorMessage());
    SetMouseCursor(cursor);
}

void EXIT_NOW(const char* message)
{
    SetMouseCursor(-1);
    MessagePopup("Fatal Error", message ? message : "");
    QuitUserInterface(0);
}

short check_password(int* panel, int* control, CheckedCallback callback, int callbackData)
{
    (void)panel;
    (void)control;
    (void)callback;
    (void)callbackData;
    return 1;
}
