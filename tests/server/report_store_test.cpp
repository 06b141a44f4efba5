// The report database on SQLite and PostgreSQL alike: every field kept, one row per report
// however often it is sent and by however many processes, the model distributions.
#include "server_fixture.h"

#include "server/model_stats.h"
#include "server/postgres_session.h"
#include "server/sqlite_session.h"

namespace {

const std::string kHost = "127.0.0.1";

Report Parsed(const Sample_Report& sample) {
  std::vector<Form_Entry> form;
  for (const std::string& entry : Compose_Entries(sample, kHost))
    form.push_back({entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1)});
  Report_Parse parsed = Parse_Report(form, kHost, [](const std::string& s) { return "h:" + s; });
  EXPECT_TRUE(parsed.report) << parsed.error;
  parsed.report->received_ms = 1700000000000;
  return *parsed.report;
}

class Report_Store_Test : public Server_Test {
 protected:
  Session_Factory Factory() {
    if (database_.empty()) return [path = data_.path() + "/reports.sqlite"] { return Open_Sqlite_Session(path); };
    return [address = database_] { return Open_Postgres_Session(address); };
  }
  void SetUp() override {
    Server_Test::SetUp();
    if (IsSkipped()) return;
    store_ = std::make_unique<Report_Store>(Factory(), 4);
    store_->Prepare_Schema();
    store_->Prepare_Schema();  // a second process finds the schema in place
  }
  void Insert(const std::vector<Report>& reports) {
    std::vector<const Report*> pointers;
    for (const Report& report : reports) pointers.push_back(&report);
    Report_Store::Insert_Reports(*store_->Open_Session(), pointers);
  }
  std::unique_ptr<Report_Store> store_;
};

}  // namespace

TEST_P(Report_Store_Test, EveryFieldComesBackAsStored) {
  Sample_Report sample;
  sample.rates[0] = 2349.5;
  sample.rates[17] = 0.25;
  sample.machine.MyOperatingSystem[0].Caption = "Caf\xC3\xA9 OS";
  const Report report = Parsed(sample);
  Insert({report});
  const auto stored = store_->Latest_Report(sample.computer_id);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->report.profile, report.profile);
  EXPECT_EQ(stored->report.rates, report.rates);
  EXPECT_EQ(stored->report.check_value, report.check_value);
  EXPECT_EQ(stored->report.received_ms, report.received_ms);
  EXPECT_EQ(stored->report.profile[kSerial], "h:SN-0001");
  EXPECT_EQ(stored->report.profile[6], "Caf\xC3\xA9 OS");
  EXPECT_FALSE(store_->Latest_Report("unknown"));
}

TEST_P(Report_Store_Test, AReportIsStoredOnceFromAnyConnection) {
  const Report first = Parsed(Varied_Report(1)), second = Parsed(Varied_Report(2));
  Insert({first, first});  // twice in one transaction
  Insert({first, second});
  auto other = Factory()();  // another process's connection
  Report_Store::Insert_Reports(*other, {&first, &second});
  EXPECT_EQ(Stored_Reports(), 2);
  EXPECT_EQ(store_->Report_Count(), 2);  // the count per model counts stored reports only
}

TEST_P(Report_Store_Test, HistoryLatestModelsAndAdCounters) {
  std::vector<Report> reports;
  for (int n = 0; n < 6; ++n) reports.push_back(Parsed(Varied_Report(n, 2)));
  Sample_Report again = Varied_Report(0, 2);
  again.rates[0] = 1;
  Insert(reports);
  Insert({Parsed(again)});  // the same computer reports again
  const auto history = store_->Computer_History(again.computer_id, 10);
  ASSERT_EQ(history.size(), 2u);
  EXPECT_DOUBLE_EQ(*history[1].report.rates[0], 1);  // oldest first
  EXPECT_EQ(store_->Latest_Reports(3).front().report.profile[kComputerId], again.computer_id);
  const auto models = store_->Top_Models(5);
  ASSERT_EQ(models.size(), 2u);
  EXPECT_EQ(models[0].count, 4);
  EXPECT_EQ(models[0].model, "Test Drive Model 0");
  store_->Count_Ad("7", true);
  store_->Count_Ad("7", true);
  store_->Count_Ad("7", false);
  EXPECT_EQ(store_->Ad_Counters("7").clicks, 2);
  EXPECT_EQ(store_->Ad_Counters("7").views, 1);
}

TEST_P(Report_Store_Test, ModelDistributionFollowsNewReports) {
  Model_Stats stats(*store_, 4);
  std::vector<Report> reports;
  for (int n = 0; n < 11; ++n) {
    Sample_Report sample;
    sample.computer_id = "C" + std::to_string(n);
    sample.rates[0] = 10.0 * (n + 1);  // 10 .. 110
    reports.push_back(Parsed(sample));
  }
  Insert({reports.begin(), reports.begin() + 10});
  auto distribution = stats.Distribution("GENERIC DISK");
  EXPECT_EQ(distribution->reports, 10);
  EXPECT_DOUBLE_EQ(distribution->Summary(0).median, 55);
  EXPECT_DOUBLE_EQ(distribution->Summary(0).p10, 19);
  EXPECT_DOUBLE_EQ(distribution->Summary(0).p90, 91);
  EXPECT_DOUBLE_EQ(*distribution->Percentile_Of(0, 30), 25);  // two below, itself half
  EXPECT_EQ(distribution->Summary(1).count, 0);
  EXPECT_FALSE(distribution->Percentile_Of(1, 5));
  Insert({reports[10]});
  distribution = stats.Distribution("GENERIC DISK");
  EXPECT_EQ(distribution->reports, 11);
  EXPECT_DOUBLE_EQ(distribution->Summary(0).median, 60);
}

// Reports of two processes can commit out of number order; the count tells, and the model
// is read afresh rather than missing the late one.
TEST_P(Report_Store_Test, AReportCommittedLateWithALowerNumberIsNotMissed) {
  if (GetParam() == Backend::kSqlite) GTEST_SKIP() << "SQLite numbers reports in commit order";
  Model_Stats stats(*store_, 4);
  Sample_Report sample;
  sample.rates[0] = 2;
  auto slow = Factory()();  // takes number 1 and commits its report only later
  slow->Query("SELECT nextval(pg_get_serial_sequence('reports', 'id'))", {});
  Insert({Parsed(sample)});  // number 2
  EXPECT_EQ(stats.Distribution("GENERIC DISK")->reports, 1);
  slow->Begin_Write();
  slow->Execute("CREATE TEMP TABLE late AS SELECT * FROM reports WHERE id = 2", {});
  slow->Execute("UPDATE late SET id = 1, comp_id = 'other', rate_write = 1", {});
  slow->Execute("INSERT INTO reports SELECT * FROM late", {});
  slow->Execute("UPDATE model_counts SET reports = reports + 1 WHERE model_key = 'GENERIC DISK'", {});
  slow->Commit();
  const auto distribution = stats.Distribution("GENERIC DISK");
  EXPECT_EQ(distribution->reports, 2);
  EXPECT_EQ(distribution->sorted[0], (std::vector<double>{1, 2}));
}

PS_BOTH_DATABASES(Report_Store_Test);
