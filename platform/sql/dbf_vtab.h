// The SQLite virtual-table module that presents a dBase table file to SQLite.
#pragma once

#include <sqlite3.h>

#include <memory>

#include "platform/sql/dbf_table.h"

namespace vsql {

// The connection hands the module the table to mount through this slot, and
// the module reports text it had to cut to fit a column.
struct MountSlot {
    std::shared_ptr<DbfTable> table;
    bool truncated = false;
};

// Registers the module "dbf" on `db`; "CREATE VIRTUAL TABLE name USING dbf"
// then mounts slot->table under that name.
int register_dbf_module(sqlite3* db, MountSlot* slot);

}  // namespace vsql
