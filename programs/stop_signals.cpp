// A signal-waiting thread turns stop signals into a quit of the user-interface loop.
#include "programs/stop_signals.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

#include "acquisition/start_stop.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/userint.h"

void end_program_on_request()
{
    // The run in progress is stored and tested as at Stop before the program goes.
    end_acquisition_for_exit();
    QuitUserInterface(0);
}

void install_stop_signals()
{
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    // Handlers may not touch the model; the waiting thread posts the quit to
    // the user-interface thread instead. It lives until the process ends.
    std::thread([stops] {
        for (;;) {
            int signal = 0;
            if (sigwait(&stops, &signal) == 0) vui::post_task(end_program_on_request);
        }
    }).detach();
}
