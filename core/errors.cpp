// ShowError, EXIT_NOW and check_password.
#include "core/errors.h"

#include "core/sql_access.h"
#include "platform/ui/userint.h"

void ShowError()
{
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
