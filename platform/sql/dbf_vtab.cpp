// Virtual-table callbacks: scans, keyed look-ups and key order through the table's field indexes, and row writes.
#include "platform/sql/dbf_vtab.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace vsql {
namespace {

struct DbfVtab {
    sqlite3_vtab base{};
    std::shared_ptr<DbfTable> table;
    MountSlot* slot = nullptr;
};

// idxNum: the field of an equality look-up + 1 in the low bits, or the numeric
// field whose order the rows come in + 1 in the bits above, and its direction.
constexpr int kOrderShift = 12;
constexpr int kFieldMask = (1 << kOrderShift) - 1;
constexpr int kDescending = 1 << 24;

struct DbfCursor {
    sqlite3_vtab_cursor base{};
    std::vector<int> rows;  // candidates of a keyed look-up
    DbfTable::RowOrder order;  // or every row in key order (from its end when `backward`)
    bool backward = false;
    bool keyed = false;
    std::size_t end = 0;    // a scan stops at the rows there were when it began
    std::size_t at = 0;     // position in rows, or the row number of a scan
    int row = -1;
};

DbfVtab* vt(sqlite3_vtab* p) { return reinterpret_cast<DbfVtab*>(p); }
DbfCursor* cur(sqlite3_vtab_cursor* p) { return reinterpret_cast<DbfCursor*>(p); }

std::string quote_name(const std::string& name)
{
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// What a module registered for one table carries.
struct MountAux {
    std::shared_ptr<DbfTable> table;
    MountSlot* slot = nullptr;
};

int x_create(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char** err)
{
    auto* mount = static_cast<MountAux*>(aux);
    if (!mount || !mount->table) {
        *err = sqlite3_mprintf("no table to mount");
        return SQLITE_ERROR;
    }
    std::string decl = "CREATE TABLE x(";
    const auto& fields = mount->table->fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) decl += ", ";
        decl += quote_name(fields[i].name);
        decl += fields[i].numeric() ? " NUMERIC" : " TEXT COLLATE RTRIM";
    }
    if (fields.empty()) decl += "\"_NONE_\" TEXT";
    decl += ")";
    int rc = sqlite3_declare_vtab(db, decl.c_str());
    if (rc != SQLITE_OK) {
        *err = sqlite3_mprintf("%s", sqlite3_errmsg(db));
        return rc;
    }
    auto* v = new DbfVtab;
    v->table = mount->table;
    v->slot = mount->slot;
    *out = &v->base;
    return SQLITE_OK;
}

int x_disconnect(sqlite3_vtab* p)
{
    delete vt(p);
    return SQLITE_OK;
}

// The columns of the ORDER BY, when the table can give its rows in that order: "f,d;f,d". SQLite asks
// only for columns compared by their own collation (RTRIM for text).
std::string order_spec(const DbfTable& t, const sqlite3_index_info* info)
{
    std::string spec;
    for (int i = 0; i < info->nOrderBy; ++i) {
        const auto& o = info->aOrderBy[i];
        if (o.iColumn < 0 || o.iColumn >= static_cast<int>(t.fields().size())) return {};
        spec += std::to_string(o.iColumn) + (o.desc ? ",1;" : ",0;");
    }
    return spec;
}

bool numeric_order(const DbfTable& t, const sqlite3_index_info* info)
{
    for (int i = 0; i < info->nOrderBy; ++i)
        if (!t.fields()[info->aOrderBy[i].iColumn].numeric()) return false;
    return true;
}

// A plan that leaves the ORDER BY asked of this table to a sort: each row it gives is sorted afterwards.
// SQLite counts no sort for a join of virtual tables, so the plan counts it; without it a join would
// rather sort every row than read them in order and stop after the few the caller fetches.
double unsorted_penalty(const sqlite3_index_info* info, double rows_given, double table_rows)
{
    return info->nOrderBy > 0 ? rows_given * std::log2(table_rows + 1) : 0.0;
}

