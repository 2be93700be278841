// Listening addresses, token comparison and confinement of served paths.
#include "platform/web/access.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/sys/confine.h"
#include "platform/sys/format.h"

namespace fs = std::filesystem;

namespace vweb {

namespace {

bool read_port(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    port = std::stoi(text);
    return port <= 65535;
}

bool is_ipv4(const std::string& host)
{
    in_addr a{};
    return inet_pton(AF_INET, host.c_str(), &a) == 1;
}

bool is_ipv6(const std::string& host)
{
    in6_addr a{};
    return inet_pton(AF_INET6, host.c_str(), &a) == 1;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}


}  // namespace

bool ListenAddress::loopback() const
{
    if (host == "::1") return true;
    return is_ipv4(host) && host.rfind("127.", 0) == 0;
}

std::string ListenAddress::civetweb_port() const
{
    if (host.find(':') != std::string::npos) return vsys::strprintf("[%s]:%d", host.c_str(), port);
    return vsys::strprintf("%s:%d", host.c_str(), port);
}

std::string ListenAddress::url(int actual_port) const
{
    std::string shown = host == "0.0.0.0" ? "127.0.0.1" : host == "::" ? "::1" : host;
    if (shown.find(':') != std::string::npos) return vsys::strprintf("http://[%s]:%d/", shown.c_str(), actual_port);
    return vsys::strprintf("http://%s:%d/", shown.c_str(), actual_port);
}

std::optional<ListenAddress> parse_listen_address(const std::string& text)
{
    ListenAddress a;
    a.host = "127.0.0.1";
    if (text.empty()) return std::nullopt;
    std::string host, port;
    if (text.front() == '[') {
        auto close = text.find(']');
        if (close == std::string::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') return std::nullopt;
            port = text.substr(close + 2);
            if (port.empty()) return std::nullopt;
        }
        if (!is_ipv6(host)) return std::nullopt;
    } else if (auto colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.find(':') != std::string::npos || port.empty()) return std::nullopt;
    } else if (std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        port = text;
    } else {
        host = text;
    }
    if (!host.empty()) {
        if (lower(host) == "localhost") host = "127.0.0.1";
        if (!is_ipv4(host) && !is_ipv6(host)) return std::nullopt;
        a.host = host;
    }
    if (!port.empty() && !read_port(port, a.port)) return std::nullopt;
    return a;
}

bool host_is_local_name(const std::string& host_header)
{
    std::string host = host_header;
    if (!host.empty() && host.front() == '[') {
        auto close = host.find(']');
        if (close == std::string::npos) return false;
        host = host.substr(1, close - 1);
    } else if (auto colon = host.rfind(':'); colon != std::string::npos) {
        host = host.substr(0, colon);
    }
    return lower(host) == "localhost" || is_ipv4(host) || is_ipv6(host);
}

bool same_token(const std::string& given, const std::string& expected)
{
    if (expected.empty()) return false;
    unsigned diff = given.size() == expected.size() ? 0u : 1u;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        char g = i < given.size() ? given[i] : '\0';
        diff |= static_cast<unsigned>(static_cast<unsigned char>(g) ^ static_cast<unsigned char>(expected[i]));
    }
    return diff == 0;
}

std::optional<std::string> confined_file(const std::string& requested, const std::vector<std::string>& roots)
{
    if (requested.empty() || roots.empty() || requested.find('\0') != std::string::npos) return std::nullopt;
    fs::path asked(requested);
    for (const auto& part : asked)
        if (part == "..") return std::nullopt;
    std::error_code ec;
    fs::path full = asked.is_absolute() ? asked : fs::path(roots.front()) / asked;
    fs::path real = fs::canonical(full, ec);
    if (ec || !fs::is_regular_file(real, ec)) return std::nullopt;
    for (const auto& root : roots) {
        fs::path r = fs::canonical(root, ec);
        if (ec) continue;
        if (vsys::path_within(real, r)) return real.string();
    }
    return std::nullopt;
}

namespace {

// The directory `dir` (resolved, inside one of `roots`) walked down from its root without following links; -1 when not.
int walk_to(const fs::path& dir, const std::vector<std::string>& roots)
{
    std::error_code ec;
    for (const auto& root : roots) {
        fs::path r = fs::canonical(root, ec);
        if (ec || !vsys::path_within(dir, r)) continue;
        int fd = ::open(r.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (const auto& part : dir.lexically_relative(r)) {
            if (fd < 0) break;
            if (part.empty() || part == ".") continue;
            int sub = part == ".." ? -1 : ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            ::close(fd);
            fd = sub;
        }
        return fd;
    }
    errno = EACCES;
    return -1;
}

}  // namespace

vsys::FilePtr open_checked_file(const std::string& checked, const std::vector<std::string>& roots)
{
    const fs::path file(checked);
    if (!file.is_absolute() || !file.has_filename()) return nullptr;
    const int dir = walk_to(file.parent_path(), roots);
    if (dir < 0) return nullptr;
    // Opened without waiting: a FIFO or device swapped in after the check would otherwise hold the thread.
    const int fd = ::openat(dir, file.filename().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    ::close(dir);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    vsys::FilePtr f(::fdopen(fd, "rb"));
    if (!f) ::close(fd);
    return f;
}

int open_checked_directory(const std::string& checked, const std::vector<std::string>& roots)
{
    const fs::path dir(checked);
    return dir.is_absolute() ? walk_to(dir, roots) : -1;
}

std::string content_type_of(const std::string& path)
{
    std::string ext = lower(fs::path(path).extension().string());
    if (ext == ".html" || ext == ".htm") return "text/html; charset=utf-8";
    if (ext == ".js" || ext == ".mjs") return "text/javascript; charset=utf-8";
    if (ext == ".css") return "text/css; charset=utf-8";
    if (ext == ".json") return "application/json";
    if (ext == ".pdf") return "application/pdf";
    if (ext == ".png") return "image/png";
    if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
    if (ext == ".gif") return "image/gif";
    if (ext == ".svg") return "image/svg+xml";
    if (ext == ".ico") return "image/x-icon";
    if (ext == ".txt" || ext == ".tmp" || ext == ".log" || ext == ".csv" || ext == ".ini" || ext == ".dat") return "text/plain; charset=utf-8";
    return "application/octet-stream";
}

}  // namespace vweb
