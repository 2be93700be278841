// Writes a file through a temporary beside it and renames it into place, so readers never see half a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/sys/files.h"

namespace vsys {

class AtomicFile {
public:
    explicit AtomicFile(std::string target);
    ~AtomicFile();  // without commit() the temporary is removed and the target is untouched
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool is_open() const { return fd_ >= 0; }
    bool write(const void* data, std::size_t size);
    bool write(const std::string& text) { return write(text.data(), text.size()); }
    // Flushes to disk and renames over the target.
    Result commit();
    const std::string& error() const { return error_; }

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool failed_ = false;
    std::string error_;
};

// Writes the whole content in one go through an AtomicFile.
Result write_file_atomic(const std::string& path, const std::string& content);

// --- fault injection for tests ----------------------------------------------
// The next writes through AtomicFile (and every helper built on it) fail as a
// full disk would: after `bytes_allowed` more bytes, or at commit when
// `fail_at_commit` is set; `fail_at_directory_sync` fails the sync of the
// directory after the rename. Cleared by clear_write_fault().
struct WriteFault {
    std::uint64_t bytes_allowed = 0;
    bool fail_at_commit = false;
    bool fail_at_directory_sync = false;
};
void inject_write_fault(const WriteFault& fault);
void clear_write_fault();

}  // namespace vsys
