// The daily log and its guard against interleaved lines.
#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>

#include <filesystem>
#include <regex>
#include <stdexcept>

#include "common/global_functions.h"
#include "common/log.h"
#include "core/scratch_folder.h"

namespace {

// Every log goes to a throw-away temporary folder.
class LogTest : public ::testing::Test {
 protected:
  Scratch_Folder temp;
  Env_Override tmpdir{"TMPDIR", temp.path()};

  std::vector<std::string> Lines() {
    const std::string text = Read_Whole_File(Log_File_Path());
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
      lines.push_back(text.substr(from, at - from));
    EXPECT_EQ(from, text.size()) << "text after the last line end";
    return lines;
  }

  std::string Line_Tail(const std::string& text) {
    return " (" + Get_Computer_Name() + ")(" + Get_User_Name() + ")  " + text;
  }
};

TEST_F(LogTest, PathInTheTemporaryFolder) {
  const std::string path = Log_File_Path();
  const std::string folder = temp.path() + "/core_tests-logs/";
  ASSERT_EQ(path.rfind(folder, 0), 0u) << path;
  const std::string day = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
  EXPECT_EQ(path, folder + Replace_Text(day, "/", "-") + "(core_tests).txt");
}

TEST_F(LogTest, AppendsOneCrLfLinePerCall) {
  Write_Log("first line");
  Write_Log("second: ä");
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  const std::string day = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
  const std::string texts[] = {"first line", "second: ä"};
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(lines[i].rfind(day + " ", 0), 0u) << lines[i];
    const std::string tail = Line_Tail(texts[i]);
    ASSERT_GT(lines[i].size(), day.size() + 1 + tail.size());
    EXPECT_EQ(lines[i].substr(lines[i].size() - tail.size()), tail);
    const std::string time = lines[i].substr(day.size() + 1, lines[i].size() - tail.size() - day.size() - 1);
    EXPECT_TRUE(std::regex_search(time, std::regex("^\\d{1,2}:\\d{2}:\\d{2}"))) << time;
  }
}

TEST_F(LogTest, EmptyTextCreatesNothing) {
  Write_Log("");
  EXPECT_FALSE(std::filesystem::exists(temp / "core_tests-logs"));
}

TEST_F(LogTest, UnusableFolderIsSwallowed) {
  const std::string blocker = temp.Make_File("not-a-folder");
  Env_Override into_file("TMPDIR", blocker);
  EXPECT_NO_THROW(Write_Log("lost"));
  EXPECT_FALSE(std::filesystem::exists(blocker + "/core_tests-logs"));
}

TEST(ErrorLine, ClassAndMessage) {
  EXPECT_EQ(Error_Line("EConvertError", "bad"), "EConvertError error raised, with message : bad");
  EXPECT_EQ(Error_Line(std::runtime_error("boom")), "std::runtime_error error raised, with message : boom");
  const std::exception& as_base = std::out_of_range("far");
  EXPECT_EQ(Error_Line(as_base), "std::out_of_range error raised, with message : far");
}

TEST_F(LogTest, GuardedLogFinishesANestedLineFirst) {
  Guarded_Log* guard = nullptr;
  int pumps = 0;
  Guarded_Log log([&] {
    if (++pumps == 1) guard->Local_Writelog("nested");
  });
  guard = &log;
  log.Local_Writelog("outer");
  EXPECT_FALSE(log.USING_WRITE_LOG);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(Line_Tail("nested")), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(Line_Tail("outer")), std::string::npos) << lines[1];
}

TEST_F(LogTest, GuardedLogWaitsWhileAWriteIsInProgress) {
  Guarded_Log* guard = nullptr;
  int pumps = 0;
  Guarded_Log log([&] {
    if (++pumps == 3) guard->USING_WRITE_LOG = false;  // the other write ends
  });
  guard = &log;
  log.USING_WRITE_LOG = true;
  log.Local_Writelog("after the wait");
  EXPECT_EQ(pumps, 3);
  EXPECT_FALSE(log.USING_WRITE_LOG);
  EXPECT_EQ(Lines().size(), 1u);
}

}  // namespace
