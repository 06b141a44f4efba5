// The program's own reporting against the results server on loopback, for both databases:
// Send_Result_To_Database with Post_Multipart_Form stores a run with every field decoded,
// texts beyond ASCII included, and the queue's replay of a report is stored only once.
#include "server_fixture.h"

#include "common/result_text.h"
#include "reporting/http_client.h"
#include "reporting/message_queue.h"
#include "reporting/result_report.h"
#include "reporting/view_key.h"
#include "server/postgres_session.h"
#include "server/sqlite_session.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <filesystem>
#include <map>

namespace {

using namespace std::chrono_literals;

const Transfer_Limits kLimits{5000ms, 10000ms};

class Quiet_Report_Host : public Report_Host {
 public:
  void Display_Loading_Panel(bool, const std::string&) override {}
  void Set_Status_Text(const std::string& text) override { status = text; }
  void Local_Writelog(const std::string&) override {}
  std::string status;
};

// A run whose texts reach beyond ASCII: an accent in the drive model and the processor, and
// a computer model whose entry is cut inside its last character.
Sample_Report Run_With_Accents() {
  Sample_Report report = Varied_Report(7, 1);
  report.drive.Model = "Disque Rapide \xC3\xA9 1TB";
  report.machine.MyProcessors[0].Name = "Processeur \xC3\xA9l\xC3\xA9gant @ 2.60GHz";
  report.machine.MyComputerSystems[0].Model = std::string(61, 'x') + "\xC3\xA9";  // "CMO=" and 62 bytes fill 255
  report.rates[3] = 0;  // a test without a rate is not reported
  return report;
}

// The texts the server should keep, by entry key: the facts as the program reports them.
std::map<std::string, std::string> Expected_Fields(const Sample_Report& report) {
  std::map<std::string, std::string> fields = {
      {"ID", report.computer_id}, {"TT", std::to_string(report.test_seconds)}, {"PV", report.version}};
  for (const auto& [key, value] : Profile_Report_Items(report.machine, report.drive)) fields[key] = value;
  fields["CMO"] = std::string(61, 'x');  // the cut fell inside the accent
  return fields;
}

QJsonObject Json_Of(const std::string& text) { return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object(); }

std::size_t Queued(const std::string& folder) {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    count += entry.path().extension() == ".dat";
  return count;
}

}  // namespace

class Program_Report_Test : public Server_Test {
 protected:
  Report_Channel Channel(const Record_Sender& send) { return {false, queue_.path(), send}; }
  std::vector<Sql_Row> Stored(const std::string& sql) {
    std::unique_ptr<Sql_Session> session = database_.empty() ? Open_Sqlite_Session(data_.path() + "/reports.sqlite")
                                                             : Open_Postgres_Session(database_);
    return session->Query(sql, {});
  }
  Scratch_Folder queue_;
  Scratch_Folder state_;  // where the program keeps the view key
};

