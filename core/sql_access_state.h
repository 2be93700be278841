// State shared by the SQL access layer's source files: the error state and the engine start.
#pragma once

namespace vdb {

extern int map_status;
// Starts the engine on first use; false (map status -95) when it cannot start.
bool ensure_engine();

}  // namespace vdb
