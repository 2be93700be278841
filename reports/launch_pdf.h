// Opening a written PDF report in the viewer.
#pragma once

// Opens the report at `path` in a new tab of the connected browser view; 1 when it was handed to a view,
// 0 when no view is connected (no viewer found). The caller's path is left as it is.
int LaunchPdfView(const char* path);
