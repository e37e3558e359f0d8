#include <gtest/gtest.h>

#include <time.h>

#include "common/PlatformSeams.h"
#include "common/TestSupport.h"
#include "logging/PatchStatusRecord.h"

using tw::PatchStatusRecord;

namespace {

__time64_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return _mktime64(&t);
}

TEST(PatchStatusRecord, StartValues) {
    PatchStatusRecord r;
    EXPECT_EQ("", r.GetVersionText());
    EXPECT_EQ("", r.GetChannel());
    EXPECT_EQ(0u, r.GetRunNumber());
    EXPECT_EQ(1u, r.GetForeground());
    EXPECT_EQ(1u, r.GetBackground());
    EXPECT_EQ(0u, r.GetShutdown());
    EXPECT_EQ(0u, r.GetErrorCode());
    EXPECT_EQ(0u, r.GetOsFlag());
    EXPECT_EQ('U', r.GetConnection());
    EXPECT_EQ(0, r.GetStartTime());
    EXPECT_EQ(0, r.GetEndTime());
    EXPECT_EQ(0u, r.GetBytes());
    EXPECT_EQ("", r.GetExtra());
    EXPECT_EQ(" ", r.GetRecordText());
}

TEST(PatchStatusRecord, RecordTextWithMixedSeparators) {
    twtest::SeamGuard guard;
    __time64_t start = LocalTime(2026, 1, 2, 3, 4, 5);
    __time64_t now = start;
    tw::Platform().Time64 = [&now] { return now; };

    PatchStatusRecord r;
    r.StampStartTime();
    now = start + 75;
    r.StampEndTime();
    r.SetVersionText("TWUpdate/28.0/R12/pro");
    r.SetRunNumber(3);
    r.SetErrorCode(3010);
    r.SetOsFlag(1);
    r.SetConnection('L');
    r.SetForeground(0);
    r.SetBackground(1);
    r.SetShutdown(1);
    r.SetChannel("TWPatchexe");
    r.SetBytes(4096);
    r.SetExtra("x");
    EXPECT_EQ(
        "(date-2026_01_02_03_04_05;ver-TWUpdate/28.0/R12/pro;n-3;nfg-3;err-3010;s-1;conn-L;fg=0;bg-1;sd=1;"
        "chan-TWPatchexe;dur-75;bytes-4096;a-x)",
        r.FormatRecordText());
    EXPECT_EQ(r.GetRecordText(), r.FormatRecordText());
}

TEST(PatchStatusRecord, ZeroSecondRunUnknownChannelBlankConnection) {
    twtest::SeamGuard guard;
    __time64_t start = LocalTime(2025, 11, 9, 23, 59, 7);
    tw::Platform().Time64 = [start] { return start; };

    PatchStatusRecord r;
    r.StampStartTime();
    r.StampEndTime();
    r.SetConnection(' ');
    r.SetVersionText("TWUpdate/");
    std::string text = r.FormatRecordText();
    EXPECT_EQ(0u, text.find("(date-2025_11_09_23_59_07;ver-TWUpdate/;")) << text;
    EXPECT_NE(std::string::npos, text.find(";conn-U;")) << text;
    EXPECT_NE(std::string::npos, text.find(";chan-Unknown;")) << text;
    EXPECT_NE(std::string::npos, text.find(";dur-0;")) << text;
    EXPECT_NE(std::string::npos, text.find(";err-0;")) << text;
}

}  // namespace
