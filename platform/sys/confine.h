// Where a path the operator types may lead: the working directory, the program directory and the archive directory.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/sys/files.h"

namespace vsys {

// The archive directory as the settings hold it now ("" or "NA": none), asked at each check.
void set_archive_reader(std::function<std::string()> reader);
// The working directory as the program holds it, when it may differ from the current one.
void set_working_dir_reader(std::function<std::string()> reader);

// Whether `file` lies at or below `root`, both already resolved, compared component by component.
bool path_within(const std::filesystem::path& file, const std::filesystem::path& root);

// The working directory (the current one, and the program's when it differs), the program
// directory and the archive directory.
std::vector<std::string> allowed_roots();

// `path` made absolute and resolved (symbolic links in the part that exists),
// when it lies inside one of the allowed roots; nothing otherwise.
std::optional<std::string> confined_path(const std::string& path);

// Opens `path` (an fopen mode: "r", "w", "a", "rb", "wb", "ab", with "+") only
// inside the allowed roots. The walk starts at the root's directory handle and
// takes one component at a time without following symbolic links, so a link put
// in place after the check cannot lead out. Nothing (errno set) otherwise.
FilePtr open_confined(const std::string& path, const char* mode);

// The same walk for a directory: a descriptor of it (read-only, for *at calls), or -1 (errno set).
int open_confined_directory(const std::string& dir);
// The same, making the directories of the path that are missing (a new folder typed).
int make_confined_directory(const std::string& dir);

}  // namespace vsys
