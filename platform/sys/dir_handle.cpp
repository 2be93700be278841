// Directories held open by handle: their subdirectories opened without following links, and their names for messages.
#include "platform/sys/dir_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>

#include "platform/sys/files.h"
#include "platform/sys/format.h"

namespace vsys {

namespace {

constexpr const char kHandlePrefix[] = "/proc/self/fd/";
constexpr std::size_t kHandlePrefixLength = sizeof kHandlePrefix - 1;

}  // namespace

DirHandle::~DirHandle()
{
    if (fd_ >= 0) ::close(fd_);
}

DirHandle& DirHandle::operator=(DirHandle&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

std::string DirHandle::path() const { return strprintf("%s%d", kHandlePrefix, fd_); }

DirHandle DirHandle::subdirectory(const std::string& name, std::string* found) const
{
    if (fd_ < 0 || name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        errno = EINVAL;
        return DirHandle();
    }
    std::string used = name;
    if (auto existing = find_file_nocase(path(), name)) used = path_filename(*existing);
    if (::mkdirat(fd_, used.c_str(), 0777) != 0 && errno != EEXIST) return DirHandle();
    DirHandle sub(::openat(fd_, used.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (sub && found) *found = used;
    return sub;
}

bool is_handle_path(const std::string& path)
{
    if (path.compare(0, kHandlePrefixLength, kHandlePrefix) != 0) return false;
    std::size_t end = kHandlePrefixLength;
    while (end < path.size() && std::isdigit(static_cast<unsigned char>(path[end]))) ++end;
    return end > kHandlePrefixLength && (end == path.size() || path[end] == '/');
}

std::string named_paths(std::string text)
{
    for (std::size_t at = text.find(kHandlePrefix); at != std::string::npos; at = text.find(kHandlePrefix, at + 1)) {
        std::size_t end = at + kHandlePrefixLength;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end == at + kHandlePrefixLength) continue;
        char name[PATH_MAX];
        const ssize_t n = ::readlink(text.substr(at, end - at).c_str(), name, sizeof name);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof name || name[0] != '/') continue;
        text.replace(at, end - at, name, static_cast<std::size_t>(n));
        at += static_cast<std::size_t>(n) - 1;
    }
    return text;
}

}  // namespace vsys
