// Connections and statement execution: mounting table files, keeping them fresh, snapshotting results.
#include "platform/sql/engine.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/sql/engine_state.h"
#include "platform/sql/sql_text.h"
#include "platform/sys/files.h"

namespace vsql {

Connection::~Connection()
{
    if (db) sqlite3_close(db);
}

EngineState& engine()
{
    static EngineState state;
    return state;
}

int set_error(int code, const std::string& message)
{
    engine().error = code;
    // A directory reached by its handle is shown by its name.
    engine().message = vsys::named_paths(message);
    return code;
}

void clear_error()
{
    engine().error = 0;
    engine().message.clear();
    engine().native = 0;
}

Connection* find_connection(int hdbc)
{
    auto it = engine().connections.find(hdbc);
    return it == engine().connections.end() ? nullptr : it->second.get();
}

Statement* find_statement(int hstmt)
{
    auto it = engine().statements.find(hstmt);
    return it == engine().statements.end() ? nullptr : it->second.get();
}

int store_statement(std::unique_ptr<Statement> s)
{
    int handle = free_handle(engine().statements);
    if (handle == 0) {
        set_error(kErrTooMany, "Too many open statements");
        return 0;
    }
    s->handle = handle;
    engine().statements[handle] = std::move(s);
    return handle;
}

namespace {

std::string upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s)
{
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

int authorize(void* context, int action, const char* a1, const char*, const char*, const char*)
{
    auto* c = static_cast<Connection*>(context);
    if ((action == SQLITE_READ || action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE) && a1)
        c->touched.push_back(upper(a1));
    return SQLITE_OK;
}

bool exec_plain(Connection& c, const std::string& sql, std::string& error)
{
    char* message = nullptr;
    int rc = sqlite3_exec(c.db, sql.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        error = message ? message : sqlite3_errmsg(c.db);
    }
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

bool open_database(Connection& c, std::string& error)
{
    if (c.db) sqlite3_close(c.db);
    c.db = nullptr;
    c.mounts.clear();
    if (sqlite3_open_v2(":memory:", &c.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        error = "The SQL engine cannot start";
        return false;
    }
    // Sorts of large results (the run list) stay in memory instead of temporary files, and a year of runs
    // is sorted in one piece rather than in 2 MB pieces merged afterwards.
    exec_plain(c, "PRAGMA temp_store = MEMORY", error);
    exec_plain(c, "PRAGMA cache_size = -65536", error);
    sqlite3_set_authorizer(c.db, authorize, &c);
    return true;
}

struct Place {
    std::string directory;
    vsys::DirHandle held;
};

// A directory named by a handle of this process ("/proc/self/fd/N") is kept so, on a handle of the
// connection's own: its tables stay in the directory that was opened, whatever its path names later.
std::optional<Place> resolve_directory(const std::string& directory)
{
    std::string d = trim(directory);
    if (d.empty()) return std::nullopt;
    if (vsys::is_handle_path(d) && d.find('/', sizeof "/proc/self/fd/" - 1) == std::string::npos) {
        const long given = std::strtol(d.c_str() + sizeof "/proc/self/fd/" - 1, nullptr, 10);
        if (given < 0 || given > INT_MAX) return std::nullopt;
        Place p{{}, vsys::DirHandle(::fcntl(static_cast<int>(given), F_DUPFD_CLOEXEC, 0))};
        struct stat st {};
        if (!p.held || ::fstat(p.held.fd(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
        p.directory = p.held.path();
        return p;
    }
    char* real = ::realpath(d.c_str(), nullptr);
    if (!real) return std::nullopt;
    std::string out = real;
    std::free(real);
    if (!vsys::directory_exists(out)) return std::nullopt;
    return Place{out, {}};
}

int mount(Connection& c, const std::string& name)
{
    if (!valid_table_name(name)) return set_error(kErrNoTable, "Invalid table name " + name);
    auto path = c.names.find(c.directory, name + ".DBF");
    if (!path) return set_error(kErrNoTable, "Table " + name + " does not exist");
    std::string error;
    std::shared_ptr<DbfTable> table = DbfTable::open(*path, error);
    if (!table) return set_error(kErrFile, error);
    if (mount_dbf_table(c.db, name, table, &c.slot) != SQLITE_OK) return set_error(kErrSql, sqlite3_errmsg(c.db));
    c.mounts[name] = Mount{table, table->schema_version()};
    return kOk;
}

void unmount(Connection& c, const std::string& name)
{
    unmount_dbf_table(c.db, name);
    c.mounts.erase(name);
}

// Brings one mounted table up to date with its file; `changed` when the
// mount had to go (file deleted, columns changed) and the statement must be
// prepared again.
void check_mount(Connection& c, const std::string& name, bool& changed)
{
    auto it = c.mounts.find(name);
    if (it == c.mounts.end()) return;
    std::string error;
    DbfTable::Freshness f = it->second.table->refresh(error);
    if (f == DbfTable::Freshness::missing || f == DbfTable::Freshness::failed ||
        it->second.schema_version != it->second.table->schema_version()) {
        unmount(c, name);
        changed = true;
    }
}

std::string table_of(const std::string& message)
{
    std::string name = message.substr(std::strlen("no such table: "));
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name = name.substr(dot + 1);
    return upper(name);
}

int column_type_of(const std::vector<std::vector<Value>>& rows, std::size_t col, int& width)
{
    bool text = false, real = false, integer = false;
    width = 0;
    for (const auto& row : rows) {
        const Value& v = row[col];
        if (auto* s = std::get_if<std::string>(&v)) {
            text = true;
            width = std::max(width, static_cast<int>(s->size()));
        } else if (std::holds_alternative<double>(v)) {
            real = true;
        } else if (std::holds_alternative<std::int64_t>(v)) {
            integer = true;
        }
    }
    if (text) return kTypeText;
    width = 20;
    if (real || !integer) return kTypeNumeric;
    return kTypeInteger;
}

Value column_value(sqlite3_stmt* s, int i)
{
    switch (sqlite3_column_type(s, i)) {
    case SQLITE_INTEGER: return static_cast<std::int64_t>(sqlite3_column_int64(s, i));
    case SQLITE_FLOAT: return sqlite3_column_double(s, i);
    case SQLITE_NULL: return {};
    default: {
        const unsigned char* t = sqlite3_column_text(s, i);
        return std::string(t ? reinterpret_cast<const char*>(t) : "", static_cast<std::size_t>(sqlite3_column_bytes(s, i)));
    }
    }
}

int run_sqlite(Connection& c, const StatementText& st, Statement& out)
{
    bool use_rowid = !st.sql_with_rowid.empty();
    for (int attempt = 0; attempt < 32; ++attempt) {
        c.touched.clear();
        const std::string& text = use_rowid ? st.sql_with_rowid : st.sql;
        sqlite3_stmt* raw = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v2(c.db, text.c_str(), static_cast<int>(text.size()) + 1, &raw, &tail);
        StmtPtr stmt(raw);
        if (rc != SQLITE_OK) {
            std::string message = sqlite3_errmsg(c.db);
            if (message.rfind("no such table: ", 0) == 0) {
                int r = mount(c, table_of(message));
                if (r != kOk) return r;
                continue;
            }
            if (use_rowid) {
                use_rowid = false;
                continue;
            }
            engine().native = rc;
            return set_error(kErrSql, message);
        }
        if (!stmt) return set_error(kErrSql, "The statement is empty");
        if (tail && std::strspn(tail, " \t\r\n;") != std::strlen(tail))
            return set_error(kErrSql, "Only one statement can be run at a time");

        std::set<std::string> names(c.touched.begin(), c.touched.end());
        for (const std::string& id : st.identifiers)
            if (c.mounts.count(id)) names.insert(id);
        bool changed = false;
        for (const std::string& name : names) check_mount(c, name, changed);
        if (changed) continue;

        int ncols = sqlite3_column_count(stmt.get());
        int shown = use_rowid ? ncols - 1 : ncols;
        std::set<std::string> sources;
        for (const std::string& n : c.touched)
            if (c.mounts.count(n)) sources.insert(n);
        if (use_rowid && sources.size() == 1) {
            out.table = c.mounts[*sources.begin()].table;
            out.layout_version = out.table->layout_version();
        } else {
            use_rowid = false;
        }
        out.columns.assign(static_cast<std::size_t>(std::max(shown, 0)), ResultColumn{});
        for (int i = 0; i < shown; ++i) {
            ResultColumn& col = out.columns[i];
            const char* name = sqlite3_column_name(stmt.get(), i);
            col.name = name ? name : "";
            const char* tname = sqlite3_column_table_name(stmt.get(), i);
            const char* oname = sqlite3_column_origin_name(stmt.get(), i);
            if (tname && oname) {
                auto m = c.mounts.find(upper(tname));
                if (m != c.mounts.end()) {
                    int f = m->second.table->field_index(oname);
                    if (f >= 0) {
                        const DbfField& field = m->second.table->fields()[f];
                        col.type = field.numeric() ? kTypeNumeric : kTypeChar;
                        col.width = field.width;
                        if (field.numeric()) col.decimals = field.decimals;
                        if (out.table && m->second.table == out.table) col.field = f;
                    }
                }
            }
        }

        c.slot.truncated = false;
        if (ncols > 0 && sqlite3_stmt_readonly(stmt.get())) {
            // A query: its first row is read now, so what fails before it fails the statement (a sort
            // reads every row here); the rest as it is fetched.
            out.live = std::move(stmt);
            out.live_columns = ncols;
            out.live_shown = shown;
            out.live_rowid = use_rowid;
            read_live_row(out);
            if (out.late_error != 0) {
                out.live.reset();
                return set_error(out.late_error, out.late_message);
            }
            if (!out.live) read_live_rest(out);
            return kOk;
        }
        int step;
        while ((step = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            std::vector<Value> row;
            row.reserve(static_cast<std::size_t>(shown));
            for (int i = 0; i < shown; ++i) row.push_back(column_value(stmt.get(), i));
            out.rows.push_back(std::move(row));
            if (use_rowid) out.record_numbers.push_back(sqlite3_column_int64(stmt.get(), ncols - 1));
        }
        std::string flush_error;
        for (const std::string& name : names) {
            auto m = c.mounts.find(name);
            if (step == SQLITE_DONE && m != c.mounts.end() && !m->second.table->flush(flush_error)) break;
        }
        // A statement that failed leaves every file it wrote as it was before it.
        const bool failed = step != SQLITE_DONE || !flush_error.empty();
        for (const std::string& name : names) {
            auto m = c.mounts.find(name);
            if (m == c.mounts.end()) continue;
            if (failed) m->second.table->undo_changes();
            else m->second.table->keep_changes();
        }
        if (c.slot.truncated) engine().warning = 1;
        if (step != SQLITE_DONE) {
            std::string message = sqlite3_errmsg(c.db);
            engine().native = step;
            return set_error(message.rfind("Value out of range", 0) == 0 ? kErrValue : kErrSql, message);
        }
        if (!flush_error.empty()) return set_error(kErrFile, flush_error);
        out.modified = ncols == 0 ? sqlite3_changes(c.db) : static_cast<long>(out.rows.size());
        for (std::size_t i = 0; i < out.columns.size(); ++i)
            if (out.columns[i].type == 0) out.columns[i].type = column_type_of(out.rows, i, out.columns[i].width);
        return kOk;
    }
    return set_error(kErrSql, "The table files kept changing while the statement was prepared");
}

}  // namespace

bool read_live_row(Statement& s)
{
    if (!s.live) return false;
    sqlite3_stmt* stmt = s.live.get();
    const int step = sqlite3_step(stmt);
    if (step == SQLITE_ROW) {
        const int shown = s.live_shown;
        std::vector<Value> row;
        row.reserve(static_cast<std::size_t>(shown));
        for (int i = 0; i < shown; ++i) row.push_back(column_value(stmt, i));
        s.rows.push_back(std::move(row));
        if (s.live_rowid) s.record_numbers.push_back(sqlite3_column_int64(stmt, s.live_columns - 1));
        return true;
    }
    if (step != SQLITE_DONE) {
        const std::string message = sqlite3_errmsg(sqlite3_db_handle(stmt));
        s.late_error = message.rfind("Value out of range", 0) == 0 ? kErrValue : kErrSql;
        s.late_message = message;
    }
    s.live.reset();
    read_live_rest(s);
    return false;
}

void read_live_rest(Statement& s)
{
    while (s.live && read_live_row(s)) {
    }
    s.modified = static_cast<long>(s.rows.size());
    for (std::size_t i = 0; i < s.columns.size(); ++i)
        if (s.columns[i].type == 0) s.columns[i].type = column_type_of(s.rows, i, s.columns[i].width);
}

void read_live_queries()
{
    for (auto& [handle, s] : engine().statements)
        if (s->live) read_live_rest(*s);
}

namespace {

int create_table(Connection& c, const StatementText& st)
{
    if (!st.error.empty()) return set_error(kErrSql, st.error);
    const std::string file = st.table + ".DBF";
    if (c.names.find(c.directory, file)) return set_error(kTableExists, "Table " + st.table + " already exists");
    std::string error;
    if (!c.names.add(c.directory, file, [&] { return DbfTable::create(vsys::path_join(c.directory, file), st.columns, error); }))
        return set_error(kErrFile, error);
    // A new table is there to be written: the statement that found it missing runs again next.
    if (mount(c, st.table) != kOk) clear_error();
    return kOk;
}

// DROP TABLE takes the table's name away from the connection and leaves its file alone; the next
// statement that names it mounts the file again.
int drop_table(Connection& c, const StatementText& st, Statement& out)
{
    if (c.mounts.count(st.table)) {
        unmount(c, st.table);
    } else if (!st.if_exists) {
        if (!c.names.find(c.directory, st.table + ".DBF")) return set_error(kErrNoTable, "Table " + st.table + " does not exist");
        std::string error;
        if (!DbfTable::open(*c.names.find(c.directory, st.table + ".DBF"), error)) return set_error(kErrFile, error);
    }
    out.modified = sqlite3_changes(c.db);
    return kOk;
}

int pack_table(Connection& c, const StatementText& st)
{
    if (!st.error.empty()) return set_error(kErrSql, st.error);
    auto path = c.names.find(c.directory, st.table + ".DBF");
    if (!path) return set_error(kErrNoTable, "Table " + st.table + " does not exist");
    std::string error;
    std::shared_ptr<DbfTable> table = DbfTable::open(*path, error);
    if (!table) return set_error(kErrFile, error);
    if (!table->pack(error)) return set_error(kErrFile, error);
    return kOk;
}

}  // namespace

}  // namespace vsql

using namespace vsql;

int qeLibInit()
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    return sqlite3_initialize() == SQLITE_OK ? kOk : set_error(kErrNotSupported, "The SQL engine cannot start");
}

int qeLibTerm()
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    engine().statements.clear();
    engine().connections.clear();
    return kOk;
}

int qeConnect(const char* connect_string)
{
    // A result set is kept whole until its statement ends. Freed, the heap was handed back to the
    // system at once and the next large statement faulted it all in again (a join ran 4-6 times slower);
    // 64 MB of free heap stay with the process instead.
    static const bool heap_kept = mallopt(M_TRIM_THRESHOLD, 64 << 20) == 1;
    (void)heap_kept;
    std::lock_guard lock(engine().mutex);
    clear_error();
    if (!connect_string) return set_error(kErrConnect, "No connect string");
    std::string directory;
    bool has_db = false;
    std::string text = connect_string;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        std::string part = text.substr(start, end - start);
        std::size_t eq = part.find('=');
        if (eq != std::string::npos && upper(trim(part.substr(0, eq))) == "DB") {
            directory = trim(part.substr(eq + 1));
            has_db = true;
        }
        start = end + 1;
    }
    if (!has_db) return set_error(kErrConnect, "The connect string names no database directory (DB=)");
    auto resolved = resolve_directory(directory);
    if (!resolved) return set_error(kErrConnect, "The database directory " + directory + " does not exist");
    int handle = free_handle(engine().connections);
    if (handle == 0) return set_error(kErrTooMany, "Too many open connections");
    auto c = std::make_unique<Connection>();
    c->handle = handle;
    c->directory = resolved->directory;
    c->held = std::move(resolved->held);
    std::string error;
    if (!open_database(*c, error)) return set_error(kErrConnect, error);
    engine().connections[handle] = std::move(c);
    return handle;
}

int qeDisconnect(int hdbc)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    auto it = engine().connections.find(hdbc);
    if (it == engine().connections.end()) return set_error(kErrBadHandle, "Invalid connection handle");
    // Its queries keep their rows after it closes.
    read_live_queries();
    engine().connections.erase(it);
    return kOk;
}

int qeSetDB(int hdbc, const char* directory)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    Connection* c = find_connection(hdbc);
    if (!c) return set_error(kErrBadHandle, "Invalid connection handle");
    read_live_queries();
    auto resolved = resolve_directory(directory ? directory : "");
    if (!resolved) return set_error(kErrConnect, "The database directory does not exist");
    c->directory = resolved->directory;
    c->held = std::move(resolved->held);
    std::string error;
    if (!open_database(*c, error)) return set_error(kErrConnect, error);
    return kOk;
}

int qeExecSQL(int hdbc, const char* sql)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    engine().warning = 0;
    Connection* c = find_connection(hdbc);
    if (!c) {
        set_error(kErrBadHandle, "Invalid connection handle");
        return 0;
    }
    if (!sql) {
        set_error(kErrSql, "No statement");
        return 0;
    }
    // A query still being read must not see what this statement changes, nor files it reads again.
    read_live_queries();
    StatementText st = read_statement(sql);
    auto s = std::make_unique<Statement>();
    s->connection = hdbc;
    int r = kOk;
    switch (st.kind) {
    case StatementText::Kind::create_table: r = create_table(*c, st); break;
    case StatementText::Kind::pack: r = pack_table(*c, st); break;
    case StatementText::Kind::drop_table: r = drop_table(*c, st, *s); break;
    default: r = run_sqlite(*c, st, *s); break;
    }
    if (r != kOk) return 0;
    return store_statement(std::move(s));
}

int qeEndSQL(int hstmt)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    if (!engine().statements.erase(hstmt)) return set_error(kErrBadHandle, "Invalid statement handle");
    return kOk;
}

int qeErr()
{
    std::lock_guard lock(engine().mutex);
    return engine().error;
}

const char* qeErrMsg()
{
    std::lock_guard lock(engine().mutex);
    return engine().message.c_str();
}

int qeWarning()
{
    std::lock_guard lock(engine().mutex);
    return engine().warning;
}

int qeDBErr()
{
    std::lock_guard lock(engine().mutex);
    return engine().native;
}

int qeBeginTran(int)
{
    std::lock_guard lock(engine().mutex);
    return set_error(kErrNotSupported, "Transactions are not supported on dBase tables");
}

int qeCommit(int)
{
    std::lock_guard lock(engine().mutex);
    return set_error(kErrNotSupported, "Transactions are not supported on dBase tables");
}

int qeRollback(int)
{
    std::lock_guard lock(engine().mutex);
    return set_error(kErrNotSupported, "Transactions are not supported on dBase tables");
}
