// The offline queue: records kept whole in a private folder, replayed in listing order until
// the first the server does not answer, records it refuses and files that can never be sent
// moved out of the way, and saves that a kill -9 cannot leave half written.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/safe_files.h"
#include "platform/trusted_folders.h"
#include "reporting/message_queue.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;

namespace {

const char* const kAccepted = "[RESULT]1[/RESULT]";

std::unique_ptr<MY_UploadFileRecord> Sample_Record(const std::string& id = "42") {
  auto record = std::make_unique<MY_UploadFileRecord>();
  record->URL.Assign("http://results.example/uploadresults2.php?Ver=1.0.0.1&CompId=" + id);
  record->Variables[0].Assign("ID=" + id);
  record->Variables[40].Assign("MD5=0123456789ABCDEF0123456789ABCDEF");
  record->Files[50].Assign("f=/path,name");
  record->Proxy.Assign("proxy:3128");
  record->HostName.Assign("results.example");
  record->Username.Assign("user");
  record->Password.Assign("secret");
  return record;
}

// A sender standing in for the server: keeps the bytes of every record and gives one answer.
struct Fake_Server {
  std::string answer = kAccepted;
  std::vector<std::string> received;
  Record_Sender Sender() {
    return [this](const MY_UploadFileRecord& record) {
      received.emplace_back(Record_Bytes(record));
      return answer;
    };
  }
};

std::vector<std::string> Files_Ending(const std::string& folder, const std::string& end) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0)
      found.push_back(entry.path().string());
  }
  return found;
}

class Queue_Test : public ::testing::Test {
 private:
  Scratch_Folder scratch;

 protected:
  std::string folder = scratch / "state/Quillorane/QuilloraneQueue";
  std::vector<std::string> log;
  Queue_Log Logger() {
    return [this](const std::string& line) { log.push_back(line); };
  }
  void Save(const MY_UploadFileRecord& record) { ASSERT_TRUE(Save_Message_Queue(record, folder, Logger())); }
};

}  // namespace

TEST_F(Queue_Test, ASavedRecordIsReplayedByteIdenticalAndDeletedWhenConfirmed) {
  auto record = Sample_Record();
  Save(*record);
  const auto files = Files_Ending(folder, ".dat");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(Read_Whole_File(files[0]), Record_Bytes(*record));
  EXPECT_EQ(Mode_Of(files[0]), 0600u);
  EXPECT_EQ(Mode_Of(folder), 0700u);
  EXPECT_EQ(Mode_Of(fs::path(folder).parent_path().string()), 0700u) << "missing parents are made private too";

  Fake_Server server;
  std::vector<Queue_Outcome> outcomes;
  EXPECT_TRUE(Process_Message_Queue(folder, server.Sender(), Logger(), &outcomes));
  ASSERT_EQ(server.received.size(), 1u);
  EXPECT_EQ(server.received[0], Record_Bytes(*record)) << "every field, every byte";
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].kind, Queue_Outcome::Kind::Sent);
  EXPECT_TRUE(Files_Ending(folder, ".dat").empty());
}

TEST_F(Queue_Test, ReplayStopsWhereTheServerGivesNoVerdictAndSetsRefusedRecordsAside) {
  for (const char* id : {"1", "2", "3"}) Save(*Sample_Record(id));
  std::vector<std::string> listing;
  for (const auto& entry : fs::directory_iterator(folder)) listing.push_back(entry.path().string());

  // No answer at all, or one without a verdict (a proxy's error page): the replay ends there.
  for (const char* silent : {"", "<html>502 Bad Gateway</html>", "[RESULT]1"}) {
    Fake_Server server;
    server.answer = silent;
    std::vector<Queue_Outcome> outcomes;
    EXPECT_TRUE(Process_Message_Queue(folder, server.Sender(), Logger(), &outcomes));
    EXPECT_EQ(server.received.size(), 1u) << "nothing after an unanswered file is sent: " << silent;
    EXPECT_EQ(Files_Ending(folder, ".dat").size(), 3u);
    ASSERT_EQ(outcomes.size(), 3u);
    for (const auto& outcome : outcomes) EXPECT_EQ(outcome.kind, Queue_Outcome::Kind::Kept);
  }

  // A verdict other than "1" is final: the record is set aside whole and the next one is sent.
  std::vector<std::string> answers = {"[result]0[/result]", kAccepted, "[RESULT][/RESULT]"};
  std::vector<std::string> received;
  const Record_Sender judging = [&](const MY_UploadFileRecord& record) {
    received.emplace_back(Record_Bytes(record));
    return answers[received.size() - 1];
  };
  std::vector<Queue_Outcome> outcomes;
  Process_Message_Queue(folder, judging, Logger(), &outcomes);
  ASSERT_EQ(outcomes.size(), 3u);
  const Queue_Outcome::Kind kinds[] = {Queue_Outcome::Kind::Refused, Queue_Outcome::Kind::Sent,
                                       Queue_Outcome::Kind::Refused};
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(outcomes[k].path, listing[k]);
    EXPECT_EQ(outcomes[k].kind, kinds[k]) << k;
  }
  EXPECT_TRUE(Files_Ending(folder, ".dat").empty());
  const auto refused = Files_Ending(folder, ".refused");
  ASSERT_EQ(refused.size(), 2u);
  const std::string first = listing[0].substr(0, listing[0].size() - 4) + ".refused";
  EXPECT_EQ(Read_Whole_File(first), received[0]) << "set aside with its bytes";
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.find("refused by the server") != l.npos; }),
            2);
}

