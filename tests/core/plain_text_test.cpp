// Outside texts made safe for one line of output, a JSON string and a drive label.
#include <gtest/gtest.h>

#include <QJsonDocument>

#include <string>

#include "common/plain_text.h"

namespace {

struct Text_Case {
  const char* what;
  std::string in, out;
};

}  // namespace

TEST(PlainText, OneLineTextEscapesWhatCouldStartALine) {
  const Text_Case cases[] = {
      {"plain text stays", "/mnt/usb (32 GB) Ultra ä", "/mnt/usb (32 GB) Ultra ä"},
      {"line ends", "A\nSM=Forged\r", "A\\nSM=Forged\\r"},
      {"tab, escape and delete", "a\tb\x1b[2Jc\x7f", "a\\tb\\x1B[2Jc\\x7F"},
      {"C1 control and Unicode line separator", "a\xc2\x85" "b\xe2\x80\xa8", "a\\u0085b\\u2028"},
      {"invalid UTF-8", "x\xff" "y", "x\xef\xbf\xbdy"},
      {"a backslash is left alone", "C:\\x", "C:\\x"},
  };
  for (const Text_Case& c : cases) EXPECT_EQ(One_Line_Text(c.in), c.out) << c.what;
}

TEST(PlainText, JsonStringIsAlwaysValidJson) {
  const Text_Case cases[] = {
      {"quotes and backslash", "say \"hi\" \\", "\"say \\\"hi\\\" \\\\\""},
      {"control characters", "a\nb\x01", "\"a\\u000ab\\u0001\""},
      {"invalid UTF-8 becomes U+FFFD", "Label\xff\xfe", "\"Label\xef\xbf\xbd\xef\xbf\xbd\""},
      {"valid UTF-8 stays", "Größe", "\"Größe\""},
  };
  for (const Text_Case& c : cases) {
    const std::string json = Json_String(c.in);
    EXPECT_EQ(json, c.out) << c.what;
    QJsonParseError error{};
    QJsonDocument::fromJson(QByteArray::fromStdString("[" + json + "]"), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << c.what;
  }
}

TEST(PlainText, ALabelIsPrintableTextOnOneLine) {
  const Text_Case cases[] = {
      {"blanks around are removed", "  My Stick \n", "My Stick"},
      {"a line end inside cannot make a second drive", "A\nSM=Forged", "A\xef\xbf\xbdSM=Forged"},
      {"invalid UTF-8 and a delete", "Disk\xff\x7f", "Disk\xef\xbf\xbd\xef\xbf\xbd"},
      {"ordinary names stay", "Samsung SSD 860 EVO 500GB", "Samsung SSD 860 EVO 500GB"},
  };
  for (const Text_Case& c : cases) EXPECT_EQ(Label_Text(c.in), c.out) << c.what;
}
