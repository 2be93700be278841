// Control geometry of a resizable window kept at its own size, so scaling it down and back up loses nothing.
#pragma once

namespace vcore {

// Places every control of `panel` for a client of `width` x `height` (inside the frame), scaled from the
// geometry the controls had at the panel's own size; one-line controls (string, ring) keep their height. Controls
// shrink to 90 % of their own size at most: a smaller window gets scroll bars.
void scale_controls(int panel, int width, int height);
// Forgets what was kept for a panel that is gone (its handle may come back for another panel).
void forget_controls(int panel);

}  // namespace vcore
