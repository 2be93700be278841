// File and directory operations, the path helper, the program directory and RAII file handles.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace vsys {

// Outcome of an operation that can fail; `error` says why in plain words.
// A dropped result is a failure nobody hears of.
struct [[nodiscard]] Result {
    bool ok = true;
    std::string error;
    explicit operator bool() const { return ok; }
    static Result success() { return {}; }
    static Result failure(std::string why) { return {false, std::move(why)}; }
};

// Joins a directory and a name with one '/'. Names keep their case.
std::string path_join(const std::string& directory, const std::string& name);
// The directory part of a path ("" when there is none) and the last component.
std::string path_directory(const std::string& path);
std::string path_filename(const std::string& path);

bool file_exists(const std::string& path);
bool directory_exists(const std::string& path);
std::optional<std::uint64_t> file_size(const std::string& path);
// Bytes free for an unprivileged user on the file system holding `path`.
std::optional<std::uint64_t> free_disk_space(const std::string& path);

Result delete_file(const std::string& path);
// Like delete_file, but a file that is not there is no failure.
Result delete_file_if_present(const std::string& path);
// Renames, replacing `to` in one step when it exists (same file system).
Result rename_replace(const std::string& from, const std::string& to);
// Copies through a temporary file beside `to`, renamed over it at the end:
// a failed copy leaves an existing `to` untouched.
Result copy_file(const std::string& from, const std::string& to);
Result make_directory(const std::string& path);
// Like make_directory, but a directory that is already there is no failure.
Result ensure_directory(const std::string& path);

// The entry of `directory` whose name equals `name` ignoring ASCII case
// (an exact match wins); the full path, or nothing.
std::optional<std::string> find_file_nocase(const std::string& directory, const std::string& name);

// The directory of the running executable (never case-changed).
std::string project_dir();
// Tests point the program directory elsewhere; "" restores the real one.
void set_project_dir_override(const std::string& directory);

struct FileCloser {
    void operator()(std::FILE* f) const noexcept;
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
FilePtr open_file(const std::string& path, const char* mode);

}  // namespace vsys

// The engine's names for the same services.
// Fills `buffer` (of `size` bytes) with the program directory; 0 on success, -1 if it did not fit.
int GetProjectDir(char* buffer, std::size_t size);
// 0 when made, -9 when it exists already, -1 on any other failure.
int MakeDir(const char* path);
