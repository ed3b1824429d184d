#include "platform/win/formatdatetime.h"

#include <gtest/gtest.h>

namespace {
win::TDateTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
    return win::EncodeDateTime(win::DateParts{y, mo, d, h, mi, s, ms, 0});
}
} // namespace

TEST(FormatDateTime, EverySpecifier) {
    const win::TDateTime t = At(2026, 3, 7, 14, 5, 9, 42); // a Saturday afternoon
    const win::TDateTime am = At(1998, 12, 8, 0, 20, 30, 0);
    struct Row {
        const char* format;
        win::TDateTime t;
        const char* expected;
    } rows[] = {
        {"yyyy-mm-dd", t, "2026-03-07"},
        {"YYYY-MM-DD", t, "2026-03-07"},
        {"yy y", t, "26 26"},
        {"m mm mmm mmmm", t, "3 03 Mar March"},
        {"d dd ddd dddd", t, "7 07 Sat Saturday"},
        {"ddddd", t, "3/7/26"},
        {"dddddd", t, "Saturday, March 7, 2026"},
        {"hh:mm:ss", t, "14:05:09"}, // m after an hour is minutes
        {"h:m", t, "14:5"},
        {"hh nn ss zzz z", t, "14 05 09 042 42"},
        {"h:nn am/pm", t, "2:05 pm"},
        {"h:nn AM/PM", am, "12:20 AM"},
        {"h a/p", t, "2 p"},
        {"hh ampm", am, "12 AM"},
        {"t", t, "2:05 PM"},
        {"tt", t, "2:05:09 PM"},
        {"c", t, "3/7/26 2:05:09 PM"},
        {"c", At(2026, 3, 7, 0, 0, 0, 0), "3/7/26"},
        {"'yyyy' \"mm\" yyyy", t, "yyyy mm 2026"},
        {"yyyymmddhhnnss", am, "19981208002030"},
        {"dd/mm/yyyy", t, "07/03/2026"},
        {"'unclosed", t, "unclosed"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(win::FormatDateTime(r.format, r.t), r.expected) << r.format;
}

TEST(FormatDateTime, SettingsChangeSeparatorsAndShortDate) {
    win::FormatSettings fs;
    fs.ShortDateFormat = "dd.mm.yyyy";
    fs.DateSeparator = '.';
    fs.TimeSeparator = '-';
    const win::TDateTime t = At(2001, 2, 3, 4, 5, 6, 0);
    EXPECT_EQ(win::FormatDateTime("ddddd", t, fs), "03.02.2001");
    EXPECT_EQ(win::FormatDateTime("yyyy/mm/dd hh:nn", t, fs), "2001.02.03 04-05");
    // A format that names itself cannot recurse without end.
    fs.ShortDateFormat = "ddddd";
    EXPECT_EQ(win::FormatDateTime("ddddd", t, fs), "");
}
