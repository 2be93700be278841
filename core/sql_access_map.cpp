// Column maps of the SQL access layer: a table's columns bound by name, and tables created from them.
#include <list>
#include <new>
#include <string>
#include <vector>

#include "core/sql_access.h"
#include "core/sql_access_state.h"
#include "platform/sql/engine.h"
#include "platform/sys/format.h"

namespace {

enum Kind { kText = 2, kShort = 4, kInt = 5, kFloat = 6, kDouble = 7 };

struct MapColumn {
    std::string name;
    int kind = kText;
    void* variable = nullptr;
    long* status = nullptr;
    int width = 0;
    std::string format;
};

struct ColumnMap {
    int number = 0;
    int hdbc = 0;
    int hstmt = 0;
    std::vector<MapColumn> columns;
};

std::list<ColumnMap> maps;
short map_counter = 0;

ColumnMap* find_map(int number)
{
    for (ColumnMap& m : maps)
        if (m.number == number) return &m;
    return nullptr;
}

int add_column(int map, const char* column, int kind, void* variable, long* status, int width, const char* format)
{
    ColumnMap* m = find_map(map);
    if (!m) return vdb::map_status = DB_NO_SUCH_MAP;
    try {
        m->columns.push_back(MapColumn{column ? column : "", kind, variable, status, width, format ? format : ""});
    } catch (const std::bad_alloc&) {
        return vdb::map_status = DB_OUT_OF_MEMORY;
    }
    return 0;
}

struct TypeChoice {
    const char* preferred;
    const char* alternative;
    int alt_code;
    int length, precision, scale;
};

TypeChoice choice_for(const MapColumn& c)
{
    switch (c.kind) {
    case kShort: return {"SMALLINT", "NUMERIC", 3, 2, 6, 0};
    case kInt: return {"INTEGER", "NUMERIC", 3, 4, 11, 0};
    case kFloat: return {"FLOAT", "NUMERIC", 3, 4, 12, 6};
    case kDouble: return {"DOUBLE", "NUMERIC", 3, 8, 15, 7};
    default: return {"CHAR", "VARCHAR", 2, c.width - 1, 0, 0};
    }
}

std::string upper(std::string s)
{
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

// The column definition for one mapped column, from the engine's type list.
std::string definition(int hdbc, const MapColumn& c)
{
    TypeChoice choice = choice_for(c);
    int hstmt = qeTypeInfo(hdbc, 0);
    if (hstmt <= 0) return c.name;
    char name[130] = {}, params[130] = {};
    short data_type = 0, money = 0, auto_inc = 0, sql_type = 0;
    long st[6] = {sizeof name, 2, sizeof params, 2, 2, 2};
    qeBindColChar(hstmt, 1, name, &st[0], "");
    qeBindColInt(hstmt, 2, &data_type, &st[1]);
    qeBindColChar(hstmt, 6, params, &st[2], "");
    qeBindColInt(hstmt, 11, &money, &st[3]);
    qeBindColInt(hstmt, 12, &auto_inc, &st[4]);
    qeBindColInt(hstmt, 13, &sql_type, &st[5]);
    int best = 0;
    std::string best_name, best_params;
    bool best_params_null = true;
    while (qeFetchNext(hstmt) == 0) {
        std::string type_name = upper(name);
        while (!type_name.empty() && type_name.back() == ' ') type_name.pop_back();
        int score = 0;
        if (type_name == choice.preferred) score += 10;
        if (type_name == choice.alternative) score += 7;
        if (data_type == c.kind) score += 2;
        if (data_type == choice.alt_code) score += 1;
        if (sql_type == c.kind) score += 5;
        if (sql_type == choice.alt_code) score += 4;
        if (st[3] != -2 && money) score -= 30;
        if (st[4] != -2 && auto_inc) score -= 30;
        if (score > best) {
            best = score;
            best_name = type_name;
            best_params_null = st[2] == -2;
            best_params = params;
        }
    }
    qeEndSQL(hstmt);
    if (best <= 0) return c.name;
    std::string p = best_params_null ? "" : best_params;
    std::string param_text;
    if (!best_params_null) {
        std::string lp = p;
        for (char& ch : lp) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        while (!lp.empty() && lp.back() == ' ') lp.pop_back();
        if (lp == "length" || lp == "max length") param_text = vsys::strprintf("(%d)", choice.length);
        else if (lp == "precision,scale" || lp.find(',') != std::string::npos)
            param_text = vsys::strprintf("(%d,%d)", choice.precision, choice.scale);
        else if (!lp.empty()) param_text = vsys::strprintf("(%d)", choice.length);
    }
    return c.name + " " + best_name + " " + param_text;
}

}  // namespace

int DBBeginMap(int hdbc)
{
    try {
        ColumnMap m;
        m.number = ++map_counter;
        m.hdbc = hdbc;
        maps.push_back(std::move(m));
        return maps.back().number;
    } catch (const std::bad_alloc&) {
        return vdb::map_status = DB_OUT_OF_MEMORY;
    }
}

int DBMapColumnToChar(int map, const char* column, int width, char* buffer, long* status, const char* format)
{
    return add_column(map, column, kText, buffer, status, width, format);
}
int DBMapColumnToShort(int map, const char* column, short* value, long* status)
{
    return add_column(map, column, kShort, value, status, 2, nullptr);
}
int DBMapColumnToInt(int map, const char* column, int* value, long* status)
{
    return add_column(map, column, kInt, value, status, 4, nullptr);
}
int DBMapColumnToFloat(int map, const char* column, float* value, long* status)
{
    return add_column(map, column, kFloat, value, status, 4, nullptr);
}
int DBMapColumnToDouble(int map, const char* column, double* value, long* status)
{
    return add_column(map, column, kDouble, value, status, 8, nullptr);
}

int DBActivateMap(int map, const char* table)
{
    vdb::map_status = 0;
    ColumnMap* m = find_map(map);
    if (!m) {
        vdb::map_status = DB_NO_SUCH_MAP;
        return 0;
    }
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < m->columns.size(); ++i) {
        if (i) sql += ",";
        sql += m->columns[i].name;
    }
    sql += " FROM ";
    sql += table ? table : "";
    int hstmt = DBActivateSQL(m->hdbc, sql.c_str());
    if (hstmt <= 0) return 0;
    m->hstmt = hstmt;
    for (std::size_t i = 0; i < m->columns.size(); ++i) {
        const MapColumn& c = m->columns[i];
        int column = static_cast<int>(i) + 1;
        int r = 0;
        switch (c.kind) {
        case kText: r = DBBindColChar(hstmt, column, c.width, static_cast<char*>(c.variable), c.status, c.format.c_str()); break;
        case kShort: r = DBBindColShort(hstmt, column, static_cast<short*>(c.variable), c.status); break;
        case kInt: r = DBBindColInt(hstmt, column, static_cast<int*>(c.variable), c.status); break;
        case kFloat: r = DBBindColFloat(hstmt, column, static_cast<float*>(c.variable), c.status); break;
        default: r = DBBindColDouble(hstmt, column, static_cast<double*>(c.variable), c.status); break;
        }
        if (r != 0) return 0;
    }
    return hstmt;
}

int DBDeactivateMap(int map)
{
    vdb::map_status = 0;
    for (auto it = maps.begin(); it != maps.end(); ++it) {
        if (it->number != map) continue;
        if (it->hstmt) DBDeactivateSQL(it->hstmt);
        maps.erase(it);
        return 0;
    }
    return vdb::map_status = DB_NO_SUCH_MAP;
}

int DBCreateTableFromMap(int map, const char* table)
{
    vdb::map_status = 0;
    ColumnMap* m = find_map(map);
    if (!m) return vdb::map_status = DB_NO_SUCH_MAP;
    vdb::ensure_engine();
    std::string sql = "CREATE TABLE ";
    sql += table ? table : "";
    sql += " (";
    for (std::size_t i = 0; i < m->columns.size(); ++i) {
        if (i) sql += ",";
        sql += definition(m->hdbc, m->columns[i]);
    }
    sql += ")";
    int hstmt = qeExecSQL(m->hdbc, sql.c_str());
    if (hstmt == 0) return DBError();
    qeEndSQL(hstmt);
    return 0;
}
