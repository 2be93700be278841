// The chart and playback buffers and their release.
#include "core/shared_buffers.h"

int wafer_restrictions = 0, lot_restrictions = 0, recipe_restrictions = 0, system_restrictions = 0;
std::vector<int> wafer_select, wafer_logic;
std::vector<std::string> lot_select, recipe_select, system_select;
int por_wafer_restrictions = 0, por_lot_restrictions = 0, por_recipe_restrictions = 0, por_system_restrictions = 0,
    por_chart_points = 0;
std::vector<int> por_wafer_select, por_wafer_logic;
std::vector<std::string> por_lot_select, por_recipe_select, por_system_select;
std::vector<double> por_x_array;
std::vector<GraphRecord> GraphInfo;
int GraphInfoEntries = 0;

namespace {
template <typename... V>
void release(int& count, V&... arrays)
{
    if (count <= 0) return;
    (arrays.clear(), ...);
    (arrays.shrink_to_fit(), ...);
    count = 0;
}
}  // namespace

void free_mem()
{
    release(wafer_restrictions, wafer_select, wafer_logic);
    release(lot_restrictions, lot_select);
    release(recipe_restrictions, recipe_select);
    release(system_restrictions, system_select);
}

void por_free_mem()
{
    release(por_wafer_restrictions, por_wafer_select, por_wafer_logic);
    release(por_lot_restrictions, por_lot_select);
    release(por_recipe_restrictions, por_recipe_select);
    release(por_system_restrictions, por_system_select);
    release(por_chart_points, por_x_array);
}
