// The running server's HTTP side: front-end files, the document route and the access token.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/ui/ui_loop.h"
#include "platform/web/server.h"
#include "tests/support/temp_dir.h"
#include "tests/web/raw_client.h"

namespace {

struct Reply {
    int status = 0;
    std::string head, body;
};

// One plain HTTP/1.1 request to 127.0.0.1, bounded by a receive timeout.
Reply get(int port, const std::string& target, const std::string& headers = "", const std::string& host = "127.0.0.1")
{
    Reply r;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return r;
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::string req = "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n" + headers + "\r\n";
        ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
        std::string all;
        char buf[4096];
        ssize_t n = 0;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) all.append(buf, static_cast<std::size_t>(n));
        auto split = all.find("\r\n\r\n");
        r.head = all.substr(0, split);
        r.body = split == std::string::npos ? "" : all.substr(split + 4);
        if (all.size() > 12) r.status = std::atoi(all.c_str() + 9);
    }
    ::close(fd);
    return r;
}

class ServerTest : public ::testing::Test {
protected:
    ServerTest()
    {
        web.write("index.html", "<!doctype html><title>Vantrel</title>");
        web.write("app.js", "export {};");
        work.write("ACTIVITY.TXT", "Run 12 started\n");
        outside.write("secret.txt", "no");
    }
    ~ServerTest() override { vui::reset_ui(); }

    std::unique_ptr<vweb::Server> start(const std::string& address, const std::string& token, std::string& error)
    {
        vweb::Options o;
        o.address = *vweb::parse_listen_address(address);
        o.token = token;
        o.web_root = web.path();
        o.document_roots = {work.path(), program.path()};
        return vweb::Server::start(o, error);
    }

    vtest::TempDir web, work, program, outside;
};

TEST_F(ServerTest, ServesTheFrontEndAndDocumentsInsideTheRootsOnly)
{
    std::string error;
    auto server = start("127.0.0.1:0", "", error);
    ASSERT_TRUE(server) << error;
    int port = server->port();
    EXPECT_GT(port, 0);
    EXPECT_EQ(server->url(), "http://127.0.0.1:" + std::to_string(port) + "/");

    Reply index = get(port, "/");
    EXPECT_EQ(index.status, 200);
    EXPECT_NE(index.body.find("<title>Vantrel</title>"), std::string::npos);
    EXPECT_NE(get(port, "/app.js").head.find("text/javascript"), std::string::npos);
    EXPECT_EQ(get(port, "/missing.js").status, 404);

    Reply doc = get(port, "/doc?path=ACTIVITY.TXT");
    EXPECT_EQ(doc.status, 200);
    EXPECT_EQ(doc.body, "Run 12 started\n");
    EXPECT_NE(doc.head.find("Content-Security-Policy: sandbox"), std::string::npos);
    for (std::string refused : {"/doc?path=" + outside.file("secret.txt"), std::string("/doc?path=..%2FACTIVITY.TXT"),
                                std::string("/doc?path=%2Fetc%2Fpasswd"), std::string("/doc")})
        EXPECT_EQ(get(port, refused).status, 403) << refused;
    // A page of another site whose name was made to resolve here gets nothing.
    EXPECT_EQ(get(port, "/", "", "evil.example:" + std::to_string(port)).status, 403);
    EXPECT_EQ(get(port, "/doc?path=ACTIVITY.TXT", "", "evil.example").status, 403);
    EXPECT_EQ(get(port, "/", "", "localhost:" + std::to_string(port)).status, 200);
}

TEST_F(ServerTest, WithoutFixedRootsDocumentsFollowTheWorkingDirectory)
{
    std::string error;
    vweb::Options o;
    o.address = *vweb::parse_listen_address("127.0.0.1:0");
    o.web_root = web.path();
    auto server = vweb::Server::start(o, error);
    ASSERT_TRUE(server) << error;
    auto before = std::filesystem::current_path();
    // Start-up moves into the working directory after the server is up.
    std::filesystem::current_path(work.path());
    EXPECT_EQ(get(server->port(), "/doc?path=ACTIVITY.TXT").status, 200);
    std::filesystem::current_path(outside.path());
    EXPECT_EQ(get(server->port(), "/doc?path=" + work.file("ACTIVITY.TXT")).status, 403);
    std::filesystem::current_path(before);
}

