// The chart catalogue, the control-limit table and chart titles of a process.
#include <gtest/gtest.h>

#include <vector>

#include <cstring>

#include "core/config_store.h"
#include "spc/chart_catalogue.h"
#include "spc/chart_titles.h"
#include "spc/limit_table.h"
#include "tests/spc/spc_fixture.h"

using spctest::SpcTest;

namespace {

struct Prefs {
    int points = -1, pager = -1, rules = -1, halt = -1;
    short limits = -1;
    char trees[105] = "?", text[255] = "?";
};

short read_chart(short ch, short type, short sub, short step, Prefs& p)
{
    return chart_preferences(CHART_READ, &ch, &type, &sub, &step, &p.points, &p.pager, &p.rules, &p.limits, p.trees,
                             p.text, &p.halt);
}

void write_chart(short ch, short type, short sub, short step, Prefs p)
{
    chart_preferences(CHART_WRITE, &ch, &type, &sub, &step, &p.points, &p.pager, &p.rules, &p.limits, p.trees, p.text,
                      &p.halt);
}

std::string trimmed(const char* s)
{
    std::string t = s;
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

}  // namespace

TEST_F(SpcTest, FirstReadCreatesTheCatalogueAndGivesDefaults)
{
    Prefs p;
    EXPECT_EQ(read_chart(2, 0, 1, 0, p), 0);
    EXPECT_TRUE(vsys::file_exists(dir.file("0003ACTC.DBF")));
    EXPECT_EQ(p.points, 300);
    EXPECT_EQ(p.rules, 3);
    EXPECT_EQ(p.limits, 1);
    EXPECT_EQ(p.pager, 0);
    EXPECT_STREQ(p.trees, "");
    EXPECT_STREQ(p.text, "");
    Prefs s;
    EXPECT_EQ(read_chart(2, 4, 0, 0, s), 0);
    EXPECT_EQ(s.rules, 1);
    EXPECT_STREQ(s.trees, "s_vector");
}

TEST_F(SpcTest, WritesAreClampedMaskedAndMarkEmptyTexts)
{
    Prefs w;
    w.points = 120, w.pager = 0xFFFF, w.rules = 0xFFFF, w.limits = 0, w.halt = 4;
    std::strcpy(w.trees, "   ");
    std::strcpy(w.text, "");
    write_chart(5, 1, 2, 3, w);
    EXPECT_EQ(rows("SELECT POINTS, RULES, PAGER, LIMITS, PRECOAT, D_TREE, P_TEXT, HALT FROM 0003ACTC"),
              "300|8191|8191|0|0|eMpTy tExT|eMpTy tExT|4");
    Prefs r;
    EXPECT_EQ(read_chart(5, 1, 2, 3, r), 1);  // limits mode 0: activated
    EXPECT_EQ(r.points, 300);
    EXPECT_EQ(r.rules, 0x1FFF);
    EXPECT_STREQ(r.trees, "");
    EXPECT_STREQ(r.text, "");

    w.points = 450, w.limits = 1;
    std::strcpy(w.trees, "  tree1   tree2");
    std::strcpy(w.text, "Call the shift lead");
    write_chart(5, 1, 2, 3, w);
    EXPECT_EQ(read_chart(5, 1, 2, 3, r), 0);
    EXPECT_EQ(r.points, 450);
    EXPECT_EQ(trimmed(r.trees), "  tree1   tree2");
    EXPECT_EQ(trimmed(r.text), "Call the shift lead");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM 0003ACTC"), "1");
}

TEST_F(SpcTest, ReadWithoutPointsOnlyAnswersAndDuplicateRowsCollapse)
{
    Prefs w;
    w.points = 300, w.pager = 0, w.rules = 3, w.limits = 0, w.halt = 0;
    write_chart(1, 0, 1, 0, w);
    ASSERT_EQ(vtest::run(hdbc, "INSERT INTO 0003ACTC VALUES (1, 0, 1, 0, 500, 16383, 1, 0, 0, 'x', 'y', 0)"), 0);
    short ch = 1, type = 0, sub = 1, step = 0;
    int rules = -5;
    EXPECT_EQ(chart_preferences(CHART_READ, &ch, &type, &sub, &step, nullptr, nullptr, &rules, nullptr, nullptr, nullptr,
                                nullptr),
              1);
    EXPECT_EQ(rules, -5);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM 0003ACTC"), "1");
}

TEST_F(SpcTest, DeleteRemovesTheChartAndPacks)
{
    Prefs w;
    w.points = 300, w.pager = 0, w.rules = 3, w.limits = 0, w.halt = 0;
    write_chart(1, 0, 1, 0, w);
    write_chart(2, 0, 1, 0, w);
    short ch = 1, type = 0, sub = 1, step = 0;
    EXPECT_EQ(chart_preferences(CHART_DELETE, &ch, &type, &sub, &step, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr),
              0);
    EXPECT_EQ(rows("SELECT CHANNEL FROM 0003ACTC"), "2");
    Prefs r;
    EXPECT_EQ(read_chart(1, 0, 1, 0, r), 0);
}

TEST_F(SpcTest, NoConnectionDoesNothing)
{
    DBDisconnect(hdbc);
    hdbc = -1;
    Prefs p;
    EXPECT_EQ(read_chart(1, 0, 1, 0, p), 0);
    EXPECT_EQ(p.points, -1);
}

TEST_F(SpcTest, FirstLimitCallCreatesAndSeedsTheTable)
{
    double l[3] = {-1, -1, -1};
    EXPECT_EQ(step_specs(LIMITS_READ, 5, 0, 3, 0, l), 0);
    EXPECT_EQ(l[0], 0.0);
    EXPECT_EQ(l[1], 15.0);
    EXPECT_EQ(l[2], 30.0);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM 0003LIMI WHERE TYPE = 5 AND LCL = 0 AND TARGET = 15 AND UCL = 30"), "16");
    EXPECT_EQ(step_specs(LIMITS_READ, 5, 0, 3, 0, l), 1);
}

TEST_F(SpcTest, LimitDefaultsWritesAndDeletes)
{
    double l[3];
    step_specs(LIMITS_READ, 0, 1, 1, 0, l);
    struct Case {
        short type, sub;
        short result;
        double lcl, target, ucl;
    } defaults[] = {{1, 4, 1, 90.0, -100.0, 110.0}, {4, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0}};
    for (const Case& c : defaults) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(step_specs(LIMITS_READ, c.type, c.sub, 2, 1, l), c.result);
        EXPECT_EQ(l[0], c.lcl);
        EXPECT_EQ(l[1], c.target);
        EXPECT_EQ(l[2], c.ucl);
    }
    // A new row keeps nine decimals, as an update does.
    double w[3] = {1.123456789, 2.5, 3.000000001};
    EXPECT_EQ(step_specs(LIMITS_WRITE, 1, 4, 2, 1, w), 1);
    EXPECT_EQ(step_specs(LIMITS_READ, 1, 4, 2, 1, l), 1);
    EXPECT_DOUBLE_EQ(l[0], 1.123456789);
    EXPECT_DOUBLE_EQ(l[2], 3.000000001);
    double u[3] = {4.000000002, 5, 6};
    step_specs(LIMITS_WRITE, 1, 4, 2, 1, u);
    step_specs(LIMITS_READ, 1, 4, 2, 1, l);
    EXPECT_DOUBLE_EQ(l[0], 4.000000002);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM 0003LIMI WHERE TYPE = 1"), "1");
    // Three zeros (within 1e-9) of a set point are kept as an explicit zero row: its stability test is off, and
    // the default range does not come back.
    double z[3] = {1e-9, 0, -5e-10};
    step_specs(LIMITS_WRITE, 1, 4, 2, 1, z);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM 0003LIMI WHERE TYPE = 1"), "1");
    EXPECT_EQ(step_specs(LIMITS_READ, 1, 4, 2, 1, l), 1);
    EXPECT_EQ(std::vector<double>(l, l + 3), (std::vector<double>{0.0, 0.0, 0.0}));
    step_specs(LIMITS_WRITE, 1, 4, 2, 2, z);  // a new row as well
    EXPECT_EQ(step_specs(LIMITS_READ, 1, 4, 2, 2, l), 1);
    EXPECT_EQ(std::vector<double>(l, l + 3), (std::vector<double>{0.0, 0.0, 0.0}));
    // Other step results still lose their row to zeros.
    double stab[3] = {1, 2, 3};
    step_specs(LIMITS_WRITE, 1, 2, 2, 1, stab);
    step_specs(LIMITS_WRITE, 1, 2, 2, 1, z);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM 0003LIMI WHERE TYPE = 1 AND SUBTYPE = 2"), "0");
    double small[3] = {2e-9, 0, 0};
    step_specs(LIMITS_WRITE, 0, 1, 7, 0, small);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM 0003LIMI WHERE TYPE = 0"), "1");
    double keep[3] = {7, 8, 9};
    EXPECT_EQ(step_specs(5, 0, 1, 7, 0, keep), 0);
    EXPECT_EQ(keep[0], 7);
}

