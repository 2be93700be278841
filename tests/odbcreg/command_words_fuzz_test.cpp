// Random command lines against a recording installer: whatever the words, the run ends with a coherent code, texts and call order.
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "odbcreg/installer.h"
#include "odbcreg/odbcreg.h"
#include "tests/support/temp_dir.h"

namespace {

struct Call {
    bool data_source;
    bool removal;
};

class RecordingInstaller final : public Installer {
public:
    explicit RecordingInstaller(std::mt19937& random) : random_(random) {}
    bool install_driver(const std::string&) override { return record({false, false}); }
    bool remove_driver(const std::string&) override { return record({false, true}); }
    bool add_data_source(const std::string&, const std::string&) override { return record({true, false}); }
    bool remove_data_source(const std::string&) override { return record({true, true}); }
    std::vector<Call> calls;
    int failures = 0;

private:
    bool record(Call call)
    {
        calls.push_back(call);
        bool ok = std::uniform_int_distribution<int>(0, 7)(random_) != 0;
        if (!ok) ++failures;
        return ok;
    }
    std::mt19937& random_;
};

std::string random_case(std::string word, std::mt19937& random)
{
    for (char& c : word)
        if (random() & 1) c = static_cast<char>(std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c));
    return word;
}

TEST(OdbcregCommandWordsFuzz, AnyCommandLineEndsCoherently)
{
    vtest::TempDir dir;
    const std::vector<std::string> commands = {"QUIET", "?", "UNINSTALL", "ALL"};
    const std::vector<std::string> junk = {"", "foo", "dBase2", "%s%n%x", std::string(5000, 'x'), "SampConfig2", "-",
                                          "\t", "\"dBase\""};
    std::mt19937 random(20261211);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> words;
        bool refused = false;
        bool quiet = false;
        std::size_t expected_driver_calls = 0;
        int length = std::uniform_int_distribution<int>(0, 12)(random);
        for (int i = 0; i < length; ++i) {
            int pick = std::uniform_int_distribution<int>(0, 99)(random);
            if (pick < 30) {
                const auto& row = driver_table[static_cast<std::size_t>(random() % kDriverCount)];
                words.push_back(random_case(std::string(row.name), random));
                ++expected_driver_calls;
            } else if (pick < 55) {
                std::string w = commands[random() % commands.size()];
                if (w == "QUIET") quiet = true;
                if (w == "ALL") expected_driver_calls += kDriverCount;
                words.push_back(random_case(w, random));
            } else if (pick < 75) {
                words.push_back(random_case(random() & 1 ? "SampConfig" : "AccessSampConfig", random));
                int how = std::uniform_int_distribution<int>(0, 9)(random);
                if (how == 0) {
                    words.push_back(dir.file("missing"));
                    refused = true;
                } else if (how == 1 && i == length - 1) {
                    refused = true;  // nothing follows
                } else {
                    words.push_back(how == 2 ? "QUIET" : dir.path());  // "QUIET" here is a directory that is missing
                    if (how == 2) refused = true;
                }
            } else if (pick < 80) {
                words.push_back(junk[random() % junk.size()]);
                refused = true;
            }
        }
        // Only the words before the first refusal count; the run stops there anyway.
        RecordingInstaller installer(random);
        std::ostringstream out, err;
        int rc = WinMain(words, installer, out, err);
        SCOPED_TRACE(::testing::PrintToString(words));

        if (rc == kExitRefused) {
            EXPECT_TRUE(installer.calls.empty());
            EXPECT_EQ(out.str(), "");
            EXPECT_NE(err.str(), "");
            continue;
        }
        EXPECT_FALSE(refused);
        ASSERT_TRUE(rc == kExitDone || rc == kExitNotDone) << rc;
        EXPECT_EQ(rc == kExitNotDone, installer.failures > 0);
        EXPECT_EQ(err.str().empty(), installer.failures == 0);
        if (quiet) {
            EXPECT_EQ(out.str(), "");
        }
        EXPECT_EQ(out.str().find("NOT"), std::string::npos);

        std::size_t driver_calls = 0;
        for (const auto& c : installer.calls) driver_calls += c.data_source ? 0 : 1;
        EXPECT_EQ(driver_calls, expected_driver_calls);
        EXPECT_LE(installer.calls.size() - driver_calls, 2u);
        // Removal takes the data sources first, registration the drivers first.
        bool removal = uninstall_flag;
        for (const auto& c : installer.calls) EXPECT_EQ(c.removal, removal);
        auto first_driver = std::find_if(installer.calls.begin(), installer.calls.end(),
                                         [](const Call& c) { return !c.data_source; });
        auto last_source = std::find_if(installer.calls.rbegin(), installer.calls.rend(),
                                        [](const Call& c) { return c.data_source; });
        if (first_driver != installer.calls.end() && last_source != installer.calls.rend()) {
            bool sources_first = (installer.calls.rend() - last_source - 1) < (first_driver - installer.calls.begin());
            EXPECT_EQ(sources_first, removal);
        }
    }
}

}  // namespace
