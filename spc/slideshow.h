// The chart slideshow: every catalogued chart of the current process in the chart window, a few seconds each.
#pragma once

// Seconds each chart of the slideshow stays on screen.
inline constexpr double kSlideSeconds = 3.0;

// Menu command: opens the chart window in slideshow mode, runs next and closes the window afterwards.
void start_next(int menuBar, int item, void* callbackData, int panel);
// Shows every row of the catalogue in turn until the rows end, Stop (control 4) is pressed or the window is
// discarded; a non-empty recipe restricts the TEST batch to that process name.
void next(int display, int runLimit, const char* recipe);