TEST_F(SpcTest, LimitTableThatCannotBeQueriedReportsOnce)
{
    DBDisconnect(hdbc);
    hdbc = -1;
    double l[3] = {7, 8, 9};
    ui.answer(1);
    EXPECT_EQ(step_specs(LIMITS_READ, 1, 4, 1, 1, l), 0);
    EXPECT_EQ(ui.popups().back().title, "Database Error");
    EXPECT_EQ(l[0], 7);
}

TEST_F(SpcTest, ChartTitles)
{
    char text[33] = "RF FWD";
    get_put_char(hdbc, 28, 3, TAGS_WRITE, text);
    std::strcpy(text, "He");
    get_put_char(hdbc, 28, 7, TAGS_WRITE, text);
    std::strcpy(text, "Ignite");
    get_put_char(hdbc, 29, 2, TAGS_WRITE, text);
    struct Case {
        int ch, type, sub, step;
        const char* title;
    } cases[] = {
        {3, 1, 2, 4, "RF FWD Stability Time Step 4"},
        {3, 1, 0, 4, "RF FWD Step Overshoot Area 4"},
        {3, 1, 1, 2, "RF FWD Step Undershoot Area 2"},
        {3, 1, 3, 1, "RF FWD Decay Constant Step 1"},
        {3, 1, 5, 1, "RF FWD Step Undershoot Minimum 1"},
        {3, 1, 6, 1, "RF FWD Step Overshoot Maximum 1"},
        {7, 4, 0, 0, "He Sigma (% of POR)"},
        {2, 5, 0, 0, "Ignite"},
        {4, 5, 0, 0, "T4"},
        {5, 0, 1, 0, "A5 Mean"},
        {3, 20, 2, 0, "RF FWD Std Dev"},
        {3, 21, 3, 0, "RF FWD Minimum"},
        {3, 22, 4, 0, "RF FWD Maximum"},
        {0, 17, 0, 0, "Endpoint Time"},
        {0, 17, 1, 0, "Total Clean Time"},
        {99, 17, 2, 0, "Endpoint Max(Particles)"},
        {3, 18, 1, 0, "Pedestal 3 Mean"},
        {3, 18, 2, 0, "Pedestal 3 Standard Deviation"},
        {3, 18, 3, 0, "Pedestal 3 Minimum"},
        {3, 18, 4, 0, "Pedestal 3 Maximum"},
        // No title: the caller's text stays.
        {3, 1, 4, 1, "keep"},
        {3, 2, 0, 0, "keep"},
        {3, 23, 1, 0, "keep"},
        {3, 0, 5, 0, "keep"},
        {0, 17, 3, 0, "keep"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        char title[kChartTitleSize] = "keep";
        form_chart_title(title, c.ch, c.type, c.sub, c.step);
        EXPECT_STREQ(title, c.title);
    }
    EXPECT_TRUE(ui.popups().empty());
    for (int ch : {0, 33}) {
        char title[kChartTitleSize] = "keep";
        ui.answer(1);
        form_chart_title(title, ch, 0, 1, 0);
        EXPECT_STREQ(title, "keep");
        EXPECT_EQ(ui.popups().back().title + "|" + ui.popups().back().text, "Title Error|Invalid name index.");
    }
}
