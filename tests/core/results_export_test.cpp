// The results as files and as text, made in a locale with a decimal comma: the files keep
// a point, the clipboard's table reads as the screen does.
#include <gtest/gtest.h>

#include "comma_locale.h"
#include "common/results_export.h"

namespace {

Run_Record Run_A() {
  Run_Record record{"/ (271 GB) Generic Disk", "2025-12-09 12:00:00", {}};
  record.run.seconds = 20;
  const double rates[] = {994.27, 1234.5, 0.004, 12345.678, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14.126};
  for (std::size_t i = 0; i < record.run.tests.size(); ++i) record.run.tests[i].rate = rates[i];
  return record;
}

// A run with one rate, on a drive whose name needs quoting.
Run_Record Run_B() {
  Run_Record record{"/media/\"usb\", stick", "2025-12-10 08:05:09", {}};
  record.run.seconds = 5;
  record.run.tests[0].rate = 5.5;
  return record;
}

class Results_Export_Test : public ::testing::Test {
 protected:
  Comma_Locale comma;
};

}  // namespace

TEST_F(Results_Export_Test, FilesHoldNumbersWithAPointWhateverTheLocale) {
  ASSERT_TRUE(comma.active());
  struct Case {
    std::vector<Run_Record> runs;
    const char* csv;
    const char* json;
  };
  const Case cases[] = {
      {{},
       "drive,date,seconds,WRITE,READ,512BW,512BR,1KW,1KR,4KW,4KR,64KW,64KR,128KW,128KR,512KW,512KR,1MBW,1MBR,4MBW,"
       "4MBR\n",
       "{\"runs\":[]}\n"},
      {{Run_A(), Run_B()},
       "drive,date,seconds,WRITE,READ,512BW,512BR,1KW,1KR,4KW,4KR,64KW,64KR,128KW,128KR,512KW,512KR,1MBW,1MBR,4MBW,"
       "4MBR\n"
       "/ (271 GB) Generic Disk,2025-12-09 12:00:00,20,994.27,1234.50,0.00,12345.68,1.00,2.00,3.00,4.00,5.00,6.00,"
       "7.00,8.00,9.00,10.00,11.00,12.00,13.00,14.13\n"
       "\"/media/\"\"usb\"\", stick\",2025-12-10 08:05:09,5,5.50,,,,,,,,,,,,,,,,,\n",
       "{\"runs\":[{\"drive\":\"/ (271 GB) Generic Disk\",\"date\":\"2025-12-09 12:00:00\",\"seconds\":20,\"mbps\":{"
       "\"WRITE\":994.27,\"READ\":1234.50,\"512BW\":0.00,\"512BR\":12345.68,\"1KW\":1.00,\"1KR\":2.00,\"4KW\":3.00,"
       "\"4KR\":4.00,\"64KW\":5.00,\"64KR\":6.00,\"128KW\":7.00,\"128KR\":8.00,\"512KW\":9.00,\"512KR\":10.00,"
       "\"1MBW\":11.00,\"1MBR\":12.00,\"4MBW\":13.00,\"4MBR\":14.13}},"
       "{\"drive\":\"/media/\\\"usb\\\", stick\",\"date\":\"2025-12-10 08:05:09\",\"seconds\":5,\"mbps\":{"
       "\"WRITE\":5.50,\"READ\":null,\"512BW\":null,\"512BR\":null,\"1KW\":null,\"1KR\":null,\"4KW\":null,"
       "\"4KR\":null,\"64KW\":null,\"64KR\":null,\"128KW\":null,\"128KR\":null,\"512KW\":null,\"512KR\":null,"
       "\"1MBW\":null,\"1MBR\":null,\"4MBW\":null,\"4MBR\":null}}]}\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Results_Csv(c.runs), c.csv);
    EXPECT_EQ(Results_Json(c.runs), c.json);
  }
}

TEST_F(Results_Export_Test, TheClipboardTableReadsAsTheScreen) {
  ASSERT_TRUE(comma.active());
  EXPECT_EQ(Results_Table({Run_A(), Run_B()}),
            "Drive              / (271 GB) Generic Disk  /media/\"usb\", stick\n"
            "Date                   2025-12-09 12:00:00  2025-12-10 08:05:09\n"
            "Test time                             20 s                  5 s\n"
            "Sequential Write                    994,30                 5,50\n"
            "Sequential Read                    1235,00                    -\n"
            "Random 512B Write                     0,00                    -\n"
            "Random 512B Read                  1,235E04                    -\n"
            "Random 1K Write                       1,00                    -\n"
            "Random 1K Read                        2,00                    -\n"
            "Random 4K Write                       3,00                    -\n"
            "Random 4K Read                        4,00                    -\n"
            "Random 64K Write                      5,00                    -\n"
            "Random 64K Read                       6,00                    -\n"
            "Random 128K Write                     7,00                    -\n"
            "Random 128K Read                      8,00                    -\n"
            "Random 512k Write                     9,00                    -\n"
            "Random 512k Read                     10,00                    -\n"
            "Random 1MB Write                     11,00                    -\n"
            "Random 1MB Read                      12,00                    -\n"
            "Random 4MB Write                     13,00                    -\n"
            "Random 4MB Read                      14,13                    -\n");
}

TEST(Results_Export_Names_Test, TheExtensionChoosesTheFormat) {
  const std::pair<const char*, Results_Format> cases[] = {
      {"/home/u/runs.csv", Results_Format::Csv},     {"/home/u/RUNS.CSV", Results_Format::Csv},
      {"runs.json", Results_Format::Json},           {"/home/u/runs.Json", Results_Format::Json},
      {"/home/u/runs.txt", Results_Format::Unknown}, {"/home/u/runs", Results_Format::Unknown},
      {"/home/u.csv/runs", Results_Format::Unknown}, {"/home/u/runs.csv.bak", Results_Format::Unknown},
  };
  for (const auto& [path, format] : cases) EXPECT_EQ(Format_Of_File(path), format) << path;
}

TEST(Results_Export_Names_Test, DatesAreLocalTimesToTheSecond) {
  const std::pair<TDateTime, const char*> cases[] = {
      {25569.0, "1970-01-01 00:00:00"},
      {46000.5, "2025-12-09 12:00:00"},
      {45716.0 + 0.999999, "2025-03-01 00:00:00"},  // 0.09 s before midnight rounds to the next day
      {45716.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0, "2025-02-28 13:05:09"},
  };
  for (const auto& [day, text] : cases) EXPECT_EQ(Date_Text(day), text) << day;
}
