#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "common/registry_functions.h"
#include "scratch_folder.h"

namespace {

class Settings_Store_Test : public ::testing::Test {
 protected:
  Scratch_Folder scratch;
  Env_Override store{"PLATTERSCOPE_SETTINGS", scratch.path() + "/etc/Quillorane/Platterscope.conf"};

  static std::string Read(const std::string& name) {
    return Reg_Value_Text(Reg_Read_Value(HKEY_LOCAL_MACHINE, kSettingsKey, name, ""));
  }
  static void Write(const std::string& name, Reg_Data_Type type, const Reg_Value& value) {
    Reg_Write_Value(HKEY_LOCAL_MACHINE, kSettingsKey, name, type, value);
  }
};

}  // namespace

TEST_F(Settings_Store_Test, ValuesKeepTheirTypesAcrossWriteAndRead) {
  struct Case { const char* name; Reg_Value value; const char* text; };
  const Case cases[] = {
      {"Program_File", {REG_TYPE_STRING, std::string("platterscope")}, "platterscope"},
      {"Program_Path", {REG_TYPE_EXPAND, std::string("$HOME/bin/")}, "$HOME/bin/"},
      {"Computer_Id", {REG_TYPE_INTEGER, std::int32_t{42}}, "42"},
      {"Blob", {REG_TYPE_BINARY, std::vector<std::uint8_t>{0x00, 0xAB, 0xFF}}, "00ABFF"},
      {"Odd text", {REG_TYPE_STRING, std::string("tab\there\nnew line \\ end")}, "tab\there\nnew line \\ end"},
  };
  for (const Case& c : cases) Write(c.name, c.value.type, c.value);
  for (const Case& c : cases) {
    auto read = Reg_Read_Value(HKEY_LOCAL_MACHINE, kSettingsKey, c.name, "");
    ASSERT_TRUE(read.has_value()) << c.name;
    EXPECT_EQ(read->type, c.value.type) << c.name;
    EXPECT_EQ(Reg_Value_Text(read), c.text) << c.name;
  }
  EXPECT_FALSE(Reg_Read_Value(HKEY_LOCAL_MACHINE, kSettingsKey, "Missing", "").has_value());
  EXPECT_FALSE(Reg_Read_Value(HKEY_LOCAL_MACHINE, "\\Software\\Other", "Program_File", "").has_value());
  EXPECT_FALSE(Reg_Read_Value(HKEY_LOCAL_MACHINE, kSettingsKey, "Program_File", "othermachine").has_value());
}

TEST_F(Settings_Store_Test, TypeZeroKeepsTheStoredTypeAndNeverCreatesAValue) {
  Write("Counter", REG_TYPE_INTEGER, {REG_TYPE_INTEGER, std::int32_t{1}});
  Write("Counter", REG_TYPE_UNKNOWN, {REG_TYPE_INTEGER, std::int32_t{7}});
  auto read = Reg_Read_Value(HKEY_LOCAL_MACHINE, kSettingsKey, "Counter", "");
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->type, REG_TYPE_INTEGER);
  EXPECT_EQ(Reg_Value_Text(read), "7");
  Write("New", REG_TYPE_UNKNOWN, {REG_TYPE_STRING, std::string("x")});
  EXPECT_EQ(Read("New"), "");
  // A text that is no integer is not written over an integer value.
  Write("Counter", REG_TYPE_UNKNOWN, {REG_TYPE_STRING, std::string("abc")});
  EXPECT_EQ(Read("Counter"), "7");
}

TEST_F(Settings_Store_Test, AStoreThatCannotBeWrittenStaysUntouchedAndSilent) {
  // The store's folder cannot be made: a plain file stands where it would go.
  const std::string blocker = scratch.Make_File("etc");
  Write("Computer_Id", REG_TYPE_STRING, {REG_TYPE_STRING, std::string("123")});
  EXPECT_EQ(Read("Computer_Id"), "");
  EXPECT_EQ(Read_Whole_File(blocker), "x");
}

