// Reading and rewriting single keys of the INI file, line by line, keeping everything else as it was.
#include "core/ini_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/errors.h"
#include "platform/ui/userint.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"

namespace {

// One line of at most kIniLineLength characters, with its line end if it had one.
// Longer lines are read in pieces, as a fixed line buffer would.
bool read_line(std::FILE* f, std::string& line)
{
    char buffer[kIniLineLength + 2];
    if (std::fgets(buffer, sizeof buffer, f) == nullptr) return false;
    line = buffer;
    return true;
}

// The line without its line end (LF or CR LF).
std::string strip_line_end(const std::string& line)
{
    std::size_t n = line.size();
    if (n > 0 && line[n - 1] == '\n') --n;
    if (n > 0 && line[n - 1] == '\r') --n;
    return line.substr(0, n);
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string first_word(const std::string& text)
{
    std::size_t start = 0;
    while (start < text.size() && is_blank(text[start])) ++start;
    std::size_t end = start;
    while (end < text.size() && !is_blank(text[end])) ++end;
    return text.substr(start, end - start);
}

// Key name: the characters up to the first blank or '=' (leading blanks are part of it).
std::string key_name(const std::string& text)
{
    std::size_t end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '=') ++end;
    return text.substr(0, end);
}

// Value: everything after the first run of blanks and '=' that follows the key name.
std::string key_value(const std::string& text)
{
    std::size_t p = key_name(text).size();
    while (p < text.size() && (text[p] == ' ' || text[p] == '=')) ++p;
    return text.substr(p);
}

void copy_value(char* value, const std::string& text)
{
    std::size_t n = text.size() < static_cast<std::size_t>(kIniLineLength) ? text.size() : kIniLineLength;
    std::memcpy(value, text.data(), n);
    value[n] = '\0';
}

}  // namespace

std::string ini_directory()
{
    std::string program = vsys::project_dir();
    if (::access(program.c_str(), W_OK) == 0) return program;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string base = (xdg && *xdg) ? xdg : vsys::path_join(home ? home : "/tmp", ".config");
    // A directory that cannot be made shows as a failure to write the INI file itself.
    static_cast<void>(vsys::ensure_directory(base));
    std::string dir = vsys::path_join(base, "vantrel");
    static_cast<void>(vsys::ensure_directory(dir));
    return dir;
}

void read_rite_ini(const char* file, short mode, const char* section, const char* key, char* value)
{
    const std::string dir = ini_directory();
    const std::string path = vsys::path_join(dir, file);
    const std::string key_line = vsys::strprintf("%s = %s\n", key, mode == 1 ? value : "");

    std::string out;  // the rewritten file (mode 1)
    bool in_section = false, key_found = false, section_seen = false;

    if (vsys::FilePtr in = vsys::open_file(path, "r")) {
        std::string raw;
        while (read_line(in.get(), raw)) {
            std::string line = raw;
            std::string text = strip_line_end(raw);
            std::string word = first_word(text);
            if (!word.empty() && word[0] == ';') {
                if (mode == 1) out += line;
                continue;
            }
            if (word.empty() || word[0] == '[') {
                if (mode == 1 && in_section && !key_found) {
                    out += key_line;
                    key_found = true;
                }
                in_section = false;
            }
            if (word == section) {
                in_section = true;
                section_seen = true;
            }
            bool found_here = false;
            if (in_section && key_name(text) == key) {
                key_found = true;
                found_here = true;
                if (mode == 0)
                    copy_value(value, key_value(text));
                else
                    line = key_line;
            }
            if (mode == 0 && found_here) return;
            if (mode == 1) out += line;
        }
    }

    if (mode == 1) {
        // A last line without its line end must not run into what is appended.
        if (!out.empty() && out.back() != '\n' && (!section_seen || !key_found)) out += '\n';
        if (!section_seen)
            out += vsys::strprintf("\n%s\n%s = %s\n", section, key, value);
        else if (!key_found)
            out += key_line;
        // Written beside the INI file and renamed over it: a failed write
        // leaves the old file whole.
        vsys::AtomicFile temp(path);
        if (!temp.is_open() || !temp.write(out) || !temp.commit()) {
            std::string title = vsys::path_join(dir, "TEMP.INI");
            MessagePopup(title.c_str(), "Unable to open INI file.");
        }
        return;
    }
    value[0] = static_cast<char>(kIniMissing);
}

int get_working_directory(std::string* path)
{
    path->clear();
    char value[kIniValueSize];
    read_rite_ini("VANTREL.INI", 0, "[VANTREL]", "DIR", value);
    if (static_cast<unsigned char>(value[0]) == kIniMissing) {
        vsys::format_into(value, sizeof value, "%s", vsys::project_dir().c_str());
        read_rite_ini("VANTREL.INI", 1, "[VANTREL]", "DIR", value);
    }
    std::string dir = value;
    // Only an absolute path names a place; "C:\\..." from an old INI does not.
    if (dir.empty() || dir[0] != '/') {
        EXIT_NOW("Invalid working directory.");
        return 0;
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    for (std::size_t slash = dir.find('/', 1); ; slash = dir.find('/', slash + 1)) {
        std::string part = slash == std::string::npos ? dir : dir.substr(0, slash);
        if (!vsys::directory_exists(part) && !vsys::make_directory(part)) {
            EXIT_NOW("Could not create working directory.");
            return 0;
        }
        if (slash == std::string::npos) break;
    }
    if (::chdir(dir.c_str()) != 0) {
        EXIT_NOW("Could not create working directory.");
        return 0;
    }
    for (const char* sub : {"SC_DATA", "Setup"}) {
        std::string p = vsys::path_join(dir, sub);
        if (!vsys::ensure_directory(p)) {
            EXIT_NOW("Could not create working directory.");
            return 0;
        }
    }
    *path = dir;
    return 1;
}
