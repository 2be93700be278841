// Pacing between replayed blocks: the five play buttons, the rewind history file and the pause.
#pragma once

#include <cstdio>
#include <string>

#include "playback/replay.h"

// "tmp.bin" in the working directory.
std::string history_path();
// Creates the play buttons under the strip chart and a fresh history file.
void create_play_buttons(PlaybackState& s);
// Discards the buttons and closes and removes the history file.
void discard_play_buttons(PlaybackState& s);
// The next raw block of the "Strip Chart" output: from the history after a step back, else from the
// trace file (recorded in the history). False when no block was read.
bool next_strip_block(PlaybackState& s, std::FILE* trace);
// After each block: waits, play buttons and stepping back ("Strip Chart"), the pause (others).
void after_block(PlaybackState& s, bool block_read);
