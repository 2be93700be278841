// step_specs: reads and writes control limits by (type, sub-type, channel, step); three zeros remove a row (but a set point's).
#include "spc/limit_table.h"

#include <cmath>
#include <string>

#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "platform/sys/format.h"

namespace {

bool all_zero(const double v[3])
{
    return std::fabs(v[0]) <= 1e-9 && std::fabs(v[1]) <= 1e-9 && std::fabs(v[2]) <= 1e-9;
}

short perform(int process, short op, short type, short subtype, short channel, short step, double limits[3],
              bool may_create)
{
    DbStatement st(hdbc, vsys::strprintf("SELECT LCL, TARGET, UCL FROM %.4dLIMI WHERE TYPE = %i AND SUBTYPE = %i AND "
                                         "CHANNEL = %i AND STEP_INDEX = %i",
                                         process, type, subtype, channel, step));
    if (!st.ok()) {
        st.close();
        if (!may_create) {
            // Created and seeded just now and still not readable: report it once instead of seeding again.
            ShowError();
            return 0;
        }
        DBImmediateSQL(hdbc, vsys::strprintf("CREATE TABLE %.4dLIMI (TYPE NUMERIC(5,0), SUBTYPE NUMERIC(5,0), CHANNEL "
                                             "NUMERIC(5,0), STEP_INDEX NUMERIC(5,0), LCL NUMERIC(19,9), TARGET "
                                             "NUMERIC(19,9), UCL NUMERIC(19,9))",
                                             process)
                                 .c_str());
        int r = 0;
        for (int t = 1; t <= 16; ++t)
            r = DBImmediateSQL(
                hdbc, vsys::strprintf("INSERT INTO %.4dLIMI VALUES (%i, 0, %i, 0, 0.0, 15.0, 30.0)", process, 5, t)
                          .c_str());
        if (r != 0)
            ShowError();
        else
            perform(process, op, type, subtype, channel, step, limits, false);
        return 0;
    }
    const int s = st.handle();
    double lcl = 0, target = 0, ucl = 0;
    long status[3] = {};
    if ((DBBindColDouble(s, 1, &lcl, &status[0]) | DBBindColDouble(s, 2, &target, &status[1]) |
         DBBindColDouble(s, 3, &ucl, &status[2])) != 0)
        ShowError();
    short result = 0;
    if (op == LIMITS_READ) {
        if (DBFetchNext(s) == 0) {
            limits[0] = lcl, limits[1] = target, limits[2] = ucl;
            result = 1;
        } else if (type == 1 && subtype == 4) {
            limits[0] = 90.0, limits[1] = -100.0, limits[2] = 110.0;
            result = 1;
        } else {
            limits[0] = limits[1] = limits[2] = 0.0;
        }
    } else if (op == LIMITS_WRITE) {
        // A set-point row of zeros switches that step's stability test off; removing it would bring the default
        // range back and silently undo the user's entry. Every other kind is removed by zeros.
        const bool setPoint = type == 1 && subtype == 4;
        const bool zero = all_zero(limits) && !setPoint;
        if (setPoint && all_zero(limits)) limits[0] = limits[1] = limits[2] = 0.0;
        if (DBFetchNext(s) == 0) {
            int r;
            if (zero) {
                r = DBDeleteRecord(s);
            } else {
                lcl = limits[0], target = limits[1], ucl = limits[2];
                r = DBPutRecord(s);
            }
            if (r != 0) ShowError();
        } else if (!zero) {
            // Nine decimals, as the column holds them and as an update stores them.
            std::string sql = vsys::strprintf("INSERT INTO %.4dLIMI VALUES (%i, %i, %i, %i, %.9f, %.9f, %.9f)",
                                              process, type, subtype, channel, step, limits[0], limits[1], limits[2]);
            if (DBImmediateSQL(hdbc, sql.c_str()) != 0) ShowError();
        }
        result = 1;
    }
    if (st.close() != 0) ShowError();
    return result;
}

}  // namespace

short step_specs(short operation, short type, short subtype, short channel, short step, double limits[3])
{
    return perform(recipe_num, operation, type, subtype, channel, step, limits, true);
}

short step_specs_of(int process, short operation, short type, short subtype, short channel, short step,
                    double limits[3])
{
    return perform(process, operation, type, subtype, channel, step, limits, true);
}
