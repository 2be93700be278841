// Directory names read once and kept while the directory's change stamp stays the same.
#include "platform/sql/dir_names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <memory>

#include "platform/sys/files.h"

namespace vsql {
namespace {

std::string upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::optional<DirectoryNames::Stamp> DirectoryNames::stamp_of(const std::string& directory)
{
    struct stat st {};
    if (::stat(directory.c_str(), &st) != 0) return std::nullopt;
    Stamp s;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.ctime_ns = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

std::optional<std::string> DirectoryNames::find(const std::string& directory, const std::string& name)
{
    const std::string exact = vsys::path_join(directory, name);
    struct stat st {};
    if (::stat(exact.c_str(), &st) == 0) return exact;
    const auto now = stamp_of(directory);
    if (!now) return std::nullopt;
    if (directory != directory_ || !stamp_ || !(*stamp_ == *now)) {
        // Stamped before reading: a change while it is read makes the next look-up read it again.
        names_.clear();
        stamp_.reset();
        directory_ = directory;
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
        if (!dir) return std::nullopt;
        while (dirent* entry = ::readdir(dir.get())) names_.emplace(upper(entry->d_name), entry->d_name);
        stamp_ = now;
    }
    auto it = names_.find(upper(name));
    if (it == names_.end()) return std::nullopt;
    // Gone since it was read (the stamp of some file systems is coarse): not there.
    std::string path = vsys::path_join(directory, it->second);
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return path;
}

void DirectoryNames::note_added(const std::string& directory, const std::string& name, const std::optional<Stamp>& before,
                                bool created)
{
    // Only when nobody else changed the directory since it was read is the one new name all that changed.
    if (!created || directory != directory_ || !stamp_ || !before || !(*before == *stamp_)) {
        stamp_.reset();
        return;
    }
    stamp_ = stamp_of(directory);
    names_.emplace(upper(name), name);
}

}  // namespace vsql
