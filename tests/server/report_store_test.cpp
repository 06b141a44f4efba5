// The report database on SQLite and PostgreSQL alike: every field kept, one row per report
// however often it is sent and by however many processes, the model distributions.
#include "server_fixture.h"

#include "server/model_stats.h"
#include "server/postgres_session.h"
#include "server/sqlite_session.h"
#include "server/view_keys.h"

#include "reporting/report_codec.h"

#include <set>

namespace {

const std::string kHost = "127.0.0.1";

Report Parsed_Entries(const std::vector<std::string>& entries) {
  std::vector<Form_Entry> form;
  for (const std::string& entry : entries)
    form.push_back({entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1)});
  Report_Parse parsed = Parse_Report(form, kHost, [](const std::string& s) { return "h:" + s; });
  EXPECT_TRUE(parsed.report) << parsed.error;
  parsed.report->received_ms = 1700000000000;
  return *parsed.report;
}

Report Parsed(const Sample_Report& sample) { return Parsed_Entries(Compose_Entries(sample, kHost)); }

// A run of the whole plan at the default test time: every rate 100 but the sequential write.
Sample_Report Whole_Run(const std::string& computer, double write) {
  Sample_Report sample;
  sample.computer_id = computer;
  sample.rates.fill(100.0);
  sample.rates[0] = write;
  return sample;
}

// The report's entries with every value re-encoded by change (given the decoded value and
// its key) and the check value computed afresh, as a client of its own would send them.
template <class Change>
std::vector<std::string> Re_Encoded(const Sample_Report& sample, Change change) {
  std::vector<std::string> entries = Compose_Entries(sample, kHost);
  entries.pop_back();
  for (std::string& entry : entries) {
    const std::string key = entry.substr(0, entry.find('='));
    entry = key + "=" + change(key, *Decode_Report_Value(entry.substr(key.size() + 1)));
  }
  entries.push_back("MD5=" + Report_Check_Value(entries));
  return entries;
}

// Both passes with lower-case digits in the first, which the second pass then encodes.
std::string Lower_Hex(const std::string& value) {
  std::string first = Hex_Encode(value, 0);
  for (char& c : first) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return Hex_Encode(first, 0);
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

// Hex digits in either case, rates with a comma or in exponent form: the same report.
TEST_P(Report_Store_Test, AReportEncodedAnotherWayIsStillStoredOnce) {
  Sample_Report sample = Varied_Report(3);
  sample.rates[0] = 12350;  // the program writes 1.235E04
  const auto same = [](const std::string&, const std::string& value) { return Hex_Encode(value, 1); };
  const auto lower = [](const std::string&, const std::string& value) { return Lower_Hex(value); };
  const auto comma = [](const std::string& key, const std::string& value) {
    std::string text = value;
    const bool rate = std::any_of(kRateFields.begin(), kRateFields.end(), [&](const Rate_Field& f) { return key == f.key; });
    if (key == "WRITE") text = "12350.00";
    else if (rate) std::replace(text.begin(), text.end(), '.', ',');
    return Hex_Encode(text, 1);
  };
  const std::vector<std::vector<std::string>> encodings = {Re_Encoded(sample, same), Re_Encoded(sample, lower),
                                                           Re_Encoded(sample, comma)};
  std::set<std::string> check_values;
  for (const auto& entries : encodings) {
    const Report report = Parsed_Entries(entries);
    check_values.insert(report.check_value);
    Insert({report});
  }
  EXPECT_EQ(check_values.size(), 3u) << "three encodings";
  EXPECT_EQ(Stored_Reports(), 1);
  EXPECT_EQ(store_->Report_Count(), 1);
}

// A database of the first version: no identities, reports unique by check value, and one
// report stored twice under two encodings. The upgrade keeps both rows; the report sent
// again in a third encoding is then recognised.
TEST_P(Report_Store_Test, ADatabaseOfTheFirstVersionIsUpgradedInPlace) {
  auto old = Factory()();
  old->Execute("DROP TABLE reports");
  std::string table = "CREATE TABLE reports (" + old->Id_Column() +
                      ", received_ms BIGINT NOT NULL, model_key TEXT NOT NULL, check_value TEXT NOT NULL";
  std::string columns = "received_ms, model_key, check_value", values = "1, 'GENERIC DISK', $1";
  int number = 1;
  for (std::size_t i = 0; i < kProfileCount; ++i) {
    const Profile_Field& field = kProfileFields[i];
    if (field.column == nullptr) continue;
    table += std::string(", ") + field.column + (i == kTestSeconds ? " INTEGER NOT NULL" : " TEXT NOT NULL");
    columns += std::string(", ") + field.column;
    values += ", $" + std::to_string(++number);
  }
  for (const Rate_Field& rate : kRateFields) {
    table += std::string(", ") + rate.column + " DOUBLE PRECISION";
    columns += std::string(", ") + rate.column;
    values += ", $" + std::to_string(++number);
  }
  old->Execute(table + ", UNIQUE (comp_id, check_value))");
  const Sample_Report sample = Varied_Report(4);
  const auto lower = [](const std::string&, const std::string& value) { return Lower_Hex(value); };
  for (const Report& report : {Parsed(sample), Parsed_Entries(Re_Encoded(sample, lower))}) {
    Sql_Params params{report.check_value};
    for (std::size_t i = 0; i < kProfileCount; ++i)
      if (kProfileFields[i].column != nullptr) params.emplace_back(report.profile[i]);
    for (const auto& rate : report.rates) params.emplace_back(*rate);
    old->Execute("INSERT INTO reports (" + columns + ") VALUES (" + values + ")", params);
  }

  Report_Store upgraded(Factory(), 2);
  upgraded.Prepare_Schema();
  upgraded.Prepare_Schema();
  const auto rows = old->Query("SELECT identity, outliers FROM reports ORDER BY id");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Sql_Text(rows[0][0]), Parsed(sample).identity);
  EXPECT_EQ(Sql_Text(rows[1][0]).rfind(Parsed(sample).identity + "-", 0), 0u) << "the second copy kept apart";
  EXPECT_EQ(Sql_Int(rows[1][1]), 0);
  const auto upper_digits = [](const std::string&, const std::string& value) { return Hex_Encode(value, 1); };
  Report third = Parsed_Entries(Re_Encoded(sample, upper_digits));
  Report_Store::Insert_Reports(*upgraded.Open_Session(), {&third});
  EXPECT_EQ(Stored_Reports(), 2);
}

