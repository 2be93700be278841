// Helpers for the engine tests: a connection on a scratch directory and queries read back as text.
#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace vtest {

using Rows = std::vector<std::vector<std::string>>;

// Every value of a result set as text ("NULL" for NULL), trailing blanks
// removed unless `keep_padding`.
struct QueryResult {
    int handle = 0;  // 0 when the statement failed
    int error = 0;
    std::string message;
    Rows rows;
};
QueryResult query(int hdbc, const std::string& sql, bool keep_padding = false);
// Runs a statement without result set; 0 or the engine's error code.
int run(int hdbc, const std::string& sql);
// Rows written as "a|b;c|d" for compact expectations.
std::string flat(const Rows& rows);

// Reads a .DBF file with an independent dBase reader (python3-dbfread) and
// returns its live records as "a|b;c|d" (numbers as the reader parsed them).
std::string read_with_dbfread(const std::string& path);
// The whole content of a file, empty when it cannot be read.
std::string file_bytes(const std::string& path);
// The field descriptors the same reader sees: "NAME C 32 0,RUN N 9 0".
std::string fields_with_dbfread(const std::string& path);

class SqlDir {
public:
    SqlDir();
    ~SqlDir();
    SqlDir(const SqlDir&) = delete;
    SqlDir& operator=(const SqlDir&) = delete;
    const TempDir& dir() const { return dir_; }
    int hdbc() const { return hdbc_; }
    std::string file(const std::string& name) const { return dir_.file(name); }

private:
    TempDir dir_;
    int hdbc_ = 0;
};

}  // namespace vtest
