// The command words of odbcreg, its driver pass and data-source pass, and every text it shows.
#include "odbcreg/odbcreg.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ostream>

bool quiet_flag = false;
bool uninstall_flag = false;
bool dbase_dsn_flag = false;
bool access_dsn_flag = false;
bool dbase_driver_flag = false;
std::optional<std::string> sample_directory;
std::vector<Selection> selection_list;

namespace {

// Where this run's installer calls and texts go; set by WinMain for the run.
Installer* current_installer = nullptr;
std::ostream* result_stream = nullptr;
std::ostream* error_stream = nullptr;
bool something_not_done = false;

void reset_run_state()
{
    quiet_flag = false;
    uninstall_flag = false;
    dbase_dsn_flag = false;
    access_dsn_flag = false;
    dbase_driver_flag = false;
    sample_directory.reset();
    selection_list.clear();
    something_not_done = false;
}

// One message box of the original becomes one block of text ending in a line feed.
void show(std::ostream& stream, const std::string& text)
{
    stream << text;
    if (text.empty() || text.back() != '\n') stream << '\n';
    stream.flush();
}

void show_result(const std::string& text)
{
    if (!quiet_flag) show(*result_stream, text);
}

void show_failure(const std::string& text)
{
    something_not_done = true;
    show(*error_stream, text);
}

bool same_word(const std::string& word, std::string_view name)
{
    return strcasecmp(word.c_str(), std::string(name).c_str()) == 0;
}

// The same test as changing into the directory and back, without moving the process.
bool is_usable_directory(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string join_words(const std::vector<std::string>& words)
{
    std::string line;
    for (const auto& w : words) {
        if (!line.empty()) line += ' ';
        line += w;
    }
    return line;
}

// Reads the words into the run state; false after the refusal has been shown.
bool read_command_words(const std::vector<std::string>& words)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (same_word(word, "QUIET")) {
            quiet_flag = true;
        } else if (same_word(word, "?")) {
        } else if (same_word(word, "UNINSTALL")) {
            uninstall_flag = true;
        } else if (same_word(word, "SampConfig") || same_word(word, "AccessSampConfig")) {
            bool dbase = same_word(word, "SampConfig");
            (dbase ? dbase_dsn_flag : access_dsn_flag) = true;
            const char* parameter = dbase ? "SampConfig" : "AccessSampConfig";
            if (i + 1 >= words.size() || !is_usable_directory(words[i + 1])) {
                show(*error_stream,
                     std::string("Directory for '") + parameter + "' parameter missing or does not exist.");
                return false;
            }
            sample_directory = words[++i];
        } else if (same_word(word, "ALL")) {
            for (int index = 0; index < kDriverCount; ++index) selection_list.push_back({index});
            dbase_driver_flag = true;
        } else {
            bool known = false;
            for (int index = 0; index < kDriverCount && !known; ++index) {
                if (!same_word(word, driver_table[static_cast<std::size_t>(index)].name)) continue;
                known = true;
                selection_list.push_back({index});
                if (index == kDbaseRow) dbase_driver_flag = true;
            }
            if (!known) {
                show(*error_stream, "Driver '" + word + "', is not a known driver.\nThe paramters received were:\n  " +
                                        join_words(words));
                return false;
            }
        }
    }
    return true;
}

const char* name_of(int driver_index)
{
    return driver_table[static_cast<std::size_t>(driver_index)].name.data();
}

}  // namespace

const std::string& help_text()
{
    static const std::string text =
        "This program registers database drivers in the ODBC \n"
        "Registry keys for ODBC.INI and ODBCINST.INI.  It is used primarily\n"
        "by the DirAruvazi/ZID SQL Toolkit installation program.  You can\n"
        "also use this program to restore damaged or deleted entries in\n"
        "the ODBC.INI and ODBCINST.INI Registry keys.\n"
        "\n"
        "This program can have the following arguments: \n"
        "\n"
        "  To configure a specific driver, pass one of the following:\n"
        "      Btrieve, dBase, DB2, Excel, Excel5, FoxPro,\n"
        "      INFORMIX7, INFORMIX5, INGRES, Oracle7, Paradox,\n"
        "      SQLServer, SQLServer6, SQLBase, Sybase, Textfile\n"
        "\n"
        "  To configure all drivers:\n"
        "      ALL\n"
        "\n"
        "  To configure the 'ZID_Samples' data source:\n"
        "      SampConfig directorypath\n"
        "      AccessSampConfig directorypath\n"
        "\n"
        "  To uninstall a driver and its DSN:\n"
        "      UNINSTALL\n"
        "\n"
        "    (Note, the DSN will not be removed if its driver does not exist.)\n"
        "\n"
        "  To prevent a successful message from being displayed:\n"
        "      QUIET";
    return text;
}

int pack_attribute_list(const AttributeList& list, std::string& buffer)
{
    buffer.clear();
    for (const auto& entry : list.entries) {
        if (entry.empty()) break;
        buffer += entry;
        buffer += '\0';
    }
    buffer += '\0';
    return static_cast<int>(buffer.size());
}

