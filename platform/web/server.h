// The embedded HTTP + WebSocket server of the browser view: front end, model mirror, user input, documents.
//
// Pages connect to /ws and receive the model's snapshot, then every change
// (strip-chart blocks thinned to a minimum and a maximum per pixel column, paced
// to the page: after a strip frame the next one waits until the page sends
// {"op": "frame"}, having drawn it, and holds at most a screen of columns).
// What a page does comes back as JSON actions posted to the UI thread. Several
// pages may watch; the first one that acts is the user, the others only watch
// until it goes away.
//
// Routes: / and the front-end files; /doc?path=P (a document the program
// opened, read-only, only inside the document roots); /ws (the mirror).
// With a token every request needs it: ?token=T once (the page then keeps it
// in a cookie) or the cookie itself. Without one, requests must name the host
// by address or as localhost, and WebSocket pages must come from this server.
// Careless and hostile clients are bounded: a frame is judged by its header
// before its payload is read; connections that hold a thread (a request not
// whole, a kept-alive one waiting for its next, an answer the client does not
// take) are shut oldest first beyond a bound; a page asked to leave is dropped
// if it stays; work waiting for the UI thread is bounded in number and bytes
// (pages that only watch may fill half of it);
// answers waiting for pages are bounded per page and in all, and a page is not
// read while its answers wait. The page that operates is told a seat; its
// reload shows it (/ws?seat=S) and gets its place back before other pages.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/web/access.h"

namespace vweb {

struct Options {
    ListenAddress address;
    std::string token;                        // required whenever not empty
    std::string web_root;                     // the front-end files
    // The working directory first, then the program directory; empty: the current
    // directory and the program directory at each request (start-up changes into
    // the working directory after the server starts).
    std::vector<std::string> document_roots;
    std::string title = "Vantrel";            // the browser tab's title
};

class Server {
public:
    // Starts listening; nothing and `error` set when it cannot (address in use,
    // an address off loopback without a token, no front end). Call on the UI
    // thread, and destroy it there too (it leaves the change stream).
    static std::unique_ptr<Server> start(const Options& options, std::string& error);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    int port() const;
    // The address to open in a browser (with the token when one is needed).
    std::string url() const;

    struct State;

private:
    Server() = default;
    std::shared_ptr<State> state_;
};

}  // namespace vweb
