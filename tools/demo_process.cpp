// Makes the demo's process from its setup file through the same stores the programs use.
#include "tools/demo_process.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/config_store.h"
#include "core/globals.h"
#include "platform/sys/files.h"
#include "spc/chart_catalogue.h"
#include "spc/limit_table.h"

namespace vdemo {

namespace {

std::string trim(std::string s)
{
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t\r") + 1);
    return s;
}

bool parse_chart(const std::string& text, DemoChart& c)
{
    std::istringstream in(text);
    return static_cast<bool>(in >> c.channel >> c.type >> c.subtype >> c.index >> c.rules >> c.limits[0] >>
                             c.limits[1] >> c.limits[2]);
}

bool parse_tree(const std::string& text, DemoTree& t)
{
    std::istringstream in(text);
    return static_cast<bool>(in >> t.channel >> t.type >> t.subtype >> t.index >> t.rule >> t.name) && t.rule >= 0 &&
           t.rule < 13 && !t.name.empty() && t.name.size() <= 8;
}

// The catalogue's tree text: 13 fields of 8 characters, a blank ending a shorter name.
std::string tree_text(const DemoSetup& s, const DemoChart& c)
{
    std::string text;
    for (const DemoTree& t : s.trees) {
        if (t.channel != c.channel || t.type != c.type || t.subtype != c.subtype || t.index != c.index) continue;
        const std::size_t at = static_cast<std::size_t>(8 * t.rule);
        if (text.size() < at + 8) text.resize(at + 8, ' ');
        text.replace(at, 8, (t.name + "        ").substr(0, 8));
    }
    return text;
}

const std::string& value(const DemoSetup& s, const char* key)
{
    static const std::string none;
    auto it = s.values.find(key);
    return it == s.values.end() ? none : it->second;
}

int as_int(const DemoSetup& s, const char* key) { return static_cast<int>(std::strtol(value(s, key).c_str(), nullptr, 0)); }
double as_double(const DemoSetup& s, const char* key) { return std::strtod(value(s, key).c_str(), nullptr); }

template <typename T, std::size_t N>
void fill(T (&array)[N], const DemoSetup& s, const char* key)
{
    for (auto& [i, v] : channel_pairs(value(s, key)))
        if (i >= 0 && static_cast<std::size_t>(i) < N) array[i] = static_cast<T>(std::strtod(v.c_str(), nullptr));
}

// "1:1 2:0" as a mask with bit t-1 set for every timer t given a non-zero value.
int timer_bits(const DemoSetup& s, const char* key)
{
    int bits = 0;
    for (auto& [t, v] : channel_pairs(value(s, key)))
        if (t >= 1 && t <= 16 && std::atoi(v.c_str()) != 0) bits |= 1 << (t - 1);
    return bits;
}

void put_names(const DemoSetup& s, const char* key, int param)
{
    for (auto& [i, v] : channel_pairs(value(s, key))) {
        char name[33];
        std::snprintf(name, sizeof name, "%s", v.c_str());
        get_put_char(hdbc, param, i, TAGS_WRITE, name);
    }
}

}  // namespace

bool read_demo_setup(const std::string& path, DemoSetup& out, std::string* error)
{
    std::ifstream in(path);
    if (!in) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) {
            if (error) *error = path + ":" + std::to_string(number) + ": no '='";
            return false;
        }
        const std::string key = trim(line.substr(0, eq)), text = trim(line.substr(eq + 1));
        if (key == "chart") {
            DemoChart c {};
            if (!parse_chart(text, c)) {
                if (error) *error = path + ":" + std::to_string(number) + ": chart needs 8 numbers";
                return false;
            }
            out.charts.push_back(c);
        } else if (key == "decision_tree") {
            DemoTree t {};
            if (!parse_tree(text, t)) {
                if (error) *error = path + ":" + std::to_string(number) + ": decision_tree needs 5 numbers and a name";
                return false;
            }
            out.trees.push_back(t);
        } else {
            out.values[key] = text;
        }
    }
    return true;
}

std::map<int, std::string> channel_pairs(const std::string& text)
{
    std::map<int, std::string> out;
    std::istringstream in(text);
    std::string item;
    while (in >> item) {
        auto colon = item.find(':');
        if (colon == std::string::npos) continue;
        out[std::atoi(item.substr(0, colon).c_str())] = item.substr(colon + 1);
    }
    return out;
}

