// Makes a working directory for the demo: its database holds the process "ETCH" of a setup file, current.
#include <cstdio>
#include <string>

#include "core/globals.h"
#include "core/schema.h"
#include "core/sql_access.h"
#include "platform/sys/files.h"
#include "tests/tools/demo_process.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_demo_dir SETUP_FILE DIRECTORY\n");
        return 2;
    }
    vtest::DemoSetup setup;
    std::string error;
    if (!vtest::read_demo_setup(argv[1], setup, &error)) {
        std::fprintf(stderr, "make_demo_dir: %s\n", error.c_str());
        return 1;
    }
    const std::string dir = argv[2];
    vsys::make_directory(dir);
    vsys::make_directory(vsys::path_join(dir, "SC_DATA"));
    hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir).c_str());
    if (hdbc <= 0) {
        std::fprintf(stderr, "make_demo_dir: cannot open the database in %s\n", dir.c_str());
        return 1;
    }
    check_tables(&hdbc);
    const bool ok = vtest::seed_demo_process(setup, &error);
    DBDisconnect(hdbc);
    if (!ok) std::fprintf(stderr, "make_demo_dir: %s\n", error.c_str());
    return ok ? 0 : 1;
}