// PostgreSQL fails a statement on bytes that are not UTF-8 and libpq cuts a text at a NUL:
// such texts are refused before they are sent, and the connection that was to carry them
// stays in the pool.
TEST_P(Report_Store_Test, TextsNoReportCanHoldAreRefusedBeforeTheDatabase) {
  Insert({Parsed(Whole_Run("A", 1))});
  EXPECT_TRUE(store_->Latest_Report("A"));
  const auto connections = [&] {
    if (database_.empty()) return std::int64_t{0};
    return Sql_Int(Factory()()->Query("SELECT COUNT(*) - 1 FROM pg_stat_activity WHERE datname = current_database()")
                       .at(0).at(0));
  };
  const std::int64_t before = connections();
  for (const std::string& text : {std::string("\xFF"), std::string("A\0b", 3), std::string("\xED\xA0\x80")}) {
    EXPECT_FALSE(Is_Storable_Text(text));
    try {
      EXPECT_FALSE(store_->Latest_Report(text)) << "SQLite finds nothing";
    } catch (const Sql_Value_Error&) {
      EXPECT_FALSE(database_.empty()) << "PostgreSQL refuses it";
    }
  }
  EXPECT_TRUE(store_->Latest_Report("A"));
  EXPECT_EQ(connections(), before);
}

