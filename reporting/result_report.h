// The report of a finished run: composed from its result and the machine profile, signed, sent
// to the results server, and queued when the server does not confirm it.
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "common/run_result.h"
#include "inventory/drive_info.h"
#include "inventory/machine_profile.h"
#include "reporting/message_queue.h"
#include "reporting/upload_record.h"

// What a report tells of its progress to the window (or to the headless runner). The report
// may run on a worker: the window then hands it a relay that carries each call to the
// window's thread, so no call may wait for the user.
class Report_Host {
 public:
  virtual ~Report_Host() = default;
  // Shows the loading panel with one line ("Updating database, please wait..."), or hides it.
  virtual void Display_Loading_Panel(bool show, const std::string& text) = 0;
  // Writes the status bar's text: the report's outcome ("OK", "FAIL,Queue OK", ...).
  virtual void Set_Status_Text(const std::string& text) = 0;
  // Writes one line to the diagnostic log; safe from any thread.
  virtual void Local_Writelog(const std::string& text) = 0;
};

// Everything a report is made of.
struct Report_Facts {
  std::string computer_id;
  std::int32_t test_seconds = 0;
  std::string version;                       // the program's four-part version
  std::string server;                        // the results server: [scheme://]host[:port]
  const Machine_Profile* profile = nullptr;
  const TMyLogicalDisks* drive = nullptr;    // the run's drive; none counts as a drive without model
  const Run_Result* run = nullptr;          // the rates reported: those above 0
};

// Where a report goes.
struct Report_Channel {
  bool offline = false;       // no traffic with the server at all
  std::string queue_folder;   // where an unconfirmed report waits
  Record_Sender send;         // sends a record and returns the answer
};

// The status texts a report ends with.
inline constexpr const char* kStatusOffline = "Not sent (offline)";

// The program's own channel: offline when PLATTERSCOPE_SERVER is set empty, the queue in the
// user's state folder, the transfers with their customary limits, each ended within a second
// once stop is requested (the replay then keeps what it has not sent); the view key a
// confirmation brings is kept (View_Key_Folder).
Report_Channel Program_Report_Channel(std::stop_token stop = {});

// The results server's page that shows this computer's latest report beside the computers
// of the same drive model: <server's base>/compare?key=<the computer's view key>.
std::string Compare_Page_Url(const std::string& server, const std::string& view_key);

// Replays the queue through channel (Process_Message_Queue); nothing at all when offline.
bool Replay_Message_Queue(const Report_Channel& channel, const Queue_Log& log,
                          std::vector<Queue_Outcome>* outcomes = nullptr);

// Why a report cannot be made ("the drive has no model", "no computer identifier"); empty
// when it can.
std::string Report_Precondition_Failure(const Report_Facts& facts);

// Fills a new, empty record: URL, host and the signed entries with their check value. The
// joined entries are written to log as one line.
void Compose_Result_Report(const Report_Facts& facts, MY_UploadFileRecord& record,
                           const std::function<void(const std::string&)>& log);

// Reports a run: composes, sends, judges the answer and queues an unconfirmed report; shows
// the wait and the outcome through host. Returns the status text: "OK", "FAIL,Queue OK",
// "FAIL,Queue FAIL", "FAIL" (nothing could be composed) or "Not sent (offline)". An error
// thrown meanwhile passes on after the panel is hidden and the last line logged.
std::string Send_Result_To_Database(Report_Host& host, const Report_Facts& facts, const Report_Channel& channel);
