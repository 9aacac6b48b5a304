#include "history/CsvText.h"

#include <gtest/gtest.h>

#include <QTimeZone>

namespace {

struct CsvRow {
    const char* name;
    QStringList fields;
    QByteArray expected;
};

// Rows are named by their name, in test output and in ctest.
void PrintTo(const CsvRow& row, std::ostream* os)
{
    *os << row.name;
}

const std::vector<CsvRow> kRows = {
    {"PlainFieldsStandAsTheyAre", {"Cam3", "192.168.1.23", "up"}, "Cam3,192.168.1.23,up\r\n"},
    {"ACommaIsQuoted", {"a,b", "c"}, "\"a,b\",c\r\n"},
    {"AQuoteIsDoubled", {"say \"hi\""}, "\"say \"\"hi\"\"\"\r\n"},
    {"LineBreaksAreQuoted", {"one\ntwo", "three\r\nfour"}, "\"one\ntwo\",\"three\r\nfour\"\r\n"},
    {"AnEmptyFieldStaysEmpty", {"", "x", ""}, ",x,\r\n"},
    {"AFormulaIsDisarmed", {"=cmd|' /C calc'!A0"}, "'=cmd|' /C calc'!A0\r\n"},
    {"PlusMinusAndAtAreDisarmed", {"+1", "-2", "@SUM(A1)"}, "'+1,'-2,'@SUM(A1)\r\n"},
    {"ATabOrCrFirstIsDisarmed", {"\tx", "\rx"}, "'\tx,\"'\rx\"\r\n"},
    {"ADisarmedFieldWithACommaIsQuotedWhole", {"=1,2"}, "\"'=1,2\"\r\n"},
    {"AFormulaSignInsideIsLeftAlone", {"a=b", "x-y"}, "a=b,x-y\r\n"},
    {"TextIsUtf8", {QString::fromUtf8("Kamera Süd")}, "Kamera S\xC3\xBC" "d\r\n"},
};

class CsvTable : public testing::TestWithParam<CsvRow> {};

TEST_P(CsvTable, Row)
{
    EXPECT_EQ(CsvText::rowUtf8(GetParam().fields), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, CsvTable, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<CsvRow>& info) { return std::string(info.param.name); });

TEST(CsvTextTest, TimesCarryTheirOffsetInEveryZone)
{
    const qint64 ms = QDateTime(QDate(2026, 7, 1), QTime(12, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    EXPECT_EQ(CsvText::time(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone("Europe/Berlin"))),
              "2026-07-01T14:00:00+02:00");
    EXPECT_EQ(CsvText::time(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc())), "2026-07-01T12:00:00+00:00");
    EXPECT_EQ(CsvText::time(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone("America/St_Johns"))),
              "2026-07-01T09:30:00-02:30");
}

} // namespace
