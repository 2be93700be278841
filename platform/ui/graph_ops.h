// What a user does to a graph by hand (move a cursor, zoom or pan), shared by the driver and the view.
#pragma once

namespace vui {

// Moves a cursor as a drag would (snapping in snap mode); no event is sent.
int move_graph_cursor(int panel, int ctrl, int cursor, double x, double y);
// The graph's own zoom and pan: both axes become manual over the new ranges.
int zoom_graph(int panel, int ctrl, double xmin, double xmax, double ymin, double ymax);

}  // namespace vui
