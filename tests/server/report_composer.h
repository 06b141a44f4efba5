// Reports composed by the program's own code: a finished run's facts (machine profile, drive,
// rates) made into an upload record by Compose_Result_Report and into a body by the
// program's Multipart_Body. Tests and the load generator build their uploads with it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/run_result.h"
#include "inventory/drive_info.h"
#include "inventory/machine_profile.h"
#include "reporting/result_report.h"
#include "reporting/upload_record.h"

struct Sample_Report {
  Sample_Report();  // a machine and a drive with every item of the profile set

  std::string computer_id = "12345678901234567";
  std::int32_t test_seconds = 20;
  std::string version = "1.0.0.1";
  Machine_Profile machine;
  TMyLogicalDisks drive;
  // MB/s per test in plan order; empty or not above 0 leaves the test out.
  std::array<std::optional<double>, 18> rates = {};
};

// A report whose drive model and rates vary with n (model n % models), every test present.
Sample_Report Varied_Report(int n, int models = 5);

// A run's result with the report's rates.
Run_Result Plan_Of(const Sample_Report& report);
// The facts the program reports the run with when it addresses host.
Report_Facts Facts_Of(const Sample_Report& report, const std::string& host, const Run_Result& plan);

// The record the program makes of the report when it addresses host.
std::unique_ptr<MY_UploadFileRecord> Compose_Record(const Sample_Report& report, const std::string& host);

// The record's entries "KEY=value" as stored, the check value last.
std::vector<std::string> Compose_Entries(const Sample_Report& report, const std::string& host);

struct Upload {
  std::string content_type;
  std::string body;
};
// The POST the program sends for the report, with today's boundary.
Upload Compose_Upload(const Sample_Report& report, const std::string& host);
// The POST the program would send for these entries (each stored in a slot, cut at 255).
Upload Upload_Of(const std::vector<std::string>& entries);
