// chart_preferences: one row per chart in the process's catalogue table, created on first use.
#include "spc/chart_catalogue.h"

#include <cstring>
#include <string>

#include "core/chart_record.h"
#include "core/db_statement.h"
#include "core/errors.h"
#include "core/globals.h"
#include "platform/sys/format.h"

namespace {

constexpr const char* kEmpty = "eMpTy tExT";
constexpr int kTrees = 104, kText = 254;

struct StoredRow {
    short channel = 0, type = 0, param = 0, index = 0, limits = 0, precoat = 0;
    int points = 0, rules = 0, pager = 0, halt = 0;
    char trees[kTrees + 1] = "", text[kText + 1] = "";
    long status[12] = {};

    void bind(int s)
    {
        int r = 0;
        r |= DBBindColShort(s, 1, &channel, &status[0]);
        r |= DBBindColShort(s, 2, &type, &status[1]);
        r |= DBBindColShort(s, 3, &param, &status[2]);
        r |= DBBindColShort(s, 4, &index, &status[3]);
        r |= DBBindColInt(s, 5, &points, &status[4]);
        r |= DBBindColInt(s, 6, &rules, &status[5]);
        r |= DBBindColShort(s, 7, &limits, &status[6]);
        r |= DBBindColShort(s, 8, &precoat, &status[7]);
        r |= DBBindColInt(s, 9, &pager, &status[8]);
        r |= DBBindColChar(s, 10, kTrees + 1, trees, &status[9], "");
        r |= DBBindColChar(s, 11, kText + 1, text, &status[10], "");
        r |= DBBindColInt(s, 12, &halt, &status[11]);
        if (r != 0) ShowError();
    }
};

// A text of no word at all is stored as the marker; anything else as given.
void store_text(char* field, int width, const char* given)
{
    const char* p = given ? given : "";
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
    copy_bounded(field, *p ? given : kEmpty, width);
}

void load_text(char* out, int width, const char* field)
{
    if (!out) return;
    if (std::strstr(field, kEmpty))
        out[0] = '\0';
    else
        copy_bounded(out, field, width);
}

short perform(int process, int op, short* channel, short* type, short* param, short* index, int* points, int* pager,
              int* rules, short* limits, char* trees, char* popupText, int* halt, bool may_create)
{
    DbStatement st(hdbc, vsys::strprintf("SELECT * FROM %.4iACTC WHERE CHANNEL = %i AND CHART_TYPE = %i AND "
                                         "DATA_PARAM = %i AND D_INDEX = %i",
                                         process, *channel, *type, *param, *index));
    if (!st.ok()) {
        if (hdbc <= 0) return 0;
        st.close();
        if (!may_create) {
            // Made just now and still not readable: say so rather than loop.
            ShowError();
            return 0;
        }
        int r = DBImmediateSQL(hdbc, vsys::strprintf("CREATE TABLE %.4dACTC (CHANNEL NUMERIC(5,0), CHART_TYPE NUMERIC(5,0), "
                                                     "DATA_PARAM NUMERIC(5,0), D_INDEX NUMERIC(5,0), POINTS NUMERIC(9,0), "
                                                     "RULES NUMERIC(9,0), LIMITS NUMERIC(5,0), PRECOAT NUMERIC(5,0), "
                                                     "PAGER NUMERIC(9,0) , D_TREE CHAR(104), P_TEXT CHAR(254), HALT "
                                                     "NUMERIC(9,0))",
                                                     process)
                                         .c_str());
        if (r != 0 && r != 4) {
            ShowError();
            return 0;
        }
        perform(process, op, channel, type, param, index, points, pager, rules, limits, trees, popupText, halt, false);
        return 0;
    }
    const int s = st.handle();
    StoredRow row;
    row.bind(s);
    short result = 0;
    if (op == CHART_READ) {
        bool found = DBFetchNext(s) == 0;
        if (found) {
            if (points) {
                *points = row.points;
                if (pager) *pager = row.pager & 0x1FFF;
                if (rules) *rules = row.rules & 0x1FFF;
                if (limits) *limits = row.limits;
                load_text(trees, kTrees, row.trees);
                load_text(popupText, kText, row.text);
                if (halt) *halt = row.halt;
            }
            result = row.limits == 0 ? 1 : 0;
        } else if (points) {
            *points = 300;
            if (pager) *pager = 0;
            if (limits) *limits = 1;
            if (rules) *rules = *type == 4 ? 1 : 3;
            if (trees) std::strcpy(trees, *type == 4 ? "s_vector" : "");
            if (popupText) popupText[0] = '\0';
            if (halt) *halt = 0;
        }
    } else if (op == CHART_WRITE) {
        if (DBFetchNext(s) != 0 && DBCreateRecord(s) != 0) ShowError();
        row.channel = *channel;
        row.type = *type;
        row.param = *param;
        row.index = *index;
        row.points = points && *points > 300 ? *points : 300;
        row.pager = (pager ? *pager : 0) & 0x1FFF;
        row.rules = (rules ? *rules : 0) & 0x1FFF;
        row.limits = limits ? *limits : 1;
        row.precoat = 0;
        row.halt = halt ? *halt : 0;
        store_text(row.trees, kTrees, trees);
        store_text(row.text, kText, popupText);
        if (DBPutRecord(s) != 0) ShowError();
    }
    // At most one row per chart: further rows of the key go (all of them for a delete).
    while (DBFetchNext(s) == 0)
        if (DBDeleteRecord(s) != 0) ShowError();
    if (st.close() != 0) ShowError();
    if (op == CHART_DELETE && DBImmediateSQL(hdbc, vsys::strprintf("PACK %.4iACTC", process).c_str()) != 0)
        ShowError();
    return result;
}

}  // namespace

short chart_preferences(int operation, short* channel, short* type, short* dataParam, short* index, int* points,
                        int* pager, int* rules, short* limits, char* trees, char* popupText, int* halt)
{
    return perform(recipe_num, operation, channel, type, dataParam, index, points, pager, rules, limits, trees,
                   popupText, halt, true);
}

short chart_preferences_of(int process, int operation, short* channel, short* type, short* dataParam, short* index,
                           int* points, int* pager, int* rules, short* limits, char* trees, char* popupText, int* halt)
{
    return perform(process, operation, channel, type, dataParam, index, points, pager, rules, limits, trees, popupText,
                   halt, true);
}

CatalogueRow read_catalogue_row(const ChartRecord& chart)
{
    short channel = chart.channel, type = chart.type, subtype = chart.subtype, step = chart.step;
    CatalogueRow row;
    chart_preferences_of(chart.process, CHART_READ, &channel, &type, &subtype, &step, &row.points, &row.pager,
                         &row.rules, &row.limits, row.trees, row.text, &row.halt);
    return row;
}

void write_catalogue_row(const ChartRecord& chart, CatalogueRow& row)
{
    short channel = chart.channel, type = chart.type, subtype = chart.subtype, step = chart.step;
    chart_preferences_of(chart.process, CHART_WRITE, &channel, &type, &subtype, &step, &row.points, &row.pager,
                         &row.rules, &row.limits, row.trees, row.text, &row.halt);
}
