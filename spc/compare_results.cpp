// The batch comparison's intervals and verdicts, its results popup, and Print and Save of a text popup.
#include "spc/compare_results.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "core/chart_record.h"
#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "core/wait_panel.h"
#include "panels/compare.h"
#include "panels/pop.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/sys/launch.h"
#include "platform/ui/userint.h"
#include "spc/chart_data.h"
#include "spc/chart_titles.h"
#include "spc/compare_confidence.h"
#include "testing/chart_code.h"

namespace {

constexpr int kComparePoints = 500;
constexpr std::size_t kLineLength = 295;
constexpr char kEscape = '\033';

const char* const kPass = "\033p500l\033fg00FF00PASS";
const char* const kFail = "\033p500l\033fgFF0000FAIL";
const char* const kWarning = "\033p500l\033fgFF0000WARNING";

std::function<std::vector<ListedChart>()>& reader()
{
    static std::function<std::vector<ListedChart>()> r;
    return r;
}

void add_line(int popup, const std::string& line)
{
    const std::string bounded = line.size() > kLineLength ? line.substr(0, kLineLength) : line;
    InsertListItem(popup, POP_LINES, -1, bounded.c_str(), 0);
}

void add_group(int popup, const char* title, int count, const std::vector<std::string>& entries)
{
    const int n = std::min<int>(count, static_cast<int>(entries.size()));
    if (n <= 0) return;
    add_line(popup, title);
    for (int i = 0; i < n; ++i) add_line(popup, "\033p100l" + entries[static_cast<std::size_t>(i)]);
    add_line(popup, "");
}

void add_wafers(int popup, const char* title, int count, const std::vector<int>& numbers, const std::vector<int>& logic)
{
    const int n = std::min({count, static_cast<int>(numbers.size()), static_cast<int>(logic.size())});
    if (n <= 0) return;
    add_line(popup, title);
    for (int i = 0; i < n; ++i) {
        const int l = logic[static_cast<std::size_t>(i)];
        add_line(popup, vsys::strprintf(l < 0 ? "\033p100lWAFER < %i" : l > 0 ? "\033p100lWAFER > %i" : "\033p100lWAFER = %i",
                                        numbers[static_cast<std::size_t>(i)]));
    }
    add_line(popup, "");
}

void write_header(int popup)
{
    add_group(popup, "POR Systems:", por_system_restrictions, por_system_select);
    add_group(popup, "POR Recipes:", por_recipe_restrictions, por_recipe_select);
    add_group(popup, "POR Lots:", por_lot_restrictions, por_lot_select);
    add_wafers(popup, "POR Wafers:", por_wafer_restrictions, por_wafer_select, por_wafer_logic);
    add_group(popup, "TEST Systems:", system_restrictions, system_select);
    add_group(popup, "TEST Recipes:", recipe_restrictions, recipe_select);
    add_group(popup, "TEST Lots:", lot_restrictions, lot_select);
    add_wafers(popup, "TEST Wafers:", wafer_restrictions, wafer_select, wafer_logic);
}

void add_count_lines(int popup, const char* batch, int n)
{
    if (n >= 25) {
        add_line(popup, vsys::strprintf("\033p20l%i points have been used to calculate the %s standard deviation.", n, batch));
        return;
    }
    add_line(popup, vsys::strprintf("\033p20lOnly %i points have been used to calculate the %s standard deviation.%s", n,
                                    batch, kWarning));
    add_line(popup, "\033p20lAt least 25 points are recommended for an accurate comparison.");
}

// One chart's block of lines. The chart is loaded into records of the comparison's own, so the chart window
// keeps what it shows.
void compare_chart(int popup, int code)
{
    char text[24] = "";
    // In 64 bits: the magnitude of the most negative code does not fit an int.
    vsys::format_into(text, sizeof text, "%.9lld", code < 0 ? -static_cast<long long>(code) : static_cast<long long>(code));
    short rule = 0;
    ChartRecord por;
    por.process = recipe_num;
    get_info_from_code(text, &por.channel, &por.type, &por.subtype, &por.step, &rule);
    por.points = kComparePoints;
    ChartRecord test = por;

    const int nP = std::max(load_data(por, POR_SET, 0), 0);
    const double meanP = por.data_mean, sP = por.data_stdev;
    ProcessSystemEvents();
    const int nT = std::max(load_data(test, TEST_SET, 0), 0);
    const double meanT = test.data_mean, sT = test.data_stdev;

    // A chart without a title is named by its code.
    char title[kChartTitleSize] = "";
    vsys::format_into(title, sizeof title, "%s", text);
    form_chart_title(title, por.channel, por.type, por.subtype, por.step);
    const std::string heading = std::string(title) + "     POR mean - TEST mean ";

    if (nP < 3 || nT < 3) {
        add_line(popup, heading + kFail);
        if (nP < 3) add_line(popup, "\033p20lLess than 3 points in POR data.  Cannot perform comparison.");
        if (nT < 3) add_line(popup, "\033p20lLess than 3 points in TEST data.  Cannot perform comparison.");
        add_line(popup, "");
        return;
    }
    const Interval iv = compare_means(nP, meanP, sP, nT, meanT, sT, confidence_level);
    add_line(popup, heading + (iv.pass ? kPass : kFail));
    add_count_lines(popup, "POR", nP);
    add_count_lines(popup, "TEST", nT);
    add_line(popup, vsys::strprintf("\033p20lPOR mean = %.6f", meanP));
    add_line(popup, vsys::strprintf("\033p20lPOR standard deviation = %.6f", sP));
    add_line(popup, vsys::strprintf("\033p20lTEST mean = %.6f", meanT));
    add_line(popup, vsys::strprintf("\033p20lTEST standard deviation = %.6f", sT));
    const char* label = confidence_label(confidence_level);
    if (nP >= 25 && nT >= 25) {
        const double half = (iv.upper - iv.lower) / 2;
        if (iv.pass)
            add_line(popup, vsys::strprintf("\033p20lThere is less than %s confidence that there is a difference between "
                                            "the means.",
                                            label));
        else if (meanT > meanP)
            add_line(popup, vsys::strprintf("\033p20lThe TEST mean is greater than the POR mean by %.3f +/- %.3f",
                                            meanT - meanP, half));
        else
            add_line(popup, vsys::strprintf("\033p20lThe POR mean is greater than the TEST mean by %.3f +/- %.3f",
                                            meanP - meanT, half));
    }
    add_line(popup, vsys::strprintf("\033p20l%s Confidence Interval = (%.6f, %.6f)", label, iv.lower, iv.upper));
    add_line(popup, "");
}

}  // namespace

