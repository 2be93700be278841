// The SQLite virtual-table module that presents a dBase table file to SQLite.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "platform/sql/dbf_table.h"

namespace vsql {

// Where the module reports text it had to cut to fit a column, one per connection.
struct MountSlot {
    bool truncated = false;
};

// Presents `table` to SQLite under `name` as a module of that name, which SQLite finds as a table
// of the same name when a statement first names it. Unlike CREATE VIRTUAL TABLE this changes no
// schema: mounting the hundred tables of a first wafer costs a hash insert each.
int mount_dbf_table(sqlite3* db, const std::string& name, std::shared_ptr<DbfTable> table, MountSlot* slot);
// Takes the name away again; the file is not touched.
void unmount_dbf_table(sqlite3* db, const std::string& name);

}  // namespace vsql
