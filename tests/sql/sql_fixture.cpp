// Engine test helpers: scratch connections, text read-back and the independent dBase reader.
#include "tests/sql/sql_fixture.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/sql/engine.h"
#include "platform/sys/files.h"
#include "platform/sys/launch.h"

namespace vtest {

QueryResult query(int hdbc, const std::string& sql, bool keep_padding)
{
    QueryResult r;
    r.handle = qeExecSQL(hdbc, sql.c_str());
    if (r.handle <= 0) {
        r.error = qeErr();
        r.message = qeErrMsg();
        return r;
    }
    int ncols = qeNumCols(r.handle);
    std::vector<std::vector<char>> buffers(ncols, std::vector<char>(512));
    std::vector<long> status(ncols);
    for (int i = 0; i < ncols; ++i) {
        status[i] = 512;
        qeBindColChar(r.handle, i + 1, buffers[i].data(), &status[i], "");
    }
    while (qeFetchNext(r.handle) == 0) {
        std::vector<std::string> row;
        for (int i = 0; i < ncols; ++i) {
            std::string v = status[i] == -2 ? "NULL" : std::string(buffers[i].data());
            if (!keep_padding) v.erase(v.find_last_not_of(' ') + 1);
            row.push_back(v);
        }
        r.rows.push_back(row);
    }
    qeEndSQL(r.handle);
    return r;
}

int run(int hdbc, const std::string& sql)
{
    int h = qeExecSQL(hdbc, sql.c_str());
    if (h <= 0) return qeErr();
    return qeEndSQL(h);
}

std::string flat(const Rows& rows)
{
    std::string out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i) out += ";";
        for (std::size_t j = 0; j < rows[i].size(); ++j) {
            if (j) out += "|";
            out += rows[i][j];
        }
    }
    return out;
}

namespace {
std::string run_python(const std::string& path, const char* script)
{
    std::string out_path = path + ".dbfread.txt";
    std::string python = vsys::file_exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    if (vsys::spawn_and_wait({python, "-c", script, path, out_path}) != 0) return "<dbfread failed>";
    std::ifstream in(out_path);
    std::stringstream ss;
    ss << in.rdbuf();
    std::remove(out_path.c_str());
    return ss.str();
}
}  // namespace

std::string fields_with_dbfread(const std::string& path)
{
    return run_python(path,
                      "import sys, dbfread\n"
                      "t = dbfread.DBF(sys.argv[1])\n"
                      "open(sys.argv[2], 'w').write(','.join('%s %s %d %d' % (f.name, f.type, f.length, f.decimal_count)"
                      " for f in t.fields))\n");
}

std::string read_with_dbfread(const std::string& path)
{
    const char* script =
        "import sys, dbfread\n"
        "t = dbfread.DBF(sys.argv[1], char_decode_errors='replace')\n"
        "rows = []\n"
        "for r in t:\n"
        "    vals = []\n"
        "    for v in r.values():\n"
        "        if isinstance(v, float) and v == int(v): v = int(v)\n"
        "        vals.append('NULL' if v is None else str(v))\n"
        "    rows.append('|'.join(vals))\n"
        "open(sys.argv[2], 'w').write(';'.join(rows))\n";
    return run_python(path, script);
}

std::string file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

SqlDir::SqlDir()
{
    hdbc_ = qeConnect(("DSN=ZID32_Samples; DB=" + dir_.path()).c_str());
}

SqlDir::~SqlDir()
{
    if (hdbc_ > 0) qeDisconnect(hdbc_);
}

}  // namespace vtest
