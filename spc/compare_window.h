// The batch comparison window: opening it, the POR and TEST batch selections its dialogs fill, and ending it.
#pragma once

int compare_batches(int panel, int control, int event, void* data, int d1, int d2);
int select_test_batches(int panel, int control, int event, void* data, int d1, int d2);
int select_por_batches(int panel, int control, int event, void* data, int d1, int d2);
int stop_compare(int panel, int control, int event, void* data, int d1, int d2);
// The Compare command of the main window's menu bar.
void MenuCompare(int menuBar, int item, void* data, int panel);
