// File and directory operations over POSIX calls.
#include "platform/sys/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include "platform/sys/atomic_file.h"

namespace vsys {
namespace {

std::string errno_text(const std::string& what, const std::string& path)
{
    return what + " \"" + path + "\": " + std::strerror(errno);
}

std::mutex& project_dir_mutex()
{
    static std::mutex m;
    return m;
}

std::string& project_dir_override()
{
    static std::string dir;
    return dir;
}

}  // namespace

std::string path_join(const std::string& directory, const std::string& name)
{
    if (directory.empty()) return name;
    if (name.empty()) return directory;
    bool dir_slash = directory.back() == '/';
    bool name_slash = name.front() == '/';
    if (dir_slash && name_slash) return directory + name.substr(1);
    if (dir_slash || name_slash) return directory + name;
    return directory + "/" + name;
}

std::string path_directory(const std::string& path)
{
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string path_filename(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool file_exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directory_exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::uint64_t> file_size(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::uint64_t> free_disk_space(const std::string& path)
{
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(vfs.f_bavail) * static_cast<std::uint64_t>(vfs.f_frsize);
}

Result delete_file(const std::string& path)
{
    if (::unlink(path.c_str()) != 0) return Result::failure(errno_text("cannot delete", path));
    return Result::success();
}

Result delete_file_if_present(const std::string& path)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Result::failure(errno_text("cannot delete", path));
    return Result::success();
}

Result rename_replace(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return Result::failure(errno_text("cannot rename \"" + from + "\" to", to));
    return Result::success();
}

Result copy_file(const std::string& from, const std::string& to)
{
    FilePtr in = open_file(from, "rb");
    if (!in) return Result::failure(errno_text("cannot open", from));
    AtomicFile out(to);
    if (!out.is_open()) return Result::failure(out.error());
    char block[65536];
    for (;;) {
        std::size_t n = std::fread(block, 1, sizeof block, in.get());
        if (n > 0 && !out.write(block, n)) return Result::failure(out.error());
        if (n < sizeof block) {
            if (std::ferror(in.get())) return Result::failure(errno_text("cannot read", from));
            break;
        }
    }
    return out.commit();
}

Result make_directory(const std::string& path)
{
    if (::mkdir(path.c_str(), 0777) != 0) return Result::failure(errno_text("cannot create directory", path));
    return Result::success();
}

Result ensure_directory(const std::string& path)
{
    if (directory_exists(path)) return Result::success();
    return make_directory(path);
}

std::optional<std::string> find_file_nocase(const std::string& directory, const std::string& name)
{
    std::string exact = path_join(directory, name);
    struct stat st {};
    if (::stat(exact.c_str(), &st) == 0) return exact;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.empty() ? "." : directory.c_str()), ::closedir);
    if (!dir) return std::nullopt;
    while (dirent* entry = ::readdir(dir.get())) {
        if (::strcasecmp(entry->d_name, name.c_str()) == 0) return path_join(directory, entry->d_name);
    }
    return std::nullopt;
}

std::string project_dir()
{
    {
        std::lock_guard lock(project_dir_mutex());
        if (!project_dir_override().empty()) return project_dir_override();
    }
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    buffer[n] = '\0';
    return path_directory(buffer);
}

void set_project_dir_override(const std::string& directory)
{
    std::lock_guard lock(project_dir_mutex());
    project_dir_override() = directory;
}

void FileCloser::operator()(std::FILE* f) const noexcept
{
    if (f) std::fclose(f);
}

FilePtr open_file(const std::string& path, const char* mode) { return FilePtr(std::fopen(path.c_str(), mode)); }

}  // namespace vsys

int GetProjectDir(char* buffer, std::size_t size)
{
    if (buffer == nullptr || size == 0) return -1;
    std::string dir = vsys::project_dir();
    if (dir.size() + 1 > size) {
        buffer[0] = '\0';
        return -1;
    }
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return 0;
}

int MakeDir(const char* path)
{
    if (path == nullptr) return -1;
    if (::mkdir(path, 0777) == 0) return 0;
    return errno == EEXIST ? -9 : -1;
}