std::vector<ListedChart> compared_charts() { return reader() ? reader()() : listed_charts(); }

void provide_chart_list_reader(std::function<std::vector<ListedChart>()> r) { reader() = std::move(r); }

Interval compare_means(int nP, double meanP, double sP, int nT, double meanT, double sT, int level)
{
    Interval iv;
    iv.se = std::sqrt(sT * sT / nT + sP * sP / nP);
    iv.df = nP + nT - 2;
    iv.t = t_critical_value(iv.df, level);
    const double difference = meanP - meanT;
    iv.lower = difference - iv.t * iv.se;
    iv.upper = difference + iv.t * iv.se;
    // An interval without width says nothing about a spread: only equal means pass then.
    if (std::fabs(iv.lower - iv.upper) < 1e-9)
        iv.pass = std::fabs(difference) < 1e-9;
    else
        iv.pass = iv.lower * iv.upper < 0;
    return iv;
}

std::string strip_codes(const std::string& label)
{
    std::string out;
    out.reserve(label.size());
    std::size_t i = 0;
    while (i < label.size()) {
        const std::size_t esc = label.find(kEscape, i);
        if (esc == std::string::npos) {
            out.append(label, i, std::string::npos);
            break;
        }
        out.append(label, i, esc - i);
        const char next = esc + 1 < label.size() ? label[esc + 1] : '\0';
        if (next == 'p') {
            const std::size_t end = label.find('l', esc + 2);
            if (end == std::string::npos) break;  // an unfinished column code ends the line
            i = end + 1;
        } else if (next == 'f') {
            i = std::min(label.size(), esc + 9);
        } else {
            i = esc + 1;
        }
    }
    return out;
}

