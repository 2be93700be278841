// An open directory that files are made in through its handle, so a link put in place of its path leads nowhere else.
#pragma once

#include <string>

namespace vsys {

class DirHandle {
public:
    DirHandle() = default;
    explicit DirHandle(int fd) : fd_(fd) {}
    ~DirHandle();
    DirHandle(DirHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    DirHandle& operator=(DirHandle&& other) noexcept;
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;

    explicit operator bool() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // The directory named by its handle ("/proc/self/fd/N"): a path built on it stays in this
    // directory whatever its own path names by then.
    std::string path() const;
    // A directory in this one by name (matched ignoring case when the exact name is not there), made
    // when missing; a link in its place is refused. Empty (errno set) on failure; `found` gets the name used.
    DirHandle subdirectory(const std::string& name, std::string* found = nullptr) const;

private:
    int fd_ = -1;
};

// Whether `path` is (or lies in) a directory named by its handle, as DirHandle::path() gives it.
bool is_handle_path(const std::string& path);
// `text` with every directory named by a handle of this process replaced by its name on disk, for messages.
std::string named_paths(std::string text);

}  // namespace vsys
