// The report upload and the ad counters: the checks and answers of the routes the program
// calls, taking the request's values and giving back the answer.
#include "server/program_routes.h"

#include "server/multipart_form.h"
#include "server/server_log.h"


namespace {

constexpr std::int64_t kHourMs = 3600 * 1000;
const std::string kAccepted = "[RESULT]1[/RESULT]";
const std::string kRefused = "[RESULT]0[/RESULT]";

// A hostile peer can send refused uploads by the thousand: say why at most once a second.
void Log_Refusal(const std::string& why) { Log_Limited("refused", "report refused: " + why, std::chrono::seconds(1)); }

Route_Answer Verdict(const std::string& text) { return {200, "text/html", text, {{"Cache-Control", "no-cache"}}}; }

Route_Answer Too_Many(std::int64_t retry_after_s, const std::string& what) {
  return {429, "text/plain", "Too many " + what + " from this address; try again later.\n",
          {{"Retry-After", std::to_string(retry_after_s)}, {"Cache-Control", "no-cache"}}};
}

}  // namespace

std::int64_t Now_Ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

Report_Intake::Report_Intake(Commit_Queue& commits, Model_Stats& stats, Serial_Hasher hash_serial,
                             int reports_per_hour, std::chrono::milliseconds commit_wait)
    : commits_(commits),
      stats_(stats),
      hash_serial_(std::move(hash_serial)),
      reports_(reports_per_hour, kHourMs),
      commit_wait_(commit_wait) {}

// "1" only once the report is committed; a report already stored is confirmed again, so a
// client's queue can always be emptied. Only reports count towards the hour's limit, and an
// address past it is refused before its upload is read.
Route_Answer Report_Intake::Take(const std::string& client_address, const std::string& host,
                                 const std::string& content_type, const std::string& body, std::int64_t now_ms) {
  const std::string address = Address_Key(client_address);
  if (const auto verdict = reports_.Check(address, now_ms); !verdict.allowed)
    return Too_Many(verdict.retry_after_s, "reports");
  const auto entries = Parse_Multipart_Form(body, Form_Boundary(content_type));
  if (!entries) {
    Log_Refusal("not a form");
    return Verdict(kRefused);
  }
  Report_Parse parsed = Parse_Report(*entries, host, hash_serial_);
  if (!parsed.report) {
    Log_Refusal(parsed.error);
    return Verdict(kRefused);
  }
  if (const auto verdict = reports_.Take(address, now_ms); !verdict.allowed)
    return Too_Many(verdict.retry_after_s, "reports");
  Report& report = *parsed.report;
  report.received_ms = now_ms;
  try {
    report.outliers = stats_.Outliers(report.model_key, report.rates);
  } catch (const Sql_Error& error) {  // the writer will tell whether the database is there
    Log_Limited("figures", std::string("a model's figures could not be read: ") + error.what());
  }
  const Commit_Queue::Outcome outcome = commits_.Commit(report, commit_wait_);
  if (!outcome.stored) return Verdict(kRefused);
  return Verdict(outcome.view_key.empty() ? kAccepted : kAccepted + "[VIEW]" + outcome.view_key + "[/VIEW]");
}

Ad_Counter::Ad_Counter(Report_Store& store) : store_(store), once_an_hour_(1, kHourMs) {}

Route_Answer Ad_Counter::Visit(const std::string& number, const std::optional<std::string>& target, bool click,
                               const std::string& client_address, std::int64_t now_ms) {
  if (!target) return {404, "text/plain", "404\n", {}};
  const std::string key = number + (click ? "\nclick\n" : "\nview\n") + Address_Key(client_address);
  if (once_an_hour_.Take(key, now_ms).allowed) {
    try {
      store_.Count_Ad(number, click);
    } catch (const std::exception& error) {  // the visitor still gets where the ad leads
      Log_Limited("ads", "counting ad " + number + ": " + error.what());
    }
  }
  if (click) return {302, "text/plain", "", {{"Location", *target}}};
  return {204, "text/plain", "", {}};
}
