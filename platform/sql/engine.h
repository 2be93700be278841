// The SQL engine the access layer calls: dBase tables in a directory, queried with SQL through SQLite.
#pragma once

namespace vsql {

// Result codes of the engine calls. Handles are > 0; status calls return 0 on
// success; qeFetchNext returns kEndOfData after the last row.
constexpr int kOk = 0;
constexpr int kEndOfData = 1;
constexpr int kTableExists = 4;               // CREATE TABLE of a table that exists
constexpr int kWarningStored = -1;            // qePutUsingBindColumns: a value was cut to fit
constexpr int kErrSql = -10;                  // the statement failed (syntax, unknown column, ...)
constexpr int kErrNoTable = -11;              // the table's file does not exist
constexpr int kErrBadHandle = -12;
constexpr int kErrConnect = -13;              // bad connect string or directory
constexpr int kErrNoCurrentRow = -14;
constexpr int kErrNotUpdatable = -15;
constexpr int kErrFile = -16;                 // reading or writing a table file failed
constexpr int kErrValue = -17;                // a value does not fit its column
constexpr int kErrTooMany = -18;              // no free handle number
constexpr int kErrBadColumn = -19;
constexpr int kErrNotSupported = -20;
constexpr int kErrTableChanged = -21;         // positioned write after the table was rewritten

// Column types reported by qeColType.
constexpr int kTypeChar = 1;     // a CHAR column of a table
constexpr int kTypeText = 2;     // text computed by the query
constexpr int kTypeNumeric = 3;  // a NUMERIC column, or a real number
constexpr int kTypeInteger = 4;  // an integer computed by the query (COUNT)

// Select option bit that allows fetching in any direction.
constexpr int kSelectFetchAnyDirection = 1 << 2;

}  // namespace vsql

int qeLibInit();
int qeLibTerm();

// "DSN=<name>; DB=<directory>": the directory holds the tables.
int qeConnect(const char* connect_string);
int qeDisconnect(int hdbc);
int qeSetDB(int hdbc, const char* directory);

// Runs one statement; a handle > 0 (a result set for a SELECT), or 0 on
// failure with qeErr() and qeErrMsg() telling why.
int qeExecSQL(int hdbc, const char* sql);
int qeEndSQL(int hstmt);

// Column binding: the buffer size of a text binding is *status on entry.
int qeBindColChar(int hstmt, int column, char* buffer, long* status, const char* format);
int qeBindColInt(int hstmt, int column, short* value, long* status);
int qeBindColLong(int hstmt, int column, int* value, long* status);
int qeBindColFloat(int hstmt, int column, float* value, long* status);
int qeBindColDouble(int hstmt, int column, double* value, long* status);

int qeFetchNext(int hstmt);
int qeFetchPrev(int hstmt);
int qeFetchRandom(int hstmt, long record);  // 1 = first row
long qeFetchNumRecs(int hstmt);
int qeNumCols(int hstmt);
long qeNumModRecs(int hstmt);
const char* qeColName(int hstmt, int column);
int qeColType(int hstmt, int column);
int qeColWidth(int hstmt, int column);
int qeGetSelectOptions(int hstmt, long* options);
int qeSetSelectOptions(int hstmt, long options);

// Positioned writes on the table of a one-table SELECT, by record number.
long qeRecNum(int hstmt);  // the current row's number (1-based), 0 when none
int qeRecNew(int hstmt, long record);
int qePutUsingBindColumns(int hstmt);
int qeRecUpdate(int hstmt);
int qeRecDelete(int hstmt);

int qeBeginTran(int hdbc);
int qeCommit(int hdbc);
int qeRollback(int hdbc);

// Catalogue queries: each returns a statement handle with a result set.
int qeSources(int direction);
int qeDatabases(int hdbc);
int qeTables(int hdbc, const char* qualifier, const char* owner, const char* name, int type);
int qeIndexes(int hdbc, const char* table, short option);
int qePrimaryKeys(int hdbc, const char* table);
int qeForeignKeys(int hdbc, const char* primary_table, const char* foreign_table);
// Rows: TYPE_NAME, DATA_TYPE, PRECISION, LITERAL_PREFIX, LITERAL_SUFFIX, CREATE_PARAMS,
// NULLABLE, CASE_SENSITIVE, SEARCHABLE, UNSIGNED_ATTRIBUTE, MONEY, AUTO_INCREMENT, SQL_DATA_TYPE.
int qeTypeInfo(int hdbc, short type);

// The last call's error code and message, the last warning and the native code.
int qeErr();
const char* qeErrMsg();
int qeWarning();
int qeDBErr();