int load_text_popup(int parent)
{
    const int popup = LoadPanel(parent, "pop.uir", POP);
    if (popup < 0) return -1;
    if (LoadMenuBar(popup, "pop.uir", POPMENU) < 0) {
        DiscardPanel(popup);
        return -1;
    }
    return popup;
}

bool write_text_lines(int popup, const std::string& path)
{
    vsys::AtomicFile file(path, vsys::AtomicFile::Where::confined);  // a typed name
    if (!file.is_open()) {
        MessagePopup(path.c_str(), "Unable to open file");
        return false;
    }
    int n = 0;
    GetNumListItems(popup, POP_LINES, &n);
    bool ok = true;
    for (int i = 0; i < n && ok; ++i) {
        std::string label;
        GetLabelFromIndex(popup, POP_LINES, i, &label);
        ok = file.write(strip_codes(label) + "\n");
    }
    const vsys::Result written = ok ? file.commit() : vsys::Result::failure(file.error());
    if (!written.ok) {
        MessagePopup(path.c_str(), vsys::strprintf("Unable to write file (%s)", written.error.c_str()).c_str());
        return false;
    }
    return true;
}

void text_print_save(int, int item, void*, int panel)
{
    std::string path;
    if (item == POPMENU_FILE_PRINT) {
        path = vsys::path_join(vt_dir, "PRINT.TMP");
    } else if (item == POPMENU_FILE_SAVE) {
        const int chosen = FileSelectPopup(vt_dir.c_str(), "*.TXT", "*.TXT", "Please enter a text file name.",
                                           VAL_OK_BUTTON, 0, 0, 1, 1, &path);
        if (chosen == VAL_NO_FILE_SELECTED || path.empty()) return;
        if (chosen == VAL_EXISTING_FILE_SELECTED &&
            !ConfirmPopup("", ("Are you sure you want to write over " + path).c_str()))
            return;
    } else {
        return;
    }
    if (!write_text_lines(panel, path)) return;
    if (item != POPMENU_FILE_PRINT) return;
    int n = 0;
    GetNumListItems(panel, POP_LINES, &n);
    if (n == 0) {
        MessagePopup("", "No text to print.");
        return;
    }
    vsys::launch_document(path);
}

int perform_comparison(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    const std::vector<ListedChart> items = compared_charts();
    const bool any = std::any_of(items.begin(), items.end(), [](const ListedChart& c) { return c.checked; });
    if (!any) {
        MessagePopup("", "No SPC Charts have been selected.  Please select charts with the SELECT SPC CHARTS/VIEW "
                         "DUAL SPC CHARTS command button.");
        SetActiveCtrl(panel, COMPARE_CHARTS);
        return 1;
    }
    int popup = load_text_popup(0);
    if (popup < 0) return 0;
    SetPanelAttribute(popup, ATTR_TITLE, "Batch Comparison Results");
    for (int c : {POP_HEADING, POP_EXTRA3, POP_EXTRA2, POP_EXTRA1}) SetCtrlAttribute(popup, c, ATTR_VISIBLE, 0);
    SetCtrlAttribute(popup, POP_CLOSE, ATTR_DIMMED, 1);
    ClearListCtrl(popup, POP_LINES);
    InstallPopup(popup);
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    write_header(popup);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    {
        WaitPanel wait("Calculating Confidence Intervals...");
        const int n = static_cast<int>(items.size());
        for (int i = 0; i < n; ++i) {
            if (items[static_cast<std::size_t>(i)].checked) compare_chart(popup, items[static_cast<std::size_t>(i)].code);
            const bool cancel = wait.cancelled();
            wait.progress(cancel ? 1.0 : static_cast<double>(i + 1) / n);
            if (cancel) break;
        }
    }
    InstallCtrlCallback(popup, POP_CLOSE, cancel_uncommitted, nullptr);
    SetCtrlAttribute(popup, POP_CLOSE, ATTR_DIMMED, 0);
    return 0;
}