TEST_F(ServerTest, OffLoopbackEveryRequestNeedsTheToken)
{
    std::string error;
    EXPECT_FALSE(start("0.0.0.0:0", "", error));
    EXPECT_NE(error.find("--token"), std::string::npos) << error;
    EXPECT_FALSE(start("127.0.0.1:0", "bad token;", error));
    // Off this machine a short token is refused, whatever its letters.
    for (const char* weak : {"x", "s3cret-42", "fifteen-chars-1"}) {
        EXPECT_FALSE(start("0.0.0.0:0", weak, error)) << weak;
        EXPECT_NE(error.find("at least 16 characters"), std::string::npos) << error;
    }
    EXPECT_TRUE(start("127.0.0.1:0", "x", error)) << "on loopback the token only adds to the Host check";

    auto server = start("0.0.0.0:0", "s3cret-42-0123456", error);
    ASSERT_TRUE(server) << error;
    int port = server->port();
    EXPECT_EQ(get(port, "/").status, 403);
    EXPECT_EQ(get(port, "/?token=wrong").status, 403);
    EXPECT_EQ(get(port, "/doc?path=ACTIVITY.TXT").status, 403);
    EXPECT_EQ(get(port, "/ws").status, 403);

    Reply first = get(port, "/?token=s3cret-42-0123456");
    EXPECT_EQ(first.status, 200);
    EXPECT_NE(first.head.find("Set-Cookie: vantrel_token=s3cret-42-0123456; Path=/; HttpOnly; SameSite=Strict"),
              std::string::npos);
    EXPECT_EQ(get(port, "/doc?path=ACTIVITY.TXT", "Cookie: vantrel_token=s3cret-42-0123456\r\n").status, 200);
    EXPECT_EQ(get(port, "/doc?path=ACTIVITY.TXT", "Cookie: vantrel_token=s3cret-42-012345\r\n").status, 403);
    EXPECT_NE(server->url().find("?token=s3cret-42-0123456"), std::string::npos);
}

TEST_F(ServerTest, OnLoopbackATokenDoesNotTurnOffTheHostCheck)
{
    std::string error;
    auto server = start("127.0.0.1:0", "x", error);
    ASSERT_TRUE(server) << error;
    int port = server->port();
    EXPECT_EQ(get(port, "/?token=x").status, 200);
    // A site whose name was made to lead to this machine, the token guessed.
    EXPECT_EQ(get(port, "/?token=x", "", "evil.example").status, 403);
    EXPECT_EQ(get(port, "/app.js", "Cookie: vantrel_token=x\r\n", "evil.example:" + std::to_string(port)).status, 403);
    int fd = vtest::connect_from(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(vtest::send_all(fd, "GET /ws?token=x HTTP/1.1\r\nHost: evil.example\r\nOrigin: http://evil.example\r\n"
                                    "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                                    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n"));
    char head[64] = "";
    ::recv(fd, head, sizeof head - 1, 0);  // refused, or closed unanswered
    EXPECT_NE(std::string(head).rfind("HTTP/1.1 101", 0), 0u) << head;
    ::close(fd);
}

TEST_F(ServerTest, AnAddressInUseIsReportedNotFatal)
{
    std::string error;
    auto first = start("127.0.0.1:0", "", error);
    ASSERT_TRUE(first) << error;
    auto second = start("127.0.0.1:" + std::to_string(first->port()), "", error);
    EXPECT_FALSE(second);
    EXPECT_NE(error.find("cannot listen"), std::string::npos) << error;
}

TEST_F(ServerTest, HalfOpenRequestsNeitherBlockANewPageNorStayOpen)
{
    std::string error;
    auto server = start("127.0.0.1:0", "", error);
    ASSERT_TRUE(server) << error;
    // More unfinished requests than the server ever had threads.
    std::vector<int> half_open;
    for (int i = 0; i < 40; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(server->port()));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        std::string partial = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        ::send(fd, partial.data(), partial.size(), MSG_NOSIGNAL);
        half_open.push_back(fd);
    }
    EXPECT_EQ(get(server->port(), "/").status, 200);
    // The server gives up on an unfinished request within seconds, not half a minute.
    timeval tv{10, 0};
    ::setsockopt(half_open.front(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char buf[512];
    ssize_t n = 0;
    while ((n = ::recv(half_open.front(), buf, sizeof buf, 0)) > 0) {}
    EXPECT_EQ(n, 0) << "still open after 10 s";
    for (int fd : half_open) ::close(fd);
}

}  // namespace
