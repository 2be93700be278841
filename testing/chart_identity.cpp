// The chart being judged or shown (its four code fields) and the rules and limits mode of the chart last read.
#include "testing/chart_identity.h"

#include "testing/testing_seams.h"

short spc_channel = 0;
short chart_type = 0;
short type_subparameter = 0;
short spc_index = 0;
int nelson_rules = 0;
short natural = 1;
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
