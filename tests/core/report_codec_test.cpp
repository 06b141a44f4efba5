// The pieces a report is built from and that the server recomputes: value encoding, digests,
// the upload record's bytes, form entries, and the small helpers of the transfers.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "reporting/multipart_form.h"
#include "reporting/report_codec.h"
#include "reporting/transfer_helpers.h"
#include "reporting/upload_record.h"
#include "scratch_folder.h"

TEST(HexEncode, EachCharacterBecomesItsCodeOncePerPass) {
  struct Case {
    std::string text;
    int extra;
    std::string encoded;
  };
  const Case cases[] = {
      {"30", 1, "33333330"},
      {"1.3.0.26", 1, "33313245333332453330324533323336"},
      {"30", 0, "3330"},
      {"", 1, ""},
      {"a=b", 0, "613D62"},
      {"\xC3\xA9", 0, "C3A9"},  // beyond ASCII: its UTF-8 bytes, so it decodes without doubt
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex_Encode(c.text, c.extra), c.encoded) << c.text;
    EXPECT_EQ(Hex_Decode(c.encoded, c.extra + 1), c.text) << c.encoded;
  }
  EXPECT_EQ(Hex_Decode("3g", 1), std::nullopt);
  EXPECT_EQ(Hex_Decode("333", 1), std::nullopt);
  EXPECT_EQ(Hex_Decode("3f3F", 1), "??") << "either letter case decodes";
  // A value cut inside its last character's four digits loses only that character.
  EXPECT_EQ(Decode_Report_Value("33313245333"), "1.");
}

