// The upgrade end to end against a loopback server: only an installer whose MD5 holds and whose
// signed statement binds it to the offered version, this platform and its target is kept,
// made executable and started (from the descriptor it was verified through) after the
// program has moved aside; anything less leaves no executable and runs nothing. The
// installer is a shell script that leaves a marker file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QElapsedTimer>
#include <QThread>

#include <filesystem>
#include <functional>

#include "update_fixture.h"

namespace {

const char kInstallerPath[] = "/files/setup.run";

bool Appears(const std::string& path, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!std::filesystem::exists(path) && timer.elapsed() < ms) QThread::msleep(20);
  return std::filesystem::exists(path);
}

// A program "platterscope" in its folder, a server offering 1.4.0 with the installer entry
// the test makes, and a checker that trusts key.
struct Upgrade_Run {
  Upgrade_Run() : settings(Test_Settings(scratch, server, key.public_key)), checker(host) {
    program = settings.program_file;
    marker = scratch / "installer-ran";
    installer = Marker_Installer(marker);
  }
  // Offers entry; the server sends served (the installer when empty) for its file.
  void Offer(const std::string& entry, const std::string& served = "") {
    server.Set_Script(Loopback_Server::Serve(
        {{"/program_version3.php", "[VERSION]1.4.0[/VERSION][MESSAGES]news.php[/MESSAGES][BR]" + entry},
         {kInstallerPath, served.empty() ? installer : served}}));
    checker.Check_New_Version(settings);
  }
  // The entry a proper server sends: the statement of 1.4.0 for this platform, signed.
  std::string Proper_Entry() const {
    return Installer_Entry(kInstallerPath, installer, key.Sign_Statement(installer, "1.4.0"), MD5_Of_Text(installer));
  }
  std::vector<std::string> Leftovers() const { return Files_Beginning(settings.program_folder, "_Quillorane"); }

  Scratch_Folder scratch;
  Test_Key key;
  Loopback_Server server;
  Update_Settings settings;
  Fake_Update_Host host;
  Update_Checker checker;
  std::string program, marker, installer;
};

}  // namespace

TEST(Upgrade, AVerifiedInstallerRunsAfterTheProgramHasMovedAside) {
  Upgrade_Run run;
  run.Offer(run.Proper_Entry());
  ASSERT_EQ(run.checker.NEW_VERSION_AVAILABLE, "1.4.0");

  EXPECT_EQ(run.checker.Start_Upgrade(run.program), Update_Checker::Upgrade::Started);
  EXPECT_EQ(run.host.loading_texts.back(), "Upgrading to version 1.4.0, please wait... ");
  EXPECT_FALSE(std::filesystem::exists(run.program));
  EXPECT_TRUE(std::filesystem::exists(run.settings.program_folder + "_Quillorane-platterscope"));
  ASSERT_TRUE(Appears(run.marker, 10000));
  const std::string ran = Read_Whole_File(run.marker);
  EXPECT_TRUE(Started_From_Descriptor(ran)) << "no argument, started from its descriptor: " << ran;
  EXPECT_TRUE(run.host.pages.empty());
}

