// Starting another program: its own session, nothing on its standard input, the parameters
// as one argument, its exit code when waited for, and a clear reason when it cannot start.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/processes.h"
#include "scratch_folder.h"

TEST(RunAndWait, StartsTheProgramInASessionOfItsOwnWithNothingToRead) {
  Scratch_Folder scratch;
  const std::string program = scratch.Make_File("with blank/child.sh");
  std::ofstream(program, std::ios::trunc)
      << "#!/bin/sh\n"
         "read -r _ _ _ _ _ sid _ < /proc/$$/stat\n"
         "{ printf '%s|%s|' \"$#\" \"$1\"; cat; printf '|%s' \"$sid\"; } > \"$(dirname \"$0\")/out\"\n"
         "exit 7\n";
  ::chmod(program.c_str(), 0755);
  int exit_code = 0;
  std::string reason;
  ASSERT_TRUE(platform::Run_And_Wait(program, "one argument", true, exit_code, reason)) << reason;
  EXPECT_EQ(exit_code, 7);
  const std::string out = Read_Whole_File(scratch / "with blank/out");
  const std::string expected_start = "1|one argument||";
  ASSERT_EQ(out.substr(0, expected_start.size()), expected_start) << out;
  EXPECT_NE(out.substr(expected_start.size()), std::to_string(::getsid(0))) << "a session of its own";
}

TEST(RunAndWait, AProgramThatCannotStartSaysWhy) {
  Scratch_Folder scratch;
  const std::string not_a_program = scratch.Make_File("plain.txt");
  ::chmod(not_a_program.c_str(), 0755);
  for (const std::string& program : {scratch / "missing", not_a_program}) {
    int exit_code = 0;
    std::string reason;
    EXPECT_FALSE(platform::Run_And_Wait(program, "", false, exit_code, reason));
    EXPECT_EQ(reason.rfind("Cannot start " + program + ": ", 0), 0u) << reason;
  }
}
