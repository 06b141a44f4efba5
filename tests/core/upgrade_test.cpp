// The upgrade end to end against a loopback server: only an installer whose MD5 and signature
// both hold is kept, made executable and started after the program has moved aside; anything
// less leaves no executable and runs nothing. The installer is a shell script that leaves a
// marker file.
#include <gtest/gtest.h>

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
    program = scratch.Make_File("Program Files/platterscope");
    marker = scratch / "installer-ran";
    installer = Marker_Installer(marker);
  }
  void Offer(const std::string& entry) {
    server.Set_Script(Loopback_Server::Serve(
        {{"/program_version3.php", "[VERSION]1.4.0[/VERSION][MESSAGES]news.php[/MESSAGES][BR]" + entry},
         {kInstallerPath, installer}}));
    checker.Check_New_Version(settings);
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
  run.Offer(Installer_Entry(kInstallerPath, run.installer, run.key.Sign(run.installer), MD5_Of_Text(run.installer)));
  ASSERT_EQ(run.checker.NEW_VERSION_AVAILABLE, "1.4.0");

  EXPECT_EQ(run.checker.Start_Upgrade(run.program), Update_Checker::Upgrade::Started);
  EXPECT_EQ(run.host.loading_texts.back(), "Upgrading to version 1.4.0, please wait... ");
  EXPECT_GT(run.host.pumps, 10) << "the window is served during the two seconds";
  EXPECT_FALSE(std::filesystem::exists(run.program));
  EXPECT_TRUE(std::filesystem::exists(run.settings.program_folder + "_Quillorane-platterscope"));
  ASSERT_TRUE(Appears(run.marker, 10000));
  // No argument; the path, blank and all, reaches the installer whole.
  EXPECT_EQ(Read_Whole_File(run.marker), "0|" + run.checker.NEW_UPGRADE_FILE);
  EXPECT_TRUE(run.host.pages.empty());
}

TEST(Upgrade, AnInstallerThatIsNotProvedLeavesNoExecutableAndRunsNothing) {
  Test_Key stranger;
  struct Case {
    const char* what;
    std::function<std::string(const Upgrade_Run&)> signature;
    bool right_md5;
  };
  const Case cases[] = {
      {"signed by another key", [&](const Upgrade_Run& run) { return stranger.Sign(run.installer); }, true},
      {"no signature", [](const Upgrade_Run&) { return std::string(); }, true},
      {"malformed signature", [](const Upgrade_Run&) { return std::string("00ff"); }, true},
      {"signature of other bytes", [](const Upgrade_Run& run) { return run.key.Sign("other"); }, true},
      {"wrong MD5", [](const Upgrade_Run& run) { return run.key.Sign(run.installer); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Upgrade_Run run;
    run.Offer(Installer_Entry(kInstallerPath, run.installer, c.signature(run),
                              MD5_Of_Text(c.right_md5 ? run.installer : "other")));
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

TEST(Upgrade, AProgramFolderThatCannotHoldInstallersGetsNone) {
  for (const bool missing : {false, true}) {
    Upgrade_Run run;
    if (missing) run.settings.program_folder = run.scratch / "gone/";
    else ::chmod(run.settings.program_folder.c_str(), 0777);  // other users could swap the file
    run.Offer(Installer_Entry(kInstallerPath, run.installer, run.key.Sign(run.installer), MD5_Of_Text(run.installer)));
    EXPECT_EQ(run.checker.NEW_VERSION_AVAILABLE, "");
    EXPECT_TRUE(run.host.Logged("Error downloading upgrade file"));
    EXPECT_EQ(run.server.Requests().size(), 1u) << "nothing downloaded";
    EXPECT_TRUE(run.Leftovers().empty());
  }
}

TEST(Upgrade, ALeftoverOfAnEarlierUpgradeMakesTheMoveFail) {
  Upgrade_Run run;
  run.Offer(Installer_Entry(kInstallerPath, run.installer, run.key.Sign(run.installer), MD5_Of_Text(run.installer)));
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
