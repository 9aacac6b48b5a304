// What the report makes of a text for given private names: names are taken out in any case and inside longer
// names of files and folders, while the program's own words stay whole.
#include "diagnosis/PrivateNames.h"

#include <gtest/gtest.h>

namespace {

struct Scrub {
    const char* name;
    const char* user;
    const char* host;
    const char* text;
    const char* shown;
};

void PrintTo(const Scrub& row, std::ostream* out)
{
    *out << row.name;
}

const Scrub kRows[] = {
    {"ShortUserInsideTheProgramsOwnWords", "pyl", "box",
     "pyl: PylvaneLog.txt and pylvane.prom in ~/pyl_work, /srv/PYL-metrics",
     "<user>: PylvaneLog.txt and pylvane.prom in ~/<user>_work, /srv/<user>-metrics"},
    {"LongNamesInsideLongerWordsInAnyCase", "qzorbelwick", "quixhostzz.corp.example",
     "~/Qzorbelwick_work x.QuixHostZZ.Corp.Example-state quixhostzzmetrics Pylvane",
     "~/<user>_work x.<host>-state <host>metrics Pylvane"},
    {"LongUserInsideTheProgramsName", "lvane", "box", "Pylvane: /srv/lvane/x, PYLVANE_DOWN",
     "Pylvane: /srv/<user>/x, PYLVANE_DOWN"},
    {"AUserNamedAfterTheProgramIsStillTakenOut", "pylvaneadmin", "box", "/srv/pylvaneadmin_x Pylvane",
     "/srv/<user>_x Pylvane"},
    {"ShortHostNameOfAFullOne", "someone", "cam-gw.example.org", "cam-gw: CAM-GW.example.org",
     "<host>: <host>"},
};

class PrivateNamesTest : public testing::TestWithParam<Scrub> {};

TEST_P(PrivateNamesTest, TakesOutTheNamesAndKeepsTheProgramsWords)
{
    const Scrub& row = GetParam();
    const PrivateNames names({{}, {}, {QString::fromLatin1(row.user)}, {QString::fromLatin1(row.host)}});
    EXPECT_EQ(names.scrub(QString::fromLatin1(row.text)).toStdString(), row.shown);
}

INSTANTIATE_TEST_SUITE_P(Rows, PrivateNamesTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Scrub>& info) { return info.param.name; });

} // namespace
