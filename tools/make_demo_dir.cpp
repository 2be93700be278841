// Makes a working directory for the demo: its database holds the process "ETCH" of a setup file, current.
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/globals.h"
#include "core/schema.h"
#include "core/sql_access.h"
#include "platform/sys/files.h"
#include "tools/demo_process.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_demo_dir SETUP_FILE DIRECTORY\n");
        return 2;
    }
    vdemo::DemoSetup setup;
    std::string error;
    if (!vdemo::read_demo_setup(argv[1], setup, &error)) {
        std::fprintf(stderr, "make_demo_dir: %s\n", error.c_str());
        return 1;
    }
    const std::string dir = argv[2];
    for (const std::string& folder : {dir, vsys::path_join(dir, "SC_DATA")}) {
        if (vsys::Result made = vsys::ensure_directory(folder); !made) {
            std::fprintf(stderr, "make_demo_dir: %s\n", made.error.c_str());
            return 1;
        }
    }
    hdbc = DBConnect(("DSN=ZID32_Samples; DB=" + dir).c_str());
    if (hdbc <= 0) {
        std::fprintf(stderr, "make_demo_dir: cannot open the database in %s\n", dir.c_str());
        return 1;
    }
    check_tables(&hdbc);
    // The decision trees ship in "trees" beside the setup file.
    const std::string trees = (std::filesystem::path(argv[1]).parent_path() / "trees").string();
    const bool ok = vdemo::seed_demo_process(setup, &error) && vdemo::install_demo_trees(setup, trees, dir, &error);
    DBDisconnect(hdbc);
    if (!ok) std::fprintf(stderr, "make_demo_dir: %s\n", error.c_str());
    return ok ? 0 : 1;
}
