// The engine's own lexer: readies statement text for SQLite and picks out what SQLite does not run.
#pragma once

#include <string>
#include <vector>

#include "platform/sql/dbf_table.h"

namespace vsql {

struct StatementText {
    enum class Kind { query, create_table, pack, drop_table, other };
    Kind kind = Kind::other;
    // The text for SQLite: table names beginning with digits and column names
    // that SQLite reserves are quoted.
    std::string sql;
    // For a SELECT of plain rows from one table: the same query with the
    // record number as an extra last column; empty otherwise.
    std::string sql_with_rowid;
    std::string table;                    // CREATE TABLE, PACK and DROP TABLE
    bool if_exists = false;               // DROP TABLE IF EXISTS
    std::vector<DbfColumnDef> columns;   // CREATE TABLE
    std::vector<std::string> identifiers; // every name in the text, upper case
    std::string error;                    // set when CREATE TABLE or PACK cannot be read
};

StatementText read_statement(const std::string& sql);

// A table name the engine accepts as a file name: letters, digits and '_'.
bool valid_table_name(const std::string& name);

}  // namespace vsql