TEST_P(Program_Report_Test, AFinishedRunIsStoredWithEveryFieldAndComparedOnline) {
  Test_Server& server = Start();
  const Sample_Report run = Run_With_Accents();
  const Run_Result plan = Plan_Of(run);
  Quiet_Report_Host host;
  const auto post = [](const MY_UploadFileRecord& record) { return Post_Multipart_Form(record, kLimits); };
  const Record_Sender program = Keeping_View_Keys(post, state_.path(), [](const std::string&) {});
  EXPECT_EQ(Send_Result_To_Database(host, Facts_Of(run, server.host(), plan), Channel(program)), "OK");
  EXPECT_EQ(Queued(queue_.path()), 0u);
  const std::string key = Load_View_Key(state_.path(), server.host());
  ASSERT_EQ(key.size(), 32u) << "the program kept the key the server answered";

  auto client = server.Client();
  const QJsonObject report = Json_Of(Get(*client, "/api/compare?key=" + key).body)["report"].toObject();
  const QJsonObject fields = report["fields"].toObject();
  const std::map<std::string, std::string> expected = Expected_Fields(run);
  for (const Profile_Field& field : kProfileFields) {
    if (field.column == nullptr || std::string(field.key) == "SSE") continue;
    EXPECT_EQ(fields[field.label].toString().toStdString(), expected.at(field.key)) << field.key;
  }
  EXPECT_FALSE(fields.contains("serial_hash")) << "the serial's hash stays on the server";
  const QJsonObject rates = report["rates"].toObject();
  for (std::size_t t = 0; t < kRateCount; ++t) {
    const bool reported = run.rates[t] && *run.rates[t] > 0;
    ASSERT_EQ(rates.contains(kRateFields[t].key), reported) << kRateFields[t].key;
    if (reported) {
      EXPECT_DOUBLE_EQ(rates[kRateFields[t].key].toDouble(),
                       QString::fromStdString(Result_Text(*run.rates[t])).replace(',', '.').toDouble());
    }
  }

  const auto row = Stored("SELECT model, cpu_name, serial_hash FROM reports");
  ASSERT_EQ(row.size(), 1u);
  EXPECT_EQ(Sql_Text(row[0][0]), run.drive.Model) << "the database holds the text unchanged";
  EXPECT_EQ(Sql_Text(row[0][1]), run.machine.MyProcessors[0].Name);
  EXPECT_FALSE(Sql_Text(row[0][2]).empty());
  EXPECT_EQ(Sql_Text(row[0][2]).find(run.drive.SerialNumber), std::string::npos) << "only a hash of the serial";

  // The address the window's "Compare my drive online" opens; the identifier alone opens nothing.
  const std::string compare_url = Compare_Page_Url(server.host(), key);
  ASSERT_EQ(compare_url, "http://" + server.host() + "/compare?key=" + key);
  const std::string page = Get(*client, compare_url.substr(7 + server.host().size())).body;
  for (const std::string& text : {std::string("Disque Rapide \xC3\xA9 1TB"), std::string("Sequential Write")})
    EXPECT_NE(page.find(text), std::string::npos) << text;
  EXPECT_EQ(Get(*client, "/compare?CompId=" + run.computer_id).status, 404);
  EXPECT_EQ(Json_Of(Get(*client, "/api/compare?key=" + key).body)["model"].toString().toStdString(), run.drive.Model);
}

// The server stored the report but its answer never reached the program: the program queues
// the record, and the replay at the next start sends it again, is confirmed and adds nothing.
TEST_P(Program_Report_Test, AReportWhoseAnswerWasLostIsReplayedAndStoredOnce) {
  Test_Server& server = Start();
  const Sample_Report run = Varied_Report(11);
  const Run_Result plan = Plan_Of(run);
  Quiet_Report_Host host;
  std::vector<std::string> answers;
  const auto answer_lost = [&](const MY_UploadFileRecord& record) {
    answers.push_back(Post_Multipart_Form(record, kLimits));
    return std::string();
  };
  EXPECT_EQ(Send_Result_To_Database(host, Facts_Of(run, server.host(), plan), Channel(answer_lost)), "FAIL,Queue OK");
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_TRUE(Confirmed(answers[0]));
  EXPECT_EQ(Stored_Reports(), 1);
  ASSERT_EQ(Queued(queue_.path()), 1u);

  std::vector<Queue_Outcome> outcomes;
  const auto replay = [&](const MY_UploadFileRecord& record) {
    answers.push_back(Post_Multipart_Form(record, kLimits));
    return answers.back();
  };
  const auto quiet = [](const std::string&) {};
  EXPECT_TRUE(Process_Message_Queue(queue_.path(), Keeping_View_Keys(replay, state_.path(), quiet), quiet, &outcomes));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].kind, Queue_Outcome::Kind::Sent);
  const std::string key = Load_View_Key(state_.path(), server.host());
  EXPECT_EQ(key.size(), 32u) << "confirmed again, with a key in place of the one the lost answer held: "
                             << answers.back();
  EXPECT_EQ(Queued(queue_.path()), 0u);
  EXPECT_EQ(Stored_Reports(), 1);
  auto client = server.Client();
  EXPECT_EQ(Json_Of(Get(*client, "/api/computer?key=" + key).body)["reports"].toArray().size(), 1);
}

PS_BOTH_DATABASES(Program_Report_Test);
