// A statement handle that is always deactivated, and quoting of text put into SQL.
#pragma once

#include <string>

#include "core/sql_access.h"

// Owns one DBActivateSQL handle; deactivates it (reporting a failure through
// ShowError when asked to) when it goes out of scope.
class DbStatement {
public:
    DbStatement(int connection, const std::string& sql) : handle_(DBActivateSQL(connection, sql.c_str())) {}
    ~DbStatement() { close(); }
    DbStatement(const DbStatement&) = delete;
    DbStatement& operator=(const DbStatement&) = delete;
    bool ok() const { return handle_ > 0; }
    int handle() const { return handle_; }
    // Deactivates now; returns the layer's result (0 when nothing was open).
    int close();

private:
    int handle_;
};

// The text with every single quote doubled, safe between quotes in SQL.
std::string sql_quote(const char* text);
// Copies at most n characters of text into buffer (n + 1 bytes) and terminates it.
void copy_bounded(char* buffer, const char* text, int n);
