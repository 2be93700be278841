// Help buttons and the Help menu item: open Vantrel.chm at the topic of the asking panel.
#pragma once

int help_bw(int panel, int control, int event, void* data, int d1, int d2);
int panel_help(int panel, int event, void* data, int d1, int d2);
// The topic for a panel's constant name (and, for "SPEC", its title line); 0 when no help opens.
int help_topic(const char* constant_name, const char* title);
