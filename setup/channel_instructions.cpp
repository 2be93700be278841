// The instructions dialog of a channel and the rows of the process's instruction table behind it.
#include "setup/channel_instructions.h"

#include <optional>
#include <string>

#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/sql_access.h"
#include "core/text_utils.h"
#include "panels/instruct.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"

namespace {

constexpr const char* kNoInformation = "No setup information is available for this channel.";

std::string create_sql() { return vsys::strprintf("CREATE TABLE %.4dINST (CHANNEL NUMERIC(5,0), S_TEXT CHAR(254))", recipe_num); }

// Opens the statement, creating the missing table once and retrying once; a failure is reported.
bool open_with_table(std::optional<DbStatement>& s, const std::string& sql)
{
    s.emplace(hdbc, sql);
    if (s->ok()) return true;
    s.reset();
    if (DBImmediateSQL(hdbc, create_sql().c_str()) == 0) {
        s.emplace(hdbc, sql);
        if (s->ok()) return true;
    }
    ShowError();
    return false;
}

std::string trim_right(std::string t)
{
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

}  // namespace

int setup_instructions(int panel, int control, int event, void* data, int d1, int d2)
{
    if (event == EVENT_VAL_CHANGED) return set_pending_altered_flag(panel, control, event, data, d1, d2);
    if (event != EVENT_RIGHT_CLICK) return 0;
    const int channel = control - 1;
    std::string name;
    GetCtrlVal(panel, control, &name);
    const std::string sql = vsys::strprintf("SELECT S_TEXT FROM %.4dINST WHERE CHANNEL = %d", recipe_num, channel);
    std::optional<DbStatement> st;
    if (!open_with_table(st, sql)) return 0;
    DbStatement& s = *st;
    char text[255] = "";
    long status = 0;
    if (DBBindColChar(s.handle(), 1, 255, text, &status, "") < 0) ShowError();
    std::string shown;
    const bool found = DBFetchNext(s.handle()) == 0;
    if (!found || text[0] < ' ' || text[0] > '~') {
        if (found)
            while (DBDeleteRecord(s.handle()) == 0) {
            }
        shown = kNoInformation;
    } else {
        shown = trim_right(text);
    }
    const int dialog = LoadPanel(0, "instruct.uir", INSTRUCT);
    if (dialog < 0) return 0;
    SetCtrlVal(dialog, INSTRUCT_HEADING, vsys::strprintf("%s Instructions (maximum 254 characters)", trim_right(name).c_str()));
    SetCtrlVal(dialog, INSTRUCT_SUGGESTION, vsys::strprintf("Connect signal to A%d", channel));
    SetCtrlVal(dialog, INSTRUCT_CHANNEL, channel);
    ResetTextBox(dialog, INSTRUCT_TEXT, shown.c_str());
    InstallPopup(dialog);
    if (s.close() < 0) ShowError();
    return 0;
}

int instructions_ok(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int channel = 0;
    GetCtrlVal(panel, INSTRUCT_CHANNEL, &channel);
    std::optional<DbStatement> st;
    if (!open_with_table(st, vsys::strprintf("SELECT CHANNEL, S_TEXT FROM %.4dINST WHERE CHANNEL = %d", recipe_num,
                                             channel)))
        return 0;
    DbStatement& s = *st;
    short stored_channel = 0;
    char stored[255] = "";
    long st1 = 0, st2 = 0;
    if (DBBindColShort(s.handle(), 1, &stored_channel, &st1) < 0 ||
        DBBindColChar(s.handle(), 2, 255, stored, &st2, "") < 0)
        ShowError();
    const bool found = DBFetchNext(s.handle()) == 0;
    std::string typed;
    int lines = 0;
    GetNumTextBoxLines(panel, INSTRUCT_TEXT, &lines);
    for (int i = 0; i < lines && i < 5; ++i) {
        std::string line;
        GetTextBoxLine(panel, INSTRUCT_TEXT, i, &line);
        typed += line;
    }
    if (typed.size() > 254) typed.resize(254);
    typed = trim_right(typed);
    const std::string old = trim_right(stored);
    if (!found || old != typed) {
        if (ConfirmPopup("", "Would you like to save the new setup instructions?") == 1) {
            if (!found && DBCreateRecord(s.handle()) != 0) ShowError();
            copy_bounded(stored, typed.empty() ? "None." : typed.c_str(), 254);
            stored_channel = static_cast<short>(channel);
            if (DBPutRecord(s.handle()) != 0) ShowError();
        }
    }
    if (s.close() < 0) ShowError();
    int handle = panel;
    DiscardMyPanel(&handle);
    return 0;
}
