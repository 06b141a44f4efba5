// Whole outputs compared with stored texts in tests/core/fixtures; PS_UPDATE_GOLDEN=1
// rewrites the stored texts from what the program now prints.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "memory_rig.h"
#include "scratch_folder.h"

inline ::testing::AssertionResult Matches_Golden(const std::string& name, const std::string& text) {
  const std::string path = kFixtureFolder + "/" + name;
  if (const char* update = std::getenv("PS_UPDATE_GOLDEN"); update != nullptr && std::string(update) == "1")
    std::ofstream(path, std::ios::binary) << text;
  const std::string golden = Read_Whole_File(path);
  if (golden == text) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << name << " differs; got:\n" << text << "\nstored:\n" << golden;
}
