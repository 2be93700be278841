// The files of a table directory found ignoring case, without reading the directory for every statement.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace vsql {

class DirectoryNames {
public:
    // The file's path when the directory holds `name` in any case.
    std::optional<std::string> find(const std::string& directory, const std::string& name);
    // Creates the file through `create` (which returns whether it did); the names read before stay
    // valid when nothing else changed the directory since they were read.
    template <typename Create>
    bool add(const std::string& directory, const std::string& name, Create create)
    {
        const auto before = stamp_of(directory);
        const bool created = create();
        note_added(directory, name, before, created);
        return created;
    }

private:
    struct Stamp {
        std::uint64_t device = 0, inode = 0;
        std::int64_t mtime_ns = 0, ctime_ns = 0;
        bool operator==(const Stamp&) const = default;
    };
    static std::optional<Stamp> stamp_of(const std::string& directory);
    void note_added(const std::string& directory, const std::string& name, const std::optional<Stamp>& before, bool created);

    std::string directory_;
    std::optional<Stamp> stamp_;                         // of the directory when `names_` were read
    std::unordered_map<std::string, std::string> names_;  // upper case -> as stored
};

}  // namespace vsql
