// Stand-ins for the seams a test gives a subsystem in place of the programs' wiring.
#pragma once

#include <utility>

#include "acquisition/acquisition_seams.h"
#include "core/core_seams.h"
#include "setup/setup_seams.h"
#include "testing/testing_seams.h"

namespace vtest {

// Changes some of the seams a subsystem has been given and gives them back.
template <typename Get, typename Provide, typename Edit>
void amend_seams(Get get, Provide provide, Edit edit)
{
    auto s = get();
    edit(s);
    provide(std::move(s));
}
template <typename Edit>
void amend_core_seams(Edit edit) { amend_seams(core_seams, provide_core_seams, edit); }
template <typename Edit>
void amend_setup_seams(Edit edit) { amend_seams(setup_seams, provide_setup_seams, edit); }
template <typename Edit>
void amend_testing_seams(Edit edit) { amend_seams(testing_seams, provide_testing_seams, edit); }
template <typename Edit>
void amend_acquisition_seams(Edit edit) { amend_seams(acquisition_seams, provide_acquisition_seams, edit); }

}  // namespace vtest
