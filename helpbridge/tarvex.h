// Tarvex: the help bridge library's one export, which opens a topic of a compiled HTML help file.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Opens `topic` (a context number of the help file) of the help file at
// `file` and returns at once. The caller owns `file`; nothing is kept.
// Reports nothing: a missing viewer, display, file or topic goes unnoticed.
__attribute__((visibility("default"))) void callHtmlHelp(char* file, int topic);

#ifdef __cplusplus
}
#endif