int x_best_index(sqlite3_vtab* p, sqlite3_index_info* info)
{
    const DbfTable& t = *vt(p)->table;
    double rows = static_cast<double>(t.record_count()) + 1;
    // Of the equalities, the one expected to match fewest rows: from the field's index when there is
    // one (how many rows a key has on average), else a guess: a number is a key (a run number), a
    // text is shared by a few rows.
    int chosen = -1;
    double chosen_rows = 0;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ || c.iColumn < 0 || c.iColumn >= static_cast<int>(t.fields().size()))
            continue;
        const double guess = t.fields()[c.iColumn].numeric() ? 1.0 : 10.0;
        const double matches = std::min(t.rows_per_key(c.iColumn).value_or(guess), rows);
        if (chosen < 0 || matches < chosen_rows) {
            chosen = i;
            chosen_rows = matches;
        }
    }
    if (chosen >= 0) {
        info->aConstraintUsage[chosen].argvIndex = 1;
        info->aConstraintUsage[chosen].omit = 0;  // SQLite checks the value again
        info->idxNum = info->aConstraint[chosen].iColumn + 1;
        // The rows it finds, each read straight from its record number, and a binary search in memory.
        info->estimatedCost = 0.5 * chosen_rows + 0.05 * std::log2(rows) + unsorted_penalty(info, chosen_rows, rows);
        info->estimatedRows = static_cast<sqlite3_int64>(std::max(1.0, std::ceil(chosen_rows)));
        return SQLITE_OK;
    }
    // A scan reads every row once, in record order.
    info->idxNum = 0;
    info->estimatedCost = rows;
    info->estimatedRows = static_cast<sqlite3_int64>(rows);
    // One numeric column to order by (MAX and MIN of it ask the same): the
    // rows come in the order of the field's index, without a sort. Such a scan
    // hands out its first rows at once and the caller may stop there, which
    // the planner cannot know: it counts half a plain scan.
    const auto numeric_column = [&](int column) {
        return column >= 0 && column < static_cast<int>(t.fields().size()) && t.fields()[column].numeric();
    };
    if (info->nOrderBy == 1 && numeric_column(info->aOrderBy[0].iColumn)) {
        const auto& o = info->aOrderBy[0];
        info->idxNum = ((o.iColumn + 1) << kOrderShift) | (o.desc ? kDescending : 0);
        info->orderByConsumed = 1;
        info->estimatedCost = rows / 2 + 1;
    } else if (info->nOrderBy > 0 && !order_spec(t, info).empty() && (numeric_order(t, info) || sqlite3_vtab_distinct(info) < 2)) {
        // Several columns, or text: rows equal in all come in record order, as a sort of a scan leaves them.
        // (A DISTINCT without ORDER BY asks for an order too; its rows keep the order they are met in.)
        info->idxStr = sqlite3_mprintf("%s", order_spec(t, info).c_str());
        info->needToFreeIdxStr = 1;
        info->orderByConsumed = 1;
        info->estimatedCost = rows / 2 + 1;
    }
    if (!info->orderByConsumed) info->estimatedCost += unsorted_penalty(info, rows, rows);
    return SQLITE_OK;
}

int x_open(sqlite3_vtab*, sqlite3_vtab_cursor** out)
{
    auto* c = new DbfCursor;
    *out = &c->base;
    return SQLITE_OK;
}

int x_close(sqlite3_vtab_cursor* p)
{
    delete cur(p);
    return SQLITE_OK;
}

void settle(DbfCursor* c, DbfTable& t)
{
    if (c->order) {
        // Rows added during the scan are not in its order, as a plain scan stops at its end.
        const std::vector<int>& order = *c->order;
        auto row_at = [&](std::size_t i) { return order[c->backward ? order.size() - 1 - i : i]; };
        while (c->at < order.size() && (row_at(c->at) >= t.record_count() || t.deleted(row_at(c->at)))) ++c->at;
        c->row = c->at < order.size() ? row_at(c->at) : -1;
    } else if (c->keyed) {
        // Rows added during the scan are not in its list, as a plain scan stops at its end.
        while (c->at < c->rows.size() && (c->rows[c->at] >= t.record_count() || t.deleted(c->rows[c->at]))) ++c->at;
        c->row = c->at < c->rows.size() ? c->rows[c->at] : -1;
    } else {
        std::size_t end = std::min(c->end, static_cast<std::size_t>(t.record_count()));
        while (c->at < end && t.deleted(static_cast<int>(c->at))) ++c->at;
        c->row = c->at < end ? static_cast<int>(c->at) : -1;
    }
}

