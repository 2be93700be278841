// Why a chart's point is out of control, and the decision tree the engineers attached to that rule.
#pragma once

#include <string>

// The popup "Out of control data!!!" for a rule (0..12) of a chart of the current process.
void spc_error_popup(int channel, int type, int subtype, int index, int rule);
// Starts the decision tree stored for the rule of the chart, if there is one.
void spc_start_tree(int channel, int type, int subtype, int index, int rule);
// The tree's name as stored for the rule: its 8-character field of the trees text, cut at the first blank.
std::string decision_tree_name(const char* trees, int rule);
// Starts the tree of that name from the working directory's "TREES" folder: a viewer document (".AVF", when
// "CLRVIEW.EXE" is there too) or a text (".TXT") opens as a document, a program (".EXE") runs without
// arguments. A name that is empty or holds a path separator or ".." is refused. Returns what was started
// (the file's path), or "" when nothing was.
std::string launch_decision_tree(const char* name);
