// Colour scheme files: a header line, then 32 lines "0x%.6X" with the trace colour of channels 1..32.
#include "core/colour_files.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/config_store.h"
#include "core/core_seams.h"
#include "core/text_utils.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/confine.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"

namespace {
const char* kHeader = "Vantrel Color File (do not edit)\n";

void redraw()
{
    core_seams().names(0, -1, 0, 0);
}
}  // namespace

void default_color(int, int, void*, int)
{
    for (short ch = 1; ch <= 32; ++ch) get_put_number(4, ch, NUMBER_T_WRITE, get_default_color(ch));
    redraw();
}

void save_color(int, int, void*, int)
{
    std::string path;
    int r = FileSelectPopup("", "custom.color", "*.color", "Color save file", VAL_SAVE_BUTTON, 0, 1, 1, 1, &path);
    if (r != VAL_EXISTING_FILE_SELECTED && r != VAL_NEW_FILE_SELECTED) return;
    std::string content = kHeader;
    for (short ch = 1; ch <= 32; ++ch)
        content += vsys::strprintf("0x%.6X\n", static_cast<unsigned>(round_to_int(get_put_number(4, ch, NUMBER_T_READ, 0.0))));
    // Written through the folder the popup checked, whatever its path names by then.
    vsys::AtomicFile file(path, vsys::AtomicFile::Where::confined);
    if (!file.is_open() || !file.write(content) || !file.commit()) MessagePopup("Save Error", "Cannot open selected file.");
}

void load_color(int, int, void*, int)
{
    std::string path;
    int r = FileSelectPopup("", "*.color", "*.color", "Color save file", VAL_LOAD_BUTTON, 0, 1, 1, 1, &path);
    if (r != VAL_EXISTING_FILE_SELECTED) return;
    vsys::FilePtr f = vsys::open_confined(path, "r");
    if (!f) {
        MessagePopup("Load Error", "Cannot open selected file.");
        return;
    }
    char line[259];
    if (!std::fgets(line, sizeof line, f.get()) || std::strcmp(line, kHeader) != 0) {
        MessagePopup("Load Error", "Selected file cannot be read.");
        return;
    }
    int stored = 0;
    for (short ch = 1; ch <= 32; ++ch) {
        unsigned value = 0;
        if (!std::fgets(line, sizeof line, f.get()) || std::sscanf(line, "%X", &value) != 1) break;
        get_put_number(4, ch, NUMBER_T_WRITE, static_cast<double>(value));
        ++stored;
    }
    f.reset();
    if (stored == 32)
        redraw();
    else
        MessagePopup("Load Error", "Selected file cannot be read.");
}

int color_function(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_VAL_CHANGED) return 0;
    int value = 0;
    GetCtrlVal(panel, control, &value);
    if (control >= 34 && control <= 65) SetCtrlAttribute(panel, control - 33 + 1, ATTR_TEXT_COLOR, value);
    return 0;
}
