// Test reports made into records and bodies by the program's own composition.
#include "report_composer.h"

#include "common/planned_tests.h"
#include "reporting/multipart_form.h"

#include <QDate>

#include <cstdio>

namespace {

Upload Upload_Of(const MY_UploadFileRecord& record) {
  const std::string boundary = Multipart_Boundary(QDate::currentDate().toJulianDay());
  return {"multipart/form-data; boundary=" + boundary, Multipart_Body(record, boundary)};
}

}  // namespace

Sample_Report::Sample_Report() {
  using namespace std::string_literals;  // (assigning a literal makes GCC 12 warn falsely)
  MY_WMI_OperatingSystem_Record& os = machine.MyOperatingSystem[0];
  os.Version = "6.1.0"s;
  os.OSArchitecture = "64-bit"s;
  os.Caption = "Debian GNU/Linux 12 (bookworm)"s;
  MY_WMI_Processor_Record& cpu = machine.MyProcessors[0];
  cpu.Manufacturer = "AuthenticAMD"s;
  cpu.MaxClockSpeed = "2596"s;
  cpu.Name = "AMD EPYC"s;
  cpu.ProcessorType = "3"s;
  machine.MyIDEControllers[0].Name = "Virtio 1.0 block device"s;
  MY_WMI_ComputerSystem_Record& computer = machine.MyComputerSystems[0];
  computer.Manufacturer = "QEMU"s;
  computer.Model = "Standard PC"s;
  computer.TotalPhysicalMemoryFormatted = "23.5 GB"s;
  drive = {"/", 271000000000, "271 GB", "Generic Disk", "SN-0001", "3", "ext4", "1.0"};
}

Sample_Report Varied_Report(int n, int models) {
  Sample_Report report;
  char id[32];
  std::snprintf(id, sizeof id, "%017d", 10000000 + n);
  report.computer_id = id;
  const int model = n % models;
  report.drive.Model = "Test Drive Model " + std::to_string(model);
  report.drive.SerialNumber = "SERIAL-" + std::to_string(n);
  const double speed = 100.0 * (model + 1);
  for (int t = 0; t < 18; ++t) report.rates[t] = speed * (1.0 + 0.01 * ((n * 7 + t * 13) % 50)) / (1 + t / 2);
  return report;
}

Run_Result Plan_Of(const Sample_Report& report) {
  Run_Result plan;
  for (std::size_t t = 0; t < plan.tests.size(); ++t) {
    const bool tested = t < report.rates.size() && report.rates[t];
    plan.tests[t].rate = tested ? *report.rates[t] : -1.0;
  }
  return plan;
}

Report_Facts Facts_Of(const Sample_Report& report, const std::string& host, const Run_Result& plan) {
  return {report.computer_id, report.test_seconds, report.version, host, &report.machine, &report.drive, &plan};
}

std::unique_ptr<MY_UploadFileRecord> Compose_Record(const Sample_Report& report, const std::string& host) {
  const Run_Result plan = Plan_Of(report);
  auto record = std::make_unique<MY_UploadFileRecord>();
  Compose_Result_Report(Facts_Of(report, host, plan), *record, [](const std::string&) {});
  return record;
}

std::vector<std::string> Compose_Entries(const Sample_Report& report, const std::string& host) {
  const auto record = Compose_Record(report, host);
  std::vector<std::string> entries;
  for (const Short_String& entry : record->Variables)
    if (!entry.Empty()) entries.push_back(entry.Bytes());
  return entries;
}

Upload Compose_Upload(const Sample_Report& report, const std::string& host) {
  return Upload_Of(*Compose_Record(report, host));
}

Upload Upload_Of(const std::vector<std::string>& entries) {
  auto record = std::make_unique<MY_UploadFileRecord>();
  for (std::size_t i = 0; i < entries.size(); ++i) record->Variables[i].Assign_Bytes(entries[i]);
  return Upload_Of(*record);
}
