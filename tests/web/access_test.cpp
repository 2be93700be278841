// Listening addresses, token comparison and the confinement of served paths.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "platform/sys/dir_handle.h"
#include "platform/web/access.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ListenAddress, ReadsTheFormsAUserTypes)
{
    struct Case {
        const char* text;
        bool ok;
        const char* host;
        int port;
        bool loopback;
    } cases[] = {
        {"127.0.0.1:8080", true, "127.0.0.1", 8080, true},
        {"9000", true, "127.0.0.1", 9000, true},
        {"localhost:81", true, "127.0.0.1", 81, true},
        {"127.0.0.2", true, "127.0.0.2", 8080, true},
        {"0.0.0.0:8080", true, "0.0.0.0", 8080, false},
        {"192.168.1.20:80", true, "192.168.1.20", 80, false},
        {"[::1]:8081", true, "::1", 8081, true},
        {"[::]:8081", true, "::", 8081, false},
        {"127.0.0.1:0", true, "127.0.0.1", 0, true},
        {"", false, "", 0, false},
        {"host.example:80", false, "", 0, false},
        {"127.0.0.1:65536", false, "", 0, false},
        {"127.0.0.1:", false, "", 0, false},
        {"127.0.0.1:80x", false, "", 0, false},
        {"::1:80", false, "", 0, false},
    };
    for (const auto& c : cases) {
        auto a = vweb::parse_listen_address(c.text);
        ASSERT_EQ(a.has_value(), c.ok) << c.text;
        if (!a) continue;
        EXPECT_EQ(a->host, c.host) << c.text;
        EXPECT_EQ(a->port, c.port) << c.text;
        EXPECT_EQ(a->loopback(), c.loopback) << c.text;
    }
    EXPECT_EQ(vweb::parse_listen_address("[::1]:8081")->civetweb_port(), "[::1]:8081");
    EXPECT_EQ(vweb::parse_listen_address("0.0.0.0:80")->url(80), "http://127.0.0.1:80/");
}

TEST(HostHeader, OnlyAddressesAndLocalhostNameThisMachine)
{
    for (const char* ok : {"127.0.0.1:8080", "localhost:8080", "LOCALHOST", "[::1]:8080", "10.0.0.5:80"})
        EXPECT_TRUE(vweb::host_is_local_name(ok)) << ok;
    for (const char* bad : {"evil.example:8080", "evil.example", "", "[::1", "127.0.0.1.evil.example:80"})
        EXPECT_FALSE(vweb::host_is_local_name(bad)) << bad;
}

TEST(Token, OnlyTheExactTokenPasses)
{
    EXPECT_TRUE(vweb::same_token("s3cret", "s3cret"));
    EXPECT_FALSE(vweb::same_token("s3cre", "s3cret"));
    EXPECT_FALSE(vweb::same_token("s3cretX", "s3cret"));
    EXPECT_FALSE(vweb::same_token("S3cret", "s3cret"));
    EXPECT_FALSE(vweb::same_token("", ""));  // no token configured never lets a token through
}

TEST(ConfinedFile, ServesOnlyRegularFilesInsideTheRoots)
{
    vtest::TempDir work, program, outside;
    work.write("report.txt", "r");
    std::filesystem::create_directory(work.file("SC_DATA"));
    work.write("SC_DATA/00000001.001", "d");
    program.write("Vantrel.chm", "h");
    outside.write("secret.txt", "s");
    std::filesystem::create_symlink(outside.file("secret.txt"), work.file("link.txt"));
    std::vector<std::string> roots = {work.path(), program.path()};

    struct Case {
        std::string asked;
        bool served;
    } cases[] = {
        {"report.txt", true},
        {work.file("report.txt"), true},
        {"SC_DATA/00000001.001", true},
        {program.file("Vantrel.chm"), true},
        {outside.file("secret.txt"), false},
        {"../" + std::filesystem::path(outside.path()).filename().string() + "/secret.txt", false},
        {work.file("SC_DATA/../report.txt"), false},  // any ".." is refused, even one that stays inside
        {"link.txt", false},                          // a link leading outside
        {"SC_DATA", false},                           // directories are not files
        {"missing.txt", false},
        {"", false},
        {"/etc/passwd", false},
    };
    for (const auto& c : cases) EXPECT_EQ(vweb::confined_file(c.asked, roots).has_value(), c.served) << c.asked;
    EXPECT_EQ(*vweb::confined_file("report.txt", roots), std::filesystem::canonical(work.file("report.txt")).string());
}

