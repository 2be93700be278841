// Fuzz target of the trace-file reading of the chart writer: random files and records never break the page.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <vector>
#include <sstream>
#include <string>

#include "platform/sys/files.h"
#include "platform/ui/headless.h"
#include "reports/pdf_chart.h"
#include "tests/support/temp_dir.h"

namespace {

// Every page line is one of the writer's operators, its operands finite numbers.
bool well_formed(const std::string& line)
{
    static const std::set<std::string> bare = {"10 i", "BT", "ET", "S", "f", "b", "s", "0 J", "2 j", "[] 0 d", "[3] 0 d"};
    if (bare.count(line)) return true;
    if (line.size() > 3 && line.compare(line.size() - 3, 3, " Tj") == 0 && line[0] == '(') return true;
    if (line.rfind("/F1 ", 0) == 0 && line.compare(line.size() - 3, 3, " Tf") == 0) return true;
    static const std::map<std::string, int> operands = {{"m", 2}, {"l", 2}, {"RG", 3}, {"rg", 3}, {"re", 4},
                                                         {"Tm", 6}, {"c", 6}, {"w", 1}};
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) return false;
    const auto op = operands.find(words.back());
    if (op == operands.end() || static_cast<int>(words.size()) != op->second + 1) return false;
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        char* end = nullptr;
        const double v = std::strtod(words[i].c_str(), &end);
        if (*end || !std::isfinite(v) || words[i].find_first_of("eEnN") != std::string::npos) return false;
    }
    return true;
}

TEST(TracePlotFuzz, RandomTraceFilesAndRecordsGiveWellFormedPages)
{
    vui::Headless ui;
    vtest::TempDir dir;
    std::mt19937 rng(20261211);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        std::string bytes;
        const int size = pick(0, 3000);
        for (int i = 0; i < size; ++i) bytes += static_cast<char>(pick(0, 255));
        if (pick(0, 1)) bytes.insert(0, "10.00.00 2026/12/11\n");
        const std::string tracePath = dir.write("fuzz.trace", bytes);
        SChart chart;
        schartDefault(&chart);
        chart.xMin = uniform(-5, 5);
        chart.xMax = chart.xMin + (pick(0, 5) ? uniform(0, 20) : 0.0);
        chart.yMin = uniform(-400, 0);
        chart.yMax = chart.yMin + (pick(0, 5) ? uniform(0, 800) : 0.0);
        const std::string pdf = dir.file("fuzz.pdf");
        ASSERT_EQ(schartInitialize(&chart, pdf.c_str(), dir.path().c_str()), 0);
        vsys::FilePtr file = vsys::open_file(tracePath, "rb");
        ASSERT_TRUE(file);
        SChartTrace trace;
        trace.xStep = pick(0, 9) ? uniform(1e-4, 1.0) : uniform(-1.0, 0.0);
        trace.xStart = uniform(-10, 10);
        trace.scansPerBlock = pick(0, 9) ? pick(1, 64) : pick(-3, 0);
        trace.channelsPerScan = pick(1, 8);
        trace.channelPosition = pick(-1, 8);
        trace.yOffset = uniform(-1, 1);
        trace.yScale = uniform(-0.05, 0.05);
        trace.file = file.get();
        const int result = schartBinPlot(&trace, static_cast<unsigned>(pick(0, 0xFFFFFF)), pick(0, 1), &chart);
        EXPECT_TRUE(result == -1 || result == 0 || result == 1);
        ASSERT_EQ(schartFinish(&chart), 0);
        std::ifstream content(dir.file("ztemp.bin"), std::ios::binary);
        std::stringstream all;
        all << content.rdbuf();
        const std::string text = all.str();
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = text.find("\r\n", at);
            ASSERT_NE(end, std::string::npos);
            const std::string l = text.substr(at, end - at);
            EXPECT_TRUE(well_formed(l)) << l;
            at = end + 2;
        }
    }
}

}  // namespace
