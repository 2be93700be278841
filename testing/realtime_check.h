// The real-time limit check: a value beyond the stored limits of an activated chart becomes an alarm row and a line.
#pragma once

#include <string>

#include "core/chart_record.h"
#include "testing/trace_setup.h"

// Judges value against the chart of the record (its process and code fields); the record takes the chart's
// stored rules and limits mode. Returns 0.
int realtime_check(ChartRecord& chart, int run, int wafer, double value, const char* trace_id);

// The services the analysis sections use in the program: the limit table, result
// rows on hdbc with create-and-retry, and realtime_check on a record of its own for each value.
class DbTestServices : public TestServices {
public:
    explicit DbTestServices(std::string trace_id) : trace_id_(std::move(trace_id)) {}
    int step_specs(int type, int subtype, int channel, int step, double limits[3]) override;
    void insert_row(const std::string& sql, ResultTable table, int a, int b) override;
    void realtime_check(int channel, int type, int subtype, int step, int run, int wafer, double value) override;

private:
    std::string trace_id_;
};
