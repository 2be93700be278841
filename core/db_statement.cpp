// Statement ownership and SQL text quoting.
#include "core/db_statement.h"

#include <cstring>

int DbStatement::close()
{
    if (handle_ <= 0) return 0;
    int r = DBDeactivateSQL(handle_);
    handle_ = 0;
    return r;
}

std::string sql_quote(const char* text)
{
    std::string out;
    for (const char* p = text ? text : ""; *p; ++p) {
        out += *p;
        if (*p == '\'') out += '\'';
    }
    return out;
}

void copy_bounded(char* buffer, const char* text, int n)
{
    std::size_t len = text ? strnlen(text, static_cast<std::size_t>(n)) : 0;
    if (len) std::memcpy(buffer, text, len);
    buffer[len] = '\0';
}
