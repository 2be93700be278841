// Display titles of charts, formed from the four fields of a chart code and the process's channel and timer names.
#pragma once

// Room a title buffer must have: a 32-character name and the longest title form.
constexpr int kChartTitleSize = 80;

// Writes the chart's title into title (kChartTitleSize bytes); leaves it unchanged for combinations without a title.
void form_chart_title(char* title, int channel, int type, int subtype, int index);
