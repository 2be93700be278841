// Every panel file of the main window loads with the callbacks both programs register.
#include <gtest/gtest.h>

#include "acquisition/install.h"
#include "core/callbacks.h"
#include "playback/playback.h"
#include "reports/install.h"
#include "setup/install.h"
#include "spc/install.h"
#include "testing/install.h"
#include "tests/support/temp_dir.h"

TEST(AcquisitionPanels, LoadWithTheRegisteredCallbacks)
{
    vui::clear_callback_registry();
    vui::register_callbacks(core_callbacks());
    install_acquisition();
    vui::register_callbacks(setup_callbacks());
    vui::register_callbacks(testing_callbacks());
    vui::register_callbacks(spc_callbacks());
    vui::register_callbacks(playback_callbacks());
    vui::register_callbacks(reports_callbacks());
    for (const char* file : {"top.uir", "s_chart.uir", "daq_set.uir", "vt_setup.uir", "about_vt.uir",
                             "SystemName.uir", "right.uir", "playback.uir", "realtime.uir",
                             "compare.uir", "pop.uir", "mfc_comd.uir"}) {
        vsys::Result r = vui::check_panel_file(vtest::bin_dir() + "/panels/" + file);
        EXPECT_TRUE(r.ok) << file << ": " << r.error;
    }
}
