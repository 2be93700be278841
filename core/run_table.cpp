// info_table and its select codes, determine_run and delete_db_records over VT_INFO and the result tables.
#include "core/run_table.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/channel_text.h"
#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/core_seams.h"
#include "core/ini_file.h"
#include "core/run_row.h"
#include "core/schema.h"
#include "core/text_utils.h"
#include "core/trace_file.h"
#include "core/wait_panel.h"
#include "panels/s_chart.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/sys/timing.h"
#include "platform/ui/userint.h"

int ADCBits = 0;
const double BinaryToVoltage[2] = {0.0006103515625, 0.002442002442};
const double VoltageToBinary[2] = {1638.4, 409.5};

namespace {

const char* kPlaceholder = "INSERT INTO VT_INFO VALUES (0, 0, 0, 'b ', 'b ', 'b ', 'b ', 'b ', 'b ', 'b ', 0, 0, 0)";
const char* kPorComment = "Type comments here to describe the Process of Record (POR).";

void set_text(char* word, const char* text, int n)
{
    if (word) copy_bounded(word, text, n);
}

int wafers_of(int num_waf) { return num_waf >= 1000 ? 999 : num_waf; }

std::string trace_file(const std::string& dir, int run, int wafer) { return wafer_trace_path(dir, run, wafer); }

std::string archive_key()
{
    char value[kIniValueSize];
    read_rite_ini("VANTREL.INI", 0, "[VANTREL]", "ARCHIVE", value);
    // A missing key counts as no archive.
    if (static_cast<unsigned char>(value[0]) == kIniMissing) return "NA";
    return value;
}

std::string channel_text()
{
    return vsys::strprintf("U%.10u %.2hd %.1f", VantrelChannelStatusBits, static_cast<short>(saved_channels), 10.0);
}

bool run_table_exists(int connection)
{
    DbStatement st(connection, "SELECT RUN_NUM FROM VT_INFO WHERE RUN_NUM = 0");
    return st.ok();
}

void put_row(int s)
{
    if (DBPutRecord(s) != 0) ShowError();
}

// Codes 3 and 4: the row becomes the current run.
int read_run(int s, RunRow& row, const run_info_request& r)
{
    int fetch = DBFetchNext(s);
    if (fetch != 0) {
        num_of_wafers = 0;
        for (char* w : {r.recipe, r.trace_id, r.comment}) set_text(w, "NA", 32);
        set_text(r.system_id, "NA", 16);
        std::strcpy(save_time, "NA");
        std::strcpy(save_date, "NA");
        return fetch;
    }
    row.trim();
    run_num = row.run;
    num_of_wafers = row.num_waf;
    int rate = row.rate == 0 ? 10 : row.rate;
    sample_rate_index = rate;
    sample_rate = rate > 0 ? rate : 1;
    set_text(r.recipe, row.recipe, 32);
    set_text(r.system_id, row.system_id, 16);
    set_text(r.trace_id, row.trace_id, 32);
    read_channel_text(row.channels);
    copy_bounded(save_time, row.sav_time, 8);
    set_text(r.comment, row.comment, 64);
    copy_bounded(save_date, row.sav_date, 10);
    if (r.complete) *r.complete = row.complete;
    if (r.cassette) *r.cassette = row.cassette;
    return 0;
}

int new_run(int s, RunRow& row, const run_info_request& r)
{
    if (DBCreateRecord(s) != 0) ShowError();
    row.run = run_num;
    row.rate = sample_rate_index;
    std::string now = TimeStr();
    get_converted_date(save_date);
    copy_bounded(row.sav_date, save_date, 10);
    copy_bounded(save_time, now.c_str(), 8);
    copy_bounded(row.sav_time, save_time, 8);
    // SYSTEM_ID holds 16 characters; the trace id takes the first 12.
    copy_bounded(row.system_id, r.system_id, 16);
    if (r.system_id && strnlen(r.system_id, 13) > 12) r.system_id[12] = '\0';
    if (r.trace_id) {
        vsys::format_into(r.trace_id, 33, "%s:%s %s", r.system_id ? r.system_id : "", save_date, save_time);
        copy_bounded(row.trace_id, r.trace_id, 32);
    }
    copy_bounded(row.recipe, r.recipe, 32);
    row.num_waf = 1;
    copy_bounded(row.comment, r.comment, 64);
    row.trace_del = row.complete = row.cassette = 0;
    if (sc_handle > 0) {
        SetCtrlVal(sc_handle, SCHART_DATE, save_date);
        SetCtrlVal(sc_handle, SCHART_TIME, save_time);
    }
    ADCBits = 0;
    copy_bounded(row.channels, channel_text().c_str(), 19);
    put_row(s);
    return -1;
}

// True when none of the run's traces is left; a run whose files stay is not marked deleted.
bool delete_traces(const std::string& dir, int run, int wafers)
{
    bool all_gone = true;
    for (int w = 1; w <= wafers; ++w)
        if (!vsys::delete_file_if_present(trace_file(dir, run, w))) all_gone = false;
    return all_gone;
}

int delete_old_traces(int s, RunRow& row, const run_info_request& r)
{
    int fetch = DBFetchNext(s);
    if (fetch != 0) return -1;
    WaitPanel wait("Deleting old files ...");
    std::string dir = r.hdbc != hdbc ? archive_key() : vt_dir;
    int result = -1, counter = 0;
    bool cancel = false;
    while (fetch == 0 && !cancel) {
        result = row.run + 1;
        if (row.trace_del == 0 && delete_traces(dir, row.run, wafers_of(row.num_waf))) row.trace_del = 1;
        put_row(s);
        fetch = DBFetchNext(s);
        if (++counter > 100) counter = 0;
        cancel = wait.cancelled();
        wait.progress(counter / 100.0);
    }
    return cancel ? 0 : result;
}

int free_space(int s, RunRow& row, const run_info_request& r)
{
    std::uint64_t bytes = 0;
    int fetch = DBFetchNext(s);
    WaitPanel wait("Deleting Files ...");
    const std::uint32_t limit = static_cast<std::uint32_t>(r.run) * 1000000u;
    int counter = 0;
    bool cancel = false;
    while (fetch == 0 && limit > bytes && !cancel) {
        bool all_gone = true;
        for (int w = 1; w <= wafers_of(row.num_waf); ++w) {
            std::string path = trace_file(vt_dir, row.run, w);
            if (auto size = vsys::file_size(path)) {
                if (vsys::delete_file(path))
                    bytes += *size;
                else
                    all_gone = false;
            }
        }
        if (all_gone) row.trace_del = 1;
        put_row(s);
        fetch = DBFetchNext(s);
        if (++counter > 100) counter = 0;
        cancel = wait.cancelled();
        wait.progress(counter / 100.0);
    }
    if (fetch != 0) return cancel ? -2 : -1;
    return cancel ? 1 : 0;
}

int delete_below(int s, RunRow& row)
{
    WaitPanel wait("Deleting Files ...");
    int counter = 0;
    bool cancel = false;
    while (!cancel && DBFetchNext(s) == 0) {
        if (delete_traces(vt_dir, row.run, wafers_of(row.num_waf))) row.trace_del = 1;
        put_row(s);
        if (++counter > 100) counter = 0;
        cancel = wait.cancelled();
        wait.progress(counter / 100.0);
    }
    return cancel ? -2 : 0;
}

int por_header(int s, RunRow& row, const run_info_request& r)
{
    if (DBFetchNext(s) != 0 && DBCreateRecord(s) != 0) ShowError();
    row.run = -r.run;
    row.rate = sample_rate_index;
    copy_bounded(row.system_id, r.system_id, 16);
    copy_bounded(row.trace_id, r.recipe, 32);
    copy_bounded(row.recipe, r.trace_id, 32);
    row.num_waf = num_of_wafers;
    copy_bounded(row.sav_time, save_time, 8);
    copy_bounded(row.sav_date, save_date, 10);
    copy_bounded(row.comment, kPorComment, 64);
    row.trace_del = 1;
    row.complete = 1;
    if (r.complete) *r.complete = 1;
    row.cassette = r.cassette ? *r.cassette : 0;
    saved_channels = static_cast<std::uint8_t>(std::popcount(VantrelChannelStatusBits));
    copy_bounded(row.channels, channel_text().c_str(), 19);
    put_row(s);
    return -1;
}

std::string process_lookup(int connection, const char* name)
{
    char value[33];
    copy_bounded(value, name, 32);
    return get_put_char(connection, 0, 0, PROCESS_BY_NAME, value);
}

int archive(int s, RunRow& row, const run_info_request& r)
{
    const std::string target_dir = archive_key();
    if (target_dir == vt_dir || vt_dir.empty() || vt_dir == "NA" || target_dir == "NA") return 0;
    int next = 1;
    determine_run(r.run, &next);
    WaitPanel wait("Archiving Files ...");
    bool cancel = false;
    int fetch = DBFetchNext(s);
    int insert_status = 0;
    std::string last_process;
    char entry_number[33], entry[33];
    get_put_char(hdbc, 0, 13, CONFIG_READ, entry_number);
    get_put_char(hdbc, 2, std::atoi(entry_number), CONFIG_READ, entry);
    if (std::strcmp(entry, "NA") == 0) return 0;
    const std::string dir = vsys::path_join(target_dir, entry);
    const CoreSeams& h = core_seams();
    // Nothing is copied unless every step of the copy can run.
    if (!seams_ready(h.network_stuff, h.multi_copy, h.insert_recipe_into_file_map)) return 1;
    while (fetch == 0 && !cancel && insert_status == 0) {
        row.trim();
        run_num = row.run;
        std::string number = process_lookup(hdbc, row.recipe);
        if (number != "Not Found") {
            recipe_num = std::atoi(number.c_str());
            h.network_stuff(r.run, next, 1, wait.handle());
            std::string insert = vsys::strprintf(
                "INSERT INTO VT_INFO VALUES (%i, %i, %i, '%s', '%s', '%s', '%s', '%s', '%s', '%s', %i, %i, %i)", next,
                row.num_waf, row.rate, sql_quote(row.system_id).c_str(), sql_quote(row.recipe).c_str(),
                sql_quote(row.trace_id).c_str(), sql_quote(row.channels).c_str(), sql_quote(row.sav_date).c_str(),
                sql_quote(row.sav_time).c_str(), sql_quote(row.comment).c_str(), row.trace_del, row.complete,
                row.cassette);
            insert_status = DBImmediateSQL(r.run, insert.c_str());
            if (insert_status != 0) ShowError();
            short count = static_cast<short>(std::min(row.num_waf, 999));
            std::string from = wafer_trace_base(vt_dir, row.run);
            std::string to = wafer_trace_base(dir, next);
            h.multi_copy(from.c_str(), to.c_str(), &count);
            if (last_process != row.recipe && !std::strstr(row.recipe, "No Recipe Match")) {
                last_process = row.recipe;
                if (process_lookup(r.run, row.recipe) == "Not Found") {
                    recipe_num = std::atoi(number.c_str());
                    get_put_number(0, 0, LOAD_CHANNEL_GROUP, 0.0);
                    get_put_number(0, 0, LOAD_STEP_GROUP, 0.0);
                    get_put_number(0, 0, LOAD_TIMER_GROUP, 0.0);
                    int stored = 0;
                    h.insert_recipe_into_file_map(hdbc, r.run, dir.c_str(), vt_dir.c_str(), row.recipe, recipe_num,
                                                  &stored, 0);
                }
            }
        }
        fetch = DBFetchNext(s);
        cancel = wait.cancelled();
        ++next;
    }
    return cancel ? 1 : 0;
}

int threshold(int s, RunRow& row)
{
    std::int64_t low = 1000000000, high = 0;
    bool any = false;
    while (DBFetchNext(s) == 0) {
        any = true;
        low = std::min<std::int64_t>(low, row.run);
        high = std::max<std::int64_t>(high, row.run);
    }
    if (!any) return -1;  // no runs: no threshold
    std::int64_t t = low + (high - low) / 10;
    return static_cast<int>(t == low ? low + 1 : t);
}

std::string statement(const run_info_request& r)
{
    switch (r.select) {
    case 1: return "SELECT * FROM VT_INFO";
    case 2:
        return vsys::strprintf("SELECT * FROM VT_INFO WHERE SAV_DATE < '%s' AND RUN_NUM > 0 ORDER BY RUN_NUM ASC",
                               sql_quote(save_date).c_str());
    case 3: return vsys::strprintf("SELECT * FROM VT_INFO WHERE RUN_NUM = %i", r.run);
    case 4: return vsys::strprintf("SELECT * FROM VT_INFO WHERE TRACE_ID = '%s'", sql_quote(r.trace_id).c_str());
    case 5: return "SELECT * FROM VT_INFO WHERE RUN_NUM > 0 AND TRACE_DEL = 0 ORDER BY RUN_NUM ASC";
    case 6: return vsys::strprintf("SELECT * FROM VT_INFO WHERE RUN_NUM > 0 AND RUN_NUM < %i AND TRACE_DEL = 0", r.run);
    case -1: return vsys::strprintf("SELECT * FROM VT_INFO WHERE RUN_NUM = %i", -r.run);
    case 20:
        return vsys::strprintf("SELECT * FROM VT_INFO WHERE RUN_NUM > 0 AND RUN_NUM >= %i ORDER BY RUN_NUM ASC", run_num);
    case -10: return "SELECT * FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY RUN_NUM ASC";
    default: return "";
    }
}

int info_table_once(const run_info_request& r, bool may_retry)
{
    const std::string sql = statement(r);
    if (sql.empty()) {
        MessagePopup("Info Table Error", "Undefined Select Operation");
        return -1;
    }
    const bool lookup = r.select == 3 || r.select == 4;
    DbStatement st(r.hdbc, sql);
    if (!st.ok()) {
        st.close();
        // Create what is missing; the placeholder row belongs only in a table made just now.
        const bool existed = run_table_exists(r.hdbc);
        int copy = r.hdbc;
        check_tables(&copy);
        if (copy > 0 && !existed && DBImmediateSQL(copy, kPlaceholder) != 0) ShowError();
        int again = may_retry && copy > 0 ? info_table_once(r, false) : 1;
        if (lookup) return again;
        return 0;
    }
    RunRow row;
    row.bind(st.handle());
    int result = -1;
    switch (r.select) {
    case 1: result = new_run(st.handle(), row, r); break;
    case 2: result = delete_old_traces(st.handle(), row, r); break;
    case 3:
    case 4: result = read_run(st.handle(), row, r); break;
    case 5: result = free_space(st.handle(), row, r); break;
    case 6: result = delete_below(st.handle(), row); break;
    case -1: result = por_header(st.handle(), row, r); break;
    case 20: result = archive(st.handle(), row, r); break;
    case -10: result = threshold(st.handle(), row); break;
    default: break;
    }
    if (st.close() != 0) ShowError();
    if (num_of_wafers > 999) num_of_wafers = 999;
    return result;
}

}  // namespace

