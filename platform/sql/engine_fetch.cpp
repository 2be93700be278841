// Result sets: column binding, fetching into bound variables and positioned writes by record number.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/sql/engine.h"
#include "platform/sql/engine_state.h"
#include "platform/sys/format.h"

using namespace vsql;

namespace {

Statement* statement_or_error(int hstmt)
{
    Statement* s = find_statement(hstmt);
    if (!s) set_error(kErrBadHandle, "Invalid statement handle");
    return s;
}

// Every statement entry point runs `act` under the engine's lock, with the last error cleared, on a valid
// statement; an invalid handle returns the error (or no text, from the functions that return text).
template <typename Act>
auto on_statement(int hstmt, Act act) -> decltype(act(std::declval<Statement&>()))
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    Statement* s = statement_or_error(hstmt);
    if (s) return act(*s);
    if constexpr (std::is_pointer_v<decltype(act(*s))>)
        return nullptr;
    else
        return engine().error;
}

// Whether the result set has the (1-based) column; sets the error when not.
bool column_exists(const Statement& s, int column)
{
    if (column >= 1 && column <= static_cast<int>(s.columns.size())) return true;
    set_error(kErrBadColumn, vsys::strprintf("Column %d does not exist", column));
    return false;
}

int bind(int hstmt, int column, Binding::Kind kind, void* target, long* status, long size)
{
    return on_statement(hstmt, [&](Statement& s) -> int {
        if (!column_exists(s, column)) return engine().error;
        if (!target || !status || size <= 0) return set_error(kErrBadColumn, "Invalid binding");
        if (s.bindings.size() < s.columns.size()) s.bindings.resize(s.columns.size());
        s.bindings[column - 1] = Binding{kind, target, status, size};
        return kOk;
    });
}

// Writes the value as text into `out` (which holds at least 64 bytes) or
// returns the text itself when it is longer; the length goes to `length`.
const char* as_text(const Value& v, const ResultColumn& col, char* out, std::size_t& length)
{
    if (auto* s = std::get_if<std::string>(&v)) {
        length = s->size();
        return s->data();
    }
    // to_chars gives the same digits as printf's %.*f and %.15g, much faster.
    std::to_chars_result r{};
    if (auto* i = std::get_if<std::int64_t>(&v)) {
        if (col.decimals > 0) r = std::to_chars(out, out + 63, static_cast<double>(*i), std::chars_format::fixed, col.decimals);
        else r = std::to_chars(out, out + 63, *i);
    } else {
        double d = std::get<double>(v);
        if (col.decimals >= 0) r = std::to_chars(out, out + 63, d, std::chars_format::fixed, col.decimals);
        else r = std::to_chars(out, out + 63, d, std::chars_format::general, 15);
    }
    if (r.ec != std::errc()) r.ptr = out;
    *r.ptr = '\0';
    length = std::strlen(out);
    return out;
}

double as_number(const Value& v)
{
    if (auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&v)) return *d;
    return std::strtod(std::get<std::string>(v).c_str(), nullptr);
}