TEST_F(Settings_Store_Test, LinesThatAreNotUnderstoodAreKeptWhenAValueIsWritten) {
  const std::string file = scratch / "etc/Quillorane/Platterscope.conf";
  const std::string before =
      "# written by hand\n"
      "[\\\\Software\\\\Quillorane\\\\Platterscope]\n"
      "Computer_Id\tstring\t20230426153012345\n"
      "no tabs at all\n"
      "Half\tline\n"
      "Program_Path\tstring\t/opt/old/\n"
      "\n"
      "[\\\\Software\\\\Other]\n"
      "Colour\tstring\tblue\n"
      "\x01\x02 binary \xff";
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  std::ofstream(file, std::ios::binary) << before;
  Write("Program_Path", REG_TYPE_STRING, {REG_TYPE_STRING, std::string("/opt/new/")});
  Write("Program_File", REG_TYPE_STRING, {REG_TYPE_STRING, std::string("platterscope")});
  const std::string after =
      "# written by hand\n"
      "[\\\\Software\\\\Quillorane\\\\Platterscope]\n"
      "Computer_Id\tstring\t20230426153012345\n"
      "no tabs at all\n"
      "Half\tline\n"
      "Program_Path\tstring\t/opt/new/\n"
      "\n"
      "Program_File\tstring\tplatterscope\n"
      "[\\\\Software\\\\Other]\n"
      "Colour\tstring\tblue\n"
      "\x01\x02 binary \xff\n";
  EXPECT_EQ(Read_Whole_File(file), after);
  EXPECT_EQ(Read("Computer_Id"), "20230426153012345");
  Write("Brand_New", REG_TYPE_STRING, {REG_TYPE_STRING, std::string("x")});
  Reg_Write_Value(HKEY_LOCAL_MACHINE, "\\Software\\Third", "Name", REG_TYPE_STRING, {REG_TYPE_STRING, std::string("y")});
  const std::string last = Read_Whole_File(file);
  EXPECT_NE(last.find("platterscope\nBrand_New\tstring\tx\n[\\\\Software\\\\Other]\n"), std::string::npos) << last;
  EXPECT_TRUE(last.ends_with(" binary \xff\n[\\\\Software\\\\Third]\nName\tstring\ty\n")) << last;
  EXPECT_EQ(Read("Brand_New"), "x");
  EXPECT_EQ(Reg_Value_Text(Reg_Read_Value(HKEY_LOCAL_MACHINE, "\\Software\\Third", "Name", "")), "y");
}

// Where the store's folder can be written by others, a planted link must never be written
// through: the write is refused, silently as every failed write.
TEST_F(Settings_Store_Test, AFolderThatOthersCanWriteToIsRefusedAndNoLinkIsFollowed) {
  const std::string victim = scratch.Make_File("root-only", 5);
  const std::string shared = scratch / "shared";
  std::filesystem::create_directory(shared);
  ::chmod(shared.c_str(), 0777);
  std::filesystem::create_symlink(victim, shared + "/Platterscope.conf.new");
  Env_Override in_shared("PLATTERSCOPE_SETTINGS", shared + "/Platterscope.conf");
  Write("Computer_Id", REG_TYPE_STRING, {REG_TYPE_STRING, std::string("123")});
  EXPECT_EQ(Read_Whole_File(victim), "xxxxx");
  EXPECT_FALSE(std::filesystem::exists(shared + "/Platterscope.conf"));
  EXPECT_EQ(Read("Computer_Id"), "");

  // A folder of the store's own: the old temporary name means nothing any more.
  ::chmod(shared.c_str(), 0755);
  Write("Computer_Id", REG_TYPE_STRING, {REG_TYPE_STRING, std::string("123")});
  EXPECT_EQ(Read_Whole_File(victim), "xxxxx");
  EXPECT_EQ(Read("Computer_Id"), "123");
  EXPECT_FALSE(std::filesystem::is_symlink(shared + "/Platterscope.conf"));
}

TEST_F(Settings_Store_Test, FolderIs0755AndTheStoreReadableWhateverTheUmaskAndKeepsItsMode) {
  const std::string file = scratch / "etc/Quillorane/Platterscope.conf";
  {
    Umask_Override open_umask(0);
    Write("Computer_Id", REG_TYPE_STRING, {REG_TYPE_STRING, std::string("1")});
  }
  EXPECT_EQ(Mode_Of(scratch / "etc/Quillorane"), 0755u);
  EXPECT_EQ(Mode_Of(file), 0644u);
  {
    Umask_Override strict_umask(077);
    ::chmod(file.c_str(), 0640);
    Write("Computer_Id", REG_TYPE_STRING, {REG_TYPE_STRING, std::string("2")});
  }
  EXPECT_EQ(Mode_Of(file), 0640u) << "a new store takes the old store's mode";
  EXPECT_EQ(Read("Computer_Id"), "2");
}
