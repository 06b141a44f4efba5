// Reports as the program composes and sends them: the form entries (hex passes, cut at 255
// characters, signature, check value) and the multipart body with its closing zero byte.
// Tests build their uploads with it; the end-to-end tests use the program's own code.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

struct Sample_Report {
  std::string computer_id = "12345678901234567";
  // Values of the profile entries after ID and SIG, in the order sent (TT, PV, OS, ...).
  std::vector<std::string> profile = {"20", "1.0.0.1", "6.1.0", "64-bit", "Debian GNU/Linux 12 (bookworm)",
                                      "Generic Disk", "271 GB", "3", "SN-0001", "ext4", "AuthenticAMD", "2596",
                                      "AMD EPYC", "3", "Virtio 1.0 block device", "QEMU", "Standard PC",
                                      "23.5 GB", "1.0"};
  // MB/s per test in plan order; empty or not above 0 leaves the test out.
  std::array<std::optional<double>, 18> rates = {};
};

// A report whose drive model and rates vary with n (model n % models), every test present.
Sample_Report Varied_Report(int n, int models = 5);

// The entries "KEY=value" as the program stores them, the check value last.
std::vector<std::string> Compose_Entries(const Sample_Report& report, const std::string& host);

// The boundary the program uses today: 24 hyphens and the Julian day number of the date.
std::string Todays_Boundary();

// The POST body for the entries; the header to send is "multipart/form-data; boundary=".
std::string Multipart_Body(const std::vector<std::string>& entries, const std::string& boundary);

struct Upload {
  std::string content_type;
  std::string body;
};
Upload Compose_Upload(const Sample_Report& report, const std::string& host);