template <typename T>
T to_integer(double d)
{
    d = std::trunc(d);
    if (!(d >= static_cast<double>(std::numeric_limits<T>::min()))) return std::numeric_limits<T>::min();
    if (d > static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(d);
}

void deliver(Statement& s)
{
    const std::vector<Value>& row = s.rows[static_cast<std::size_t>(s.position)];
    for (std::size_t i = 0; i < s.bindings.size() && i < row.size(); ++i) {
        Binding& b = s.bindings[i];
        if (b.kind == Binding::none) continue;
        const Value& v = row[i];
        bool null = is_null(v);
        switch (b.kind) {
        case Binding::text: {
            char* buf = static_cast<char*>(b.target);
            char number[64];
            std::size_t length = 0;
            const char* text = null ? "" : as_text(v, s.columns[i], number, length);
            // CHAR columns come back blank-padded to their width.
            std::size_t full = s.columns[i].type == kTypeChar ? std::max(length, static_cast<std::size_t>(s.columns[i].width)) : length;
            std::size_t limit = static_cast<std::size_t>(b.size - 1);
            std::size_t n = std::min(length, limit);
            std::memcpy(buf, text, n);
            std::size_t padded = std::min(full, limit);
            if (padded > n) std::memset(buf + n, ' ', padded - n);
            buf[padded] = '\0';
            *b.status = null ? -2 : static_cast<long>(full);
            break;
        }
        case Binding::i16:
            *static_cast<short*>(b.target) = null ? 0 : to_integer<short>(as_number(v));
            *b.status = null ? -2 : 2;
            break;
        case Binding::i32:
            *static_cast<int*>(b.target) = null ? 0 : to_integer<int>(as_number(v));
            *b.status = null ? -2 : 4;
            break;
        case Binding::f32:
            *static_cast<float*>(b.target) = null ? 0.0f : static_cast<float>(as_number(v));
            *b.status = null ? -2 : 4;
            break;
        case Binding::f64:
            *static_cast<double*>(b.target) = null ? 0.0 : as_number(v);
            *b.status = null ? -2 : 8;
            break;
        case Binding::none: break;
        }
    }
}

int move_to(Statement& s, long position)
{
    while (s.live && position >= static_cast<long>(s.rows.size()) && read_live_row(s)) {
    }
    long n = static_cast<long>(s.rows.size());
    if (position >= n && s.late_error != 0) {
        // Reported once, where the rows end.
        const int code = s.late_error;
        s.late_error = 0;
        s.position = n;
        s.current = Statement::Current::none;
        s.pending_ready = false;
        return set_error(code, s.late_message);
    }
    s.pending_ready = false;
    if (position < 0 || position >= n) {
        s.position = position < 0 ? -1 : n;
        s.current = Statement::Current::none;
        return set_error(kEndOfData, "No more rows");
    }
    s.position = position;
    s.current = Statement::Current::row;
    s.record = s.record_numbers.empty() ? -1 : static_cast<int>(s.record_numbers[static_cast<std::size_t>(position)]);
    deliver(s);
    return kOk;
}

// The statement's table, checked fresh, for a positioned write.
int writable_table(Statement& s)
{
    if (!s.table) return set_error(kErrNotUpdatable, "The result set does not come from a single table");
    if (!find_connection(s.connection)) return set_error(kErrBadHandle, "The connection of the statement is closed");
    std::string error;
    DbfTable::Freshness f = s.table->refresh(error);
    if (f == DbfTable::Freshness::missing) return set_error(kErrNoTable, "The table file no longer exists");
    if (f == DbfTable::Freshness::failed) return set_error(kErrFile, error);
    if (s.current == Statement::Current::row) {
        if (s.table->layout_version() != s.layout_version)
            return set_error(kErrTableChanged, "The table was rewritten since its rows were read");
        if (s.record < 0 || s.record >= s.table->record_count() || s.table->deleted(s.record))
            return set_error(kErrNoCurrentRow, "The current row no longer exists");
    }
    return kOk;
}

}  // namespace

int qeBindColChar(int hstmt, int column, char* buffer, long* status, const char*)
{
    return bind(hstmt, column, Binding::text, buffer, status, status ? *status : 0);
}
int qeBindColInt(int hstmt, int column, short* value, long* status) { return bind(hstmt, column, Binding::i16, value, status, 2); }
int qeBindColLong(int hstmt, int column, int* value, long* status) { return bind(hstmt, column, Binding::i32, value, status, 4); }
int qeBindColFloat(int hstmt, int column, float* value, long* status) { return bind(hstmt, column, Binding::f32, value, status, 4); }
int qeBindColDouble(int hstmt, int column, double* value, long* status) { return bind(hstmt, column, Binding::f64, value, status, 8); }

int qeFetchNext(int hstmt)
{
    return on_statement(hstmt, [&](Statement& s) -> int { return move_to(s, s.position + 1); });
}

int qeFetchPrev(int hstmt)
{
    return on_statement(hstmt, [&](Statement& s) -> int { return move_to(s, s.position - 1); });
}

int qeFetchRandom(int hstmt, long record)
{
    return on_statement(hstmt, [&](Statement& s) -> int { return move_to(s, record - 1); });
}

long qeFetchNumRecs(int hstmt)
{
    return on_statement(hstmt, [&](Statement& s) -> long {
        read_live_rest(s);
        return static_cast<long>(s.rows.size());
    });
}

int qeNumCols(int hstmt)
{
    return on_statement(hstmt, [&](Statement& s) -> int { return static_cast<int>(s.columns.size()); });
}

long qeNumModRecs(int hstmt)
{
    return on_statement(hstmt, [&](Statement& s) -> long {
        read_live_rest(s);
        return s.modified;
    });
}

const char* qeColName(int hstmt, int column)
{
    return on_statement(hstmt, [&](Statement& s) -> const char* {
        if (!column_exists(s, column)) return nullptr;
        return s.columns[column - 1].name.c_str();
    });
}

int qeColType(int hstmt, int column)
{
    return on_statement(hstmt, [&](Statement& s) -> int {
        if (!column_exists(s, column)) return engine().error;
        // A computed column's type and width follow from all its values.
        if (s.columns[column - 1].type == 0) read_live_rest(s);
        return s.columns[column - 1].type;
    });
}

