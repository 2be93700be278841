// Catalogue result sets: data sources, databases, tables, keys and the column types the engine creates.
#include <strings.h>

#include <algorithm>
#include <filesystem>

#include "platform/sql/engine.h"
#include "platform/sql/engine_state.h"
#include "platform/sql/sql_text.h"

using namespace vsql;

namespace {

struct Col {
    const char* name;
    int type;
    int width;
};

int make_result(int hdbc, std::initializer_list<Col> cols, std::vector<std::vector<Value>> rows)
{
    auto s = std::make_unique<Statement>();
    s->connection = hdbc;
    for (const Col& c : cols) {
        ResultColumn rc;
        rc.name = c.name;
        rc.type = c.type;
        rc.width = c.width;
        s->columns.push_back(rc);
    }
    s->rows = std::move(rows);
    return store_statement(std::move(s));
}

// SQL LIKE with % and _, ignoring case; an empty pattern matches all.
bool like(const char* text, const char* pattern)
{
    if (!*pattern) return !*text;
    if (*pattern == '%') {
        for (const char* t = text;; ++t) {
            if (like(t, pattern + 1)) return true;
            if (!*t) return false;
        }
    }
    if (!*text) return false;
    if (*pattern != '_' && std::toupper(static_cast<unsigned char>(*pattern)) != std::toupper(static_cast<unsigned char>(*text)))
        return false;
    return like(text + 1, pattern + 1);
}

Connection* connection_or_error(int hdbc)
{
    Connection* c = find_connection(hdbc);
    if (!c) set_error(kErrBadHandle, "Invalid connection handle");
    return c;
}

}  // namespace

int qeSources(int)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    return make_result(0, {{"DSN", kTypeText, 32}, {"DESCRIPTION", kTypeText, 64}},
                       {{std::string("ZID32_Samples"), std::string("dBase tables")}});
}

int qeDatabases(int hdbc)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    Connection* c = connection_or_error(hdbc);
    if (!c) return 0;
    return make_result(hdbc, {{"DATABASE_NAME", kTypeText, 255}}, {{vsys::named_paths(c->directory)}});
}

int qeTables(int hdbc, const char*, const char*, const char* name, int)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    Connection* c = connection_or_error(hdbc);
    if (!c) return 0;
    std::vector<std::vector<Value>> rows;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(c->directory, ec)) {
        std::string file = entry.path().filename().string();
        if (file.size() <= 4 || strcasecmp(file.c_str() + file.size() - 4, ".dbf") != 0) continue;
        std::string table = file.substr(0, file.size() - 4);
        if (!valid_table_name(table)) continue;
        if (name && *name && !like(table.c_str(), name)) continue;
        rows.push_back({Value{}, Value{}, table, std::string("TABLE"), Value{}});
    }
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return std::get<std::string>(a[2]) < std::get<std::string>(b[2]); });
    return make_result(hdbc,
                       {{"TABLE_QUALIFIER", kTypeText, 128}, {"TABLE_OWNER", kTypeText, 128}, {"TABLE_NAME", kTypeText, 128},
                        {"TABLE_TYPE", kTypeText, 128}, {"REMARKS", kTypeText, 254}},
                       std::move(rows));
}

int qeIndexes(int hdbc, const char*, short)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    if (!connection_or_error(hdbc)) return 0;
    // The engine keeps its indexes in memory only; the files have none.
    return make_result(hdbc,
                       {{"TABLE_QUALIFIER", kTypeText, 128}, {"TABLE_OWNER", kTypeText, 128}, {"TABLE_NAME", kTypeText, 128},
                        {"NON_UNIQUE", kTypeInteger, 5}, {"INDEX_QUALIFIER", kTypeText, 128}, {"INDEX_NAME", kTypeText, 128},
                        {"TYPE", kTypeInteger, 5}, {"SEQ_IN_INDEX", kTypeInteger, 5}, {"COLUMN_NAME", kTypeText, 128}},
                       {});
}

int qePrimaryKeys(int hdbc, const char*)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    if (!connection_or_error(hdbc)) return 0;
    return make_result(hdbc,
                       {{"TABLE_QUALIFIER", kTypeText, 128}, {"TABLE_OWNER", kTypeText, 128}, {"TABLE_NAME", kTypeText, 128},
                        {"COLUMN_NAME", kTypeText, 128}, {"KEY_SEQ", kTypeInteger, 5}, {"PK_NAME", kTypeText, 128}},
                       {});
}

int qeForeignKeys(int hdbc, const char*, const char*)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    if (!connection_or_error(hdbc)) return 0;
    return make_result(hdbc,
                       {{"PKTABLE_NAME", kTypeText, 128}, {"PKCOLUMN_NAME", kTypeText, 128}, {"FKTABLE_NAME", kTypeText, 128},
                        {"FKCOLUMN_NAME", kTypeText, 128}, {"KEY_SEQ", kTypeInteger, 5}},
                       {});
}

int qeTypeInfo(int hdbc, short)
{
    std::lock_guard lock(engine().mutex);
    clear_error();
    if (!connection_or_error(hdbc)) return 0;
    using I = std::int64_t;
    std::vector<std::vector<Value>> rows = {
        {std::string("CHAR"), I{kTypeText}, I{254}, std::string("'"), std::string("'"), std::string("max length"), I{1}, I{1},
         I{3}, Value{}, I{0}, I{0}, I{kTypeText}},
        {std::string("NUMERIC"), I{kTypeNumeric}, I{20}, Value{}, Value{}, std::string("precision,scale"), I{1}, I{0}, I{2},
         I{0}, I{0}, I{0}, I{kTypeNumeric}},
    };
    return make_result(hdbc,
                       {{"TYPE_NAME", kTypeText, 128}, {"DATA_TYPE", kTypeInteger, 5}, {"PRECISION", kTypeInteger, 10},
                        {"LITERAL_PREFIX", kTypeText, 128}, {"LITERAL_SUFFIX", kTypeText, 128},
                        {"CREATE_PARAMS", kTypeText, 128}, {"NULLABLE", kTypeInteger, 5},
                        {"CASE_SENSITIVE", kTypeInteger, 5}, {"SEARCHABLE", kTypeInteger, 5},
                        {"UNSIGNED_ATTRIBUTE", kTypeInteger, 5}, {"MONEY", kTypeInteger, 5},
                        {"AUTO_INCREMENT", kTypeInteger, 5}, {"SQL_DATA_TYPE", kTypeInteger, 5}},
                       std::move(rows));
}
