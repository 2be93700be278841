// The demo's process "ETCH" made from sim/default_setup.txt: its setup, channel and timer names, watched charts and limits.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vdemo {

// One chart the demo watches: its key, run rules and LCL, target, UCL.
struct DemoChart {
    short channel, type, subtype, index;
    int rules;
    double limits[3];
};

// A decision tree attached to one rule of a watched chart: its name (at most 8 characters) in the TREES folder.
struct DemoTree {
    short channel, type, subtype, index;
    int rule;
    std::string name;
};

// The setup file: "key = value" lines ("#" starts a comment); channel arrays are "channel:value" pairs;
// every "chart" and "decision_tree" line is kept, in order.
struct DemoSetup {
    std::map<std::string, std::string> values;
    std::vector<DemoChart> charts;
    std::vector<DemoTree> trees;
};

// Reads the file; false (with the reason in *error) when it cannot be read or a line is malformed.
bool read_demo_setup(const std::string& path, DemoSetup& out, std::string* error);
// "1:100 2:20" as {1: "100", 2: "20"}.
std::map<int, std::string> channel_pairs(const std::string& text);
// Sets the setup globals from the file (the acquisition's view of the process).
void apply_demo_setup(const DemoSetup& setup);
// Stores the channel names of the file in the current process (on hdbc).
void put_channel_names(const DemoSetup& setup);
// On the open connection hdbc: makes process 3 "ETCH" current with the file's setup, names, charts and limits.
bool seed_demo_process(const DemoSetup& setup, std::string* error);
// Copies the decision trees the setup names ("NAME.TXT" in tree_source) into DIRECTORY/TREES.
bool install_demo_trees(const DemoSetup& setup, const std::string& tree_source, const std::string& directory,
                        std::string* error);

}  // namespace vdemo
