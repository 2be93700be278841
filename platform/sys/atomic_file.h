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
    // `confined`: for a path the operator typed. The folder is opened only inside the
    // working, program and archive directories (see confine.h) and the file is made
    // and renamed through that folder's handle, so no link swapped in meanwhile leads out.
    enum class Where { anywhere, confined };
    explicit AtomicFile(std::string target, Where where = Where::anywhere);
    ~AtomicFile();  // without commit() the temporary is removed and the target is untouched
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool is_open() const { return fd_ >= 0; }
    bool write(const void* data, std::size_t size);
    bool write(const std::string& text) { return write(text.data(), text.size()); }
    // Flushes to disk and closes: everything that can fail but the rename.
    // Writers of several files prepare them all before committing any.
    Result prepare();
    // Prepares (when not done yet) and renames over the target.
    Result commit();
    // The temporary file being written; "" once committed or when none could be made.
    const std::string& temp_path() const { return temp_; }
    const std::string& error() const { return error_; }

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    int dir_fd_ = -1;         // confined: the target's folder
    std::string temp_name_;   // confined: the temporary's name in it
    bool failed_ = false;
    bool prepared_ = false;
    std::string error_;
    Result fail(const std::string& what, int error);
    void open_in_folder();
};

// Writes the whole content in one go through an AtomicFile.
Result write_file_atomic(const std::string& path, const std::string& content);

}  // namespace vsys
