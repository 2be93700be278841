// The DB functions over the engine: connection and statement records, the error state and its message.
#include "core/sql_access.h"

#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <new>
#include <string>

#include "core/sql_access_state.h"
#include "platform/sql/engine.h"

namespace vdb {

int map_status = 0;

namespace {

struct ConnectionRecord {
    int hdbc = 0;
    std::list<int> statements;  // newest first
};

std::list<ConnectionRecord> connections;  // newest first
int status_word = 0;
std::unique_ptr<std::string> saved_message;
bool engine_initialised = false;

void free_saved() { saved_message.reset(); }

ConnectionRecord* record_of(int hdbc)
{
    for (ConnectionRecord& c : connections)
        if (c.hdbc == hdbc) return &c;
    return nullptr;
}

}  // namespace

bool ensure_engine()
{
    if (engine_initialised) return true;
    if (qeLibInit() != 0) {
        map_status = DB_LIBRARY_NOT_LOADED;
        return false;
    }
    engine_initialised = true;
    return true;
}

namespace {
// What a record of the lists costs is tiny; a failure here means memory ran out.
template <typename F>
bool try_record(F f)
{
    try {
        f();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
}  // namespace


}  // namespace vdb

using namespace vdb;

int DBConnect(const char* connectString)
{
    status_word = 0;
    ensure_engine();
    int result = static_cast<short>(qeConnect(connectString));
    // Only a real handle is recorded: failure codes are <= 0.
    if (result > 0 && !try_record([&] { connections.push_front(ConnectionRecord{result, {}}); }))
        status_word = DB_CONNECTION_LIST_FULL;
    free_saved();
    return result;
}

int DBDisconnect(int hdbc)
{
    status_word = 0;
    ensure_engine();
    int result = qeDisconnect(hdbc);
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        if (it->hdbc != hdbc) continue;
        for (int hstmt : it->statements) qeEndSQL(hstmt);
        connections.erase(it);
        break;
    }
    free_saved();
    return result;
}

int DBActivateSQL(int hdbc, const char* sql)
{
    status_word = 0;
    ensure_engine();
    int result = static_cast<short>(qeExecSQL(hdbc, sql));
    if (result > 0) {
        if (ConnectionRecord* c = record_of(hdbc))
            if (!try_record([&] { c->statements.push_front(result); })) status_word = DB_STATEMENT_LIST_FULL;
    }
    free_saved();
    return result;
}

int DBImmediateSQL(int hdbc, const char* sql)
{
    ensure_engine();
    int hstmt = static_cast<short>(qeExecSQL(hdbc, sql));
    if (hstmt != 0) return qeEndSQL(hstmt);
    return DBError();
}

int DBBindColChar(int hstmt, int column, int width, char* buffer, long* status, const char* format)
{
    ensure_engine();
    if (!status) return qeBindColChar(hstmt, column, buffer, status, format);
    // The engine takes the buffer size from the status word and never writes
    // more than size - 1 characters and the NUL.
    *status = width;
    int result = qeBindColChar(hstmt, column, buffer, status, format);
    if (result == 0) {
        int type = qeColType(hstmt, column);
        if ((type == 1 || type == 2) && qeColWidth(hstmt, column) > width) {
            status_word = DB_NARROW_BUFFER;
            return DB_NARROW_BUFFER;
        }
    }
    return result;
}

int DBBindColShort(int hstmt, int column, short* value, long* status)
{
    ensure_engine();
    if (status) *status = 2;
    return qeBindColInt(hstmt, column, value, status);
}

int DBBindColInt(int hstmt, int column, int* value, long* status)
{
    ensure_engine();
    if (status) *status = 4;
    return qeBindColLong(hstmt, column, value, status);
}

int DBBindColFloat(int hstmt, int column, float* value, long* status)
{
    ensure_engine();
    if (status) *status = 4;
    return qeBindColFloat(hstmt, column, value, status);
}

int DBBindColDouble(int hstmt, int column, double* value, long* status)
{
    ensure_engine();
    if (status) *status = 8;
    return qeBindColDouble(hstmt, column, value, status);
}

int DBFetchNext(int hstmt)
{
    status_word = 0;
    ensure_engine();
    return qeFetchNext(hstmt);
}

int DBFetchPrev(int hstmt)
{
    status_word = 0;
    ensure_engine();
    int result = qeFetchPrev(hstmt);
    free_saved();
    return result;
}

int DBFetchRandom(int hstmt, long record)
{
    status_word = 0;
    ensure_engine();
    int result = qeFetchRandom(hstmt, record);
    free_saved();
    return result;
}

int DBDeactivateSQL(int hstmt)
{
    status_word = 0;
    ensure_engine();
    int result = qeEndSQL(hstmt);
    for (ConnectionRecord& c : connections) {
        auto before = c.statements.size();
        c.statements.remove(hstmt);
        if (c.statements.size() != before) break;
    }
    free_saved();
    return result;
}

int DBCreateRecord(int hstmt)
{
    ensure_engine();
    long current = qeRecNum(hstmt);
    return qeRecNew(hstmt, current + 1);
}

int DBPutRecord(int hstmt)
{
    ensure_engine();
    int result = qePutUsingBindColumns(hstmt);
    if (result == 0) return qeRecUpdate(hstmt);
    if (result != -1) return result;
    std::string copy = qeErrMsg() ? qeErrMsg() : "";
    int stored = qeRecUpdate(hstmt);
    // A store that failed after all is reported as such, with the engine's
    // message, rather than as "stored with a message".
    if (stored != 0) return stored;
    saved_message = std::make_unique<std::string>(std::move(copy));
    return -1;
}

int DBDeleteRecord(int hstmt)
{
    ensure_engine();
    return qeRecDelete(hstmt);
}

const char* DBErrorMessage()
{
    if (saved_message) return saved_message->c_str();
    if (status_word == DB_NARROW_BUFFER) return "Warning target character buffer is smaller than the column width";
    if (!ensure_engine()) return "Database DLL could not be loaded";
    return qeErrMsg();
}

int DBError()
{
    if (map_status != 0) return map_status;
    return qeErr();
}

int DBWarning() { return qeWarning(); }
int DBNativeError() { return qeDBErr(); }
int DBStatusWord() { return status_word; }

char* DBStrDup(const char* text) { return text ? ::strdup(text) : nullptr; }

namespace {
template <typename F>
int catalogue(F call)
{
    status_word = 0;
    ensure_engine();
    int result = call();
    free_saved();
    return result;
}
}  // namespace

int DBSources(int direction) { return catalogue([&] { return qeSources(direction); }); }
int DBDatabases(int hdbc) { return catalogue([&] { return qeDatabases(hdbc); }); }
int DBTables(int hdbc, const char* qualifier, const char* owner, const char* name, int type)
{
    return catalogue([&] { return qeTables(hdbc, qualifier, owner, name, type); });
}
int DBSetDatabase(int hdbc, const char* name) { return catalogue([&] { return qeSetDB(hdbc, name); }); }
int DBIndexes(int hdbc, const char* table, short option) { return catalogue([&] { return qeIndexes(hdbc, table, option); }); }
int DBPrimaryKeys(int hdbc, const char* table) { return catalogue([&] { return qePrimaryKeys(hdbc, table); }); }
int DBForeignKeys(int hdbc, const char* primaryTable, const char* foreignTable)
{
    return catalogue([&] { return qeForeignKeys(hdbc, primaryTable, foreignTable); });
}

int DBAllowFetchAnyDirection(int hstmt, int allow)
{
    ensure_engine();
    long options = 0;
    qeGetSelectOptions(hstmt, &options);
    if (int e = qeErr(); e != 0) return e;
    long wanted = allow ? (options | vsql::kSelectFetchAnyDirection) : (options & ~static_cast<long>(vsql::kSelectFetchAnyDirection));
    if (wanted == options) return 0;
    return qeSetSelectOptions(hstmt, wanted);
}

long DBNumberOfRecords(int hstmt) { ensure_engine(); return qeFetchNumRecs(hstmt); }
int DBNumberOfColumns(int hstmt) { ensure_engine(); return qeNumCols(hstmt); }
long DBNumberOfModifiedRecords(int hstmt) { ensure_engine(); return qeNumModRecs(hstmt); }
const char* DBColumnName(int hstmt, int column) { ensure_engine(); return qeColName(hstmt, column); }
int DBColumnType(int hstmt, int column) { ensure_engine(); return qeColType(hstmt, column); }
int DBColumnWidth(int hstmt, int column) { ensure_engine(); return qeColWidth(hstmt, column); }
int DBBeginTran(int hdbc) { ensure_engine(); return qeBeginTran(hdbc); }
int DBCommit(int hdbc) { ensure_engine(); return qeCommit(hdbc); }
int DBRollback(int hdbc) { ensure_engine(); return qeRollback(hdbc); }

int DBLibInit()
{
    status_word = 0;
    int result = qeLibInit();
    if (result == 0) engine_initialised = true;
    free_saved();
    return result;
}

int DBLibTerm()
{
    status_word = 0;
    int result = qeLibTerm();
    if (result == 0) {
        engine_initialised = false;
        // The engine dropped every handle; records of them could only end
        // handles that a later connection reuses.
        connections.clear();
    }
    free_saved();
    return result;
}

void DBRunStateCallback(int state)
{
    if (state != DB_RUN_STATE_STOP || !engine_initialised) return;
    for (ConnectionRecord& c : connections) {
        for (int hstmt : c.statements) qeEndSQL(hstmt);
        qeDisconnect(c.hdbc);
    }
    connections.clear();
    if (qeLibTerm() == 0) engine_initialised = false;
}
