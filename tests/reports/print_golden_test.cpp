// The SPC chart window's Print against the script-made page line list: series, histograms and limit lines in order.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/callbacks.h"
#include "core/globals.h"
#include "core/shared_buffers.h"
#include "panels/x_hist.h"
#include "platform/sys/files.h"
#include "platform/ui/headless.h"
#include "platform/ui/userint.h"
#include "reports/install.h"
#include "spc/chart_data.h"
#include "spc/chart_window.h"
#include "spc/install.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<std::string> page_lines(const std::string& pdf)
{
    std::FILE* p = popen(("qpdf --show-object=5 --filtered-stream-data '" + pdf + "' 2>/dev/null").c_str(), "r");
    std::string out;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < out.size();) {
        const std::size_t end = out.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(out.substr(at) + "<no CR LF>");
            break;
        }
        lines.push_back(out.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

TEST(SpcPrint, PageMatchesTheScriptMadeLineList)
{
    vui::Headless ui;
    vtest::TempDir dir;
    vsys::set_project_dir_override(vtest::bin_dir());
    vt_dir = dir.path();
    vui::register_callbacks(core_callbacks());
    vui::register_callbacks(spc_callbacks());
    install_reports();
    spc_panel = LoadPanel(0, "x_hist.uir", SPC);
    ASSERT_GT(spc_panel, 0);
    DisplayPanel(spc_panel);
    SetAxisScalingMode(spc_panel, SPC_CHART, VAL_XAXIS, VAL_MANUAL, -10.0, 0.0);
    SetAxisScalingMode(spc_panel, SPC_CHART, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, 10.0);
    SetCtrlAttribute(spc_panel, SPC_CHART, ATTR_XDIVISIONS, 5);
    SetCtrlAttribute(spc_panel, SPC_CHART, ATTR_XPRECISION, 0);
    SetCtrlAttribute(spc_panel, SPC_CHART, ATTR_YDIVISIONS, 5);
    SetCtrlAttribute(spc_panel, SPC_CHART, ATTR_YPRECISION, 1);
    SetCtrlVal(spc_panel, SPC_NATURAL, 0);
    SetCtrlVal(spc_panel, SPC_SPEC, 0);
    compare_panel = 1;  // the comparison window is open: the POR series is printed too
    por_x_array = {5.0, 5.5, 4.5, 5.0};
    por_chart_points = 4;
    shown_chart().values = {6.0, 12.0, 7.0, 3.0, -1.0, 4.0, 10.0, 5.0, 5.0, 5.05, 6.0, 2.0};
    shown_chart().points = 12;
    shown_chart().data_mean = 5.0, shown_chart().data_stdev = 1.0, shown_chart().rule_mean = 5.0, shown_chart().rule_stdev = 1.5;

    const std::string pdf = dir.file("printPDF/spc_print.pdf");
    ui.answer_path(pdf);
    ASSERT_TRUE(ui.press(spc_panel, SPC_PRINT));
    compare_panel = spc_panel = -1;
    por_chart_points = shown_chart().points = 0;
    ASSERT_TRUE(vsys::file_exists(pdf));

    std::ifstream in(std::string(VANTREL_SOURCE_DIR) + "/tests/fixtures/reports/spc_print.lines");
    std::vector<std::string> golden;
    for (std::string l; std::getline(in, l);) golden.push_back(l);
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(page_lines(pdf), golden);
    vt_dir.clear();
    vsys::set_project_dir_override("");
}

}  // namespace
