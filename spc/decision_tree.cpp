// Why a chart's point is out of control, and the decision tree the engineers attached to that rule.
//
// Both operations work on the chart they are given and leave the chart window's current chart alone.
#include "spc/decision_tree.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/chart_record.h"
#include "core/globals.h"
#include "core/text_utils.h"
#include "platform/sys/files.h"
#include "platform/sys/launch.h"
#include "platform/ui/userint.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_titles.h"
#include "spc/run_rules.h"

namespace {

constexpr int kTreeField = 8;

CatalogueRow read_row(int channel, int type, int subtype, int index)
{
    return read_catalogue_row(chart_of(recipe_num, channel, type, subtype, index));
}

bool safe_name(const std::string& name)
{
    if (name.empty() || name.find("..") != std::string::npos) return false;
    for (char ch : name)
        if (ch == '/' || ch == '\\' || ch == ':' || static_cast<unsigned char>(ch) < 0x20) return false;
    return true;
}

std::string tree_file(const std::string& folder, const std::string& name)
{
    auto found = vsys::find_file_nocase(folder, name);
    return found && vsys::file_exists(*found) ? *found : std::string();
}

}  // namespace

void spc_error_popup(int channel, int type, int subtype, int index, int rule)
{
    CatalogueRow row = read_row(channel, type, subtype, index);
    char title[kChartTitleSize] = "";
    form_chart_title(title, channel, type, subtype, index);
    char sentence[64] = "";
    form_error_message(rule, sentence);
    right_text_trim(row.text);
    std::string message = title;
    message += " was found to be out of control because ";
    message += sentence;
    message += ".\n\n";
    message += row.text;
    MessagePopup("Out of control data!!!", message.c_str());
}

std::string decision_tree_name(const char* trees, int rule)
{
    if (!trees || rule < 0 || rule >= kRuleCount) return "";
    const std::size_t length = std::strlen(trees), start = static_cast<std::size_t>(kTreeField * rule);
    if (length <= start) return "";
    std::string field(trees + start, std::min<std::size_t>(kTreeField, length - start));
    const std::size_t blank = field.find(' ');
    if (blank != std::string::npos) field.erase(blank);
    return field;
}

void spc_start_tree(int channel, int type, int subtype, int index, int rule)
{
    const CatalogueRow row = read_row(channel, type, subtype, index);
    const std::string name = decision_tree_name(row.trees, rule);
    launch_decision_tree(name.c_str());
}

std::string launch_decision_tree(const char* name)
{
    const std::string tree = name ? name : "";
    if (!safe_name(tree) || vt_dir.empty()) return "";
    const auto folder = vsys::find_file_nocase(vt_dir, "TREES");
    if (!folder || !vsys::directory_exists(*folder)) return "";
    const std::string document = tree_file(*folder, tree + ".AVF");
    if (!document.empty() && !tree_file(*folder, "CLRVIEW.EXE").empty()) {
        vsys::launch_document(document);
        return document;
    }
    const std::string text = tree_file(*folder, tree + ".TXT");
    if (!text.empty()) {
        vsys::launch_document(text);
        return text;
    }
    const std::string program = tree_file(*folder, tree + ".EXE");
    if (!program.empty()) {
        // By its full path and argument vector: never through a shell, never searched on PATH.
        // A failed start is not reported: the tree program is the engineers', outside the system.
        (void)vsys::spawn_detached({program});
        return program;
    }
    return "";
}
