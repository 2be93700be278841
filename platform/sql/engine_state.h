// The engine's connections, result sets and error state, shared by its source files.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sql/dbf_table.h"
#include "platform/sql/dbf_vtab.h"
#include "platform/sql/dir_names.h"
#include "platform/sql/value.h"
#include "platform/sys/dir_handle.h"

namespace vsql {

struct StmtCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtCloser>;

struct Mount {
    std::shared_ptr<DbfTable> table;
    std::uint64_t schema_version = 0;
};

struct Connection {
    int handle = 0;
    std::string directory;  // resolved, without a trailing '/'
    vsys::DirHandle held;   // a directory given by handle: its own copy, `directory` names it
    DirectoryNames names;    // its files
    sqlite3* db = nullptr;
    MountSlot slot;
    std::map<std::string, Mount> mounts;  // by upper-case table name
    std::vector<std::string> touched;     // tables the statement being prepared names
    ~Connection();
};

struct ResultColumn {
    std::string name;
    int type = 0;
    int width = 0;
    int decimals = -1;  // of a NUMERIC column, to show it as text
    int field = -1;     // the column of the statement's table it comes from
};

struct Binding {
    enum Kind { none, text, i16, i32, f32, f64 } kind = none;
    void* target = nullptr;
    long* status = nullptr;
    long size = 0;
};

struct Statement {
    int handle = 0;
    int connection = 0;
    std::vector<ResultColumn> columns;
    std::vector<std::vector<Value>> rows;
    std::vector<std::int64_t> record_numbers;  // per row, when the rows come from one table
    std::shared_ptr<DbfTable> table;            // that table, for positioned writes
    std::uint64_t layout_version = 0;
    std::vector<Binding> bindings;
    long position = -1;  // current row; -1 before the first, rows.size() after the last
    enum class Current { none, row, fresh } current = Current::none;
    int record = -1;     // record number of the current row
    std::string pending;
    bool pending_ready = false;
    long options = 0;
    long modified = 0;
    // A query still running in SQLite: its rows are read as they are fetched. Before anything that
    // could change what it reads, the rest is read (see read_live_queries), so it stays a snapshot.
    StmtPtr live;
    int live_columns = 0;     // of the SQLite statement: the shown ones, then perhaps the record number
    int live_shown = 0;
    bool live_rowid = false;
    int late_error = 0;       // a failure met after the first row, reported at the fetch that reaches it
    std::string late_message;
};

// Reads the next row of a live query into `rows`; false at its end (or failure).
bool read_live_row(Statement& s);
// Reads the rest of a live query; the row count and the types of computed columns follow.
void read_live_rest(Statement& s);
// Every live query read to its end: done before a statement or write that could change a table.
void read_live_queries();

struct EngineState {
    std::recursive_mutex mutex;
    std::map<int, std::unique_ptr<Connection>> connections;
    std::map<int, std::unique_ptr<Statement>> statements;
    int error = 0;
    std::string message;
    int warning = 0;
    int native = 0;
};

EngineState& engine();
int set_error(int code, const std::string& message);
void clear_error();
// The lowest free number in 1..32767 among the keys of `used`; 0 when none.
template <typename Map>
int free_handle(const Map& used)
{
    int expected = 1;
    for (const auto& entry : used) {
        if (entry.first != expected) break;
        ++expected;
    }
    return expected <= 32767 ? expected : 0;
}
Connection* find_connection(int hdbc);
Statement* find_statement(int hstmt);
// Stores a finished statement under a new handle; 0 (with the error set) when none is free.
int store_statement(std::unique_ptr<Statement> s);

}  // namespace vsql