int x_filter(sqlite3_vtab_cursor* p, int idx_num, const char* idx_str, int argc, sqlite3_value** argv)
{
    DbfCursor* c = cur(p);
    DbfTable& t = *vt(p->pVtab)->table;
    c->at = 0;
    c->rows.clear();
    c->order.reset();
    c->backward = false;
    const int order_field = ((idx_num >> kOrderShift) & kFieldMask) - 1;
    c->keyed = (idx_num & kFieldMask) > 0 && argc > 0;
    c->end = static_cast<std::size_t>(t.record_count());
    if (idx_str && *idx_str) {
        std::vector<DbfTable::OrderKey> keys;
        for (const char* at = idx_str; *at;) {
            char* end = nullptr;
            const long field = std::strtol(at, &end, 10);
            if (end == at || *end != ',' || field < 0 || field >= static_cast<long>(t.fields().size())) return SQLITE_ERROR;
            keys.push_back({static_cast<int>(field), end[1] == '1'});
            at = end + 2;
            if (*at == ';') ++at;
        }
        c->keyed = true;
        c->order = t.rows_by_fields(keys);
    } else if (order_field >= 0 && order_field < static_cast<int>(t.fields().size())) {
        c->keyed = true;
        c->order = t.rows_by_number(order_field);
        c->backward = (idx_num & kDescending) != 0;
    } else if (c->keyed) {
        int field = (idx_num & kFieldMask) - 1;
        sqlite3_value* v = argv[0];
        if (field < static_cast<int>(t.fields().size()) && sqlite3_value_type(v) != SQLITE_NULL) {
            if (t.fields()[field].numeric()) {
                int type = sqlite3_value_numeric_type(v);
                if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) t.lookup_number(field, sqlite3_value_double(v), c->rows);
            } else {
                const unsigned char* text = sqlite3_value_text(v);
                if (text) c->rows = t.lookup_text(field, reinterpret_cast<const char*>(text));
            }
        }
    }
    settle(c, t);
    return SQLITE_OK;
}

int x_next(sqlite3_vtab_cursor* p)
{
    DbfCursor* c = cur(p);
    ++c->at;
    settle(c, *vt(p->pVtab)->table);
    return SQLITE_OK;
}

int x_eof(sqlite3_vtab_cursor* p) { return cur(p)->row < 0; }

int x_column(sqlite3_vtab_cursor* p, sqlite3_context* ctx, int column)
{
    DbfCursor* c = cur(p);
    DbfTable& t = *vt(p->pVtab)->table;
    if (c->row < 0 || column < 0 || column >= static_cast<int>(t.fields().size())) {
        sqlite3_result_null(ctx);
        return SQLITE_OK;
    }
    const DbfField& f = t.fields()[column];
    if (f.numeric()) {
        // From the field's index when it has one; without the text of a Value otherwise.
        double d = t.key_number(column, c->row);
        if (std::isnan(d)) sqlite3_result_null(ctx);
        else if (f.decimals == 0 && d == std::floor(d) && std::fabs(d) < 9.0e15) sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(d));
        else sqlite3_result_double(ctx, d);
        return SQLITE_OK;
    }
    if (!f.numeric()) {
        const char* p = t.record(c->row) + f.offset;
        if (std::memchr(p, '\0', static_cast<std::size_t>(f.width)) == nullptr) {
            sqlite3_result_text(ctx, p, f.width, SQLITE_TRANSIENT);
            return SQLITE_OK;
        }
    }
    Value v = t.value(c->row, column);
    if (auto* i = std::get_if<std::int64_t>(&v)) sqlite3_result_int64(ctx, *i);
    else if (auto* d = std::get_if<double>(&v)) sqlite3_result_double(ctx, *d);
    else if (auto* s = std::get_if<std::string>(&v))
        sqlite3_result_text(ctx, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    else sqlite3_result_null(ctx);
    return SQLITE_OK;
}

