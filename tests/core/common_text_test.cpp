// Texts, numbers and time helpers.
#include <gtest/gtest.h>

#include <time.h>

#include <QLocale>

#include <chrono>
#include <climits>
#include <set>
#include <stdexcept>
#include <vector>

#include "common/clock.h"
#include "common/global_functions.h"
#include "common/log.h"
#include "common/result_text.h"
#include "core/scratch_folder.h"

namespace {

TEST(FormatSize, UnitsAndPatterns) {
  struct Case {
    std::int64_t count;
    const char* pattern;
    bool binary;
    const char* expected;
  };
  const Case cases[] = {
      {524288, "0.##", false, "524.29 KB"},
      {0, "0.##", false, "0 bytes"},
      {999, "0.##", false, "999 bytes"},
      {1000, "0.##", false, "1 KB"},
      {1500000, "0.##", false, "1.5 MB"},
      {1048576, "0.##", true, "1 MB"},
      {1023, "0.##", true, "1023 bytes"},
      {1536, "0.0", true, "1.5 KB"},
      {1536, "0", true, "2 KB"},
      {1073741824, "0.00", true, "1.00 GB"},
      {2500000000000, "0.##", false, "2.5 TB"},
      {5000000000000000, "0.##", false, "5000 TB"},
      {1099511627776, "0.##", true, "1 TB"},
      {-5, "0.##", false, "0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Format_Size(c.count, c.pattern, c.binary), c.expected) << c.count << " " << c.pattern;
}

TEST(ReplaceText, ReplacesUntilNoneLeft) {
  struct Case {
    const char *text, *old_text, *new_text, *expected;
  };
  const Case cases[] = {
      {"aaa", "aa", "a", "a"},          // replaced again from the start
      {"a-b-c", "-", "+", "a+b+c"},
      {"aXbX", "X", "", "ab"},
      {"abc", "x", "y", "abc"},
      {"", "x", "y", ""},
      {"ab", "a", "aa", "aab"},         // new text holds the old one: a single pass
      {"a.b", ".", "..", "a..b"},
      {"abc", "", "x", "abc"},          // nothing to look for
  };
  for (const auto& c : cases)
    EXPECT_EQ(Replace_Text(c.text, c.old_text, c.new_text), c.expected) << c.text << " / " << c.old_text;
}

TEST(SplitString, PiecesFromElementZero) {
  struct Case {
    const char *text, *delimiter;
    int last;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"a,b,c", ",", 2, {"a", "b", "c", "", ""}},
      {"", ",", 0, {"", "", "", "", ""}},
      {"a,,b", ",", 2, {"a", "", "b", "", ""}},
      {"a,", ",", 1, {"a", "", "", "", ""}},
      {"x::y", "::", 1, {"x", "y", "", "", ""}},
      {"abc", ",", 0, {"abc", "", "", "", ""}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> parts(5, "stale");
    EXPECT_EQ(Split_String(parts, c.text, c.delimiter), c.last) << c.text;
    EXPECT_EQ(parts, c.expected) << c.text;
  }
}

TEST(SplitString, MorePiecesThanPartsThrows) {
  std::vector<std::string> parts(2);
  EXPECT_THROW(Split_String(parts, "a,b,c", ","), std::out_of_range);
  std::vector<std::string> none;
  EXPECT_THROW(Split_String(none, "", ","), std::out_of_range);
}

TEST(CharacterTexts, CountCharactersNotBytes) {
  EXPECT_EQ(Left_Chars("äbc", 2), "äb");
  EXPECT_EQ(Left_Chars("abc", 5), "abc");
  EXPECT_EQ(Left_Chars("abc", 0), "");
  EXPECT_EQ(Left_Chars("abc", -1), "");
  EXPECT_EQ(Right_Chars("aäc", 2), "äc");
  EXPECT_EQ(Right_Chars("a€", 1), "€");
  EXPECT_EQ(Right_Chars("abc", 3), "abc");
  EXPECT_EQ(Right_Chars("abc", 9), "abc");
  EXPECT_EQ(Right_Chars("abc", 0), "");
  EXPECT_EQ(Right_Chars("abc", -2), "");

  EXPECT_EQ(Pad_String("7", 3, "0", 0), "007");
  EXPECT_EQ(Pad_String("7", 3, "0", 1), "700");
  EXPECT_EQ(Pad_String("1234", 3, "0", 0), "1234");
  EXPECT_EQ(Pad_String("ä", 3, " ", 1), "ä  ");
  EXPECT_EQ(Pad_String("x", 5, "", 0), "x");
}

TEST(GetTagValue, FirstTagsWithoutRegardToCase) {
  struct Case {
    const char *open, *close, *text, *expected;
  };
  const Case cases[] = {
      {"<ver>", "</ver>", "a<VER>1.2</Ver>", "1.2"},
      {"<b>", "</b>", "<B>MiXeD</b>", "MiXeD"},
      {"<b>", "</b>", "<b>1</b><b>2</b>", "1"},
      {"<b>", "</b>", "", ""},
      {"<b>", "</b>", "no tags", ""},
      {"<b>", "</b>", "<b>open only", ""},
      {"<b>", "</b>", "</b>x<b>y", ""},  // the first closing tag comes first
      {"<b>", "</b>", "<b></b>", ""},
      {"<ä>", "</ä>", "<Ä>ü</Ä>", "ü"},
  };
  for (const auto& c : cases) EXPECT_EQ(Get_Tag_Value(c.open, c.close, c.text), c.expected) << c.text;
}

TEST(StrToInt64Safe, Numbers) {
  struct Case {
    const char* text;
    std::int64_t expected;
  };
  const Case cases[] = {
      {" 42 ", 42}, {"", 0}, {"   ", 0}, {"-17", -17}, {"+5", 5},
      {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(Str_To_Int64_Safe(c.text), c.expected) << c.text;
}

TEST(StrToInt64Safe, BadTextGivesZeroAndLogs) {
  Scratch_Folder temp;
  Env_Override tmpdir("TMPDIR", temp.path());
  for (const char* text : {"abc", "9223372036854775808", "12x", "1 2", "+-3", "-"}) {
    EXPECT_EQ(Str_To_Int64_Safe(text), 0) << text;
  }
  const std::string log = Read_Whole_File(Log_File_Path());
  EXPECT_NE(log.find("EConvertError error raised, with message : 'abc' is not a valid integer value\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("'9223372036854775808' is not a valid integer value"), std::string::npos);
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = log.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  EXPECT_EQ(lines, 6u);
}

TEST(FillRandomBuffer, BytesNeverReach255) {
  std::vector<unsigned char> first(8 << 20), second(8 << 20);
  ASSERT_TRUE(Fill_Random_Buffer(first.data(), first.size()));
  ASSERT_TRUE(Fill_Random_Buffer(second.data(), second.size()));
  std::set<unsigned char> seen(first.begin(), first.end());
  EXPECT_EQ(seen.count(255), 0u);
  EXPECT_EQ(seen.size(), 255u);
  EXPECT_NE(first, second);
  EXPECT_TRUE(Fill_Random_Buffer(nullptr, 0));
}

TEST(WaitWithMessages, ZeroSecondsIsOneStep) {
  int pumps = 0;
  const auto start = std::chrono::steady_clock::now();
  Wait_With_Messages(0, [&] { ++pumps; });
  EXPECT_EQ(pumps, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  Wait_With_Messages(0, {});  // an empty pump is allowed
}

TEST(MillisecondsBetween, RoundedMagnitude) {
  const double ms = 1.0 / 86400000.0;
  struct Case {
    TDateTime start, end;
    std::int64_t expected;
  };
  const Case cases[] = {
      {0, 1500 * ms, 1500},
      {45000.5, 45000.5 + 1500 * ms, 1500},
      {45000.5, 45000.5 + 0.4 * ms, 0},
      {45000.5, 45000.5 + 0.6 * ms, 1},
      {45000.5 + 1500 * ms, 45000.5, 1500},
      {45000.5, 45000.5, 0},
      {45000.0, 45001.0, 86400000},
  };
  for (const auto& c : cases) EXPECT_EQ(Milliseconds_Between(c.start, c.end), c.expected) << c.start << " " << c.end;
}

TEST(Clock, DayCountFromTime) {
  EXPECT_DOUBLE_EQ(Day_Count_From_Time(0, 0), 25569.0);
  EXPECT_DOUBLE_EQ(Day_Count_From_Time(2 * 86400 + 43200, 0), 25571.5);
  EXPECT_DOUBLE_EQ(Day_Count_From_Time(0, 3600), 25569.0 + 1.0 / 24);
  EXPECT_DOUBLE_EQ(Day_Count_From_Time(0, -7200), 25569.0 - 1.0 / 12);
}

TEST(Clock, NowFollowsTheWallClockAndNeverGoesBack) {
  const TDateTime first = Now();
  const time_t seconds = ::time(nullptr);
  struct tm local {};
  ::localtime_r(&seconds, &local);
  EXPECT_NEAR(first, Day_Count_From_Time(seconds, local.tm_gmtoff), 5.0 / 86400);
  TDateTime last = first;
  for (int i = 0; i < 1000; ++i) {
    const TDateTime now = Now();
    ASSERT_GE(now, last);
    last = now;
  }
}

TEST(ResultText, FourDigitsTwoDecimals) {
  struct Case {
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {123.456, "123.50"}, {45.678, "45.68"},   {1234.56, "1235.00"}, {0, "0.00"},
      {512.345, "512.30"}, {2.048, "2.05"},     {0.125, "0.13"},      {1234.5, "1235.00"},
      {9999.4, "9999.00"}, {99.995, "100.00"},  {0.005, "0.01"},      {0.004, "0.00"},
      {1e-9, "0.00"},      {7, "7.00"},         {12345.6, "1.235E04"}, {10000, "1E04"},
      {9999.6, "1E04"},    {123456789, "1.235E08"}, {120000, "1.2E05"}, {1e100, "1E100"},
      {-1, "-1.00"},       {-2.048, "-2.05"},   {-12345.6, "-1.235E04"}, {-0.001, "0.00"},
      {1.23456, "1.23"},   {4.5649, "4.56"},    {0.01449, "0.01"},  // rounded once, not twice
  };
  for (const auto& c : cases) EXPECT_EQ(Result_Text(c.value), c.expected) << c.value;
}

TEST(ResultText, LocaleDecimalSeparator) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(Result_Text(1234.56), "1235,00");
  EXPECT_EQ(Result_Text(12345.6), "1,235E04");
  EXPECT_EQ(Format_Size(524288, "0.##", false), "524,29 KB");
  QLocale::setDefault(saved);
}

}  // namespace
