// Argument-checking twins of the DB functions: report null arguments and failing results.
#include <string>

#include "core/sql_access.h"
#include "platform/sys/message_box.h"

namespace {

void report(const std::string& text) { vsys::message_box("Run-time Error", text); }

void check_argument(const void* p, const char* function, const char* argument)
{
    if (!p) report(std::string("Null argument ") + argument + " passed to " + function);
}

template <typename T>
T checked_result(T result, bool failing)
{
    if (failing) report(DBErrorMessage());
    return result;
}

// Most functions fail with a negative result.
template <typename T>
T below_zero(T result)
{
    return checked_result(result, result < 0);
}

// A fetch past either end, or of a deleted record, is no failure.
int fetch_result(int result)
{
    return checked_result(result, result < 0 && result != -5 && result != -2 && result != -1);
}

// A bind or map of one typed column: the value and its status must be given.
template <typename Column, typename T>
int typed_column(const char* function, int (*call)(int, Column, T*, long*), int handle, Column column, T* value,
                 long* status)
{
    check_argument(value, function, "value");
    check_argument(status, function, "status");
    return below_zero(call(handle, column, value, status));
}

}  // namespace

int _UP_DBConnect(const char* connectString)
{
    check_argument(connectString, "DBConnect", "connectString");
    int r = DBConnect(connectString);
    return checked_result(r, r <= 0);
}

int _UP_DBDisconnect(int hdbc)
{
    return below_zero(DBDisconnect(hdbc));
}

int _UP_DBActivateSQL(int hdbc, const char* sql)
{
    check_argument(sql, "DBActivateSQL", "sql");
    int r = DBActivateSQL(hdbc, sql);
    return checked_result(r, r <= 0);
}

int _UP_DBImmediateSQL(int hdbc, const char* sql)
{
    check_argument(sql, "DBImmediateSQL", "sql");
    return below_zero(DBImmediateSQL(hdbc, sql));
}

int _UP_DBBindColChar(int hstmt, int column, int width, char* buffer, long* status, const char* format)
{
    check_argument(buffer, "DBBindColChar", "buffer");
    check_argument(status, "DBBindColChar", "status");
    check_argument(format, "DBBindColChar", "format");
    return below_zero(DBBindColChar(hstmt, column, width, buffer, status, format));
}

int _UP_DBBindColShort(int hstmt, int column, short* value, long* status)
{
    return typed_column("DBBindColShort", DBBindColShort, hstmt, column, value, status);
}

int _UP_DBBindColInt(int hstmt, int column, int* value, long* status)
{
    return typed_column("DBBindColInt", DBBindColInt, hstmt, column, value, status);
}

int _UP_DBBindColDouble(int hstmt, int column, double* value, long* status)
{
    return typed_column("DBBindColDouble", DBBindColDouble, hstmt, column, value, status);
}

int _UP_DBBindColFloat(int hstmt, int column, float* value, long* status)
{
    return typed_column("DBBindColFloat", DBBindColFloat, hstmt, column, value, status);
}

int _UP_DBFetchNext(int hstmt)
{
    return fetch_result(DBFetchNext(hstmt));
}

int _UP_DBFetchPrev(int hstmt)
{
    return fetch_result(DBFetchPrev(hstmt));
}

int _UP_DBFetchRandom(int hstmt, long record)
{
    return fetch_result(DBFetchRandom(hstmt, record));
}

int _UP_DBDeactivateSQL(int hstmt)
{
    return below_zero(DBDeactivateSQL(hstmt));
}

int _UP_DBCreateRecord(int hstmt)
{
    return below_zero(DBCreateRecord(hstmt));
}

int _UP_DBPutRecord(int hstmt)
{
    return below_zero(DBPutRecord(hstmt));
}

int _UP_DBDeleteRecord(int hstmt)
{
    return below_zero(DBDeleteRecord(hstmt));
}

int _UP_DBSources(int direction)
{
    return below_zero(DBSources(direction));
}

int _UP_DBDatabases(int hdbc)
{
    return below_zero(DBDatabases(hdbc));
}

int _UP_DBTables(int hdbc, const char* qualifier, const char* owner, const char* name, int type)
{
    check_argument(qualifier, "DBTables", "qualifier");
    check_argument(owner, "DBTables", "owner");
    check_argument(name, "DBTables", "name");
    return below_zero(DBTables(hdbc, qualifier, owner, name, type));
}

