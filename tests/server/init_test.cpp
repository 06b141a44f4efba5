// platterscope-server --init and the configuration it writes: a data folder that serves
// at once, keys kept private and never replaced, mistakes named with their line.
#include "server_fixture.h"
#include "server_process.h"

#include "server/server_config.h"

#include <sys/stat.h>

#include <fstream>
#include <regex>

namespace {

std::string First_Line(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

TEST(ServerInit, MakesADataFolderAndPrintsThePublicKeyForTheBuild) {
  Scratch_Folder scratch;
  const std::string folder = scratch / "data";
  std::string output;
  ASSERT_EQ(Run_Server_Command({"--init", folder, "--public-host", "results.example:8080"}, output), 0) << output;
  std::smatch key;
  ASSERT_TRUE(std::regex_search(output, key, std::regex("-DPLATTERSCOPE_UPDATE_PUBLIC_KEY=([0-9a-f]{64})\n"))) << output;
  EXPECT_EQ(key[1].str(), First_Line(folder + "/update-signing.pub"));
  for (const char* secret : {"/update-signing.key", "/serial-hash.key"}) {
    struct stat info;
    ASSERT_EQ(::stat((folder + secret).c_str(), &info), 0) << secret;
    EXPECT_EQ(info.st_mode & 0777, 0600u) << secret;
  }
  const Server_Config config = Load_Config(folder + "/" + kConfigFileName);
  EXPECT_EQ(config.public_host, "results.example:8080");
  EXPECT_EQ(config.listen, "0.0.0.0:80");
  EXPECT_EQ(config.news_page, "news/index.html");
  EXPECT_EQ(config.reports_per_hour, 30);
  EXPECT_EQ(config.pages_per_minute, 60);
  EXPECT_TRUE(std::filesystem::exists(folder + "/www/news/index.html"));

  // A second --init keeps every key and says why.
  const std::string signing_key = First_Line(folder + "/update-signing.key");
  EXPECT_EQ(Run_Server_Command({"--init", folder}, output), 1);
  EXPECT_NE(output.find("exists already"), std::string::npos) << output;
  EXPECT_EQ(First_Line(folder + "/update-signing.key"), signing_key);

  // Another folder gets another key pair.
  ASSERT_EQ(Run_Server_Command({"--init", scratch / "other"}, output), 0);
  EXPECT_NE(First_Line(scratch / "other/update-signing.pub"), key[1].str());

  // The folder serves as made.
  Server_Process server({"--data", folder, "--listen", "127.0.0.1:0"});
  EXPECT_GT(server.port(), 0) << server.output();
}

TEST(ServerInit, StartingWithoutWhatItNeedsFailsWithTheReason) {
  Scratch_Folder scratch;
  std::string output;
  EXPECT_EQ(Run_Server_Command({"--data", scratch.path()}, output), 1);
  EXPECT_NE(output.find(kConfigFileName), std::string::npos) << output;
  Test_Data_Folder data;
  std::filesystem::remove(data.path() + "/serial-hash.key");
  EXPECT_EQ(Run_Server_Command({"--data", data.path(), "--listen", "127.0.0.1:0"}, output), 1);
  EXPECT_NE(output.find("serial-hash.key"), std::string::npos) << output;
  EXPECT_EQ(Run_Server_Command({"--data", scratch.path(), "--database", "mysql://x"}, output), 1);
  EXPECT_EQ(Run_Server_Command({"--frobnicate"}, output), 2);
  EXPECT_EQ(Run_Server_Command({}, output), 2);
}

TEST(ServerConfig, MistakesAreNamedWithTheirLine) {
  Scratch_Folder scratch;
  std::string twelve_ads;
  for (int i = 0; i < 12; ++i) twelve_ads += "[ad]\nnumber = " + std::to_string(i) + "\nimage = a.png\ntarget = t\n";
  const std::pair<std::string, std::string> cases[] = {
      {"colour = red\n", "1: unknown setting colour"},
      {"version = 1.0.1\njust words\n", ":2: expected key = value"},
      {"[ad]\nnumber = ../../x\nimage = a.png\ntarget = t\n", "plain name"},
      {"[ad]\nnumber = 1\nimage = ../a.png\ntarget = t\n", "under www/"},
      {"[ad]\nnumber = 1\nimage = /etc/a.png\ntarget = t\n", "under www/"},
      {"[ad]\nnumber = 1\nimage = a.png\n", "no target"},
      {"[installer]\nfile = .hidden/x.run\n", "under www/"},
      {"release_notes = [BR]\n", "\"[\""},
      {"threads = 1\n", "threads"},
      {"threads = many\n", "1: not a number: many"},
      {twelve_ads, "more than 11 ads"},
  };
  for (const auto& [text, message] : cases) {
    std::ofstream(scratch / "bad.conf") << text;
    try {
      Load_Config(scratch / "bad.conf");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
    }
  }
}
