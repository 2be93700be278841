// The SQL access layer: every table of the system is reached through these DB functions.
#pragma once

// Status word values the layer sets itself.
constexpr int DB_NARROW_BUFFER = 99;       // a text binding narrower than its column
constexpr int DB_CONNECTION_LIST_FULL = -97;
constexpr int DB_STATEMENT_LIST_FULL = -98;
// Map status values.
constexpr int DB_NO_SUCH_MAP = -79;
constexpr int DB_OUT_OF_MEMORY = -3;
constexpr int DB_LIBRARY_NOT_LOADED = -95;
// The engine's result for a statement on a table whose file does not exist.
constexpr int DB_NO_SUCH_TABLE = -11;

// Run state that the program's stop hands to DBRunStateCallback.
constexpr int DB_RUN_STATE_STOP = 4;

// --- what the program calls -------------------------------------------------
int DBConnect(const char* connectString);
int DBDisconnect(int hdbc);
int DBActivateSQL(int hdbc, const char* sql);
int DBImmediateSQL(int hdbc, const char* sql);
// width: the buffer size including the terminating NUL.
int DBBindColChar(int hstmt, int column, int width, char* buffer, long* status, const char* format);
int DBBindColShort(int hstmt, int column, short* value, long* status);
int DBBindColInt(int hstmt, int column, int* value, long* status);
int DBBindColDouble(int hstmt, int column, double* value, long* status);
int DBFetchNext(int hstmt);
int DBDeactivateSQL(int hstmt);
int DBCreateRecord(int hstmt);
int DBPutRecord(int hstmt);
int DBDeleteRecord(int hstmt);
const char* DBErrorMessage();

// --- present in the layer, not called by the program --------------------------
// A copy of the text for the caller to release with free(); null for null.
char* DBStrDup(const char* text);
int DBSources(int direction);
int DBDatabases(int hdbc);
int DBTables(int hdbc, const char* qualifier, const char* owner, const char* name, int type);
int DBSetDatabase(int hdbc, const char* name);
int DBIndexes(int hdbc, const char* table, short option);
int DBPrimaryKeys(int hdbc, const char* table);
int DBForeignKeys(int hdbc, const char* primaryTable, const char* foreignTable);
int DBBindColFloat(int hstmt, int column, float* value, long* status);
int DBFetchPrev(int hstmt);
int DBFetchRandom(int hstmt, long record);
int DBAllowFetchAnyDirection(int hstmt, int allow);
long DBNumberOfRecords(int hstmt);
int DBNumberOfColumns(int hstmt);
long DBNumberOfModifiedRecords(int hstmt);
const char* DBColumnName(int hstmt, int column);
int DBColumnType(int hstmt, int column);
int DBColumnWidth(int hstmt, int column);
int DBBeginTran(int hdbc);
int DBCommit(int hdbc);
int DBRollback(int hdbc);
int DBError();
int DBWarning();
int DBNativeError();
int DBLibInit();
int DBLibTerm();

int DBBeginMap(int hdbc);
int DBMapColumnToChar(int map, const char* column, int width, char* buffer, long* status, const char* format);
int DBMapColumnToShort(int map, const char* column, short* value, long* status);
int DBMapColumnToInt(int map, const char* column, int* value, long* status);
int DBMapColumnToFloat(int map, const char* column, float* value, long* status);
int DBMapColumnToDouble(int map, const char* column, double* value, long* status);
int DBActivateMap(int map, const char* table);
int DBDeactivateMap(int map);
int DBCreateTableFromMap(int map, const char* table);

// The program's stop: on DB_RUN_STATE_STOP ends every recorded statement and
// connection and terminates the engine.
void DBRunStateCallback(int state);

// The layer's own status word (0, 99, -97, -98), for tests and diagnostics.
int DBStatusWord();

// --- argument-checking twins ----------------------------------------------------
// Same results as the plain functions; a null argument or a failing result is
// reported through a message box with the layer's error text.
int _UP_DBConnect(const char* connectString);
int _UP_DBDisconnect(int hdbc);
int _UP_DBActivateSQL(int hdbc, const char* sql);
int _UP_DBImmediateSQL(int hdbc, const char* sql);
int _UP_DBBindColChar(int hstmt, int column, int width, char* buffer, long* status, const char* format);
int _UP_DBBindColShort(int hstmt, int column, short* value, long* status);
int _UP_DBBindColInt(int hstmt, int column, int* value, long* status);
int _UP_DBBindColDouble(int hstmt, int column, double* value, long* status);
int _UP_DBBindColFloat(int hstmt, int column, float* value, long* status);
int _UP_DBFetchNext(int hstmt);
int _UP_DBFetchPrev(int hstmt);
int _UP_DBFetchRandom(int hstmt, long record);
int _UP_DBDeactivateSQL(int hstmt);
int _UP_DBCreateRecord(int hstmt);
int _UP_DBPutRecord(int hstmt);
int _UP_DBDeleteRecord(int hstmt);
int _UP_DBSources(int direction);
int _UP_DBDatabases(int hdbc);
int _UP_DBTables(int hdbc, const char* qualifier, const char* owner, const char* name, int type);
int _UP_DBSetDatabase(int hdbc, const char* name);
int _UP_DBIndexes(int hdbc, const char* table, short option);
int _UP_DBPrimaryKeys(int hdbc, const char* table);
int _UP_DBForeignKeys(int hdbc, const char* primaryTable, const char* foreignTable);
int _UP_DBAllowFetchAnyDirection(int hstmt, int allow);
long _UP_DBNumberOfRecords(int hstmt);
int _UP_DBNumberOfColumns(int hstmt);
long _UP_DBNumberOfModifiedRecords(int hstmt);
int _UP_DBColumnType(int hstmt, int column);
int _UP_DBColumnWidth(int hstmt, int column);
int _UP_DBBeginTran(int hdbc);
int _UP_DBCommit(int hdbc);
int _UP_DBRollback(int hdbc);
int _UP_DBBeginMap(int hdbc);
int _UP_DBMapColumnToChar(int map, const char* column, int width, char* buffer, long* status, const char* format);
int _UP_DBMapColumnToShort(int map, const char* column, short* value, long* status);
int _UP_DBMapColumnToInt(int map, const char* column, int* value, long* status);
int _UP_DBMapColumnToFloat(int map, const char* column, float* value, long* status);
int _UP_DBMapColumnToDouble(int map, const char* column, double* value, long* status);
int _UP_DBActivateMap(int map, const char* table);
int _UP_DBDeactivateMap(int map);
int _UP_DBCreateTableFromMap(int map, const char* table);