int qeColWidth(int hstmt, int column)
{
    return on_statement(hstmt, [&](Statement& s) -> int {
        if (!column_exists(s, column)) return engine().error;
        if (s.columns[column - 1].type == 0) read_live_rest(s);
        return s.columns[column - 1].width;
    });
}

int qeGetSelectOptions(int hstmt, long* options)
{
    return on_statement(hstmt, [&](Statement& s) -> int {
        if (options) *options = s.options;
        return kOk;
    });
}

int qeSetSelectOptions(int hstmt, long options)
{
    return on_statement(hstmt, [&](Statement& s) -> int {
        s.options = options;
        return kOk;
    });
}

long qeRecNum(int hstmt)
{
    return on_statement(hstmt, [&](Statement& s) -> long {
        return s.current == Statement::Current::row ? s.position + 1 : 0;
    });
}

int qeRecNew(int hstmt, long)
{
    return on_statement(hstmt, [&](Statement& s) -> int {
        if (!s.table) return set_error(kErrNotUpdatable, "The result set does not come from a single table");
        // dBase appends new records at the end of the file whatever the position.
        s.current = Statement::Current::fresh;
        s.pending_ready = false;
        return kOk;
    });
}

int qePutUsingBindColumns(int hstmt)
{
    return on_statement(hstmt, [&](Statement& s) -> int {
        read_live_queries();
        if (s.current == Statement::Current::none) return set_error(kErrNoCurrentRow, "There is no current row");
        if (int r = writable_table(s); r != kOk) return r;
        DbfTable& t = *s.table;
        std::string rec = s.current == Statement::Current::row ? std::string(t.record(s.record), t.record_length())
                                                                : t.blank_record();
        std::string cut;
        for (std::size_t i = 0; i < s.bindings.size(); ++i) {
            const Binding& b = s.bindings[i];
            int field = s.columns[i].field;
            if (b.kind == Binding::none || field < 0) continue;
            Value v;
            switch (b.kind) {
            case Binding::text: {
                const char* buf = static_cast<const char*>(b.target);
                v = std::string(buf, strnlen(buf, static_cast<std::size_t>(b.size)));
                break;
            }
            case Binding::i16: v = static_cast<std::int64_t>(*static_cast<short*>(b.target)); break;
            case Binding::i32: v = static_cast<std::int64_t>(*static_cast<int*>(b.target)); break;
            case Binding::f32: v = static_cast<double>(*static_cast<float*>(b.target)); break;
            case Binding::f64: v = *static_cast<double*>(b.target); break;
            case Binding::none: break;
            }
            EncodeStatus st = t.encode(rec, field, v);
            if (st == EncodeStatus::out_of_range)
                return set_error(kErrValue, "Value out of range for column " + t.fields()[field].name);
            if (st == EncodeStatus::truncated && cut.empty()) cut = t.fields()[field].name;
        }
        s.pending = std::move(rec);
        s.pending_ready = true;
        if (!cut.empty()) {
            engine().warning = 1;
            return set_error(kWarningStored, "Text was cut to the width of column " + cut);
        }
        return kOk;
    });
}

int qeRecUpdate(int hstmt)
{
    return on_statement(hstmt, [&](Statement& s) -> int {
        read_live_queries();
        if (!s.pending_ready) return set_error(kErrNoCurrentRow, "No record was prepared to store");
        if (int r = writable_table(s); r != kOk) return r;
        std::string error;
        bool ok;
        if (s.current == Statement::Current::fresh) {
            int row = -1;
            ok = s.table->append(s.pending, row, error);
            if (ok) {
                // The stored record becomes the current row: a second put updates it.
                s.current = Statement::Current::row;
                s.record = row;
                s.layout_version = s.table->layout_version();
            }
        } else {
            ok = s.table->replace(s.record, s.pending, error);
        }
        s.pending_ready = false;
        if (ok) ok = s.table->flush(error);
        if (!ok) {
            s.table->undo_changes();
            return set_error(kErrFile, error);
        }
        s.table->keep_changes();
        return kOk;
    });
}

int qeRecDelete(int hstmt)
{
    return on_statement(hstmt, [&](Statement& s) -> int {
        read_live_queries();
        if (s.current != Statement::Current::row) return set_error(kErrNoCurrentRow, "There is no current row");
        if (int r = writable_table(s); r != kOk) return r;
        std::string error;
        bool ok = s.table->remove(s.record, error) && s.table->flush(error);
        s.current = Statement::Current::none;
        if (!ok) {
            s.table->undo_changes();
            return set_error(kErrFile, error);
        }
        s.table->keep_changes();
        return kOk;
    });
}
