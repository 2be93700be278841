// Chart selection buffers of the SPC windows and the playback graph records, which start-up resets and core releases.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// TEST batch selection. The TEST series of a chart lives in the chart's own record (core/chart_record.h).
extern int wafer_restrictions, lot_restrictions, recipe_restrictions, system_restrictions;
extern std::vector<int> wafer_select, wafer_logic;
extern std::vector<std::string> lot_select, recipe_select, system_select;
// POR batch and the POR series the chart window shows beside a comparison.
extern int por_wafer_restrictions, por_lot_restrictions, por_recipe_restrictions, por_system_restrictions,
    por_chart_points;
extern std::vector<int> por_wafer_select, por_wafer_logic;
extern std::vector<std::string> por_lot_select, por_recipe_select, por_system_select;
extern std::vector<double> por_x_array;

// One played trace of the playback graph: its plot handle and channel.
struct GraphRecord {
    std::int32_t plot = 0;
    std::uint8_t channel = 0;
};
extern std::vector<GraphRecord> GraphInfo;
extern int GraphInfoEntries;

// Release the TEST batch, and the POR batch with its series (each group only when its count is above 0).
void free_mem();
void por_free_mem();
