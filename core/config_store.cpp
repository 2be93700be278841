// get_put_number and get_put_char over the four key/value tables, and the process setup groups.
#include "core/config_store.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/core_seams.h"
#include "core/text_utils.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"

signed char channel_type[33];
double channel_slope[33];
double channel_inter[33];
std::uint32_t VantrelChannelStatusBits = 1;
std::uint8_t channels = 1;
std::uint8_t saved_channels = 1;
int sample_rate_index = 100;
int sample_rate = 100;
short trigger = 0;
short trig_type = 0;
short trig_ch = 1, trig_2_ch = 1;
short trig_log = 1, trig_2_log = 1;
double trig_val = 0.0, trig_2_val = 0.0;
short process_trig_channel = 0;
double process_trig_low = 1.0, process_trig_high = 2.0;
int delay = 11;
int minimum_trig_width = 10;
int precoat_minimum = 250;
int timer_status_bit = 0, timer_start_logic_bit = 0, timer_end_logic_bit = 0;
std::uint8_t timer_start_channel[17], timer_end_channel[17];
double timer_start_val[17], timer_end_val[17];
int timer_start_gun[17], timer_end_gun[17];
signed char step_set_channel[33];
signed char steps_per_process[33];

namespace {

constexpr int kText = 32;  // longest stored text
constexpr int kNoPrecoat = 1000000000;

std::string numb_table() { return vsys::strprintf("%.4dNUMB", recipe_num); }
std::string tags_table() { return vsys::strprintf("%.4dTAGS", recipe_num); }

bool ok_create(int r) { return r == 0 || r == 4; }

// --- numbers ---------------------------------------------------------------

double number_t_default(short param, short index)
{
    switch (param) {
    case 0: return -11.0;
    case 1: return 11.0;
    case 2:
    case 3: return 1.0;
    case 4: return get_default_color(index);
    case 10: return 30.0;
    default: return 0.0;
    }
}

struct NumberRow {
    short param = 0, index = 0;
    double value = 0.0;
    long status[3] = {};
    void bind(int stmt)
    {
        if (DBBindColShort(stmt, 1, &param, &status[0]) != 0) ShowError();
        if (DBBindColShort(stmt, 2, &index, &status[1]) != 0) ShowError();
        if (DBBindColDouble(stmt, 3, &value, &status[2]) != 0) ShowError();
    }
};

bool read_number(const std::string& table, short param, short index, double& out)
{
    DbStatement st(hdbc, vsys::strprintf("SELECT * FROM %s WHERE PARAM = %i AND INDEX = %i", table.c_str(), param, index));
    if (!st.ok()) return false;
    NumberRow row;
    row.bind(st.handle());
    if (DBFetchNext(st.handle()) != 0 || row.index < 0 || row.index > 32) return false;
    out = row.status[2] == -2 ? 0.0 : row.value;
    return true;
}

std::string numb_create(const std::string& table)
{
    return vsys::strprintf("CREATE TABLE %s (PARAM NUMERIC(5,0), INDEX NUMERIC(5,0), NUM_VAL NUMERIC(19,9))", table.c_str());
}

double write_number(const std::string& table, short param, short index, double value, bool may_create)
{
    DbStatement st(hdbc, vsys::strprintf("SELECT * FROM %s WHERE PARAM = %i AND INDEX = %i", table.c_str(), param, index));
    if (!st.ok()) {
        if (!may_create || hdbc <= 0) {
            ShowError();
            return value;
        }
        st.close();
        if (!ok_create(DBImmediateSQL(hdbc, numb_create(table).c_str()))) {
            ShowError();
            return -1.0;
        }
        return write_number(table, param, index, value, false);
    }
    NumberRow row;
    row.bind(st.handle());
    if (DBFetchNext(st.handle()) != 0 && DBCreateRecord(st.handle()) != 0) ShowError();
    row.param = param;
    row.index = index;
    row.value = value;
    if (DBPutRecord(st.handle()) != 0) ShowError();
    return value;
}

void set_bit(int& mask, int bit, double v)
{
    if (v > 0.9)
        mask |= 1 << bit;
    else
        mask &= ~(1 << bit);
}

void set_channel_bit(int ch, double v)
{
    std::uint32_t bit = 1u << (ch - 1);
    if (v > 0.9)
        VantrelChannelStatusBits |= bit;
    else
        VantrelChannelStatusBits &= ~bit;
}

// Applies one stored row to the setup globals; rows with an index outside their range are not used.
void apply_row(short p, short i, double v)
{
    const bool ch = i >= 1 && i <= 32;
    const bool t = i >= 1 && i <= 16;
    const int r = round_to_int(v);
    switch (p) {
    case 0: if (ch) channel_type[i] = static_cast<signed char>(r); break;
    case 1: if (ch) channel_slope[i] = v; break;
    case 2: if (ch) channel_inter[i] = v; break;
    case 4:
        if (i == 0) {
            sample_rate_index = r == 0 ? 10 : r;
            sample_rate = sample_rate_index > 0 ? sample_rate_index : 1;
        }
        break;
    case 5: if (i == 0) channels = static_cast<std::uint8_t>(r); break;
    case 6: if (i == 0) trig_type = static_cast<short>(r); break;
    case 7: if (i == 0) trigger = static_cast<short>(r); break;
    case 8:
        if (i == 0) trig_ch = static_cast<short>(r);
        if (i == 1) trig_2_ch = static_cast<short>(r);
        if (i == 2) process_trig_channel = static_cast<short>(r);
        break;
    case 9:
        if (i == 0) trig_log = static_cast<short>(r);
        if (i == 1) trig_2_log = static_cast<short>(r);
        break;
    case 10:
        if (i == 0) trig_val = v;
        if (i == 1) trig_2_val = v;
        if (i == 2) process_trig_low = v;
        break;
    case 11: process_trig_high = v; break;
    case 12: if (i == 0) delay = r; break;
    case 13: if (i == 0) precoat_minimum = r < 1 ? kNoPrecoat : r; break;
    case 15: if (ch) set_channel_bit(i, v); break;
    case 27: if (i == 0) minimum_trig_width = r < 0 ? 0 : r; break;
    case 16: if (t) set_bit(timer_status_bit, i - 1, v); break;
    case 17: if (t) timer_start_channel[i] = static_cast<std::uint8_t>(r); break;
    case 18: if (t) timer_end_channel[i] = static_cast<std::uint8_t>(r); break;
    case 19: if (t) set_bit(timer_start_logic_bit, i - 1, v); break;
    case 20: if (t) set_bit(timer_end_logic_bit, i - 1, v); break;
    case 21: if (t) timer_start_val[i] = v; break;
    case 22: if (t) timer_end_val[i] = v; break;
    case 23: if (t) timer_start_gun[i] = r; break;
    case 24: if (t) timer_end_gun[i] = r; break;
    case 25: if (ch) step_set_channel[i] = static_cast<signed char>(r); break;
    case 26: if (ch) steps_per_process[i] = static_cast<signed char>(r); break;
    default: break;
    }
}

void set_group_defaults(short op)
{
    if (op == LOAD_CHANNEL_GROUP) {
        for (int ch = 1; ch <= 32; ++ch) {
            channel_type[ch] = 0;
            channel_slope[ch] = 1.0;
            channel_inter[ch] = 0.0;
        }
        VantrelChannelStatusBits = 1;
        timer_status_bit = 0;
        sample_rate_index = sample_rate = 100;
        channels = 1;
        trigger = 0;
        trig_log = trig_2_log = 1;
        trig_val = trig_2_val = 0.0;
        minimum_trig_width = 10;
        delay = 11;
        trig_type = 0;
        process_trig_low = 1.0;
        process_trig_high = 2.0;
        process_trig_channel = 0;
        precoat_minimum = 250;
    } else if (op == LOAD_STEP_GROUP) {
        for (int ch = 1; ch <= 32; ++ch) step_set_channel[ch] = steps_per_process[ch] = 0;
    } else {
        for (int t = 1; t <= 16; ++t) {
            timer_start_channel[t] = timer_end_channel[t] = 255;
            timer_start_gun[t] = timer_end_gun[t] = 1;
            timer_start_val[t] = timer_end_val[t] = 2.0;
        }
    }
}

double load_group(short op)
{
    set_group_defaults(op);
    const char* where = op == LOAD_CHANNEL_GROUP ? "PARAM < 17 OR PARAM = 27"
                        : op == LOAD_STEP_GROUP  ? "PARAM = 25 OR PARAM = 26"
                                                 : "PARAM > 15 AND PARAM < 25";
    {
        DbStatement st(hdbc, vsys::strprintf("SELECT * FROM %s WHERE %s", numb_table().c_str(), where));
        if (!st.ok()) return 0.0;
        if (op == LOAD_CHANNEL_GROUP) {
            VantrelChannelStatusBits = 0;
            timer_status_bit = 0;
        } else if (op == LOAD_TIMER_GROUP) {
            timer_status_bit = timer_start_logic_bit = timer_end_logic_bit = 0;
        }
        NumberRow row;
        row.bind(st.handle());
        while (DBFetchNext(st.handle()) == 0) apply_row(row.param, row.index, row.status[2] == -2 ? 0.0 : row.value);
    }
    if (op == LOAD_CHANNEL_GROUP) {
        if (process_trig_high - process_trig_low < 0.005) process_trig_channel = 0;
        std::uint32_t mask = channels >= 32 ? VantrelChannelStatusBits
                                            : VantrelChannelStatusBits & ((1u << channels) - 1u);
        saved_channels = static_cast<std::uint8_t>(std::popcount(mask));
    }
    if (op == LOAD_TIMER_GROUP && DBImmediateSQL(hdbc, vsys::strprintf("PACK %.4dNUMB", recipe_num).c_str()) != 0)
        ShowError();
    return 0.0;
}

struct Row {
    short param, index;
    double value;
};

std::vector<Row> group_rows(short op)
{
    std::vector<Row> rows;
    auto add = [&](int p, int i, double v) { rows.push_back({static_cast<short>(p), static_cast<short>(i), v}); };
    auto bit = [](std::int64_t mask, int b) { return (mask >> b) & 1 ? 1.0 : 0.0; };
    auto sign = [](int mask, int b) { return (mask >> b) & 1 ? 1.0 : -1.0; };
    if (op == SAVE_CHANNEL_GROUP) {
        for (int ch = 1; ch <= 32; ++ch) {
            add(1, ch, channel_slope[ch]);
            add(2, ch, channel_inter[ch]);
            add(15, ch, bit(VantrelChannelStatusBits, ch - 1));
            add(0, ch, channel_type[ch]);
        }
        add(3, 0, 10.0);
        add(5, 0, channels);
        add(4, 0, sample_rate_index);
        add(6, 0, trig_type);
        add(7, 0, trigger);
        add(8, 0, trig_ch);
        add(8, 1, trig_2_ch);
        add(8, 2, process_trig_channel);
        add(9, 0, trig_log);
        add(9, 1, trig_2_log);
        add(10, 0, trig_val);
        add(10, 1, trig_2_val);
        add(10, 2, process_trig_low);
        add(11, 2, process_trig_high);
        add(12, 0, delay);
        add(27, 0, minimum_trig_width);
        add(13, 0, precoat_minimum);
    } else if (op == SAVE_STEP_GROUP) {
        for (int ch = 1; ch <= 32; ++ch) {
            add(25, ch, step_set_channel[ch]);
            add(26, ch, steps_per_process[ch]);
        }
    } else {
        for (int t = 1; t <= 16; ++t) {
            add(17, t, static_cast<signed char>(timer_start_channel[t]));
            add(18, t, static_cast<signed char>(timer_end_channel[t]));
            add(19, t, sign(timer_start_logic_bit, t - 1));
            add(20, t, sign(timer_end_logic_bit, t - 1));
            add(23, t, timer_start_gun[t]);
            add(24, t, timer_end_gun[t]);
            add(16, t, bit(timer_status_bit, t - 1));
            add(21, t, timer_start_val[t]);
            add(22, t, timer_end_val[t]);
        }
    }
    return rows;
}

// The new rows are appended before the old ones are removed, so a failure part
// way never leaves the process without its group: loading takes the later row.
double save_group(short op, bool may_create)
{
    const std::string table = numb_table();
    const char* where = op == SAVE_CHANNEL_GROUP ? "PARAM < 16 OR PARAM = 27"
                        : op == SAVE_STEP_GROUP  ? "PARAM = 25 OR PARAM = 26"
                                                 : "PARAM > 15 AND PARAM <25";
    DbStatement st(hdbc, vsys::strprintf("SELECT * FROM %s WHERE %s", table.c_str(), where));
    if (!st.ok()) {
        if (op != SAVE_CHANNEL_GROUP || !may_create) return 0.0;
        st.close();
        if (!ok_create(DBImmediateSQL(hdbc, numb_create(table).c_str()))) {
            ShowError();
            return -1.0;
        }
        return save_group(op, false);
    }
    NumberRow row;
    row.bind(st.handle());
    bool written = true;
    for (const Row& r : group_rows(op)) {
        if (DBCreateRecord(st.handle()) != 0) {
            ShowError();
            written = false;
            break;
        }
        row.param = r.param;
        row.index = r.index;
        row.value = r.value;
        if (DBPutRecord(st.handle()) != 0) {
            ShowError();
            written = false;
            break;
        }
    }
    // The result set still holds the rows as they were before the appends.
    if (written)
        while (DBFetchNext(st.handle()) == 0)
            if (DBDeleteRecord(st.handle()) != 0) {
                ShowError();
                break;
            }
    st.close();
    if (op != SAVE_TIMER_GROUP && DBImmediateSQL(hdbc, vsys::strprintf("PACK %.4dNUMB", recipe_num).c_str()) != 0)
        ShowError();
    return 0.0;
}

// --- texts -------------------------------------------------------------------

struct TextRow {
    short param = 0, index = 0;
    char text[kText + 1] = "";
    long status[3] = {};
    void bind(int stmt)
    {
        if (DBBindColShort(stmt, 1, &param, &status[0]) != 0) ShowError();
        if (DBBindColShort(stmt, 2, &index, &status[1]) != 0) ShowError();
        if (DBBindColChar(stmt, 3, kText + 1, text, &status[2], "") != 0) ShowError();
    }
    const char* value() { return status[2] == -2 ? "" : right_text_trim(text); }
};

const char* kConfigCreate =
    "CREATE TABLE CONFIG (PARAM NUMERIC(5,0), INDEX NUMERIC(5,0), VAL_TEXT CHAR(32) NOT NULL)";

// Reads one text; true when a row counted.
bool read_text(int connection, const std::string& table, int param, int index, char* value)
{
    DbStatement st(connection, vsys::strprintf("SELECT PARAM, INDEX, RTRIM(VAL_TEXT) FROM %s WHERE PARAM = %d AND INDEX = %d",
                                               table.c_str(), param, index));
    if (!st.ok()) return false;
    TextRow row;
    row.bind(st.handle());
    if (DBFetchNext(st.handle()) != 0) return false;
    if (!((row.index >= 0 && row.index <= 32) || param == 1 || index == 21)) return false;
    copy_bounded(value, row.value(), kText);
    return true;
}

void write_text(int connection, const std::string& table, const char* create, int param, int index, char* value,
                bool may_create)
{
    DbStatement st(connection, vsys::strprintf("SELECT * FROM %s WHERE PARAM = %d AND INDEX = %d", table.c_str(), param, index));
    if (!st.ok()) {
        if (!may_create) {
            ShowError();
            return;
        }
        st.close();
        if (!ok_create(DBImmediateSQL(connection, create))) {
            ShowError();
            return;
        }
        write_text(connection, table, create, param, index, value, false);
        return;
    }
    TextRow row;
    row.bind(st.handle());
    if (DBFetchNext(st.handle()) != 0 && DBCreateRecord(st.handle()) != 0) ShowError();
    row.param = static_cast<short>(param);
    row.index = static_cast<short>(index);
    copy_bounded(row.text, value, kText);
    if (DBPutRecord(st.handle()) != 0) ShowError();
}

void delete_text(int connection, int param, int index)
{
    DbStatement st(connection, vsys::strprintf("SELECT * FROM CONFIG WHERE PARAM = %d AND INDEX = %d", param, index));
    if (!st.ok()) return;
    TextRow row;
    row.bind(st.handle());
    if (DBFetchNext(st.handle()) == 0 && DBDeleteRecord(st.handle()) != 0) ShowError();
}

struct Process {
    int number;
    std::string name;
};

// Process names in name order; false when the table cannot be read.
bool process_names(int connection, std::vector<Process>& out)
{
    DbStatement st(connection, vsys::strprintf("SELECT PARAM, INDEX, RTRIM(VAL_TEXT) FROM CONFIG WHERE PARAM = %d  AND INDEX <= %d ORDER BY VAL_TEXT ASC", 1, 9000));
    if (!st.ok()) return false;
    TextRow row;
    row.bind(st.handle());
    while (DBFetchNext(st.handle()) == 0) out.push_back({row.index, row.value()});
    return true;
}

bool listed(const Process& p, const char* value)
{
    return p.name != "PLASMA CLEAN" && (std::strcmp(value, "ALL") == 0 || p.number > 2);
}

}  // namespace