int x_rowid(sqlite3_vtab_cursor* p, sqlite3_int64* rowid)
{
    *rowid = cur(p)->row;
    return SQLITE_OK;
}

Value from_sqlite(sqlite3_value* v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return static_cast<std::int64_t>(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return sqlite3_value_double(v);
    case SQLITE_NULL: return {};
    default: {
        const unsigned char* t = sqlite3_value_text(v);
        return std::string(t ? reinterpret_cast<const char*>(t) : "", static_cast<std::size_t>(sqlite3_value_bytes(v)));
    }
    }
}

int fail(sqlite3_vtab* p, const std::string& message)
{
    sqlite3_free(p->zErrMsg);
    p->zErrMsg = sqlite3_mprintf("%s", message.c_str());
    return SQLITE_ERROR;
}

int x_update(sqlite3_vtab* p, int argc, sqlite3_value** argv, sqlite3_int64* rowid)
{
    DbfVtab* v = vt(p);
    DbfTable& t = *v->table;
    std::string error;
    if (argc == 1) {
        if (!t.remove(static_cast<int>(sqlite3_value_int64(argv[0])), error)) return fail(p, error);
        return SQLITE_OK;
    }
    bool insert = sqlite3_value_type(argv[0]) == SQLITE_NULL;
    std::string rec;
    int row = -1;
    if (insert) {
        rec = t.blank_record();
    } else {
        row = static_cast<int>(sqlite3_value_int64(argv[0]));
        if (sqlite3_value_type(argv[1]) != SQLITE_INTEGER || sqlite3_value_int64(argv[1]) != row)
            return fail(p, "record numbers cannot be changed");
        if (row < 0 || row >= t.record_count()) return fail(p, "no such record");
        rec.assign(t.record(row), t.record_length());
    }
    int nfields = static_cast<int>(t.fields().size());
    for (int f = 0; f < nfields && f + 2 < argc; ++f) {
        EncodeStatus s = t.encode(rec, f, from_sqlite(argv[f + 2]));
        if (s == EncodeStatus::out_of_range)
            return fail(p, "Value out of range for column " + t.fields()[f].name);
        if (s == EncodeStatus::truncated) v->slot->truncated = true;
    }
    if (insert) {
        if (!t.append(rec, row, error)) return fail(p, error);
        *rowid = row;
    } else if (!t.replace(row, rec, error)) {
        return fail(p, error);
    }
    return SQLITE_OK;
}

sqlite3_module make_module()
{
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = x_create;
    m.xConnect = x_create;
    m.xBestIndex = x_best_index;
    m.xDisconnect = x_disconnect;
    m.xDestroy = x_disconnect;  // dropping a mount never touches the file
    m.xOpen = x_open;
    m.xClose = x_close;
    m.xFilter = x_filter;
    m.xNext = x_next;
    m.xEof = x_eof;
    m.xColumn = x_column;
    m.xRowid = x_rowid;
    m.xUpdate = x_update;
    return m;
}

}  // namespace

int mount_dbf_table(sqlite3* db, const std::string& name, std::shared_ptr<DbfTable> table, MountSlot* slot)
{
    static const sqlite3_module module = make_module();
    auto* aux = new MountAux{std::move(table), slot};
    // SQLite frees the carried table with the module: when it is replaced, dropped or the database closed.
    return sqlite3_create_module_v2(db, name.c_str(), &module, aux, [](void* p) { delete static_cast<MountAux*>(p); });
}

void unmount_dbf_table(sqlite3* db, const std::string& name)
{
    sqlite3_create_module_v2(db, name.c_str(), nullptr, nullptr, nullptr);
}

}  // namespace vsql
