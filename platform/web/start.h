// Starting the browser view from a program's main(): address, token, front end, document launcher.
#pragma once

#include <memory>
#include <string>

#include "platform/web/server.h"

namespace vweb {

// Reads the command line and the environment, starts the server and makes the
// documents the program opens (vsys::launch_document) open in a browser tab:
//   --http ADDRESS[:PORT]   or VANTREL_HTTP; default 127.0.0.1:8080 (port 0: any free port)
//   --token TOKEN           the access token; required when ADDRESS is not loopback, then of 16 characters or more
// `title` names the browser tab. Other arguments are left alone. Prints "Open http://...  in a browser" on
// stdout; on failure prints why on stderr and returns nothing. Call on the UI
// thread before RunUserInterface and keep the result until the loop ends.
std::unique_ptr<Server> start_from_command_line(int argc, char** argv, const std::string& title = "Vantrel");

}  // namespace vweb