int install_driver_entry(const std::string& packed_driver_list)
{
    return current_installer->install_driver(packed_driver_list) ? 0 : 1;
}

int add_data_source(const std::string& driver_description, const std::string& packed_attributes)
{
    return current_installer->add_data_source(driver_description, packed_attributes) ? 0 : 1;
}

// The data source goes by its name alone, so no directory is needed to remove it.
int remove_data_source(const std::string& driver_description, const std::string& packed_attributes)
{
    (void)driver_description;
    std::string prefix = "DSN=";
    for (std::size_t at = 0; at < packed_attributes.size();) {
        std::size_t end = packed_attributes.find('\0', at);
        if (end == std::string::npos || end == at) break;
        std::string entry = packed_attributes.substr(at, end - at);
        if (strncasecmp(entry.c_str(), prefix.c_str(), prefix.size()) == 0)
            return current_installer->remove_data_source(entry.substr(prefix.size())) ? 0 : 1;
        at = end + 1;
    }
    return 1;
}

int remove_driver_registry(const std::string& driver_description)
{
    if (driver_description.empty()) return -1;
    return current_installer->remove_driver(driver_description) ? 0 : 1;
}

int install_driver(int driver_index)
{
    driver_attribute_builders[static_cast<std::size_t>(driver_index)]();
    std::string packed;
    pack_attribute_list(driver_attributes, packed);
    return install_driver_entry(packed);
}

int uninstall_driver(int driver_index)
{
    driver_attribute_builders[static_cast<std::size_t>(driver_index)]();
    const std::string description = driver_attributes.entries.empty() ? std::string() : driver_attributes.entries[0];
    return remove_driver_registry(description);
}

void run_driver_pass()
{
    for (auto& selection : selection_list)
        selection.result = uninstall_flag ? uninstall_driver(selection.index) : install_driver(selection.index);
    if (selection_list.empty()) return;

    std::string done;
    std::string not_done;
    for (const auto& selection : selection_list)
        (selection.result == 0 ? done : not_done) += std::string("\n    ") + name_of(selection.index);
    if (!done.empty()) {
        show_result(std::string(uninstall_flag ? "The following drivers have been removed:"
                                               : "The following drivers have been installed:") +
                    done + "\n\n");
    }
    // Failures are told even when QUIET hides the results.
    if (!not_done.empty()) {
        show_failure(std::string(uninstall_flag ? "The following drivers were NOT removed:"
                                                : "The following drivers were NOT installed:") +
                     not_done);
    }
}

void run_data_source_pass()
{
    const std::string name = kSampleDataSource;
    const std::string directory = sample_directory.value_or(std::string());
    std::string packed;
    if (dbase_dsn_flag) {
        build_dbase_dsn_attributes(directory);
        pack_attribute_list(data_source_attributes, packed);
        const std::string description = dbase_driver_description();
        if (uninstall_flag) {
            if (remove_data_source(description, packed) == 0)
                show_result("The following dBase DSN has been removed:\n    " + name);
            else
                show_failure("The following DSN either does not exist or was NOT removed:\n    " + name);
        } else {
            if (add_data_source(description, packed) == 0)
                show_result("The following dBase DSN has been installed:\n    " + name);
            else
                show_failure("Unable to setup the dBase DSN " + name);
        }
    }
    if (access_dsn_flag) {
        build_access_dsn_attributes(directory);
        pack_attribute_list(data_source_attributes, packed);
        const std::string description = kAccessDriverDescription;
        if (uninstall_flag) {
            if (remove_data_source(description, packed) == 0)
                show_result("The following Microsoft Access DSN has been removed:\n    " + name);
            else
                show_failure("The following DSN either does not exist or was NOT removed:\n    " + name);
        } else {
            if (add_data_source(description, packed) == 0)
                show_result("The following Microsoft Access DSN has been installed:\n    " + name);
            else
                show_failure("Unable to setup the Microsoft Access DSN " + name);
        }
    }
}

int WinMain(const std::vector<std::string>& words, Installer& installer, std::ostream& out, std::ostream& err)
{
    reset_run_state();
    current_installer = &installer;
    result_stream = &out;
    error_stream = &err;

    if (!read_command_words(words)) return kExitRefused;
    // Removing the dBase driver also removes the sample data source that uses it.
    if (uninstall_flag && dbase_driver_flag) dbase_dsn_flag = true;
    if (selection_list.empty() && !dbase_dsn_flag && !access_dsn_flag) {
        show(err, help_text());
        return kExitRefused;
    }
    // A data source cannot be removed once its driver is gone.
    if (uninstall_flag) {
        run_data_source_pass();
        run_driver_pass();
    } else {
        run_driver_pass();
        run_data_source_pass();
    }
    return something_not_done ? kExitNotDone : kExitDone;
}
