// Answers of the pages: the limit per address first, then the view, rendered as HTML or
// JSON; what is not there is a 404 of the same kind.
#include "server/page_answers.h"

#include "server/pages_html.h"
#include "server/pages_json.h"
#include "server/server_log.h"

namespace {

constexpr std::int64_t kMinuteMs = 60 * 1000;
constexpr const char* kJson = "application/json";

Route_Answer Not_Found(bool json, const std::string& title, const std::string& message) {
  if (json) return {404, kJson, "{\"error\":\"" + message + "\"}", {}};
  return {404, "text/html; charset=utf-8", Message_Page(title, message), {}};
}

Route_Answer Found(bool json, std::string body) {
  return {200, json ? kJson : "text/html; charset=utf-8", std::move(body), {}};
}

// The page made by make, or 503 while the database does not answer.
template <class Make>
Route_Answer From_Database(bool json, Make make) {
  try {
    return make();
  } catch (const Sql_Error& error) {
    Log_Limited("pages", std::string("a page could not be read: ") + error.what());
    const std::string message = "The results database does not answer; try again in a moment.";
    return {503, json ? kJson : "text/html; charset=utf-8",
            json ? "{\"error\":\"the results database does not answer\"}" : Message_Page("Not available", message),
            {{"Retry-After", "5"}}};
  }
}

}  // namespace

Page_Answers::Page_Answers(Report_Store& store, Model_Stats& stats, int pages_per_minute)
    : store_(store), stats_(stats), pages_(pages_per_minute, kMinuteMs) {}

std::optional<Route_Answer> Page_Answers::Over_Limit(const std::string& client_address, bool json,
                                                     std::int64_t now_ms) {
  const Window_Limit::Verdict verdict = pages_.Take(Address_Key(client_address), now_ms);
  if (verdict.allowed) return std::nullopt;
  const std::string message = "Too many requests from this address; try again in a minute.";
  Route_Answer answer{429, json ? kJson : "text/html; charset=utf-8",
                      json ? "{\"error\":\"too many requests\"}" : Message_Page("Too many requests", message),
                      {{"Retry-After", std::to_string(verdict.retry_after_s)}}};
  return answer;
}

Route_Answer Page_Answers::Home(const std::string& client_address, std::int64_t now_ms) {
  if (auto refused = Over_Limit(client_address, false, now_ms)) return *refused;
  return From_Database(false, [&] { return Found(false, Home_Page(Make_Home_View(store_))); });
}

Route_Answer Page_Answers::Compare(const std::string& client_address, const std::string& view_key, bool json,
                                   std::int64_t now_ms) {
  if (auto refused = Over_Limit(client_address, json, now_ms)) return *refused;
  return From_Database(json, [&] {
    const auto view = Make_Compare_View(store_, stats_, view_key);
    if (!view) return Not_Found(json, "No such computer", "no report of a computer with this key");
    return Found(json, json ? Compare_Json(*view) : Compare_Page(*view));
  });
}

Route_Answer Page_Answers::Computer(const std::string& client_address, const std::string& view_key, bool json,
                                    std::int64_t now_ms) {
  if (auto refused = Over_Limit(client_address, json, now_ms)) return *refused;
  return From_Database(json, [&] {
    const auto view = Make_Computer_View(store_, view_key);
    if (!view) return Not_Found(json, "No such computer", "no report of a computer with this key");
    return Found(json, json ? Computer_Json(*view) : Computer_Page(*view));
  });
}

// A model name that no report can have (a NUL, bytes that are not UTF-8) is not looked up.
Route_Answer Page_Answers::Drive(const std::string& client_address, const std::string& model, bool json,
                                 std::int64_t now_ms) {
  if (auto refused = Over_Limit(client_address, json, now_ms)) return *refused;
  return From_Database(json, [&] {
    const auto view = Is_Storable_Text(model) ? Make_Drive_View(stats_, model) : std::nullopt;
    if (!view) return Not_Found(json, "No such model", "no report of this drive model");
    return Found(json, json ? Drive_Json(*view) : Drive_Page(*view));
  });
}