// What was checked is opened through the root's folders: a folder swapped for a link meanwhile leads nowhere.
TEST(ConfinedFile, OpensWhatWasCheckedNotWhatALinkSwappedInNames)
{
    namespace fs = std::filesystem;
    vtest::TempDir work, outside;
    fs::create_directory(work.file("SC_DATA"));
    work.write("SC_DATA/report.txt", "inside");
    outside.write("report.txt", "outside");
    const std::vector<std::string> roots = {work.path()};
    const auto file = vweb::confined_file("SC_DATA/report.txt", roots);
    ASSERT_TRUE(file);
    const auto dir = fs::path(*file).parent_path().string();
    {
        vsys::FilePtr f = vweb::open_checked_file(*file, roots);
        ASSERT_TRUE(f);
        char text[16] = "";
        EXPECT_EQ(std::fread(text, 1, sizeof text, f.get()), 6u);
        EXPECT_EQ(std::string(text, 6), "inside");
        vsys::DirHandle d(vweb::open_checked_directory(dir, roots));
        EXPECT_TRUE(d);
    }
    fs::rename(work.file("SC_DATA"), work.file("SC_DATA.old"));
    fs::create_directory_symlink(outside.path(), work.file("SC_DATA"));
    EXPECT_FALSE(vweb::open_checked_file(*file, roots));
    EXPECT_FALSE(vsys::DirHandle(vweb::open_checked_directory(dir, roots)));
    // The file itself swapped for a link.
    fs::remove(work.file("SC_DATA"));
    fs::rename(work.file("SC_DATA.old"), work.file("SC_DATA"));
    fs::remove(work.file("SC_DATA/report.txt"));
    fs::create_symlink(outside.file("report.txt"), work.file("SC_DATA/report.txt"));
    EXPECT_FALSE(vweb::open_checked_file(*file, roots));
    EXPECT_FALSE(vweb::open_checked_file(outside.file("report.txt"), roots));
}

// A FIFO swapped in for a checked file is refused at once: nothing waits for a writer that never comes.
TEST(ConfinedFile, AFifoSwappedInForTheFileIsRefusedWithoutWaiting)
{
    vtest::TempDir work;
    work.write("report.txt", "inside");
    const std::vector<std::string> roots = {work.path()};
    const auto file = vweb::confined_file("report.txt", roots);
    ASSERT_TRUE(file);
    std::filesystem::remove(*file);
    ASSERT_EQ(::mkfifo(file->c_str(), 0600), 0);
    auto opened = std::async(std::launch::async, [&] { return vweb::open_checked_file(*file, roots) != nullptr; });
    const bool returned = opened.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    if (!returned) ::close(::open(file->c_str(), O_RDWR | O_CLOEXEC));  // lets the blocked open go
    EXPECT_TRUE(returned);
    EXPECT_FALSE(opened.get());
}

TEST(ContentType, ByExtensionIgnoringCase)
{
    EXPECT_EQ(vweb::content_type_of("/w/REPORT.PDF"), "application/pdf");
    EXPECT_EQ(vweb::content_type_of("ACTIVITY.TXT"), "text/plain; charset=utf-8");
    EXPECT_EQ(vweb::content_type_of("app.js"), "text/javascript; charset=utf-8");
    EXPECT_EQ(vweb::content_type_of("data.DBF"), "application/octet-stream");
}

}  // namespace