int _UP_DBSetDatabase(int hdbc, const char* name)
{
    check_argument(name, "DBSetDatabase", "name");
    return below_zero(DBSetDatabase(hdbc, name));
}

int _UP_DBIndexes(int hdbc, const char* table, short option)
{
    check_argument(table, "DBIndexes", "table");
    return below_zero(DBIndexes(hdbc, table, option));
}

int _UP_DBPrimaryKeys(int hdbc, const char* table)
{
    check_argument(table, "DBPrimaryKeys", "table");
    return below_zero(DBPrimaryKeys(hdbc, table));
}

int _UP_DBForeignKeys(int hdbc, const char* primaryTable, const char* foreignTable)
{
    check_argument(primaryTable, "DBForeignKeys", "primaryTable");
    check_argument(foreignTable, "DBForeignKeys", "foreignTable");
    return below_zero(DBForeignKeys(hdbc, primaryTable, foreignTable));
}

int _UP_DBAllowFetchAnyDirection(int hstmt, int allow)
{
    return below_zero(DBAllowFetchAnyDirection(hstmt, allow));
}

long _UP_DBNumberOfRecords(int hstmt)
{
    return below_zero(DBNumberOfRecords(hstmt));
}

int _UP_DBNumberOfColumns(int hstmt)
{
    return below_zero(DBNumberOfColumns(hstmt));
}

long _UP_DBNumberOfModifiedRecords(int hstmt)
{
    return below_zero(DBNumberOfModifiedRecords(hstmt));
}

int _UP_DBColumnType(int hstmt, int column)
{
    return below_zero(DBColumnType(hstmt, column));
}

int _UP_DBColumnWidth(int hstmt, int column)
{
    return below_zero(DBColumnWidth(hstmt, column));
}

int _UP_DBBeginTran(int hdbc)
{
    return below_zero(DBBeginTran(hdbc));
}

int _UP_DBCommit(int hdbc)
{
    return below_zero(DBCommit(hdbc));
}

int _UP_DBRollback(int hdbc)
{
    return below_zero(DBRollback(hdbc));
}

int _UP_DBBeginMap(int hdbc)
{
    int r = DBBeginMap(hdbc);
    return checked_result(r, r <= 0);
}

int _UP_DBMapColumnToChar(int map, const char* column, int width, char* buffer, long* status, const char* format)
{
    check_argument(column, "DBMapColumnToChar", "column");
    check_argument(buffer, "DBMapColumnToChar", "buffer");
    check_argument(status, "DBMapColumnToChar", "status");
    check_argument(format, "DBMapColumnToChar", "format");
    int r = DBMapColumnToChar(map, column, width, buffer, status, format);
    return r;  // its result is not tested
}

int _UP_DBMapColumnToShort(int map, const char* column, short* value, long* status)
{
    check_argument(column, "DBMapColumnToShort", "column");
    return typed_column("DBMapColumnToShort", DBMapColumnToShort, map, column, value, status);
}

int _UP_DBMapColumnToInt(int map, const char* column, int* value, long* status)
{
    check_argument(column, "DBMapColumnToInt", "column");
    return typed_column("DBMapColumnToInt", DBMapColumnToInt, map, column, value, status);
}

int _UP_DBMapColumnToFloat(int map, const char* column, float* value, long* status)
{
    check_argument(column, "DBMapColumnToFloat", "column");
    return typed_column("DBMapColumnToFloat", DBMapColumnToFloat, map, column, value, status);
}

int _UP_DBMapColumnToDouble(int map, const char* column, double* value, long* status)
{
    check_argument(column, "DBMapColumnToDouble", "column");
    return typed_column("DBMapColumnToDouble", DBMapColumnToDouble, map, column, value, status);
}

int _UP_DBActivateMap(int map, const char* table)
{
    check_argument(table, "DBActivateMap", "table");
    return below_zero(DBActivateMap(map, table));
}

int _UP_DBDeactivateMap(int map)
{
    return below_zero(DBDeactivateMap(map));
}

int _UP_DBCreateTableFromMap(int map, const char* table)
{
    check_argument(table, "DBCreateTableFromMap", "table");
    return below_zero(DBCreateTableFromMap(map, table));
}