void apply_demo_setup(const DemoSetup& s)
{
    channels = static_cast<std::uint8_t>(as_int(s, "channels"));
    VantrelChannelStatusBits = static_cast<std::uint32_t>(std::strtoul(value(s, "VantrelChannelStatusBits").c_str(), nullptr, 0));
    sample_rate_index = as_int(s, "sample_rate_index");
    sample_rate = sample_rate_index > 0 ? sample_rate_index : 1;
    fill(channel_type, s, "channel_type");
    fill(channel_slope, s, "channel_slope");
    fill(channel_inter, s, "channel_inter");
    fill(steps_per_process, s, "steps_per_process");
    fill(step_set_channel, s, "step_set_channel");
    trigger = static_cast<short>(as_int(s, "trigger"));
    trig_type = static_cast<short>(as_int(s, "trig_type"));
    trig_ch = static_cast<short>(as_int(s, "trig_ch"));
    trig_log = static_cast<short>(as_int(s, "trig_log"));
    trig_val = as_double(s, "trig_val");
    delay = as_int(s, "delay");
    minimum_trig_width = as_int(s, "minimum_trig_width");
    precoat_minimum = as_int(s, "precoat_minimum");
    timer_status_bit = as_int(s, "timer_status_bit");
    fill(timer_start_channel, s, "timer_start_channel");
    fill(timer_end_channel, s, "timer_end_channel");
    fill(timer_start_val, s, "timer_start_val");
    fill(timer_end_val, s, "timer_end_val");
    fill(timer_start_gun, s, "timer_start_gun");
    fill(timer_end_gun, s, "timer_end_gun");
    // Logic per timer: 1 rising above the level, 0 falling below it.
    timer_start_logic_bit = timer_bits(s, "timer_start_logic_bit");
    timer_end_logic_bit = timer_bits(s, "timer_end_logic_bit");
}

void put_channel_names(const DemoSetup& s) { put_names(s, "channel_names", 28); }

bool seed_demo_process(const DemoSetup& s, std::string* error)
{
    char text[33];
    std::snprintf(text, sizeof text, "%s", "ETCH");
    get_put_char(hdbc, 1, 3, CONFIG_WRITE, text);
    std::snprintf(text, sizeof text, "%s", "3");
    get_put_char(hdbc, 0, 5, CONFIG_WRITE, text);
    recipe_num = 3;
    apply_demo_setup(s);
    get_put_number(0, 0, SAVE_CHANNEL_GROUP, 0.0);
    get_put_number(0, 0, SAVE_STEP_GROUP, 0.0);
    get_put_number(0, 0, SAVE_TIMER_GROUP, 0.0);
    put_channel_names(s);
    put_names(s, "timer_names", 29);
    for (auto& [ch, v] : channel_pairs(value(s, "channel_colors")))
        if (ch >= 1 && ch <= 32) get_put_number(4, static_cast<short>(ch), NUMBER_T_WRITE, std::strtod(v.c_str(), nullptr));
    double ymin = 0, ymax = 0;
    if (std::istringstream(value(s, "strip_chart_y")) >> ymin >> ymax && ymin < ymax) {
        get_put_number(0, 0, NUMBER_T_WRITE, ymin);
        get_put_number(1, 0, NUMBER_T_WRITE, ymax);
    }
    for (DemoChart c : s.charts) {
        int points = 300, pager = 0, halt = 0;
        short activated = 0;
        char trees[105] = "", popup[255] = "";
        std::snprintf(trees, sizeof trees, "%s", tree_text(s, c).c_str());
        chart_preferences(CHART_WRITE, &c.channel, &c.type, &c.subtype, &c.index, &points, &pager, &c.rules,
                          &activated, trees, popup, &halt);
        // The first write also creates the limit table, seeded with the timers' limits.
        step_specs(LIMITS_WRITE, c.type, c.subtype, c.channel, c.index, c.limits);
        double back[3] = {0, 0, 0};
        if (step_specs(LIMITS_READ, c.type, c.subtype, c.channel, c.index, back) != 1 || back[2] != c.limits[2]) {
            if (error) *error = "the limits of a chart could not be stored";
            return false;
        }
    }
    return true;
}

bool install_demo_trees(const DemoSetup& s, const std::string& tree_source, const std::string& directory,
                        std::string* error)
{
    if (s.trees.empty()) return true;
    const std::string folder = vsys::path_join(directory, "TREES");
    if (vsys::Result made = vsys::ensure_directory(folder); !made) {
        if (error) *error = made.error;
        return false;
    }
    for (const DemoTree& t : s.trees) {
        const std::string file = t.name + ".TXT";
        if (vsys::Result copied = vsys::copy_file(vsys::path_join(tree_source, file), vsys::path_join(folder, file));
            !copied) {
            if (error) *error = copied.error;
            return false;
        }
    }
    return true;
}

}  // namespace vdemo
