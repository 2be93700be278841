// Confining typed paths to the allowed roots, and opening them by directory handles without following links.
#include "platform/sys/confine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace vsys {

namespace {

std::mutex& reader_mutex()
{
    static std::mutex m;
    return m;
}

std::function<std::string()>& archive_reader()
{
    static std::function<std::string()> reader;
    return reader;
}

std::function<std::string()>& working_dir_reader()
{
    static std::function<std::string()> reader;
    return reader;
}

// What a reader says now, or "" without one.
std::string ask(std::function<std::string()>& (*which)())
{
    std::function<std::string()> reader;
    {
        std::lock_guard lock(reader_mutex());
        reader = which();
    }
    return reader ? reader() : std::string();
}


// The resolved root that holds `path` (itself resolved), if any.
std::optional<fs::path> root_of(const fs::path& path)
{
    std::error_code ec;
    for (const auto& root : allowed_roots()) {
        fs::path r = fs::canonical(root, ec);
        if (!ec && path_within(path, r)) return r;
    }
    return std::nullopt;
}

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int release()
    {
        int f = fd;
        fd = -1;
        return f;
    }
};

std::optional<int> open_flags(const char* mode)
{
    if (!mode || !*mode) return std::nullopt;
    bool plus = std::strchr(mode, '+') != nullptr;
    switch (mode[0]) {
    case 'r': return plus ? O_RDWR : O_RDONLY;
    case 'w': return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a': return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default: return std::nullopt;
    }
}

}  // namespace

void set_archive_reader(std::function<std::string()> reader)
{
    std::lock_guard lock(reader_mutex());
    archive_reader() = std::move(reader);
}

void set_working_dir_reader(std::function<std::string()> reader)
{
    std::lock_guard lock(reader_mutex());
    working_dir_reader() = std::move(reader);
}

std::vector<std::string> allowed_roots()
{
    std::error_code ec;
    std::vector<std::string> roots{fs::current_path(ec).string()};
    std::string working = ask(working_dir_reader);
    if (!working.empty() && fs::path(working).is_absolute()) roots.push_back(working);
    roots.push_back(project_dir());
    std::string archive = ask(archive_reader);
    if (!archive.empty() && archive != "NA" && fs::path(archive).is_absolute()) roots.push_back(archive);
    return roots;
}

std::optional<std::string> confined_path(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
    std::error_code ec;
    fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec || !root_of(full)) return std::nullopt;
    return full.string();
}

namespace {

// Walks `inside` (relative, resolved) down from `root` without following links;
// the last component is left out when `stop_before_last`; missing directories are made when `create`.
// A directory descriptor or -1.
int walk(const fs::path& root, const fs::path& inside, bool stop_before_last, fs::path* last, bool create = false)
{
    Fd dir(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0) return -1;
    for (auto it = inside.begin(); it != inside.end(); ++it) {
        if (it->empty() || *it == ".") continue;
        if (*it == "..") {
            errno = EACCES;
            return -1;
        }
        if (stop_before_last && std::next(it) == inside.end()) {
            *last = *it;
            break;
        }
        if (create && ::mkdirat(dir.fd, it->c_str(), 0777) != 0 && errno != EEXIST) return -1;
        Fd sub(::openat(dir.fd, it->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sub.fd < 0) return -1;
        std::swap(dir.fd, sub.fd);
    }
    return dir.release();
}

}  // namespace

FilePtr open_confined(const std::string& path, const char* mode)
{
    auto flags = open_flags(mode);
    auto full = confined_path(path);
    if (!flags || !full) {
        errno = EACCES;
        return nullptr;
    }
    fs::path file(*full);
    fs::path root = *root_of(file);
    fs::path name;
    Fd dir(walk(root, file.lexically_relative(root), true, &name));
    if (dir.fd < 0) return nullptr;
    if (name.empty() || name == "..") {
        errno = EISDIR;
        return nullptr;
    }
    Fd fd(::openat(dir.fd, name.c_str(), *flags | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.fd < 0) return nullptr;
    FilePtr f(::fdopen(fd.fd, mode));
    if (f) fd.release();
    return f;
}

int open_confined_directory(const std::string& dir)
{
    auto full = confined_path(dir);
    if (!full) {
        errno = EACCES;
        return -1;
    }
    fs::path root = *root_of(fs::path(*full));
    return walk(root, fs::path(*full).lexically_relative(root), false, nullptr);
}

int make_confined_directory(const std::string& dir)
{
    auto full = confined_path(dir);
    if (!full) {
        errno = EACCES;
        return -1;
    }
    fs::path root = *root_of(fs::path(*full));
    return walk(root, fs::path(*full).lexically_relative(root), false, nullptr, true);
}

bool path_within(const fs::path& file, const fs::path& root)
{
    auto f = file.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++f) {
        if (r->empty()) continue;  // a trailing separator
        if (f == file.end() || *f != *r) return false;
    }
    return true;
}

}  // namespace vsys
