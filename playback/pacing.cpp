// Pacing of the replay: play buttons, waits cut short by user events, the rewind history file and the pause.
#include "playback/pacing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/errors.h"
#include "core/globals.h"
#include "core/text_utils.h"
#include "panels/s_chart.h"
#include "platform/sys/clock.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "playback/playback.h"

int l_button = 0, l1_button = 0, r1_button = 0, r_button = 0, f_button = 0;

namespace {

bool history_write(std::FILE* f, const void* data, std::size_t bytes)
{
    if (vsys::file_fault(vsys::FileOp::write, f)) {
        errno = ENOSPC;
        return false;
    }
    return std::fwrite(data, 1, bytes, f) == bytes;
}

int value_of(int ctrl)
{
    int v = 0;
    if (ctrl > 0) GetCtrlVal(sc_handle, ctrl, &v);
    return v;
}

// Lets one pending user event through without waiting; true when one came.
bool poll_event()
{
    int panel = 0, ctrl = 0;
    return GetUserEvent(0, &panel, &ctrl) != 0;
}

// One turn of a wait for the user: pending events, else a short sleep.
void idle_poll()
{
    if (!poll_event()) vsys::sleep_seconds(0.01);
}

// Waits up to `seconds` from the block's start, cut short by any user event.
void wait_from(double start, double seconds)
{
    while (vsys::clock_seconds() - start < seconds) {
        if (poll_event()) return;
        // Never a sleep too short to move the clock on.
        const double left = seconds - (vsys::clock_seconds() - start);
        vsys::sleep_seconds(std::min(0.01, std::max(left, 0.001)));
    }
}

void write_labels(int run, const RunRecord& record, int wafer)
{
    const std::string label = trace_label(run, record);
    SetCtrlVal(sc_handle, SCHART_TRACE_ID, label);
    SetCtrlVal(sc_handle, SCHART_PLAY_RUN, label);
    SetCtrlVal(sc_handle, SCHART_WAFER, run < 0 ? std::string() : vsys::strprintf("# %i", wafer));
}

// Makes the block buffers fit a block of `layout`.
void fit_buffers(PlaybackState& s, const BlockLayout& layout)
{
    try {
        s.shown = layout;
        s.raw.resize(layout.values());
        s.scaled.resize(layout.values());
    } catch (const std::bad_alloc&) {
        EXIT_NOW("NULL pointer returned");
        throw;
    }
}

void drop_history(PlaybackState& s)
{
    s.history.reset();
    (void)vsys::delete_file_if_present(history_path());
}

}  // namespace

std::string history_path() { return vsys::path_join(vt_dir, "tmp.bin"); }

void create_play_buttons(PlaybackState& s)
{
    int left = 0, width = 0, top = 0, height = 0, pause_width = 0, pause_height = 0;
    GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_LEFT, &left);
    GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_WIDTH, &width);
    GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_TOP, &top);
    GetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_HEIGHT, &height);
    GetCtrlAttribute(sc_handle, SCHART_PAUSE, ATTR_WIDTH, &pause_width);
    GetCtrlAttribute(sc_handle, SCHART_PAUSE, ATTR_HEIGHT, &pause_height);
    const int centre = left + width / 2, w = pause_width / 3, y = top + height;
    struct ButtonPlace {
        int* handle;
        int offset;
        const char* icon;
    };
    const ButtonPlace places[] = {{&l_button, -2, "left.ico"},
                          {&l1_button, -1, "left1.ico"},
                          {&r1_button, 0, "right1.ico"},
                          {&r_button, 1, "right.ico"},
                          {&f_button, 2, "fforward.ico"}};
    for (const ButtonPlace& b : places) {
        *b.handle = NewCtrl(sc_handle, CTRL_PICTURE_BUTTON, "", y, centre + b.offset * w);
        SetCtrlAttribute(sc_handle, *b.handle, ATTR_WIDTH, w);
        SetCtrlAttribute(sc_handle, *b.handle, ATTR_HEIGHT, pause_height);
        SetCtrlAttribute(sc_handle, *b.handle, ATTR_IMAGE_FILE, b.icon);
        InstallCtrlCallback(sc_handle, *b.handle, play_buttons, nullptr);
    }
    (void)vsys::delete_file_if_present(history_path());
    s.history = vsys::open_file(history_path(), "wb+");
    SetCtrlAttribute(sc_handle, l_button, ATTR_DIMMED, 1);
    SetCtrlVal(sc_handle, r_button, 1);
    s.play_value = s.back_value = s.ff_value = 0;
    s.replay_count = 0;
}