TEST_F(Queue_Test, FilesThatCanNeverBeSentAreMovedAsideAndTheReplayGoesOn) {
  Save(*Sample_Record("good"));
  fs::create_directories(folder + "/sub");
  std::ofstream(folder + "/short.dat", std::ios::binary) << std::string(100, 'x');
  auto no_url = Sample_Record();
  no_url->URL.Assign("");
  std::ofstream(folder + "/sub/nourl.dat", std::ios::binary) << Record_Bytes(*no_url);
  auto longer = Sample_Record("longer");
  std::ofstream(folder + "/sub/longer.dat", std::ios::binary) << Record_Bytes(*longer) << std::string(1000, 'z');

  Fake_Server server;
  std::vector<Queue_Outcome> outcomes;
  Process_Message_Queue(folder, server.Sender(), Logger(), &outcomes);
  EXPECT_EQ(outcomes.size(), 4u);
  ASSERT_EQ(server.received.size(), 2u) << "the good file and the sub-folder's long one";
  EXPECT_TRUE(std::find(server.received.begin(), server.received.end(), Record_Bytes(*longer)) !=
              server.received.end())
      << "a longer file sends its first 142,592 bytes";
  EXPECT_TRUE(Files_Ending(folder, ".dat").empty());
  EXPECT_EQ(Read_Whole_File(folder + "/short.bad"), std::string(100, 'x')) << "moved aside with its bytes";
  EXPECT_EQ(Read_Whole_File(folder + "/sub/nourl.bad"), Record_Bytes(*no_url));
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.find("moved aside") != l.npos; }),
            2);
}

TEST_F(Queue_Test, AnEmptyOrMissingQueueSendsNothingAndAForeignFolderIsLeftAlone) {
  Fake_Server server;
  EXPECT_FALSE(Process_Message_Queue(folder, server.Sender(), Logger()));
  EXPECT_TRUE(fs::is_directory(folder)) << "the replay makes the folder";
  EXPECT_TRUE(server.received.empty());

  fs::permissions(folder, fs::perms::all);  // writable by everyone: not ours to use
  EXPECT_FALSE(Save_Message_Queue(*Sample_Record(), folder, Logger()));
  EXPECT_TRUE(Files_Ending(folder, ".dat").empty());
}

TEST_F(Queue_Test, AKillDuringASaveLeavesNoFileOrAWholeOne) {
  const auto record = Sample_Record();
  ASSERT_TRUE(platform::Open_Trusted_Folder(folder, 0700).folder.valid());
  std::mt19937 random(20240611);
  for (int round = 0; round < 50; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ready[0]);
      (void)!::write(ready[1], "r", 1);
      for (;;) Save_Message_Queue(*record, folder, [](const std::string&) {});
    }
    ::close(ready[1]);
    char started = 0;
    (void)!::read(ready[0], &started, 1);
    ::close(ready[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  const auto saved = Files_Ending(folder, ".dat");
  EXPECT_FALSE(saved.empty());
  for (const std::string& path : saved) ASSERT_EQ(Read_Whole_File(path), Record_Bytes(*record)) << path;

  // A later replay sends every whole record and clears what the killed saves left.
  for (const auto& left : Files_Ending(folder, ".tmp"))
    fs::last_write_time(left, fs::file_time_type::clock::now() - std::chrono::hours(2));
  Fake_Server server;
  Process_Message_Queue(folder, server.Sender(), Logger());
  EXPECT_EQ(server.received.size(), saved.size());
  EXPECT_TRUE(fs::is_empty(folder));
}
