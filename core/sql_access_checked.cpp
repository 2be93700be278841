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

}  // namespace

int _UP_DBConnect(const char* connectString)
{
    check_argument(connectString, "DBConnect", "connectString");
    int r = DBConnect(connectString);
    return checked_result(r, r <= 0);
}

int _UP_DBDisconnect(int hdbc)
{
    int r = DBDisconnect(hdbc);
    return checked_result(r, r < 0);
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
    int r = DBImmediateSQL(hdbc, sql);
    return checked_result(r, r < 0);
}

int _UP_DBBindColChar(int hstmt, int column, int width, char* buffer, long* status, const char* format)
{
    check_argument(buffer, "DBBindColChar", "buffer");
    check_argument(status, "DBBindColChar", "status");
    check_argument(format, "DBBindColChar", "format");
    int r = DBBindColChar(hstmt, column, width, buffer, status, format);
    return checked_result(r, r < 0);
}

int _UP_DBBindColShort(int hstmt, int column, short* value, long* status)
{
    check_argument(value, "DBBindColShort", "value");
    check_argument(status, "DBBindColShort", "status");
    int r = DBBindColShort(hstmt, column, value, status);
    return checked_result(r, r < 0);
}

int _UP_DBBindColInt(int hstmt, int column, int* value, long* status)
{
    check_argument(value, "DBBindColInt", "value");
    check_argument(status, "DBBindColInt", "status");
    int r = DBBindColInt(hstmt, column, value, status);
    return checked_result(r, r < 0);
}

int _UP_DBBindColDouble(int hstmt, int column, double* value, long* status)
{
    check_argument(value, "DBBindColDouble", "value");
    check_argument(status, "DBBindColDouble", "status");
    int r = DBBindColDouble(hstmt, column, value, status);
    return checked_result(r, r < 0);
}

int _UP_DBBindColFloat(int hstmt, int column, float* value, long* status)
{
    check_argument(value, "DBBindColFloat", "value");
    check_argument(status, "DBBindColFloat", "status");
    int r = DBBindColFloat(hstmt, column, value, status);
    return checked_result(r, r < 0);
}

int _UP_DBFetchNext(int hstmt)
{
    int r = DBFetchNext(hstmt);
    return checked_result(r, r < 0 && r != -5 && r != -2 && r != -1);
}

int _UP_DBFetchPrev(int hstmt)
{
    int r = DBFetchPrev(hstmt);
    return checked_result(r, r < 0 && r != -5 && r != -2 && r != -1);
}

int _UP_DBFetchRandom(int hstmt, long record)
{
    int r = DBFetchRandom(hstmt, record);
    return checked_result(r, r < 0 && r != -5 && r != -2 && r != -1);
}

int _UP_DBDeactivateSQL(int hstmt)
{
    int r = DBDeactivateSQL(hstmt);
    return checked_result(r, r < 0);
}

int _UP_DBCreateRecord(int hstmt)
{
    int r = DBCreateRecord(hstmt);
    return checked_result(r, r < 0);
}

int _UP_DBPutRecord(int hstmt)
{
    int r = DBPutRecord(hstmt);
    return checked_result(r, r < 0);
}

int _UP_DBDeleteRecord(int hstmt)
{
    int r = DBDeleteRecord(hstmt);
    return checked_result(r, r < 0);
}

int _UP_DBSources(int direction)
{
    int r = DBSources(direction);
    return checked_result(r, r < 0);
}

int _UP_DBDatabases(int hdbc)
{
    int r = DBDatabases(hdbc);
    return checked_result(r, r < 0);
}

int _UP_DBTables(int hdbc, const char* qualifier, const char* owner, const char* name, int type)
{
    check_argument(qualifier, "DBTables", "qualifier");
    check_argument(owner, "DBTables", "owner");
    check_argument(name, "DBTables", "name");
    int r = DBTables(hdbc, qualifier, owner, name, type);
    return checked_result(r, r < 0);
}

int _UP_DBSetDatabase(int hdbc, const char* name)
{
    check_argument(name, "DBSetDatabase", "name");
    int r = DBSetDatabase(hdbc, name);
    return checked_result(r, r < 0);
}