// A batch larger than one statement: each computer's first report gets its key, copies of
// it share the key, a second report of the same computer gets none, and a computer's key
// report sent again gets a new key while its other reports get none.
TEST_P(Report_Store_Test, ABatchGivesEachComputerOneKeyAsSeparateCommitsWould) {
  const Report keyed = Parsed(Whole_Run("K", 100));
  Sample_Report later = Whole_Run("K", 200);
  const std::vector<std::string> first = Report_Store::Insert_Reports(*store_->Open_Session(), {&keyed});
  ASSERT_EQ(first[0].size(), 32u);

  std::vector<Report> batch;
  for (int n = 0; n < 41; ++n) batch.push_back(Parsed(Whole_Run("C" + std::to_string(n), 10.0 + n)));
  batch.push_back(Parsed(Whole_Run("C7", 999)));  // a second report of C7
  batch.push_back(batch[3]);                      // a copy of C3's report
  batch.push_back(Parsed(later));                 // K's new report, before its key report again
  batch.push_back(keyed);
  std::vector<const Report*> pointers;
  for (const Report& report : batch) pointers.push_back(&report);
  const std::vector<std::string> keys = Report_Store::Insert_Reports(*store_->Open_Session(), pointers);
  ASSERT_EQ(keys.size(), batch.size());

  const auto computer_of = [&](const std::string& key) {
    const auto history = store_->History_Of_Key(key, 1);
    return history.empty() ? std::string("none") : history.front().report.profile[kComputerId];
  };
  for (int n = 0; n < 41; ++n) {
    if (n == 7) continue;
    EXPECT_EQ(computer_of(keys[n]), "C" + std::to_string(n)) << n;
  }
  EXPECT_NE(keys[7].empty(), keys[41].empty()) << "one of C7's two reports has the key";
  EXPECT_EQ(computer_of(keys[7] + keys[41]), "C7");
  EXPECT_EQ(keys[42], keys[3]) << "copies share the key";
  EXPECT_EQ(keys[43], "") << "another report of K";
  EXPECT_EQ(computer_of(keys[44]), "K") << "K's key report again";
  EXPECT_EQ(computer_of(first[0]), "none") << "the earlier key is replaced";
  EXPECT_EQ(Stored_Reports(), 44);
  EXPECT_EQ(store_->Report_Count(), 44);
}

// A batch the database refuses on a later row of a many-row statement stores none of its
// rows: the whole transaction is rolled back, and the same session then stores the others.
TEST_P(Report_Store_Test, ABatchRefusedOnALaterRowStoresNothing) {
  auto session = store_->Open_Session();
  if (database_.empty()) {
    session->Execute("CREATE TRIGGER refuse BEFORE INSERT ON reports WHEN NEW.comp_id = 'C5' "
                     "BEGIN SELECT RAISE(FAIL, 'refused'); END");
  } else {
    session->Execute("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN IF NEW.comp_id = 'C5' THEN "
                     "RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql");
    session->Execute("CREATE TRIGGER refuse BEFORE INSERT ON reports FOR EACH ROW EXECUTE FUNCTION refuse()");
  }
  std::vector<Report> batch;
  for (int n = 0; n < 10; ++n) batch.push_back(Parsed(Whole_Run("C" + std::to_string(n), 100)));
  std::vector<const Report*> pointers;
  for (const Report& report : batch) pointers.push_back(&report);
  EXPECT_THROW(Report_Store::Insert_Reports(*session, pointers), Sql_Error);
  EXPECT_EQ(Stored_Reports(), 0);
  EXPECT_EQ(store_->Report_Count(), 0);
  EXPECT_EQ(Sql_Int(session->Query("SELECT COUNT(*) FROM computers").at(0).at(0)), 0);

  pointers.erase(pointers.begin() + 5);
  const std::vector<std::string> keys = Report_Store::Insert_Reports(*session, pointers);
  EXPECT_EQ(Stored_Reports(), 9);
  for (const std::string& key : keys) EXPECT_EQ(store_->History_Of_Key(key, 1).size(), 1u) << key;
}