TEST(MD5, DigestsAreUpperCaseHexOfTheBytes) {
  EXPECT_EQ(MD5_Of_Text(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(MD5_Of_Text("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Report_Signature("20230426153012345", "example.org"),
            MD5_Of_Text(MD5_Of_Text("20230426153012345example.org")));
  EXPECT_EQ(Report_Check_Value({"A=1", "B=2"}), MD5_Of_Text("A=1B=2"));

  Scratch_Folder scratch;
  const std::string file = scratch.Make_File("three", 3);  // "xxx"
  EXPECT_EQ(MD5_Of_File(file), MD5_Of_Text("xxx"));
  EXPECT_EQ(MD5_Of_File(scratch / "missing"), "");
  std::filesystem::create_symlink(file, scratch / "link");
  EXPECT_EQ(MD5_Of_File(scratch / "link"), "") << "a link in the file's place is refused";
}

TEST(UploadRecord, ShortStringsHoldLatin1CutAt255) {
  auto record = std::make_unique<MY_UploadFileRecord>();
  record->URL.Assign("http://h/x?\xC3\xA9\xE2\x82\xAC");  // é is Latin-1, € is not
  EXPECT_EQ(record->URL.Bytes(), "http://h/x?\xE9?");
  EXPECT_EQ(record->URL.Text(), "http://h/x?\xC3\xA9?");
  record->Variables[500].Assign(std::string(300, 'v'));
  EXPECT_EQ(record->Variables[500].Length, 255);
  record->Password.Assign("pw");

  const std::string_view bytes = Record_Bytes(*record);
  ASSERT_EQ(bytes.size(), 142592u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 13);
  EXPECT_EQ(bytes.substr(1, 13), "http://h/x?\xE9?");
  EXPECT_EQ(bytes[14], '\0') << "the bytes after the length are zero";
  EXPECT_EQ(static_cast<unsigned char>(bytes[256 + 256 * 500]), 255);
  EXPECT_EQ(bytes.substr(142336, 3), std::string("\x02pw"));

  auto back = std::make_unique<MY_UploadFileRecord>();
  EXPECT_FALSE(Record_From_Bytes(bytes.substr(0, 142591), *back));
  ASSERT_TRUE(Record_From_Bytes(std::string(bytes) + "tail", *back));
  EXPECT_EQ(std::memcmp(back.get(), record.get(), sizeof *record), 0);
}

TEST(FormEntries, SplitAtTheFirstTwoEqualsSigns) {
  struct Case {
    std::string entry, name, value;
  };
  const Case cases[] = {
      {"a=b", "a", "b"},
      {"a=b=c", "a", "b"},
      {"whole", "whole", ""},
      {"=value", "", "value"},
      {"a=b=c=d=e=f", "a", "b"},  // five "=": six pieces still fit
      {"", "", ""},
  };
  for (const Case& c : cases) {
    std::string name, value;
    Form_Entry_Parts(c.entry, name, value);
    EXPECT_EQ(name, c.name) << c.entry;
    EXPECT_EQ(value, c.value) << c.entry;
  }
  std::string name, value;
  EXPECT_THROW(Form_Entry_Parts("a=b=c=d=e=f=g", name, value), std::out_of_range);
}

TEST(MultipartForm, BodyOfEntriesWithANameThenTheClosingLineAndAZeroByte) {
  auto record = std::make_unique<MY_UploadFileRecord>();
  EXPECT_EQ(Multipart_Body(*record, "--B"), std::string("----B--\r\n", 9) + '\0');
  record->Variables[0].Assign("=skipped");
  record->Variables[3].Assign("k=v=dropped");
  record->Variables[4].Assign("bare");
  EXPECT_EQ(Multipart_Body(*record, "--B"),
            std::string("----B\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv\r\n"
                        "----B\r\nContent-Disposition: form-data; name=\"bare\"\r\n\r\n\r\n"
                        "----B--\r\n") +
                '\0');
  record->Variables[5].Assign("a=b=c=d=e=f=g");
  EXPECT_THROW(Multipart_Body(*record, "--B"), std::out_of_range);
  EXPECT_EQ(Multipart_Boundary(2460000), "------------------------2460000");
}

TEST(PostObjectName, TheTextAfterThePathsLastSlash) {
  EXPECT_EQ(Post_Object_Name("http://h/uploadresults2.php?Ver=1&CompId=2"), "uploadresults2.php?Ver=1&CompId=2");
  EXPECT_EQ(Post_Object_Name("http://h/a/b.php?x=1/2"), "b.php?x=1/2") << "a slash in the query does not count";
  EXPECT_EQ(Post_Object_Name("nothing"), "");
}

TEST(LastPos, OneBasedPositionOfTheLastOccurrence) {
  struct Case {
    std::string text, part;
    int position;
  };
  const Case cases[] = {{"a/b/c", "/", 4}, {"abc", "/", -1}, {"", "/", -1}, {"/", "/", 1}, {"abab", "ab", 3},
                        {"a", "ab", -1}};
  for (const Case& c : cases) EXPECT_EQ(Last_Pos(c.text, c.part), c.position) << c.text << " " << c.part;
}

TEST(SecondsBetweenTimes, TimeOfDayOnlyWithMilliseconds) {
  const auto at = [](int day, int h, int m, int s, int ms) {
    return day + (h * 3600000.0 + m * 60000.0 + s * 1000.0 + ms) / 86400000.0;
  };
  struct Case {
    TDateTime first, second;
    double seconds;
  };
  const Case cases[] = {
      {at(45000, 10, 59, 55, 0), at(45000, 11, 0, 5, 500), 10.5},
      {at(45000, 23, 59, 59, 0), at(45001, 0, 0, 1, 0), -86398.0},
      {at(45000, 8, 0, 0, 0), at(45007, 8, 0, 0, 1), 0.001},  // the dates do not count
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Seconds_Between_Times(c.first, c.second), c.seconds);
}

namespace {
class Recording_Canvas : public Cell_Canvas {
 public:
  Cell_Rect Cell_Rectangle(int, int) override { return {100, 20, 200, 40}; }
  void Fill_Rectangle(const Cell_Rect& rect, std::int32_t color) override {
    filled = rect;
    filled_color = color;
  }
  Cell_Rect filled{};
  std::int32_t filled_color = 0;
};
}  // namespace

TEST(DrawCellProgress, FillsItsShareOfTheCellTwoPixelsShortOfTopAndBottom) {
  Recording_Canvas canvas;
  MY_StringGridRecord grid;
  grid.Name = &canvas;
  Draw_Cell_Progress(grid, 1, 2, 50, 0x0000FF, 0, 0);
  EXPECT_EQ(canvas.filled.Left, 100);
  EXPECT_EQ(canvas.filled.Right, 150);
  EXPECT_EQ(canvas.filled.Top, 22);
  EXPECT_EQ(canvas.filled.Bottom, 38);
  EXPECT_EQ(canvas.filled_color, 0x0000FF);
  // From 20 % of the width, over half of the rest: 120 + 40 × 75 %.
  Draw_Cell_Progress(grid, 1, 2, 75, 0, 20, 50);
  EXPECT_EQ(canvas.filled.Left, 120);
  EXPECT_EQ(canvas.filled.Right, 150);
}
