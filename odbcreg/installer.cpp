// odbcreg's installer over unixODBC: writes through the installer's own calls and reads every change back before calling it done.
#include "odbcreg/installer.h"

#include <fcntl.h>
#include <odbcinst.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr const char* kDriversFile = "odbcinst.ini";
constexpr const char* kDataSourcesFile = "odbc.ini";

// Sets the installer's configuration mode for one scope and gives the old one back.
class ConfigMode {
public:
    explicit ConfigMode(UWORD mode)
    {
        restore_ = SQLGetConfigMode(&previous_) != 0;
        SQLSetConfigMode(mode);
    }
    ~ConfigMode()
    {
        if (restore_) SQLSetConfigMode(previous_);
    }
    ConfigMode(const ConfigMode&) = delete;
    ConfigMode& operator=(const ConfigMode&) = delete;

private:
    UWORD previous_ = ODBC_BOTH_DSN;
    bool restore_ = false;
};

// One profile read into a buffer that grows until the answer fits.
std::optional<std::string> read_profile(const char* section, const char* key, const char* file)
{
    std::vector<char> buffer(4096);
    for (;;) {
        int n = SQLGetPrivateProfileString(section, key, "", buffer.data(), static_cast<int>(buffer.size()), file);
        if (n < 0) return std::nullopt;
        if (static_cast<std::size_t>(n) + 2 < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
        if (buffer.size() >= (std::size_t{1} << 26)) return std::nullopt;
        buffer.resize(buffer.size() * 4);
    }
}

// A NUL-separated list from the installer (sections of a file, keys of a section).
std::vector<std::string> read_names(const char* section, const char* file)
{
    std::vector<std::string> names;
    auto text = read_profile(section, nullptr, file);
    if (!text) return names;
    std::size_t at = 0;
    while (at < text->size()) {
        std::size_t end = text->find('\0', at);
        if (end == std::string::npos) end = text->size();
        if (end == at) break;
        names.push_back(text->substr(at, end - at));
        at = end + 1;
    }
    return names;
}

bool contains_name(const std::vector<std::string>& names, const std::string& name)
{
    for (const auto& n : names)
        if (strcasecmp(n.c_str(), name.c_str()) == 0) return true;
    return false;
}

// Splits a packed list (entries ended by NUL, a final NUL) into its entries.
std::vector<std::string> unpack(const std::string& packed)
{
    std::vector<std::string> entries;
    std::size_t at = 0;
    while (at < packed.size()) {
        std::size_t end = packed.find('\0', at);
        if (end == std::string::npos) end = packed.size();
        if (end == at) break;
        entries.push_back(packed.substr(at, end - at));
        at = end + 1;
    }
    return entries;
}

struct KeyValue {
    std::string key;
    std::string value;
};

std::optional<KeyValue> split_entry(const std::string& entry)
{
    std::size_t eq = entry.find('=');
    if (eq == std::string::npos || eq == 0) return std::nullopt;
    return KeyValue{entry.substr(0, eq), entry.substr(eq + 1)};
}

// unixODBC keeps an ini line in 1000 characters and overruns its buffers past
// that; a line break would end the line early and could start a section of its own.
constexpr std::size_t kLongestIniLine = 999;

bool fits_one_line(const std::string& text)
{
    return text.size() <= kLongestIniLine && text.find_first_of("\r\n") == std::string::npos;
}

// unixODBC refuses a system data source while the system odbc.ini is missing.
bool ensure_system_data_source_file()
{
    const char* dir = std::getenv("ODBCSYSINI");
    std::string path = std::string(dir ? dir : "/etc") + "/" + kDataSourcesFile;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    return ::close(fd) == 0;
}

// Every keyword of the section reads back with the value it was given.
bool section_holds(const std::string& section, const std::vector<KeyValue>& values, const char* file)
{
    std::vector<std::string> keys = read_names(section.c_str(), file);
    for (const auto& kv : values) {
        if (!contains_name(keys, kv.key)) return false;
        auto value = read_profile(section.c_str(), kv.key.c_str(), file);
        if (!value || *value != kv.value) return false;
    }
    return true;
}

class UnixOdbcInstaller final : public Installer {
public:
    explicit UnixOdbcInstaller(const InstallerCalls& calls) : calls_(calls) {}

    bool install_driver(const std::string& packed) override
    {
        std::vector<std::string> entries = unpack(packed);
        if (entries.empty() || !fits_one_line(entries[0])) return false;
        std::vector<KeyValue> values;
        for (std::size_t i = 1; i < entries.size(); ++i) {
            auto kv = split_entry(entries[i]);
            if (!kv || !fits_one_line(entries[i])) return false;
            values.push_back(std::move(*kv));
        }
        if (!calls_.install_driver_ex(packed.c_str())) return false;
        return section_holds(entries[0], values, kDriversFile);
    }

    bool remove_driver(const std::string& description) override
    {
        if (!fits_one_line(description)) return false;
        if (!calls_.write_private_profile_string(description.c_str(), nullptr, nullptr, kDriversFile)) return false;
        return !contains_name(read_names(nullptr, kDriversFile), description);
    }

    bool add_data_source(const std::string& description, const std::string& packed) override
    {
        std::string name;
        std::vector<KeyValue> values;
        for (const auto& entry : unpack(packed)) {
            auto kv = split_entry(entry);
            if (!kv || !fits_one_line(entry)) return false;
            if (strcasecmp(kv->key.c_str(), "DSN") == 0)
                name = kv->value;
            else
                values.push_back(std::move(*kv));
        }
        if (name.empty() || !fits_one_line(description) || !fits_one_line("Driver=" + description)) return false;
        if (!ensure_system_data_source_file()) return false;
        ConfigMode system(ODBC_SYSTEM_DSN);
        bool written = calls_.write_dsn_to_ini(name.c_str(), description.c_str()) != 0;
        for (std::size_t i = 0; written && i < values.size(); ++i)
            written = calls_.write_private_profile_string(name.c_str(), values[i].key.c_str(), values[i].value.c_str(),
                                                          kDataSourcesFile) != 0;
        if (written) {
            values.push_back({"Driver", description});
            written = section_holds(name, values, kDataSourcesFile);
        }
        // A data source with only some of its keywords would open the wrong way: take it away whole.
        if (!written) calls_.remove_dsn_from_ini(name.c_str());
        return written;
    }

    bool remove_data_source(const std::string& name) override
    {
        if (!fits_one_line(name)) return false;
        ConfigMode system(ODBC_SYSTEM_DSN);
        if (!contains_name(read_names(nullptr, kDataSourcesFile), name)) return false;
        if (!calls_.remove_dsn_from_ini(name.c_str())) return false;
        return !contains_name(read_names(nullptr, kDataSourcesFile), name);
    }

private:
    InstallerCalls calls_;
};

}  // namespace

InstallerCalls unixodbc_calls()
{
    InstallerCalls calls{};
    calls.install_driver_ex = [](const char* packed_driver) -> int {
        // The path reply is not used; the driver files are named as they stand.
        std::vector<char> path(PATH_MAX);
        WORD length = 0;
        DWORD usage = 0;
        return SQLInstallDriverEx(packed_driver, nullptr, path.data(), static_cast<WORD>(path.size()), &length,
                                  ODBC_INSTALL_COMPLETE, &usage);
    };
    calls.write_dsn_to_ini = [](const char* dsn, const char* driver) -> int { return SQLWriteDSNToIni(dsn, driver); };
    calls.write_private_profile_string = [](const char* section, const char* key, const char* value,
                                            const char* file) -> int {
        return SQLWritePrivateProfileString(section, key, value, file);
    };
    calls.remove_dsn_from_ini = [](const char* dsn) -> int { return SQLRemoveDSNFromIni(dsn); };
    return calls;
}

std::unique_ptr<Installer> make_unixodbc_installer(const InstallerCalls& calls)
{
    return std::make_unique<UnixOdbcInstaller>(calls);
}
