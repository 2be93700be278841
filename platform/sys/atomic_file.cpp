// Temporary-then-rename file writer; every step asks the fault plan first.
#include "platform/sys/atomic_file.h"

#include "platform/sys/confine.h"
#include "platform/sys/format.h"
#include "platform/sys/fault_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vsys {
namespace {

// Read once: umask can only be read by setting it, which is not safe to repeat
// while other threads create files.
mode_t process_umask()
{
    static const mode_t mask = [] {
        mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return mask;
}

// The rename is durable only once the directory entry is on disk too. File
// systems that cannot sync a directory say EINVAL: nothing more can be done there.
int sync_directory(const std::string& dir, const std::string& target)
{
    if (file_fault(FileOp::sync_directory, target)) return EIO;
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return err == EINVAL ? 0 : err;
}

}  // namespace

AtomicFile::AtomicFile(std::string target, Where where) : target_(std::move(target))
{
    if (where == Where::confined) {
        open_in_folder();
        return;
    }
    // Built by appending: GCC 12 at -O3 sees a false overlap (-Wrestrict) in "." + name + suffix.
    std::string hidden = ".";
    hidden += path_filename(target_);
    hidden += ".XXXXXX";
    std::string pattern = path_join(path_directory(target_), hidden);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const bool refused = file_fault(FileOp::create, target_);
    fd_ = refused ? -1 : ::mkstemp(name.data());
    if (fd_ < 0) {
        const int error = refused ? ENOSPC : errno;
        error_ = "cannot create a temporary file for \"" + target_ + "\": " + std::strerror(error);
        failed_ = true;
        return;
    }
    temp_ = name.data();
    // Keep the permissions an ordinary new file would get.
    ::fchmod(fd_, 0666 & ~process_umask());
}

void AtomicFile::open_in_folder()
{
    const std::string dir = path_directory(target_);
    const std::string name = path_filename(target_);
    dir_fd_ = open_confined_directory(dir.empty() ? "." : dir);
    int error = dir_fd_ < 0 ? errno : 0;
    if (!error && (name.empty() || name == "." || name == "..")) error = EISDIR;
    if (!error && file_fault(FileOp::create, target_)) error = ENOSPC;
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; !error && fd_ < 0 && attempt < 100; ++attempt) {
        std::string hidden = "." + name + strprintf(".%d.%u", static_cast<int>(::getpid()), counter++);
        fd_ = ::openat(dir_fd_, hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ >= 0) temp_name_ = hidden;
        else if (errno != EEXIST) error = errno;
    }
    if (fd_ < 0) {
        error_ = "cannot create a temporary file for \"" + target_ + "\": " + std::strerror(error ? error : EEXIST);
        failed_ = true;
        return;
    }
    temp_ = path_join(dir, temp_name_);
    ::fchmod(fd_, 0666 & ~process_umask());
}

AtomicFile::~AtomicFile()
{
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) {
        if (dir_fd_ >= 0) ::unlinkat(dir_fd_, temp_name_.c_str(), 0);
        else ::unlink(temp_.c_str());
    }
    if (dir_fd_ >= 0) ::close(dir_fd_);
}

bool AtomicFile::write(const void* data, std::size_t size)
{
    if (failed_ || fd_ < 0) return false;
    bool fault = false;
    std::size_t allowed = file_write_allowance(size, target_, &fault);
    const char* p = static_cast<const char*>(data);
    std::size_t left = allowed;
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = "cannot write \"" + target_ + "\": " + std::strerror(errno);
            failed_ = true;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (fault) {
        error_ = "cannot write \"" + target_ + "\": " + std::strerror(ENOSPC);
        failed_ = true;
        return false;
    }
    return true;
}

Result AtomicFile::fail(const std::string& what, int error)
{
    failed_ = true;
    error_ = what + " \"" + target_ + "\": " + std::strerror(error);
    return Result::failure(error_);
}

Result AtomicFile::prepare()
{
    if (prepared_) return Result::success();
    if (failed_ || fd_ < 0) return Result::failure(error_.empty() ? "write failed" : error_);
    if (file_fault(FileOp::flush, target_)) return fail("cannot write", EIO);
    if (::fsync(fd_) != 0) return fail("cannot write", errno);
    const int fd = fd_;
    fd_ = -1;
    if (file_fault(FileOp::close, target_)) {
        ::close(fd);
        return fail("cannot write", EIO);
    }
    if (::close(fd) != 0) return fail("cannot write", errno);
    prepared_ = true;
    return Result::success();
}

Result AtomicFile::commit()
{
    if (Result r = prepare(); !r) return r;
    if (temp_.empty()) return Result::failure(error_.empty() ? "already committed" : error_);
    const bool refused = file_fault(FileOp::rename, target_);
    bool renamed = false;
    if (!refused)
        renamed = dir_fd_ >= 0 ? ::renameat(dir_fd_, temp_name_.c_str(), dir_fd_, path_filename(target_).c_str()) == 0
                               : ::rename(temp_.c_str(), target_.c_str()) == 0;
    if (!renamed) return fail("cannot replace", refused ? EIO : errno);
    temp_.clear();
    const int synced = dir_fd_ < 0 ? sync_directory(path_directory(target_), target_)
                       : file_fault(FileOp::sync_directory, target_) ? EIO
                       : ::fsync(dir_fd_) == 0 || errno == EINVAL ? 0 : errno;
    if (int err = synced) {
        failed_ = true;
        error_ = "cannot write \"" + target_ + "\": " + std::strerror(err);
        return Result::failure(error_);
    }
    return Result::success();
}

Result write_file_atomic(const std::string& path, const std::string& content)
{
    AtomicFile file(path);
    if (!file.is_open()) return Result::failure(file.error());
    if (!file.write(content)) return Result::failure(file.error());
    return file.commit();
}

}  // namespace vsys
