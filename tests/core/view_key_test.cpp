// The key of this computer's comparison page: taken from an answer only after a verdict of
// "1", kept per server in a private file written whole, and kept as well when a queued
// report brings it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "reporting/message_queue.h"
#include "reporting/view_key.h"
#include "scratch_folder.h"

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef";

}  // namespace

TEST(ViewKey, TakenFromAnAnswerOnlyAfterAVerdictOfOne) {
  const std::pair<std::string, std::string> cases[] = {
      {"[RESULT]1[/RESULT][VIEW]" + kKey + "[/VIEW]", kKey},
      {"<p>[result]1[/result][view]0123456789ABCDEF0123456789ABCDEF[/view]</p>", kKey},
      {"[RESULT]0[/RESULT][VIEW]" + kKey + "[/VIEW]", ""},
      {"[RESULT]1[/RESULT]", ""},
      {"[RESULT]1[/RESULT][VIEW]0123456789abcdef[/VIEW]", ""},
      {"[RESULT]1[/RESULT][VIEW]../../etc/passwd6789abcdef0123456789[/VIEW]", ""},
      {"[RESULT]1[/RESULT][VIEW]0123456789abcdef0123456789abcdeg[/VIEW]", ""},
      {"[RESULT]1[/RESULT][VIEW]" + kKey + " [/VIEW]", ""},
      {"", ""},
  };
  for (const auto& [answer, key] : cases) EXPECT_EQ(View_Key_Of_Answer(answer), key) << answer;
}

TEST(ViewKey, KeptPerServerInAPrivateFileWrittenWhole) {
  Scratch_Folder scratch;
  const std::string folder = scratch / "state/Quillorane";
  std::vector<std::string> log;
  const Queue_Log keep = [&log](const std::string& line) { log.push_back(line); };
  const std::string other(32, 'b'), newer(32, 'c');
  EXPECT_EQ(Load_View_Key(folder, "a.example"), "");
  ASSERT_TRUE(Save_View_Key(folder, "a.example", kKey, keep));
  ASSERT_TRUE(Save_View_Key(folder, "b.example:8080", other, keep));
  ASSERT_TRUE(Save_View_Key(folder, "a.example", newer, keep));
  EXPECT_EQ(Load_View_Key(folder, "a.example"), newer);
  EXPECT_EQ(Load_View_Key(folder, "b.example:8080"), other);
  EXPECT_EQ(Load_View_Key(folder, "b.example"), "");
  EXPECT_EQ(Mode_Of(folder), 0700u);
  EXPECT_EQ(Mode_Of(folder + "/view-keys"), 0600u);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++entries;
  EXPECT_EQ(entries, 1u) << "no temporary file left";
  for (const std::string& line : log) EXPECT_EQ(line.find(kKey), std::string::npos) << "the key stays out of the log";

  // A link put in the file's place is replaced, never written through.
  const std::string target = scratch.Make_File("target", 5);
  std::filesystem::remove(folder + "/view-keys");
  std::filesystem::create_symlink(target, folder + "/view-keys");
  ASSERT_TRUE(Save_View_Key(folder, "a.example", kKey, keep));
  EXPECT_EQ(std::filesystem::file_size(target), 5u);
  EXPECT_FALSE(std::filesystem::is_symlink(folder + "/view-keys"));
  EXPECT_EQ(Load_View_Key(folder, "a.example"), kKey);

  EXPECT_FALSE(Save_View_Key(folder, "a host with blanks", kKey, keep));
  EXPECT_FALSE(Save_View_Key(folder, "a.example", "not a key", keep));
  ::chmod(folder.c_str(), 0777);
  log.clear();
  EXPECT_FALSE(Save_View_Key(folder, "a.example", newer, keep)) << "a folder others can write to";
  EXPECT_EQ(Load_View_Key(folder, "a.example"), "");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("others may write to it"), std::string::npos) << log[0];
}

// The replay of a report whose first answer was lost brings the key; the verdict before it
// still confirms the report.
TEST(ViewKey, AQueuedReportConfirmedWithAKeyIsSentAndItsKeyKept) {
  Scratch_Folder scratch;
  auto record = std::make_unique<MY_UploadFileRecord>();
  record->URL.Assign("http://results.example/uploadresults2.php?Ver=1&CompId=7");
  record->HostName.Assign("results.example");
  const Queue_Log quiet = [](const std::string&) {};
  ASSERT_TRUE(Save_Message_Queue(*record, scratch / "queue", quiet));
  const Record_Sender server = [](const MY_UploadFileRecord&) {
    return "[RESULT]1[/RESULT][VIEW]" + kKey + "[/VIEW]";
  };
  std::vector<Queue_Outcome> outcomes;
  EXPECT_TRUE(Process_Message_Queue(scratch / "queue", Keeping_View_Keys(server, scratch / "state", quiet), quiet,
                                    &outcomes));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].kind, Queue_Outcome::Kind::Sent);
  EXPECT_EQ(Load_View_Key(scratch / "state", "results.example"), kKey);
}