double get_default_color(short channel)
{
    static const int colors[8] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFF8C00, 0x9400D3};
    if (channel < 1 || channel > 32) return 0.0;
    return colors[(channel - 1) % 8];
}

double get_put_number(short param, short index, short operation, double value)
{
    if (hdbc <= 0) return 0.0;
    double out = 0.0;
    switch (operation) {
    case NUMB_READ: return read_number(numb_table(), param, index, out) ? out : 0.0;
    case NUMBER_T_READ: return read_number("NUMBER_T", param, index, out) ? out : number_t_default(param, index);
    case NUMB_WRITE: return write_number(numb_table(), param, index, value, true);
    case NUMBER_T_WRITE: return write_number("NUMBER_T", param, index, value, true);
    case LOAD_CHANNEL_GROUP:
    case LOAD_STEP_GROUP:
    case LOAD_TIMER_GROUP: return load_group(operation);
    case SAVE_CHANNEL_GROUP:
    case SAVE_STEP_GROUP:
    case SAVE_TIMER_GROUP: return save_group(operation, true);
    default: return 0.0;
    }
}

char* get_put_char(int connection, int param, int index, short operation, char* value)
{
    value[kText] = '\0';
    bool found = false;
    if (connection <= 0) {
        std::strcpy(value, "NA");
        if (operation == TAGS_READ && (param == 28 || param == 29))
            vsys::format_into(value, kText + 1, param == 28 ? "A%d" : "T%d", index);
        return value;
    }
    switch (operation) {
    case TAGS_READ:
        found = read_text(connection, tags_table(), param, index, value);
        if (!found) {
            std::strcpy(value, "NA");
            if (param == 28 || param == 29) vsys::format_into(value, kText + 1, param == 28 ? "A%d" : "T%d", index);
        }
        break;
    case TAGS_WRITE: {
        std::string table = tags_table();
        std::string create = vsys::strprintf(
            "CREATE TABLE %.4iTAGS (PARAM NUMERIC(5,0), INDEX NUMERIC(5,0), VAL_TEXT CHAR(32) NOT NULL)", recipe_num);
        write_text(connection, table, create.c_str(), param, index, value, true);
        break;
    }
    case CONFIG_WRITE: write_text(connection, "CONFIG", kConfigCreate, param, index, value, true); break;
    case CONFIG_READ:
        found = read_text(connection, "CONFIG", param, index, value);
        if (!found) {
            // The fetch decides what is missing: a process really named "NA" stays.
            std::strcpy(value, "NA");
            if (param == 0 && (index == 0 || index == 1 || index == 5)) {
                std::strcpy(value, index == 0 ? "W1" : index == 1 ? "W2" : "3");
                write_text(connection, "CONFIG", kConfigCreate, param, index, value, true);
            } else if (param == 1) {
                vsys::format_into(value, kText + 1, "Setup%d", index - 2);
                write_text(connection, "CONFIG", kConfigCreate, param, index, value, true);
                core_seams().saveAllAndExport(1);
            }
        }
        break;
    case CONFIG_DELETE: delete_text(connection, param, index); break;
    case LIST_PROCESSES:
    case EXPORT_PROCESSES: {
        std::vector<Process> names;
        if (!process_names(connection, names)) {
            std::strcpy(value, "NA");
            break;
        }
        if (operation == EXPORT_PROCESSES && !core_seams().ExportRecipe.ready()) break;
        std::string dir = vsys::strprintf("%s/Setup", vt_dir.c_str());
        for (const Process& p : names) {
            if (!listed(p, value)) continue;
            if (operation == LIST_PROCESSES)
                InsertListItem(param, index, -1, p.name.c_str(), p.number);
            else
                core_seams().ExportRecipe(p.name.c_str(), dir.c_str(), 0, 1);
        }
        break;
    }
    case PROCESS_BY_NAME: {
        // Only process names count: a system or directory of the same name is no process.
        DbStatement st(connection, vsys::strprintf("SELECT * FROM CONFIG WHERE VAL_TEXT = '%s' AND INDEX <= %d AND PARAM = 1",
                                                   sql_quote(value).c_str(), 9000));
        TextRow row;
        if (st.ok()) {
            row.bind(st.handle());
            found = DBFetchNext(st.handle()) == 0;
        }
        if (found)
            vsys::format_into(value, kText + 1, "%i", row.index);
        else
            std::strcpy(value, "Not Found");
        break;
    }
    case FIRST_FREE_PROCESS: {
        DbStatement st(connection, vsys::strprintf("SELECT PARAM, INDEX, RTRIM(VAL_TEXT) FROM CONFIG WHERE PARAM = %d AND INDEX > %d ORDER BY INDEX ASC", 1, 2));
        if (!st.ok()) {
            st.close();
            if (!ok_create(DBImmediateSQL(connection, kConfigCreate))) {
                ShowError();
                break;
            }
            std::strcpy(value, "3");
            break;
        }
        TextRow row;
        row.bind(st.handle());
        int n = 2;
        bool gap = false;
        while (!gap && DBFetchNext(st.handle()) == 0) {
            ++n;
            gap = n != row.index;
        }
        vsys::format_into(value, kText + 1, "%i", gap ? n : n + 1);
        break;
    }
    default: break;
    }
    return value;
}

void LoadSetup()
{
    Flags &= static_cast<std::uint8_t>(~FLAG_PENDING_CHANGES);
    char text[kText + 1];
    recipe_num = std::atoi(get_put_char(hdbc, 0, 5, CONFIG_READ, text));
    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
    get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
    get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
    const CoreSeams& seams = core_seams();
    if (sc_handle > 0) seams.names(-1, 1, 0, 1);
    seams.update_menu();
    char system[kText + 1], process[kText + 1];
    get_put_char(hdbc, 0, 0, CONFIG_READ, system);
    get_put_char(hdbc, 1, recipe_num, CONFIG_READ, process);
    std::string title = vsys::strprintf("System=%s, %s", system, process);
    if (parent_panel > 0) SetPanelAttribute(parent_panel, ATTR_TITLE, title.c_str());
}

int GotoEditMode()
{
    if (recipe_num > 2) {
        Flags |= FLAG_PENDING_CHANGES;
        return 1;
    }
    MessagePopup("Save Error", "This process is write protected.  Please select \"Save As...\" from the \"File menu.\"");
    return 0;
}