// A key begins with the time of its report, so the database's index of keys grows at its
// end; it is kept as those digits and its digest. Keys handed out before, kept as the digest
// alone, still open their computer's pages.
TEST_P(Report_Store_Test, KeysBeginWithTheirTimeAndKeysHandedOutBeforeStillOpenPages) {
  const Report report = Parsed(Whole_Run("A", 100));
  const std::string key = Report_Store::Insert_Reports(*store_->Open_Session(), {&report}).at(0);
  EXPECT_EQ(key.substr(0, 12), "018bcfe56800") << "1700000000000 ms";
  const auto stored = [&] { return Sql_Text(Factory()()->Query("SELECT view_hash FROM computers").at(0).at(0)); };
  EXPECT_EQ(stored(), "018bcfe56800" + Digest_Hex(key, 32));
  EXPECT_EQ(store_->History_Of_Key(key, 1).size(), 1u);

  const std::string earlier = "7c2f0a9d41e3b6c85f0e2d1a9b8c7d6e";
  Factory()()->Execute("UPDATE computers SET view_hash = $1", {Digest_Hex(earlier, 32)});
  for (const std::string& opens : {earlier, std::string("7C2F0A9D41E3B6C85F0E2D1A9B8C7D6E")})
    EXPECT_EQ(store_->History_Of_Key(opens, 1).size(), 1u) << opens;
  EXPECT_TRUE(store_->History_Of_Key(key, 1).empty());
  EXPECT_NE(New_View_Key(1700000000000), New_View_Key(1700000000000)) << "80 random bits after the time";
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
  EXPECT_DOUBLE_EQ(*store_->Latest_Report(again.computer_id)->report.rates[0], 1);
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
  for (int n = 0; n < 11; ++n) reports.push_back(Parsed(Whole_Run("C" + std::to_string(n), 10.0 * (n + 1))));  // 10 .. 110
  Insert({reports.begin(), reports.begin() + 10});
  auto distribution = stats.Distribution("GENERIC DISK");
  EXPECT_EQ(distribution->reports, 10);
  EXPECT_EQ(distribution->Computers(), 10);
  EXPECT_DOUBLE_EQ(distribution->Summary(0).median, 55);
  EXPECT_DOUBLE_EQ(distribution->Summary(0).p10, 19);
  EXPECT_DOUBLE_EQ(distribution->Summary(0).p90, 91);
  EXPECT_DOUBLE_EQ(*distribution->Percentile_Of(0, 30), 25);  // two below, itself half
  EXPECT_EQ(distribution->Summary(1).count, 10);
  Insert({reports[10]});
  distribution = stats.Distribution("GENERIC DISK");
  EXPECT_EQ(distribution->reports, 11);
  EXPECT_DOUBLE_EQ(distribution->Summary(0).median, 60);
}

// A computer counts once, with its latest run of the whole plan at the default test time;
// its other runs are stored but left out. The figures kept up to date report by report are
// those read afresh.
TEST_P(Report_Store_Test, AModelsFiguresCountEachComputersLatestWholeRunOnce) {
  Model_Stats stats(*store_, 4);
  Sample_Report short_run = Whole_Run("B", 999);
  short_run.test_seconds = 1;
  Sample_Report one_pair = Whole_Run("B", 999);
  for (std::size_t t = 2; t < one_pair.rates.size(); ++t) one_pair.rates[t].reset();
  Sample_Report partial = Whole_Run("C", 7);
  partial.rates[17].reset();
  const std::vector<Sample_Report> runs = {Whole_Run("A", 100), Whole_Run("B", 50), Whole_Run("A", 200),
                                           short_run,           one_pair,            partial,
                                           Whole_Run("A", 300)};
  for (const Sample_Report& run : runs) {
    Insert({Parsed(run)});
    stats.Distribution("GENERIC DISK");
  }
  const auto kept = stats.Distribution("GENERIC DISK");
  EXPECT_EQ(kept->reports, 7);
  EXPECT_EQ(kept->Computers(), 2);
  EXPECT_EQ(kept->sorted[0], (std::vector<double>{50, 300}));
  EXPECT_EQ(kept->sorted[17].size(), 2u);
  Model_Stats fresh(*store_, 4);
  EXPECT_EQ(fresh.Distribution("GENERIC DISK")->sorted, kept->sorted);
}

// The issue's own case: twenty computers write about 160 MB/s, then forged reports of 21 made-up
// computers claim 100,000 MB/s. Each is stored with its rate flagged and the median stays.
TEST_P(Report_Store_Test, RatesFarOutsideAreFlaggedOnceTheModelHasTwentyComputers) {
  Model_Stats stats(*store_, 4, std::chrono::milliseconds(0));
  Rate_Row forged;
  forged.fill(100.0);
  forged[0] = 100000;
  for (int n = 0; n < 20; ++n) {
    EXPECT_EQ(stats.Outliers("GENERIC DISK", forged), 0u) << "with " << n << " computers nothing is judged";
    Insert({Parsed(Whole_Run("H" + std::to_string(n), 150 + n))});
  }
  const double median = stats.Distribution("GENERIC DISK")->Summary(0).median;
  EXPECT_DOUBLE_EQ(median, 159.5);
  for (int n = 0; n < 21; ++n) {
    Report report = Parsed(Whole_Run("F" + std::to_string(n), 100000));
    report.outliers = stats.Outliers(report.model_key, report.rates);
    EXPECT_EQ(report.outliers, 1u) << "only the write is far outside";
    Insert({report});
  }
  const auto figures = stats.Distribution("GENERIC DISK");
  EXPECT_DOUBLE_EQ(figures->Summary(0).median, median);
  EXPECT_EQ(figures->Summary(0).count, 20);
  EXPECT_EQ(figures->Summary(1).count, 41) << "their other rates still count";
  EXPECT_EQ(Stored_Reports(), 41);
  Rate_Row slow = forged;
  slow[0] = 50;
  EXPECT_EQ(stats.Outliers("GENERIC DISK", slow), 1u) << "far below counts as far outside too";
  slow[0] = 140;
  EXPECT_EQ(stats.Outliers("GENERIC DISK", slow), 0u);
}

