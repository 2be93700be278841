// The selected entry of the alarm window, and the seams trace testing is given.
#include "testing/chart_identity.h"

#include "testing/testing_seams.h"

int selected_alarm_code = -1;

namespace {
TestingSeams& given_seams()
{
    static TestingSeams seams;
    return seams;
}
}  // namespace

void provide_testing_seams(TestingSeams seams) { given_seams() = std::move(seams); }
const TestingSeams& testing_seams() { return given_seams(); }
