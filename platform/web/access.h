// Who may reach the browser view and what it may read: listening addresses, the access token, confined paths.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/sys/files.h"

namespace vweb {

struct ListenAddress {
    std::string host;  // numeric IPv4 or IPv6 address ("localhost" becomes 127.0.0.1)
    int port = 8080;   // 0: any free port
    bool loopback() const;
    // As civetweb's listening_ports option wants it: "127.0.0.1:8080", "[::1]:8080".
    std::string civetweb_port() const;
    // As a browser address: "http://127.0.0.1:8080/".
    std::string url(int actual_port) const;
};

// Reads "host:port", "[v6]:port", "host" or "port"; nothing when unreadable.
std::optional<ListenAddress> parse_listen_address(const std::string& text);

// Equal texts, compared in a time that does not depend on where they differ.
bool same_token(const std::string& given, const std::string& expected);

// Whether a request's Host header names this machine by address or as
// "localhost": a page of another site that had its name resolve to 127.0.0.1
// (DNS rebinding) then cannot reach a server without a token.
bool host_is_local_name(const std::string& host_header);

// The file a request names, when it lies inside one of `roots`: no ".."
// component, relative names taken from the first root, symbolic links
// resolved before the check, and only regular files. Nothing otherwise.
std::optional<std::string> confined_file(const std::string& requested, const std::vector<std::string>& roots);

// Opens a path confined_file gave (or a directory, for open_checked_directory) by walking down from
// the root that holds it, one component at a time without following links: a link swapped in
// after the check leads nowhere. Nothing (or -1) otherwise.
vsys::FilePtr open_checked_file(const std::string& checked, const std::vector<std::string>& roots);
int open_checked_directory(const std::string& checked, const std::vector<std::string>& roots);

// Content type by file extension (case-insensitive).
std::string content_type_of(const std::string& path);

}  // namespace vweb
