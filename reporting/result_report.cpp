// Send_Result_To_Database: the report composed from the facts of a run, signed, sent,
// judged, and queued when the server does not confirm it.
#include "reporting/result_report.h"

#include <exception>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "common/global_functions.h"
#include "common/log.h"
#include "common/result_text.h"
#include "common/server.h"
#include "reporting/http_client.h"
#include "reporting/report_codec.h"
#include "reporting/view_key.h"

namespace {

std::vector<std::pair<std::string, std::string>> Profile_Entries(const Report_Facts& facts) {
  std::map<std::string, std::string> items = {
      {"ID", facts.computer_id},
      {"SIG", Report_Signature(facts.computer_id, Parse_Server_Address(facts.server).host)},
      {"TT", std::to_string(facts.test_seconds)},
      {"PV", facts.version},
  };
  for (auto& [key, value] : Profile_Report_Items(*facts.profile, *facts.drive)) items[key] = value;
  std::vector<std::pair<std::string, std::string>> entries;
  for (const char* key : kReportProfileKeys) entries.emplace_back(key, items[key]);
  return entries;
}

// Step 9: the panel hidden, the verdict judged, an unconfirmed record queued.
std::string Conclude(Report_Host& host, const MY_UploadFileRecord* record, const std::string& verdict,
                     const Report_Channel& channel) {
  host.Display_Loading_Panel(false, "");
  std::string status;
  if (verdict == "1") {
    host.Local_Writelog("Sending result to database OK");
    status = "OK";
  } else if (record == nullptr) {
    status = "FAIL";  // nothing was composed, so nothing is queued
    host.Local_Writelog(status);
  } else {
    const auto log = [&host](const std::string& line) { host.Local_Writelog(line); };
    status = Save_Message_Queue(*record, channel.queue_folder, log) ? "FAIL,Queue OK" : "FAIL,Queue FAIL";
    host.Local_Writelog(status);
  }
  host.Set_Status_Text(status);
  return status;
}

}  // namespace

Report_Channel Program_Report_Channel(std::stop_token stop) {
  return {Results_Server_Offline(), Queue_Folder(),
          Keeping_View_Keys(
              [stop](const MY_UploadFileRecord& record) {
                return Post_Multipart_Form(record, Answer_Limits(), Report_Limits(), stop);
              },
              View_Key_Folder(), Write_Log)};
}

std::string Compare_Page_Url(const std::string& server, const std::string& view_key) {
  return Server_Base(server) + "/compare?key=" + Query_Value(view_key);
}

bool Replay_Message_Queue(const Report_Channel& channel, const Queue_Log& log, std::vector<Queue_Outcome>* outcomes) {
  if (channel.offline) return false;
  return Process_Message_Queue(channel.queue_folder, channel.send, log, outcomes);
}

std::string Report_Precondition_Failure(const Report_Facts& facts) {
  if (facts.drive == nullptr || facts.drive->Model.empty()) return "the drive has no model";
  if (facts.computer_id.empty()) return "no computer identifier";
  return {};
}

void Compose_Result_Report(const Report_Facts& facts, MY_UploadFileRecord& record,
                           const std::function<void(const std::string&)>& log) {
  const Server_Address server = Parse_Server_Address(facts.server);
  record.HostName.Assign(server.host);
  record.URL.Assign(server.Base() + "/uploadresults2.php?Ver=" + Query_Value(facts.version) +
                    "&CompId=" + Query_Value(facts.computer_id));
  std::vector<std::string> stored;
  // Numbers go out with ASCII digits whatever the locale; the server takes nothing else.
  auto add = [&](const std::string& key, const std::string& value) {
    Short_String& entry = record.Variables[stored.size()];
    entry.Assign(key + "=" + Hex_Encode(Ascii_Digits(value), 1));
    stored.push_back(entry.Bytes());
  };
  for (const auto& [key, value] : Profile_Entries(facts)) add(key, value);
  for (const Test_Result& test : facts.run->tests)
    if (test.rate > 0 && !test.key.empty()) add(test.key, Result_Text(test.rate));
  std::string joined;
  for (const std::string& entry : stored) joined += entry;
  log(joined);
  record.Variables[stored.size()].Assign("MD5=" + Report_Check_Value(stored));
}

std::string Send_Result_To_Database(Report_Host& host, const Report_Facts& facts, const Report_Channel& channel) {
  if (channel.offline) {
    host.Local_Writelog("Result not sent: the results server is switched off (PLATTERSCOPE_SERVER is empty)");
    host.Set_Status_Text(kStatusOffline);
    return kStatusOffline;
  }
  host.Display_Loading_Panel(true, "Updating database, please wait...");
  host.Local_Writelog("Sending results to database Start");
  std::unique_ptr<MY_UploadFileRecord> record;
  std::string verdict;
  std::exception_ptr error;
  try {
    const std::string failure = Report_Precondition_Failure(facts);
    if (failure.empty()) {
      auto composed = std::make_unique<MY_UploadFileRecord>();
      Compose_Result_Report(facts, *composed, [&host](const std::string& line) { host.Local_Writelog(line); });
      record = std::move(composed);
      verdict = Get_Tag_Value("[RESULT]", "[/RESULT]", channel.send(*record));
    } else {
      host.Local_Writelog("Result not sent: " + failure);
    }
  } catch (...) {
    // The panel is hidden and the outcome shown before the error goes on.
    error = std::current_exception();
    verdict.clear();
  }
  const std::string status = Conclude(host, record.get(), verdict, channel);
  host.Local_Writelog("Sending result to database Finish");
  if (error) std::rethrow_exception(error);
  return status;
}