void discard_play_buttons(PlaybackState& s)
{
    for (int* b : {&f_button, &l_button, &r_button, &l1_button, &r1_button}) {
        if (*b > 0) DiscardCtrl(sc_handle, *b);
        *b = 0;
    }
    drop_history(s);
}

bool next_strip_block(PlaybackState& s, std::FILE* trace)
{
    std::FILE* h = s.history.get();
    std::int32_t head[5];
    const long at = std::ftell(h);
    if (std::fread(head, 1, sizeof head, h) == sizeof head) {
        // A block shown before, brought back after a step back.
        const int run = head[0], wafer = head[1];
        const RunRecord record = look_up_run(hdbc, run);
        if (s.replay_count <= 1) write_labels(run, record, wafer);
        fit_buffers(s, run == s.record.run ? s.layout : layout_of(record));
        std::int32_t link = 0;
        return std::fread(s.raw.data(), sizeof(std::int16_t), s.raw.size(), h) == s.raw.size() &&
               std::fread(&link, 1, sizeof link, h) == sizeof link;
    }
    std::clearerr(h);
    std::fseek(h, at, SEEK_SET);
    if (s.replay_count <= 1) write_labels(s.item_run, s.record, s.wafer);
    fit_buffers(s, s.layout);
    if (std::fread(s.raw.data(), sizeof(std::int16_t), s.raw.size(), trace) != s.raw.size()) return false;
    if (std::fread(s.trailer.data(), 1, s.trailer.size(), trace) != s.trailer.size()) return false;
    std::fseek(h, 0, SEEK_END);
    const long end = std::ftell(h);
    std::int32_t ids[2] = {s.item_run < 0 ? s.item_run : s.record.run, s.wafer};
    unsigned char record_head[20];
    std::memcpy(record_head, s.trailer.data(), sizeof record_head);
    std::memcpy(record_head, ids, sizeof ids);
    const std::int32_t link = static_cast<std::int32_t>(end);
    const bool kept = end >= 0 && history_write(h, record_head, sizeof record_head) &&
                      history_write(h, s.raw.data(), s.raw.size() * sizeof(std::int16_t)) &&
                      history_write(h, &link, sizeof link) && std::fflush(h) == 0;
    // A history that cannot grow is dropped: the block is still shown, stepping back is no longer offered.
    if (!kept) {
        drop_history(s);
        for (int b : {l_button, l1_button}) {
            SetCtrlVal(sc_handle, b, 0);
            SetCtrlAttribute(sc_handle, b, ATTR_DIMMED, 1);
        }
    }
    return true;
}

