// Fuzz target: statement text read by the engine's own lexer.
#include <string>

#include "platform/sql/sql_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string sql(reinterpret_cast<const char*>(data), size);
    vsql::StatementText text = vsql::read_statement(sql);
    (void)vsql::valid_table_name(text.table);
    return 0;
}
