// A recording "xchm" on PATH and a display, for one test: the help library's viewer writes its arguments to a file.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace vtest {

class FakeHelpViewer {
public:
    explicit FakeHelpViewer(const TempDir& dir) : dir_(dir)
    {
        std::filesystem::create_directory(dir.file("bin"));
        std::filesystem::copy_file(record_args_tool(), dir.file("bin/xchm"));
        for (const char* name : {"PATH", "DISPLAY", "WAYLAND_DISPLAY", "RECORD_ARGS_TO"}) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        ::setenv("PATH", dir.file("bin").c_str(), 1);
        ::setenv("DISPLAY", ":42", 1);
        ::unsetenv("WAYLAND_DISPLAY");
    }
    ~FakeHelpViewer()
    {
        for (auto& [name, value] : saved_)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
    FakeHelpViewer(const FakeHelpViewer&) = delete;
    FakeHelpViewer& operator=(const FakeHelpViewer&) = delete;
    // The file the next viewer started writes its arguments to.
    std::string record_to(const std::string& name)
    {
        ::setenv("RECORD_ARGS_TO", dir_.file(name).c_str(), 1);
        return dir_.file(name);
    }

private:
    const TempDir& dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace vtest