void read_channel_text(const char* text)
{
    const ChannelText c = parse_channel_text(text);
    ADCBits = c.adc_bits;
    VantrelChannelStatusBits = c.mask;
    saved_channels = c.saved;
    if (c.channels) channels = *c.channels;
}

int info_table(run_info_request request) { return info_table_once(request, true); }

void determine_run(int connection, int* run)
{
    auto max_of = [connection](const char* sql) -> std::int64_t {
        DbStatement st(connection, sql);
        if (!st.ok()) return 0;
        int value = 0;
        long status = 0;
        if (DBBindColInt(st.handle(), 1, &value, &status) != 0) ShowError();
        if (DBFetchNext(st.handle()) != 0) ShowError();
        if (status == -2) value = 0;
        if (st.close() != 0) ShowError();
        return value;
    };
    std::int64_t endpoint = max_of("SELECT MAX(RUN) FROM ENDP_PAR");
    std::int64_t runs = max_of("SELECT MAX(RUN_NUM) FROM VT_INFO");
    std::int64_t next = std::max(endpoint, runs) + 1;
    if (next < 1 || next > 99999999) next = 1;
    *run = static_cast<int>(next);
}

int delete_db_records(int connection, int run, char op, short flags, short wafer)
{
    WaitPanel wait("Deleting Database Records ...");
    const std::string where_wafer = wafer >= 1 ? vsys::strprintf(" AND WAFER = %i", wafer) : "";
    const char ops[2] = {op, '\0'};
    auto remove = [&](const std::string& table, bool has_wafer) {
        std::string sql = vsys::strprintf("DELETE FROM %s WHERE RUN %s %i%s", table.c_str(), ops, run,
                                          has_wafer ? where_wafer.c_str() : "");
        if (DBImmediateSQL(connection, sql.c_str()) == 0 && (flags & 1))
            DBImmediateSQL(connection, ("PACK " + table).c_str());
    };
    const bool only_used = flags & 2;
    for (int c = 1; c <= 32; ++c) {
        if (!only_used || channel_type[c] == 1) {
            int steps = only_used ? round_to_int(get_put_number(26, static_cast<short>(c), NUMB_READ, 0.0)) : 16;
            for (int s = 1; s <= steps && s <= 16; ++s) {
                remove(vsys::strprintf("STEP%.2d%.2d", c, s), true);
                remove(vsys::strprintf("STPM%.2d%.2d", c, s), true);
            }
            if (wait.cancelled()) return 1;
        }
        if (!only_used || channel_type[c] == 0) {
            remove(vsys::strprintf("OTHER_%.2d", c), true);
            if (wait.cancelled()) return 1;
        }
        remove(vsys::strprintf("AREA_%.2d", c), true);
        wait.progress(c / 57.0);
        if (wait.cancelled()) return 1;
    }
    for (int t = 1; t <= 16; ++t) {
        if (!only_used || ((timer_status_bit >> (t - 1)) & 1)) remove(vsys::strprintf("TIMER_%.2d", t), true);
        wait.progress((t + 32) / 57.0);
        if (wait.cancelled()) return 1;
    }
    remove("OOC_ALRM", true);
    wait.progress(54 / 57.0);
    if (wait.cancelled()) return 1;
    if (flags & 4) {
        std::string sql = vsys::strprintf("DELETE FROM ENDP_PAR WHERE (RUN %s %i AND RUN > 0)", ops, run);
        if (DBImmediateSQL(connection, sql.c_str()) == 0 && (flags & 1)) DBImmediateSQL(connection, "PACK ENDP_PAR");
        wait.progress(55 / 57.0);
        if (wait.cancelled()) return 1;
        remove("ENDP_DAT", true);
        wait.progress(56 / 57.0);
        if (wait.cancelled()) return 1;
        sql = vsys::strprintf("DELETE FROM VT_INFO WHERE RUN_NUM %s %i AND RUN_NUM > 0", ops, run);
        if (DBImmediateSQL(connection, sql.c_str()) == 0 && (flags & 1)) DBImmediateSQL(connection, "PACK VT_INFO");
        wait.progress(1.0);
    }
    return 0;
}

