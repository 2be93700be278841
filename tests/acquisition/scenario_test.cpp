// End to end: the default chamber scenario for a simulated hour, checked against the scenario's own schedule.
#include "tests/acquisition/acq_fixture.h"

#include <fstream>
#include <map>
#include <sstream>

#include "platform/usb/chamber_model.h"
#include "platform/usb/usb_config.h"

namespace {

using acqtest::AcqTest;

// The demo's setup file: "key = value" lines, channel arrays as "channel:value" pairs.
std::map<std::string, std::string> read_setup(const std::string& path)
{
    std::map<std::string, std::string> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        auto trim = [](std::string s) {
            s.erase(0, s.find_first_not_of(" \t"));
            s.erase(s.find_last_not_of(" \t\r") + 1);
            return s;
        };
        out[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
    return out;
}

std::map<int, std::string> pairs(const std::string& text)
{
    std::map<int, std::string> out;
    std::istringstream in(text);
    std::string item;
    while (in >> item) {
        auto colon = item.find(':');
        out[std::stoi(item.substr(0, colon))] = item.substr(colon + 1);
    }
    return out;
}

TEST_F(AcqTest, DefaultScenarioForAnHour)
{
    const auto setup = read_setup(std::string(VANTREL_SOURCE_DIR) + "/sim/default_setup.txt");
    channels = static_cast<std::uint8_t>(std::stoi(setup.at("channels")));
    VantrelChannelStatusBits = static_cast<std::uint32_t>(std::stoul(setup.at("VantrelChannelStatusBits"), nullptr, 0));
    sample_rate_index = std::stoi(setup.at("sample_rate_index"));
    sample_rate = sample_rate_index;
    for (auto& [c, v] : pairs(setup.at("channel_type"))) channel_type[c] = static_cast<signed char>(std::stoi(v));
    for (auto& [c, v] : pairs(setup.at("channel_slope"))) channel_slope[c] = std::stod(v);
    for (auto& [c, v] : pairs(setup.at("channel_inter"))) channel_inter[c] = std::stod(v);
    for (auto& [c, v] : pairs(setup.at("channel_names"))) {
        char name[33];
        std::snprintf(name, sizeof name, "%s", v.c_str());
        get_put_char(hdbc, 28, c, TAGS_WRITE, name);
    }
    trigger = static_cast<short>(std::stoi(setup.at("trigger")));
    trig_type = static_cast<short>(std::stoi(setup.at("trig_type")));
    trig_ch = static_cast<short>(std::stoi(setup.at("trig_ch")));
    trig_log = static_cast<short>(std::stoi(setup.at("trig_log")));
    trig_val = std::stod(setup.at("trig_val"));
    delay = std::stoi(setup.at("delay"));
    minimum_trig_width = std::stoi(setup.at("minimum_trig_width"));
    precoat_minimum = std::stoi(setup.at("precoat_minimum"));

    ASSERT_TRUE(install_board());
    board = std::dynamic_pointer_cast<vusb::SimBoard>(vusb::backend());
    ASSERT_NE(board, nullptr);
    start();
    ASSERT_TRUE(acq().active);
    const int seconds = 3600;
    tick(seconds);
    stop();

    // The scenario's schedule as its own model states it: per block, whether the
    // wafer-present signal is up in any of its scans (scan s at (s + 1) / rate s).
    vusb::Scenario scenario;
    ASSERT_TRUE(vusb::load_scenario(program.file("default.scenario"), scenario).ok);
    vusb::ChamberModel model(scenario, 0.0);
    struct Span {
        int first, last;  // blocks
        int hits;         // blocks with the signal up
        bool clean;
    };
    std::vector<Span> spans;
    const double period = vboard::sampling_period_us(sample_rate) * 1e-6;
    for (int k = 0; k < seconds; ++k) {
        bool hit = false, clean = false;
        for (int j = 0; j < sample_rate; ++j) {
            // As the board times its scans, so that samples on an interval's edge fall alike.
            const std::uint64_t scan = static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(sample_rate) + j;
            const double t = static_cast<double>(scan + 1) * period;
            if (model.value(trig_ch, t) > trig_val) {
                hit = true;
                clean = clean || model.state_at(t).in_clean;
            }
        }
        if (hit && (spans.empty() || k - spans.back().last - 1 > minimum_trig_width)) spans.push_back({k, k, 0, clean});
        if (hit) {
            spans.back().last = k;
            ++spans.back().hits;
            spans.back().clean = spans.back().clean || clean;
        }
    }
    ASSERT_GT(spans.size(), 50u);
    // Runs: a new one whenever the gap before a span exceeds the data delay;
    // a span longer than the precoat minimum becomes a precoat run of its own.
    std::string expected;
    int run = 0, wafers = 0;
    bool precoat_run = false;
    auto close_run = [&] {
        if (run > 0) expected += (expected.empty() ? "" : ";") + std::to_string(run) + "|" + std::to_string(wafers) +
                                 (precoat_run ? "|ETCH PRECOAT" : "|ETCH");
    };
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const bool new_run = i == 0 || spans[i].first - spans[i - 1].last - 1 > delay;
        const bool precoat = spans[i].hits > precoat_minimum;
        const bool unfinished = spans[i].last + delay + 1 >= seconds;
        if (new_run) {
            close_run();
            ++run;
            wafers = 0;
            precoat_run = false;
        }
        if (precoat && !unfinished) {
            if (wafers > 0) {
                close_run();
                ++run;
            }
            wafers = 1;
            precoat_run = true;
        } else {
            ++wafers;
        }
    }
    close_run();
    EXPECT_EQ(rows("SELECT RUN_NUM, NUM_WAF, RECIPE FROM VT_INFO WHERE RUN_NUM > 0 ORDER BY RUN_NUM"), expected);
    // Every wafer of every run has its file.
    for (const auto& row : vtest::query(hdbc, "SELECT RUN_NUM, NUM_WAF FROM VT_INFO WHERE RUN_NUM > 0").rows)
        for (int w = 1; w <= std::stoi(row[1]); ++w)
            EXPECT_TRUE(vsys::file_exists(trace_file(std::stoi(row[0]), w))) << row[0] << "." << w;
}

}  // namespace