TEST_P(Report_Store_Test, MadeUpModelNamesNeverPushKnownModelsOut) {
  Model_Stats stats(*store_, 2);
  Sample_Report other = Whole_Run("X", 10);
  other.drive.Model = "Other Disk";
  Insert({Parsed(Whole_Run("A", 10)), Parsed(other)});
  stats.Distribution("GENERIC DISK");
  stats.Distribution("OTHER DISK");
  for (int n = 0; n < 600; ++n) {
    const auto none = stats.Distribution("MADE UP " + std::to_string(n));
    EXPECT_EQ(none->reports, 0);
    EXPECT_FALSE(none->Percentile_Of(0, 1));
  }
  EXPECT_TRUE(stats.Holds("GENERIC DISK"));
  EXPECT_TRUE(stats.Holds("OTHER DISK"));
  EXPECT_FALSE(stats.Holds("MADE UP 0"));
}

// Reports of two processes can commit out of number order; the count tells, and the model
// is read afresh rather than missing the late one.
TEST_P(Report_Store_Test, AReportCommittedLateWithALowerNumberIsNotMissed) {
  if (GetParam() == Backend::kSqlite) GTEST_SKIP() << "SQLite numbers reports in commit order";
  Model_Stats stats(*store_, 4);
  auto slow = Factory()();  // takes number 1 and commits its report only later
  slow->Query("SELECT nextval(pg_get_serial_sequence('reports', 'id'))", {});
  Insert({Parsed(Whole_Run("C1", 2))});  // number 2
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

TEST(ModelFigures, MedianAbsoluteDeviation) {
  struct Case {
    std::vector<double> ascending;
    double deviation;
  };
  const Case cases[] = {
      {{}, 0},
      {{5}, 0},
      {{1, 2, 3, 4, 100}, 1},    // distances 2 1 0 1 97
      {{1, 2, 3, 4}, 1},         // median 2.5, distances 1.5 .5 .5 1.5
      {{0, 10, 11, 12, 13}, 1},  // distances 11 1 0 1 2
      {{1, 1, 1, 10, 10}, 0},
      {{1, 2, 10, 20, 30, 40}, 13.5},  // median 15, distances 14 13 5 5 15 25
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(Median_Absolute_Deviation(c.ascending, Interpolated_Percentile(c.ascending, 0.5)), c.deviation)
        << testing::PrintToString(c.ascending);
}

// SQLite binds a run's texts without copying them: no run leaves a value bound for the
// next, whether it ends, fails on a later row, or is given fewer values than it names.
TEST(SqliteSession, EachRunSeesOnlyItsOwnValues) {
  Scratch_Folder folder;
  auto session = Open_Sqlite_Session(folder / "values.sqlite");
  session->Execute("CREATE TABLE t (a TEXT NOT NULL UNIQUE)");
  const std::string insert = "INSERT INTO t (a) VALUES ($1), ($2)";
  session->Execute(insert, {std::string(500, 'x'), std::string("y")});
  EXPECT_THROW(session->Execute(insert, {std::string("z"), std::string("y")}), Sql_Error);
  session->Execute(insert, {std::string("z"), std::string("w")});
  const auto rows = session->Query("SELECT a FROM t ORDER BY a");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(Sql_Text(rows[0][0]), "w");
  EXPECT_EQ(Sql_Text(rows[1][0]), std::string(500, 'x'));
  session->Query("SELECT $1, $2", {std::string(300, 'p'), std::string(300, 'q')});
  const auto values = session->Query("SELECT $1, $2", {std::string("only")});
  EXPECT_EQ(Sql_Text(values.at(0).at(0)), "only");
  EXPECT_TRUE(Sql_Is_Null(values.at(0).at(1))) << "nothing left bound from an earlier run";
}