int get_db_size(const char* directory, int* megabytes)
{
    WaitPanel wait("Checking Database Space ...");
    std::uint64_t total = 0;
    auto add = [&](const std::string& name) {
        if (auto size = vsys::file_size(vsys::path_join(directory, name))) total += *size;
    };
    add("VT_INFO.DBF");
    for (int c = 1; c <= 32; ++c) {
        for (int s = 1; s <= 16; ++s) add(vsys::strprintf("STEP%.2d%.2d.DBF", c, s));
        add(vsys::strprintf("AREA_%.2d.DBF", c));
        add(vsys::strprintf("OTHER_%.2d.DBF", c));
        if (wait.cancelled()) {
            *megabytes = -1;
            return 1;
        }
    }
    for (int t = 1; t <= 16; ++t) {
        add(vsys::strprintf("TIMER_%.2d.DBF", t));
        if (wait.cancelled()) {
            *megabytes = -1;
            return 1;
        }
    }
    for (int n = 1; n <= 5; ++n) {
        add(vsys::strprintf("ONTIME_%.1d.DBF", n));
        if (wait.cancelled()) {
            *megabytes = -1;
            return 1;
        }
    }
    add("ENDP_PAR.DBF");
    add("ENDP_DAT.DBF");
    *megabytes = static_cast<int>(total / 1000000);
    return 0;
}

int free_disk_bytes(short* drive, int* megabytes)
{
    // There are no drive letters here: the drive is the file system of the working directory.
    (void)drive;
    auto bytes = vsys::free_disk_space(vt_dir.empty() ? "/" : vt_dir);
    *megabytes = bytes ? static_cast<int>(*bytes / 1000000) : -1;
    return 0;
}
