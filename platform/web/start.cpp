// The browser view's start from main(): options from the command line and VANTREL_HTTP.
#include "platform/web/start.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/sys/files.h"
#include "platform/sys/launch.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"

namespace vweb {

namespace {

// "--name value" or "--name=value"; nothing when absent.
bool option(int argc, char** argv, const std::string& name, std::string& value, std::string& error)
{
    bool found = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        if (arg == name) {
            if (i + 1 >= argc) {
                error = name + " needs a value.";
                return false;
            }
            value = argv[++i];
            found = true;
        } else if (arg.rfind(name + "=", 0) == 0) {
            value = arg.substr(name.size() + 1);
            found = true;
        }
    }
    return found;
}

}  // namespace

std::unique_ptr<Server> start_from_command_line(int argc, char** argv, const std::string& title)
{
    std::string error, address_text = "127.0.0.1:8080", token;
    if (const char* env = std::getenv("VANTREL_HTTP"); env && *env) address_text = env;
    option(argc, argv, "--http", address_text, error);
    option(argc, argv, "--token", token, error);
    if (!error.empty()) {
        std::fprintf(stderr, "Vantrel: %s\n", error.c_str());
        return nullptr;
    }
    auto address = parse_listen_address(address_text);
    if (!address) {
        std::fprintf(stderr, "Vantrel: cannot read the browser view's address \"%s\" (expected ADDRESS:PORT).\n",
                     address_text.c_str());
        return nullptr;
    }
    Options options;
    options.title = title;
    options.address = *address;
    options.token = token;
    options.web_root = vsys::path_join(vsys::project_dir(), "web");
    auto server = Server::start(options, error);
    if (!server) {
        std::fprintf(stderr, "Vantrel: %s\n", error.c_str());
        return nullptr;
    }
    // Run the queued subscription now: a popup shown before the loop starts
    // (the review edition's first popup) must wait for a page, not be dropped.
    ProcessSystemEvents();
    vui::install_document_hook();
    std::printf("Open %s in a browser\n", server->url().c_str());
    std::fflush(stdout);
    return server;
}

}  // namespace vweb
