// Starting programs (by argument vector, never through a shell) and handing documents to the view.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/sys/files.h"

namespace vsys {

// Finds an executable on PATH (or takes a name containing '/' as it is).
std::optional<std::string> find_executable(const std::string& name);

// Starts argv[0] (searched on PATH) with exactly these arguments and does not
// wait: the program is detached, so no child is left for us to reap.
Result spawn_detached(const std::vector<std::string>& argv);
// Starts argv[0] and waits for it; the exit code, or -1 when it did not run.
int spawn_and_wait(const std::vector<std::string>& argv);

// What the program "opens" (a PDF report, a text file) goes to a launcher the
// user-interface layer installs; without one the request is written to stderr.
using DocumentLauncher = std::function<void(const std::string& path)>;
void set_document_launcher(DocumentLauncher launcher);
void launch_document(const std::string& path);

}  // namespace vsys
