// Fuzz target: a decision-tree field read from a catalogue's trees text, and the tree looked up by that name.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/globals.h"
#include "fuzz/fuzz_popups.h"
#include "platform/sys/files.h"
#include "spc/decision_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = [] {
        vfuzz::quiet_popups();
        // An empty trees folder: every lookup runs, nothing is ever found or started.
        vt_dir = vfuzz::scratch();
        (void)vsys::ensure_directory(vt_dir + "/TREES");
        return true;
    }();
    (void)ready;
    if (size == 0) return 0;
    const int rule = static_cast<int>(data[0] % 16) - 1;
    const std::string trees(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string name = decision_tree_name(trees.c_str(), rule);
    if (name.size() > 8 || name.find(' ') != std::string::npos) std::abort();
    if (!launch_decision_tree(name.c_str()).empty()) std::abort();
    if (!launch_decision_tree(trees.c_str()).empty()) std::abort();
    return 0;
}
