// The batch comparison's intervals and verdicts, its results popup, and Print and Save of a text popup.
#include "spc/compare_results.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "core/globals.h"
#include "core/panel_framework.h"
#include "core/shared_buffers.h"
#include "core/wait_panel.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/sys/launch.h"
#include "platform/ui/userint.h"
#include "spc/chart_data.h"
#include "spc/chart_titles.h"
#include "spc/compare_confidence.h"
#include "testing/chart_code.h"
#include "testing/chart_identity.h"

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

// The chart identity and series that the chart window and the rules read: a comparison loads every chart into
// them, so it keeps them aside and puts them back when it ends, whatever way it ends.
class ChartContext {
public:
    ChartContext()
        : channel_(spc_channel), type_(chart_type), subtype_(type_subparameter), index_(spc_index),
          points_(chart_points), por_points_(por_chart_points), x_(std::move(x_array)), por_x_(std::move(por_x_array)),
          runs_(std::move(run_index)), wafers_(std::move(wafer_index)), rule_mean_(rule_mean), rule_stdev_(rule_stdev),
          data_mean_(data_mean), data_stdev_(data_stdev)
    {
        std::copy(plot_low, plot_low + 4, low_);
        std::copy(plot_high, plot_high + 4, high_);
        x_array.clear(), por_x_array.clear(), run_index.clear(), wafer_index.clear();
    }
    ~ChartContext()
    {
        spc_channel = channel_, chart_type = type_, type_subparameter = subtype_, spc_index = index_;
        chart_points = points_, por_chart_points = por_points_;
        x_array = std::move(x_), por_x_array = std::move(por_x_);
        run_index = std::move(runs_), wafer_index = std::move(wafers_);
        rule_mean = rule_mean_, rule_stdev = rule_stdev_, data_mean = data_mean_, data_stdev = data_stdev_;
        std::copy(low_, low_ + 4, plot_low);
        std::copy(high_, high_ + 4, plot_high);
    }
    ChartContext(const ChartContext&) = delete;
    ChartContext& operator=(const ChartContext&) = delete;

private:
    short channel_, type_, subtype_, index_;
    int points_, por_points_;
    std::vector<double> x_, por_x_;
    std::vector<int> runs_, wafers_;
    double rule_mean_, rule_stdev_, data_mean_, data_stdev_;
    double low_[4] = {}, high_[4] = {};
};

void add_line(int popup, const std::string& line)
{
    const std::string bounded = line.size() > kLineLength ? line.substr(0, kLineLength) : line;
    InsertListItem(popup, POP_LIST, -1, bounded.c_str(), 0);
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

// One chart's block of lines; the chart identity globals name the chart.
void compare_chart(int popup, int code)
{
    char text[24] = "";
    // In 64 bits: the magnitude of the most negative code does not fit an int.
    vsys::format_into(text, sizeof text, "%.9lld", code < 0 ? -static_cast<long long>(code) : static_cast<long long>(code));
    short rule = 0;
    get_info_from_code(text, &spc_channel, &chart_type, &type_subparameter, &spc_index, &rule);

    int nP = kComparePoints, nT = kComparePoints;
    double meanP = 0.0, sP = 0.0, meanT = 0.0, sT = 0.0;
    (void)load_data(&nP, &meanP, &sP, POR_SET, 0);
    run_index.clear(), wafer_index.clear();
    ProcessSystemEvents();
    (void)load_data(&nT, &meanT, &sT, TEST_SET, 0);
    run_index.clear(), wafer_index.clear();

    // A chart without a title is named by its code.
    char title[kChartTitleSize] = "";
    vsys::format_into(title, sizeof title, "%s", text);
    form_chart_title(title, spc_channel, chart_type, type_subparameter, spc_index);
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
    const int popup = LoadPanel(parent, "pop.uir", 1);
    if (popup < 0) return -1;
    if (LoadMenuBar(popup, "pop.uir", 1) < 0) {
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
    GetNumListItems(popup, POP_LIST, &n);
    bool ok = true;
    for (int i = 0; i < n && ok; ++i) {
        std::string label;
        GetLabelFromIndex(popup, POP_LIST, i, &label);
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
    if (item == POP_PRINT) {
        path = vsys::path_join(vt_dir, "PRINT.TMP");
    } else if (item == POP_SAVE) {
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
    if (item != POP_PRINT) return;
    int n = 0;
    GetNumListItems(panel, POP_LIST, &n);
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
        SetActiveCtrl(panel, 5);
        return 1;
    }
    int popup = load_text_popup(0);
    if (popup < 0) return 0;
    SetPanelAttribute(popup, ATTR_TITLE, "Batch Comparison Results");
    for (int c : {7, 6, 5, 4}) SetCtrlAttribute(popup, c, ATTR_VISIBLE, 0);
    SetCtrlAttribute(popup, POP_CLOSE, ATTR_DIMMED, 1);
    ClearListCtrl(popup, POP_LIST);
    InstallPopup(popup);
    SetMouseCursor(VAL_HOUR_GLASS_CURSOR);
    write_header(popup);
    SetMouseCursor(VAL_DEFAULT_CURSOR);
    {
        const ChartContext kept;
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