int _UP_DBIndexes(int hdbc, const char* table, short option)
{
    check_argument(table, "DBIndexes", "table");
    int r = DBIndexes(hdbc, table, option);
    return checked_result(r, r < 0);
}

int _UP_DBPrimaryKeys(int hdbc, const char* table)
{
    check_argument(table, "DBPrimaryKeys", "table");
    int r = DBPrimaryKeys(hdbc, table);
    return checked_result(r, r < 0);
}

int _UP_DBForeignKeys(int hdbc, const char* primaryTable, const char* foreignTable)
{
    check_argument(primaryTable, "DBForeignKeys", "primaryTable");
    check_argument(foreignTable, "DBForeignKeys", "foreignTable");
    int r = DBForeignKeys(hdbc, primaryTable, foreignTable);
    return checked_result(r, r < 0);
}

int _UP_DBAllowFetchAnyDirection(int hstmt, int allow)
{
    int r = DBAllowFetchAnyDirection(hstmt, allow);
    return checked_result(r, r < 0);
}

long _UP_DBNumberOfRecords(int hstmt)
{
    long r = DBNumberOfRecords(hstmt);
    return checked_result(r, r < 0);
}

int _UP_DBNumberOfColumns(int hstmt)
{
    int r = DBNumberOfColumns(hstmt);
    return checked_result(r, r < 0);
}

long _UP_DBNumberOfModifiedRecords(int hstmt)
{
    long r = DBNumberOfModifiedRecords(hstmt);
    return checked_result(r, r < 0);
}

int _UP_DBColumnType(int hstmt, int column)
{
    int r = DBColumnType(hstmt, column);
    return checked_result(r, r < 0);
}

int _UP_DBColumnWidth(int hstmt, int column)
{
    int r = DBColumnWidth(hstmt, column);
    return checked_result(r, r < 0);
}

int _UP_DBBeginTran(int hdbc)
{
    int r = DBBeginTran(hdbc);
    return checked_result(r, r < 0);
}

int _UP_DBCommit(int hdbc)
{
    int r = DBCommit(hdbc);
    return checked_result(r, r < 0);
}

int _UP_DBRollback(int hdbc)
{
    int r = DBRollback(hdbc);
    return checked_result(r, r < 0);
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
    check_argument(value, "DBMapColumnToShort", "value");
    check_argument(status, "DBMapColumnToShort", "status");
    int r = DBMapColumnToShort(map, column, value, status);
    return checked_result(r, r < 0);
}

int _UP_DBMapColumnToInt(int map, const char* column, int* value, long* status)
{
    check_argument(column, "DBMapColumnToInt", "column");
    check_argument(value, "DBMapColumnToInt", "value");
    check_argument(status, "DBMapColumnToInt", "status");
    int r = DBMapColumnToInt(map, column, value, status);
    return checked_result(r, r < 0);
}

int _UP_DBMapColumnToFloat(int map, const char* column, float* value, long* status)
{
    check_argument(column, "DBMapColumnToFloat", "column");
    check_argument(value, "DBMapColumnToFloat", "value");
    check_argument(status, "DBMapColumnToFloat", "status");
    int r = DBMapColumnToFloat(map, column, value, status);
    return checked_result(r, r < 0);
}

int _UP_DBMapColumnToDouble(int map, const char* column, double* value, long* status)
{
    check_argument(column, "DBMapColumnToDouble", "column");
    check_argument(value, "DBMapColumnToDouble", "value");
    check_argument(status, "DBMapColumnToDouble", "status");
    int r = DBMapColumnToDouble(map, column, value, status);
    return checked_result(r, r < 0);
}

int _UP_DBActivateMap(int map, const char* table)
{
    check_argument(table, "DBActivateMap", "table");
    int r = DBActivateMap(map, table);
    return checked_result(r, r < 0);
}

int _UP_DBDeactivateMap(int map)
{
    int r = DBDeactivateMap(map);
    return checked_result(r, r < 0);
}

int _UP_DBCreateTableFromMap(int map, const char* table)
{
    check_argument(table, "DBCreateTableFromMap", "table");
    int r = DBCreateTableFromMap(map, table);
    return checked_result(r, r < 0);
}
