// What the fuzz targets share: a scratch directory for inputs that must be files, and quiet popups.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/sys/message_box.h"

namespace vfuzz {

// One directory per process, removed at exit.
struct ScratchDir {
    std::string path = (std::filesystem::temp_directory_path() / "vantrel-fuzz-XXXXXX").string();
    ScratchDir()
    {
        if (!::mkdtemp(path.data())) std::abort();
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

inline const std::string& scratch()
{
    static const ScratchDir dir;
    return dir.path;
}

inline std::string write_file(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    std::string path = scratch() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

// Message boxes are answered at once, as a user clicking through.
inline void quiet_message_boxes() { vsys::set_message_box_handler([](const std::string&, const std::string&) {}); }

}  // namespace vfuzz