TEST(Upgrade, AnInstallerThatIsNotProvedLeavesNoExecutableAndRunsNothing) {
  Test_Key stranger;
  const std::string other_platform = This_Platform() == "linux-aarch64" ? "linux-x86_64" : "linux-aarch64";
  struct Case {
    const char* what;
    std::function<std::string(const Upgrade_Run&)> signature;
    bool right_md5;
    std::string served;  // what the server sends instead of the installer
  };
  // The signature of the statement of version, platform and target, as key signs it.
  const auto statement = [](const Test_Key& key, const std::string& version,
                            const std::string& platform = This_Platform(), const std::string& target = "platterscope") {
    return [&key, version, platform, target](const Upgrade_Run& run) {
      return key.Sign_Statement(run.installer, version, platform, target);
    };
  };
  const Case cases[] = {
      {"signed by another key", statement(stranger, "1.4.0"), true, ""},
      {"no signature", [](const Upgrade_Run&) { return std::string(); }, true, ""},
      {"malformed signature", [](const Upgrade_Run&) { return std::string("00ff"); }, true, ""},
      {"the bytes alone signed", [](const Upgrade_Run& run) { return run.key.Sign(run.installer); }, true, ""},
      {"an older version's statement", [&](const Upgrade_Run& run) { return statement(run.key, "0.9.0")(run); }, true,
       ""},
      {"another platform's statement",
       [&](const Upgrade_Run& run) { return statement(run.key, "1.4.0", other_platform)(run); }, true, ""},
      {"a Windows installer's statement",
       [&](const Upgrade_Run& run) { return statement(run.key, "1.4.0", "windows-x86_64")(run); }, true, ""},
      {"another target's statement",
       [&](const Upgrade_Run& run) { return statement(run.key, "1.4.0", This_Platform(), "tool")(run); }, true, ""},
      {"the statement of other bytes", [](const Upgrade_Run& run) { return run.key.Sign_Statement("other", "1.4.0"); },
       true, ""},
      {"wrong MD5", [&](const Upgrade_Run& run) { return statement(run.key, "1.4.0")(run); }, false, ""},
      {"fewer bytes than its [SIZE]", [](const Upgrade_Run& run) { return run.key.Sign_Statement("#!", "1.4.0"); },
       true, "#!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Upgrade_Run run;
    run.Offer(Installer_Entry(kInstallerPath, run.installer, c.signature(run),
                              MD5_Of_Text(c.right_md5 ? run.installer : "other")),
              c.served);
    EXPECT_EQ(run.checker.NEW_VERSION_AVAILABLE, "");
    EXPECT_EQ(run.checker.NEW_UPGRADE_FILE, "");
    EXPECT_TRUE(run.host.Logged("Error downloading upgrade file"));
    EXPECT_TRUE(run.Leftovers().empty());
    EXPECT_EQ(run.checker.Start_Upgrade(run.program), Update_Checker::Upgrade::None);
    EXPECT_TRUE(std::filesystem::exists(run.program));
    QThread::msleep(50);
    EXPECT_FALSE(std::filesystem::exists(run.marker));
  }
}

// A local user who can change a folder on the way to the program's could swap the verified
// installer, or the folder it lies in, before it runs: no installer is fetched then.
TEST(Upgrade, AProgramFolderThatOthersCouldSwapGetsNoInstaller) {
  const struct {
    const char* what;
    std::function<void(Upgrade_Run&)> arrange;
    const char* reason;
  } cases[] = {
      {"the folder writable by all", [](Upgrade_Run& run) { ::chmod(run.settings.program_folder.c_str(), 0777); },
       "Program Files can be written by others than its owner"},
      {"a folder above writable by all", [](Upgrade_Run& run) { ::chmod(run.scratch.path().c_str(), 0777); },
       "can be written by others than its owner"},
      {"a folder above writable by its group", [](Upgrade_Run& run) { ::chmod(run.scratch.path().c_str(), 0770); },
       "can be written by others than its owner"},
      {"a folder above another user's", [](Upgrade_Run& run) { ::chown(run.scratch.path().c_str(), 65534, 65534); },
       "belongs to user 65534"},
      {"the folder missing", [](Upgrade_Run& run) { run.settings.program_folder = run.scratch / "gone/"; },
       "Cannot open"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Upgrade_Run run;
    c.arrange(run);
    run.Offer(run.Proper_Entry());
    ::chown(run.scratch.path().c_str(), 0, 0);
    EXPECT_EQ(run.checker.NEW_VERSION_AVAILABLE, "");
    EXPECT_TRUE(run.host.Logged("Error downloading upgrade file"));
    const auto refusal = std::find_if(run.host.log.begin(), run.host.log.end(), [&](const std::string& line) {
      return line.rfind("Upgrade file /files/setup.run refused: ", 0) == 0 && line.find(c.reason) != std::string::npos;
    });
    EXPECT_NE(refusal, run.host.log.end()) << "the log says why";
    EXPECT_EQ(run.server.Requests().size(), 1u) << "nothing downloaded";
    EXPECT_TRUE(run.Leftovers().empty());
  }
}

TEST(Upgrade, AnInstallerOverItsLimitIsNeverFetched) {
  Upgrade_Run run;
  std::string entry = run.Proper_Entry();
  entry.replace(entry.find("[SIZE]") + 6, std::to_string(run.installer.size()).size(), "536870913");
  run.Offer(entry);
  EXPECT_EQ(run.server.Requests().size(), 1u);
  EXPECT_TRUE(run.host.Logged("Upgrade file /files/setup.run refused: its [SIZE] 536870913 is over 536870912 bytes"));
}

// Once verified, the installer is started through the descriptor it was written, hashed and
// checked through: a file or folder swapped in under its name meanwhile is never run.
TEST(Upgrade, TheFileThatWasVerifiedIsTheFileThatRuns) {
  Upgrade_Run run;
  run.Offer(run.Proper_Entry());
  ASSERT_EQ(run.checker.NEW_VERSION_AVAILABLE, "1.4.0");
  const std::string verified = run.checker.NEW_UPGRADE_FILE;
  const std::string attacked = run.scratch / "attacker-ran";
  // The program's folder renamed away and one of the same name put in its place, holding a
  // script under the installer's name (and a program to move aside).
  const std::string folder = run.settings.program_folder;
  std::filesystem::rename(folder, run.scratch / "Moved Away");
  std::filesystem::create_directories(folder);
  std::ofstream(verified) << "#!/bin/sh\necho swapped > '" << attacked << "'\n";
  ::chmod(verified.c_str(), 0755);
  std::ofstream(run.program) << "x";

  EXPECT_EQ(run.checker.Start_Upgrade(run.program), Update_Checker::Upgrade::Started);
  ASSERT_TRUE(Appears(run.marker, 10000)) << "the verified installer ran";
  EXPECT_TRUE(Started_From_Descriptor(Read_Whole_File(run.marker)));
  QThread::msleep(100);
  EXPECT_FALSE(std::filesystem::exists(attacked));
}

TEST(Upgrade, ALeftoverOfAnEarlierUpgradeMakesTheMoveFail) {
  Upgrade_Run run;
  run.Offer(run.Proper_Entry());
  const std::string leftover = run.scratch.Make_File("Program Files/_Quillorane-platterscope");
  EXPECT_FALSE(run.checker.update_program(run.program));
  EXPECT_EQ(run.host.pages, std::vector<std::string>{"Unable to run automatic update"});
  EXPECT_TRUE(std::filesystem::exists(run.program));
  EXPECT_EQ(Read_Whole_File(leftover), "x") << "never replaced";
  QThread::msleep(50);
  EXPECT_FALSE(std::filesystem::exists(run.marker));
}

TEST(Upgrade, AnInstallerThatCannotStartPutsTheProgramBackUnderItsName) {
  Upgrade_Run run;
  // Recorded by hand, never verified: there is nothing to start.
  run.checker.NEW_VERSION_AVAILABLE = "1.4.0";
  run.checker.NEW_UPGRADE_FILE = run.settings.program_folder + "_Quillorane-missing.run";
  EXPECT_EQ(run.checker.Start_Upgrade(run.program), Update_Checker::Upgrade::Failed);
  EXPECT_EQ(run.host.pages, std::vector<std::string>{"Error executing upgrade process!"});
  EXPECT_TRUE(std::filesystem::exists(run.program));
  EXPECT_FALSE(std::filesystem::exists(run.settings.program_folder + "_Quillorane-platterscope"));
  EXPECT_EQ(run.host.loading, "") << "the upgrade text does not stay";
}

TEST(UpdateKey, OnlySixtyFourHexDigitsMakeAKeyAndTheBuiltInOneTrustsNoTestSigner) {
  Public_Key key{};
  EXPECT_TRUE(Public_Key_From_Hex(std::string(62, '0') + "aF", key));
  EXPECT_EQ(key[31], 0xaf);
  EXPECT_FALSE(Public_Key_From_Hex(std::string(63, '0'), key));
  EXPECT_FALSE(Public_Key_From_Hex(std::string(65, '0'), key));
  EXPECT_FALSE(Public_Key_From_Hex(std::string(63, '0') + "g", key));
  Test_Key signer;
  std::string why;
  EXPECT_TRUE(Verify_Signature("installer", signer.Sign("installer"), signer.public_key, why)) << why;
  EXPECT_FALSE(Verify_Signature("installer", signer.Sign("installer"), Program_Public_Key(), why));
  EXPECT_EQ(why, "the signature does not match the program's update key");
}
