// Ending the program cleanly on SIGTERM, SIGINT or SIGHUP, as a service manager or Ctrl+C asks.
#pragma once

// Blocks the stop signals in the calling thread (and so in every thread started
// after it: call it first in main) and starts a thread that waits for them and
// asks the user interface to quit, so the normal shutdown runs.
void install_stop_signals();
// What a stop request does on the user-interface thread: acquisition ends as Stop ends it, then the loop quits.
void end_program_on_request();
