// Notes of ascending key fields, one small file per table path, written whole and renamed into place.
#include "platform/sql/order_notes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "platform/sys/dir_handle.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"

namespace vsql {
namespace {

constexpr const char* kFirstLine = "vantrel ascending fields 1";

std::string note_path(const std::string& table_path)
{
    const std::string dir = order_notes_directory();
    if (dir.empty()) return {};
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : table_path) hash = (hash ^ c) * 1099511628211ull;
    return vsys::path_join(dir, vsys::strprintf("order-%016llx", static_cast<unsigned long long>(hash)));
}

std::string identity_line(const FileSignature& s, std::size_t header_length)
{
    return vsys::strprintf("%llu %llu %llu %lld %lld %zu", static_cast<unsigned long long>(s.device),
                           static_cast<unsigned long long>(s.inode), static_cast<unsigned long long>(s.size),
                           static_cast<long long>(s.mtime_ns), static_cast<long long>(s.ctime_ns), header_length);
}

bool write_all(int fd, const std::string& bytes, const std::string& path)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (vsys::file_fault(vsys::FileOp::write, path)) return false;
        ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<std::size_t>(w);
    }
    return true;
}

// Notes of tables that are gone (deleted scratch tables, renamed folders) would only pile up: each
// new note clears them away.
void forget_gone_tables(const std::string& dir, const std::string& kept)
{
    std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(dir.c_str()), ::closedir);
    if (!folder) return;
    while (dirent* entry = ::readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name.rfind("order-", 0) != 0 || name.find('.') != std::string::npos) continue;
        const std::string note = vsys::path_join(dir, name);
        if (note == kept) continue;
        vsys::FilePtr f = vsys::open_file(note, "rb");
        char head[4096 + 64];
        const std::size_t n = f ? std::fread(head, 1, sizeof head, f.get()) : 0;
        const std::string text(head, n);
        const std::size_t first = text.find('\n'), second = first == std::string::npos ? first : text.find('\n', first + 1);
        if (second == std::string::npos || text.compare(0, first, kFirstLine) != 0) continue;
        const std::string table = text.substr(first + 1, second - first - 1);
        struct stat st {};
        if (::stat(table.c_str(), &st) != 0 && errno == ENOENT) std::remove(note.c_str());
    }
}

}  // namespace

std::string order_notes_directory()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && *cache == '/') return vsys::path_join(cache, "vantrel");
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return vsys::path_join(vsys::path_join(home, ".cache"), "vantrel");
    return {};
}

std::vector<int> noted_ascending_fields(const std::string& path, const FileSignature& signature, const std::string& header)
{
    const std::string file = note_path(path);
    if (file.empty()) return {};
    vsys::FilePtr f = vsys::open_file(file, "rb");
    if (!f) return {};
    std::string content;
    char buffer[8192];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
        content.append(buffer, n);
        if (content.size() > (1u << 20)) return {};
    }
    // Everything but the header bytes is text lines; the header is what follows the fourth line.
    std::size_t at = 0;
    std::string lines[4];
    for (std::string& line : lines) {
        const std::size_t end = content.find('\n', at);
        if (end == std::string::npos) return {};
        line = content.substr(at, end - at);
        at = end + 1;
    }
    if (lines[0] != kFirstLine || lines[1] != path || lines[2] != identity_line(signature, header.size()) ||
        content.compare(at, std::string::npos, header) != 0)
        return {};
    std::vector<int> fields;
    std::istringstream list(lines[3]);
    int field = 0;
    while (list >> field) fields.push_back(field);
    return fields;
}

void note_ascending_fields(const std::string& path, const FileSignature& signature, const std::string& header,
                           const std::vector<int>& fields)
{
    const std::string file = note_path(path);
    // A table reached through a directory handle has no lasting name to note it under.
    if (file.empty() || path.find('\n') != std::string::npos || vsys::is_handle_path(path)) return;
    // The cache folder itself may not exist yet (a new account); both are the user's alone.
    const std::string dir = order_notes_directory();
    for (const std::string& folder : {vsys::path_directory(dir), dir})
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
    std::string content = std::string(kFirstLine) + "\n" + path + "\n" + identity_line(signature, header.size()) + "\n";
    for (std::size_t i = 0; i < fields.size(); ++i) content += vsys::strprintf("%s%d", i ? " " : "", fields[i]);
    content += "\n" + header;
    // Not synced: a note lost in a crash is read again from the table; one cut short matches no file.
    const std::string temp = file + vsys::strprintf(".%d.tmp", static_cast<int>(::getpid()));
    if (vsys::file_fault(vsys::FileOp::create, file)) return;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    bool ok = write_all(fd, content, file);
    if (::close(fd) != 0 || vsys::file_fault(vsys::FileOp::close, file)) ok = false;
    if (!ok || vsys::file_fault(vsys::FileOp::rename, file) || std::rename(temp.c_str(), file.c_str()) != 0) {
        std::remove(temp.c_str());
        return;
    }
    forget_gone_tables(dir, file);
}

}  // namespace vsql
