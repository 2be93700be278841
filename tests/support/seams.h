// Stand-ins for the seams a test gives a subsystem in place of the programs' wiring.
#pragma once

#include <utility>

#include "acquisition/acquisition_seams.h"
#include "core/core_seams.h"
#include "setup/setup_seams.h"
#include "testing/testing_seams.h"

namespace vtest {

// Changes some of the seams a subsystem has been given and gives them back.
template <typename Edit>
void amend_core_seams(Edit edit)
{
    CoreSeams s = core_seams();
    edit(s);
    provide_core_seams(std::move(s));
}
template <typename Edit>
void amend_setup_seams(Edit edit)
{
    SetupSeams s = setup_seams();
    edit(s);
    provide_setup_seams(std::move(s));
}
template <typename Edit>
void amend_testing_seams(Edit edit)
{
    TestingSeams s = testing_seams();
    edit(s);
    provide_testing_seams(std::move(s));
}
template <typename Edit>
void amend_acquisition_seams(Edit edit)
{
    AcquisitionSeams s = acquisition_seams();
    edit(s);
    provide_acquisition_seams(std::move(s));
}

}  // namespace vtest
