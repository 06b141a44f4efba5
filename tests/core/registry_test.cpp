#include <gtest/gtest.h>

#include <filesystem>

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
