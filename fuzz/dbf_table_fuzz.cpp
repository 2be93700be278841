// Fuzz target: a dBase table file opened as the engine opens it, every value read and looked up, then queried with SQL.
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/sql/dbf_table.h"
#include "platform/sql/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int hdbc = qeLibInit() == 0 ? qeConnect(("DSN=ZID32_Samples; DB=" + vfuzz::scratch()).c_str()) : 0;
    std::string path = vfuzz::write_file("FUZZ.DBF", data, size);
    if (hdbc > 0) {
        int hstmt = qeExecSQL(hdbc, "SELECT * FROM FUZZ");
        if (hstmt > 0) {
            char text[256];
            long status = 0;
            qeBindColChar(hstmt, 1, text, &status, "");
            for (int n = 0; n < 1000 && qeFetchNext(hstmt) == 0; ++n) {}
            qeEndSQL(hstmt);
        }
    }
    std::string error;
    auto table = vsql::DbfTable::open(path, error);
    if (!table) return 0;
    int fields = static_cast<int>(table->fields().size());
    for (int row = 0; row < table->record_count() && row < 1000; ++row) {
        (void)table->deleted(row);
        for (int f = 0; f < fields; ++f) (void)table->value(row, f);
    }
    if (fields > 0 && table->record_count() > 0) {
        std::vector<int> rows;
        if (table->fields()[0].numeric()) table->lookup_number(0, 1.0, rows);
        else (void)table->lookup_text(0, "A");
        std::string record = table->blank_record();
        (void)table->encode(record, 0, vsql::Value{std::string("FUZZ")});
    }
    return 0;
}
