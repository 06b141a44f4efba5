// The runs of the results grid as files and as text: CSV and JSON with numbers in the C
// locale (a point before the decimals, whatever the user's locale), and a plain-text table
// with the numbers as the screen shows them, for the clipboard.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "common/global_functions.h"
#include "common/run_result.h"

// One completed run: what it measured, where and when.
struct Run_Record {
  std::string drive;  // the drive list's entry (the runner: the target folder)
  std::string date;   // when the run ended, local time: "2025-12-09 14:05:09"
  Run_Result run;     // its test time, and each test's rate (below 0 = none) and check
};

// A local day count as "YYYY-MM-DD HH:MM:SS", to the nearest second.
std::string Date_Text(TDateTime local_time);

// A header line "drive,date,seconds,WRITE,...,4MBR" and one line per run; a rate has two
// decimals, a missing one is an empty field. Fields are quoted as RFC 4180 asks.
std::string Results_Csv(const std::vector<Run_Record>& runs);
// {"runs":[{"drive":...,"date":...,"seconds":20,"mbps":{"WRITE":994.27,...}},...]}; a missing
// rate is null.
std::string Results_Json(const std::vector<Run_Record>& runs);
// One line per test and one column per run, with the drive, date and test time on top and
// the rates in the result text form of the screen (the user's locale).
std::string Results_Table(const std::vector<Run_Record>& runs);

// One CSV field: quoted as RFC 4180 asks when it holds a comma, a quote or a line break.
std::string Csv_Field(const std::string& text);

// The file formats of the results, chosen by a file name's extension (case ignored).
enum class Results_Format { Unknown, Csv, Json };
Results_Format Format_Of_File(const std::string& path);