namespace {

void strip_after_block(PlaybackState& s)
{
    if (s.replay_count > 0) --s.replay_count;
    if (s.replay_count == 0) {
        const BlockLayout& l = s.shown;
        s.seconds_per_screen = l.rate_index > 0 ? s.points_per_screen / l.rate
                                                : s.points_per_screen * l.seconds_per_block();
        if (s.seconds_per_screen < 1) {
            s.points_per_screen = l.rate;
            SetCtrlAttribute(sc_handle, SCHART_STRIP, ATTR_POINTS_PER_SCREEN, std::max(l.rate, 2));
            s.seconds_per_screen = 1;
        }
        const bool scrolled = s.elapsed > s.seconds_per_screen;
        SetCtrlVal(sc_handle, SCHART_X_START, vsys::strprintf("%d", scrolled ? s.elapsed - s.seconds_per_screen : 0));
        SetCtrlVal(sc_handle, SCHART_X_END, vsys::strprintf("%d", scrolled ? s.elapsed : s.seconds_per_screen));
        const bool can_go_back = scrolled && s.history;
        // Only a change is passed on: the buttons stay put under the user's pointer.
        for (int b : {l_button, l1_button}) {
            int dimmed = 0;
            GetCtrlAttribute(sc_handle, b, ATTR_DIMMED, &dimmed);
            if (dimmed == (can_go_back ? 0 : 1)) continue;
            if (!can_go_back) SetCtrlVal(sc_handle, b, 0);
            SetCtrlAttribute(sc_handle, b, ATTR_DIMMED, can_go_back ? 0 : 1);
        }
    }
    double wait = 0.0;
    if (s.back_value && s.replay_count == 0)
        wait = 0.5;
    else if (s.play_value)
        wait = 0.5;
    else if (!s.back_value)
        wait = 0.01;
    if (wait > 0) wait_from(s.block_start, wait);

    poll_event();
    int toggle = value_of(SCHART_PLAY);
    auto read_buttons = [&] {
        toggle = value_of(SCHART_PLAY);
        s.ff_value = value_of(f_button);
        s.play_value = value_of(r_button);
        s.back_value = value_of(l_button);
    };
    read_buttons();
    while (toggle && !s.ff_value && !s.play_value && !s.back_value && s.replay_count == 0) {
        idle_poll();
        read_buttons();
        if (!s.ff_value && !s.play_value && !s.back_value) {
            s.play_value = value_of(r1_button);
            s.back_value = value_of(l1_button);
            if (s.play_value) SetCtrlVal(sc_handle, r1_button, 0);
            if (s.back_value) SetCtrlVal(sc_handle, l1_button, 0);
        }
    }
    if (s.back_value && s.replay_count == 0 && s.history) {
        ClearStripChart(sc_handle, SCHART_STRIP);
        std::FILE* h = s.history.get();
        int moved = 0;
        for (int i = 0; i <= s.seconds_per_screen; ++i) {
            const long here = std::ftell(h);
            // Never before the first record.
            if (here < static_cast<long>(sizeof(std::int32_t))) break;
            std::int32_t link = -1;
            if (std::fseek(h, here - static_cast<long>(sizeof link), SEEK_SET) != 0 ||
                std::fread(&link, 1, sizeof link, h) != sizeof link || link < 0 || link >= here ||
                std::fseek(h, link, SEEK_SET) != 0) {
                std::fseek(h, here, SEEK_SET);
                break;
            }
            s.elapsed = std::max(0, s.elapsed - s.shown.seconds_per_block());
            ++moved;
        }
        s.replay_count = std::max(moved - 1, 0);
        // The records that follow are read again by the block loop; nothing to redraw counts as one step.
        if (moved == 0) s.back_value = 0;
    }
}

}  // namespace

void after_block(PlaybackState& s, bool block_read)
{
    if (s.output == OUT_STRIP && block_read) {
        strip_after_block(s);
        return;
    }
    poll_event();
    int toggle = value_of(SCHART_PLAY), pause = value_of(SCHART_PAUSE);
    while (toggle && pause) {
        idle_poll();
        toggle = value_of(SCHART_PLAY);
        pause = value_of(SCHART_PAUSE);
    }
}

int play_buttons(int, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    const int group[] = {l_button, l1_button, r1_button, r_button, f_button};
    if (std::find(std::begin(group), std::end(group), control) == std::end(group) || control <= 0) return 0;
    if (!value_of(control)) return 0;
    for (int b : group)
        if (b != control && b > 0) SetCtrlVal(sc_handle, b, 0);
    return 0;
}
