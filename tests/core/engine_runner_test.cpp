// The headless runner in-process: its command line, and its output compared with stored
// texts made from the fixture inventory and a run on the in-memory disk, whose rates the
// hand clock makes exact. PS_UPDATE_GOLDEN=1 rewrites the stored texts.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bench/runner.h"
#include "common/peak_result.h"
#include "comma_locale.h"
#include "golden.h"
#include "memory_rig.h"
#include "scratch_folder.h"

namespace {

struct Runner_Result {
  int status = -1;
  std::string out, err;
  std::vector<std::string> log;
};

// Runs the runner on an in-memory disk of capacity bytes holding /srv/scratch; stop_requests:
// the signal that came before the run (0: none); terminal: stderr is one.
Runner_Result Run_Command(const std::vector<std::string>& args, std::sig_atomic_t stop_requests = 0,
                          bool terminal = false, std::int64_t capacity = 100'000'000'000LL) {
  platform::Memory_Platform disk(capacity);
  Hand_Clock clock;
  disk.spend = [&](std::int64_t us) { clock.Advance_Us(us); };
  disk.Add_Folder("/srv/scratch", disk.user);
  disk.Add_File("/srv/file", 10, disk.user);
  Fixture_Provider inventory;
  Load_Fixture_Inventory(inventory);
  std::ostringstream out, err;
  Runner_Result result;
  volatile std::sig_atomic_t requests = stop_requests;
  Runner_Services services{disk, inventory, clock, out, err,
                           [&](const std::string& line) { result.log.push_back(line); }, &requests, terminal};
  result.status = Run_Runner(args, services);
  result.out = out.str();
  result.err = err.str();
  return result;
}

class Runner_Test : public ::testing::Test {
 protected:
  Scratch_Folder logs;
  Env_Override tmpdir{"TMPDIR", logs.path()};  // the drive listing logs as the window's does
};

}  // namespace

TEST_F(Runner_Test, ARunPrintsItsRatesAsTextAndAsJson) {
  const Runner_Result text = Run_Command({"--target", "/srv/scratch", "--seconds", "1"});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_TRUE(Matches_Golden("runner-run.txt", text.out));
  const Runner_Result json = Run_Command({"--target", "/srv/scratch/", "--seconds", "1", "--json", "--only", "seq,4k,4m"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_TRUE(Matches_Golden("runner-run.json", json.out));
  EXPECT_TRUE(json.err.empty()) << json.err;  // --json prints no progress lines
}

TEST_F(Runner_Test, CsvIsTheWindowsResultsFileWithAPointInAnyLocale) {
  Comma_Locale comma;
  ASSERT_TRUE(comma.active());
  const Runner_Result csv = Run_Command({"--target", "/srv/scratch", "--seconds", "1", "--csv"});
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_TRUE(Matches_Golden("runner-run.csv", csv.out));
  EXPECT_TRUE(csv.err.empty()) << csv.err;  // as --json: no progress lines
  // A stopped run: what was measured, and a word on stderr.
  const Runner_Result stopped = Run_Command({"--target", "/srv/scratch", "--csv"}, SIGINT);
  EXPECT_EQ(stopped.status, 130);
  EXPECT_EQ(stopped.out.substr(0, 19), "drive,date,seconds,");
  EXPECT_NE(stopped.out.find("\n/srv/scratch,2025-12-09 12:00:"), std::string::npos) << stopped.out;
  EXPECT_NE(stopped.err.find("the run was stopped"), std::string::npos) << stopped.err;
}

TEST_F(Runner_Test, OnATerminalTheProgressIsOneLineWrittenOver) {
  const Runner_Result shown = Run_Command({"--target", "/srv/scratch", "--seconds", "1", "--only", "4k"}, 0, true);
  EXPECT_EQ(shown.status, 0) << shown.err;
  // The line is drawn again and again in place ("\r" and erase), never ends a line, and is
  // erased at the end so that the results start on a clean line.
  const std::string rewind = "\r\x1b[K";
  EXPECT_EQ(shown.err.find('\n'), std::string::npos) << shown.err;
  EXPECT_EQ(shown.err.rfind(rewind), shown.err.size() - rewind.size());
  EXPECT_NE(shown.err.find(rewind + "[....................] 0/2  2 s left"), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find(rewind + "[##########..........] 1/2  "), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find(rewind + "[####################] 2/2  0 s left  "), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find("  Random 4K Read  Start..."), std::string::npos) << shown.err;
  std::size_t longest = 0;
  for (std::size_t at = shown.err.find(rewind); at != std::string::npos;) {
    const std::size_t next = shown.err.find(rewind, at + 1);
    longest = std::max(longest, (next == std::string::npos ? shown.err.size() : next) - at - rewind.size());
    at = next;
  }
  EXPECT_LE(longest, 79u) << "a terminal of 80 columns never wraps it";
  // Elsewhere (a file, a pipe) nothing of it: the loading panel's lines as always.
  const Runner_Result plain = Run_Command({"--target", "/srv/scratch", "--seconds", "1", "--only", "4k"});
  EXPECT_EQ(plain.err.find('\r'), std::string::npos) << plain.err;
  EXPECT_EQ(plain.err.find("left"), std::string::npos) << plain.err;
  EXPECT_NE(plain.err.find("Random 4K Write  Start...\n"), std::string::npos) << plain.err;
  EXPECT_EQ(plain.out, shown.out);
}

TEST_F(Runner_Test, AStoppedRunSaysSoAndExitsWithTheSignalsStatus) {
  const Runner_Result text = Run_Command({"--target", "/srv/scratch", "--seconds", "1"}, SIGINT);
  EXPECT_EQ(text.status, 130);
  EXPECT_EQ(text.out, "stopped\n");
  const Runner_Result json = Run_Command({"--target", "/srv/scratch", "--json"}, SIGTERM);
  EXPECT_EQ(json.status, 143);
  EXPECT_EQ(json.out, "{\"target\":\"/srv/scratch\",\"seconds\":20,\"tests\":[],\"stopped\":true}\n");
}

TEST_F(Runner_Test, ATestWithoutRoomGivesItsReasonInTheJsonAndOnStderr) {
  // 4.99 MB above the reserve: no room for one sequential block of 8 MiB.
  const Runner_Result json = Run_Command({"--target", "/srv/scratch", "--only", "seq", "--json"}, 0, false,
                                         kFreeSpaceReserve + 4'990'000);
  EXPECT_EQ(json.status, 0) << json.err;
  const std::string why = "Not enough free space for one block of 8.39 MB: 25.96 MB free, 20.97 MB must stay free";
  EXPECT_NE(json.out.find("{\"key\":\"WRITE\",\"description\":\"Sequential Write\",\"mbps\":0.00,\"note\":\"" + why +
                          "\","),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"mbps\":0.00,\"note\":\"Nothing to read: the write before it had no room above the "
                          "reserve\","),
            std::string::npos)
      << json.out;
  EXPECT_EQ(json.err, "platterscope-bench: Sequential Write: " + why +
                          "\nplatterscope-bench: Sequential Read: Nothing to read: the write before it had no room "
                          "above the reserve\n");
}

TEST_F(Runner_Test, TheDriveListAndTheProfileComeFromTheInventory) {
  const Runner_Result drives = Run_Command({"--list-drives"});
  EXPECT_EQ(drives.status, 0) << drives.err;
  EXPECT_TRUE(Matches_Golden("runner-list-drives.txt", drives.out));
  const Runner_Result profile = Run_Command({"--profile", "--target", "/media/usb"});
  EXPECT_EQ(profile.status, 0) << profile.err;
  EXPECT_TRUE(Matches_Golden("runner-profile.txt", profile.out));
  const Runner_Result json = Run_Command({"--profile", "--json"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_TRUE(Matches_Golden("runner-profile.json", json.out));
}

TEST_F(Runner_Test, TheCommandLineIsCheckedBeforeAnythingIsTouched) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* said;  // on stderr, or on stdout for --help
  };
  const Case cases[] = {
      {{"--help"}, 0, "usage: platterscope-bench --target DIR"},
      {{"-h"}, 0, "  --only PAIRS"},
      {{}, 2, "platterscope-bench: --target DIR is required"},
      {{"--target"}, 2, "platterscope-bench: unknown or incomplete option --target"},
      {{"--frobnicate"}, 2, "platterscope-bench: unknown or incomplete option --frobnicate"},
      {{"--target", "/srv/scratch", "--seconds", "0"}, 2, "--seconds takes a whole number from 1 to 200"},
      {{"--target", "/srv/scratch", "--seconds", "20x"}, 2, "--seconds takes a whole number from 1 to 200"},
      {{"--target", "/srv/scratch", "--only", "4k,9k"}, 2, "--only takes a comma list of known pairs"},
      {{"--list-drives", "--profile"}, 2, "--list-drives and --profile do not go together"},
      {{"--list-drives", "--json"}, 2, "--list-drives takes no other option"},
      {{"--target", "/srv/scratch", "--json", "--csv"}, 2, "--json and --csv do not go together"},
      {{"--profile", "--csv"}, 2, "--csv goes with a run only"},
      {{"--target", "/srv/file"}, 1, "platterscope-bench: Cannot write to /srv/file: Not a directory\n"},
      {{"--target", "/srv/none"}, 1, "platterscope-bench: Cannot write to /srv/none: No such file or directory\n"},
      {{"--profile", "--target", "/srv/none"}, 1, "/srv/none is not a listed drive"},
  };
  for (const Case& c : cases) {
    const Runner_Result result = Run_Command(c.args);
    const std::string args = ::testing::PrintToString(c.args);
    EXPECT_EQ(result.status, c.status) << args;
    const std::string& said = c.args.size() == 1 && c.status == 0 ? result.out : result.err;
    EXPECT_NE(said.find(c.said), std::string::npos) << args << ": " << said;
    if (c.status != 0) {
      EXPECT_TRUE(result.out.empty()) << args;
    }
  }
}

TEST_F(Runner_Test, PairsAndSizesAreTakenInEitherCase) {
  const Runner_Result pairs = Run_Command({"--target", "/srv/scratch", "--seconds", "1", "--only", "4K,Seq", "--json"});
  EXPECT_EQ(pairs.status, 0) << pairs.err;
  for (const char* key : {"\"WRITE\"", "\"READ\"", "\"4KW\"", "\"4KR\""})
    EXPECT_NE(pairs.out.find(key), std::string::npos) << key << " in " << pairs.out;
  EXPECT_EQ(pairs.out.find("\"1KW\""), std::string::npos) << pairs.out;

  const Runner_Result sized = Run_Command({"--target", "/srv/scratch", "--sustained", "--size", "64m"});
  EXPECT_EQ(sized.status, 0) << sized.err;
  EXPECT_NE(sized.err.find("Sustained write: 67.11 MB of 67.11 MB"), std::string::npos) << sized.err;
}

TEST_F(Runner_Test, ASustainedWritePrintsItsCurveAsCsvAndTellsWhereTheRateFell) {
  const Runner_Result csv = Run_Command({"--target", "/srv/scratch", "--sustained", "--size", "3G"});
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_TRUE(Matches_Golden("runner-sustained.csv", csv.out));
  EXPECT_NE(csv.err.find("Sustained write: 3.22 GB of 3.22 GB in "), std::string::npos) << csv.err;
  EXPECT_NE(csv.err.find("The device memdisk wrote 3.22 GB of the 3.22 GB this test counted.\n"), std::string::npos);
  // Three seconds are not enough to tell whether the rate held.
  EXPECT_NE(csv.err.find("The write was too short to judge a fall: 3 seconds measured, at least 10 are needed; "
                         "--size 28G takes about 30 s at this rate\n"),
            std::string::npos)
      << csv.err;
  const Runner_Result longer = Run_Command({"--target", "/srv/scratch", "--sustained", "--size", "12G"});
  EXPECT_NE(longer.err.find("The rate held: no lasting fall below 70 %"), std::string::npos) << longer.err;
  const Runner_Result json = Run_Command({"--sustained", "--json", "--target", "/srv/scratch", "--size", "3072M"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_TRUE(Matches_Golden("runner-sustained.json", json.out));
  EXPECT_TRUE(json.err.empty()) << json.err;
  const Runner_Result stopped = Run_Command({"--target", "/srv/scratch", "--sustained", "--json"}, SIGINT);
  EXPECT_EQ(stopped.status, 130) << stopped.err;
  EXPECT_NE(stopped.out.find(",\"written\":0,"), std::string::npos) << stopped.out;
  EXPECT_NE(stopped.out.find("\"stopped\":true"), std::string::npos) << stopped.out;

  const std::pair<std::vector<std::string>, const char*> wrong[] = {
      {{"--target", "/srv/scratch", "--size", "1G"}, "--size goes with --sustained or --peak"},
      {{"--target", "/srv/scratch", "--sustained", "--seconds", "5"}, "--sustained takes --target, --size and --json or --csv only"},
      {{"--target", "/srv/scratch", "--sustained", "--only", "seq"}, "--sustained takes --target, --size and --json or --csv only"},
      {{"--sustained"}, "--target DIR is required"},
      {{"--target", "/srv/scratch", "--sustained", "--csv", "--json"}, "--json and --csv do not go together"},
  };
  for (const auto& [args, said] : wrong) {
    const Runner_Result result = Run_Command(args);
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(result.err.find(said), std::string::npos) << result.err;
  }
  for (const char* size : {"1023K", "12X", "-5G", "G", "99999999999T", ""}) {
    const Runner_Result result = Run_Command({"--target", "/srv/scratch", "--sustained", "--size", size});
    EXPECT_EQ(result.status, 2) << size;
    EXPECT_NE(result.err.find("--size takes a size of at least 1M"), std::string::npos) << size << ": " << result.err;
  }
}

TEST_F(Runner_Test, ThePeakTestsPrintEachTestsFiguresAsTextJsonOrCsv) {
  const Runner_Result text = Run_Command({"--target", "/srv/scratch", "--peak", "--size", "64M"});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.err.find("\nRND4K-Q1T1-W Start...\n"), std::string::npos) << text.err;  // what it does, as lines
  std::istringstream in(text.out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 9u) << text.out;
  EXPECT_EQ(lines[0], "memory, direct, test file 67.11 MB, 5 s per test");
  for (std::size_t i = 0; i < kPeakTests.size(); ++i) {
    EXPECT_EQ(lines[i + 1].rfind(kPeakTests[i].key, 0), 0u) << lines[i + 1];
    EXPECT_NE(lines[i + 1].find(" IOPS  p50 "), std::string::npos) << lines[i + 1];
    EXPECT_NE(lines[i + 1].find("[device memdisk: "), std::string::npos) << lines[i + 1];
  }

  const Runner_Result json = Run_Command({"--peak", "--json", "--target", "/srv/scratch", "--size", "64M", "--seconds", "10"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_TRUE(json.err.empty()) << json.err;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json.out));
  EXPECT_EQ(doc["seconds"].toInt(), 10);
  EXPECT_EQ(doc["engine"].toString(), "memory");
  const QJsonArray tests = doc["tests"].toArray();
  ASSERT_EQ(tests.size(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(tests[i]["key"].toString().toStdString(), kPeakTests[static_cast<std::size_t>(i)].key);
    EXPECT_GT(tests[i]["iops"].toDouble(), 0);
    EXPECT_GT(tests[i]["latency_us"]["p99.9"].toDouble(), 0);
    EXPECT_FALSE(tests[i]["cached"].toBool());
  }
  const Runner_Result csv = Run_Command({"--target", "/srv/scratch", "--peak", "--size", "64M", "--csv"});
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 9);
  EXPECT_EQ(csv.out.rfind("drive,date,seconds,size,engine,key,mbps,iops,p50_us,p99_us,p99.9_us,", 0), 0u);

  // On a terminal: the progress line, with the running test's live rate, erased at the end.
  const Runner_Result shown = Run_Command({"--target", "/srv/scratch", "--peak", "--size", "64M"}, 0, true);
  EXPECT_EQ(shown.out, text.out);
  const std::string rewind = "\r\x1b[K";
  EXPECT_EQ(shown.err.find('\n'), std::string::npos) << shown.err;
  EXPECT_EQ(shown.err.rfind(rewind), shown.err.size() - rewind.size());
  EXPECT_NE(shown.err.find(rewind + "[#################...] 7/8  3 s left  RND4K-Q1T1-W 75.85 MB/s 18519 IOPS"),
            std::string::npos) << shown.err;

  // Stopped by a signal (here 1, SIGHUP): its figures so far, then 128 and the signal, as a run.
  const Runner_Result stopped = Run_Command({"--target", "/srv/scratch", "--peak", "--json"}, SIGHUP);
  EXPECT_EQ(stopped.status, 128 + SIGHUP) << stopped.err;
  EXPECT_NE(stopped.out.find("\"stopped\":true"), std::string::npos) << stopped.out;
  EXPECT_NE(std::find(stopped.log.begin(), stopped.log.end(), "Deleting Temp Dir:/srv/scratch/_Quillorane"),
            stopped.log.end());

  const std::pair<std::vector<std::string>, const char*> wrong[] = {
      {{"--target", "/srv/scratch", "--peak", "--seconds", "7"}, "--seconds takes 5, 10 or 20 with --peak"},
      {{"--target", "/srv/scratch", "--peak", "--size", "32M"}, "--size takes 64M to 64G with --peak"},
      {{"--target", "/srv/scratch", "--peak", "--size", "65G"}, "--size takes 64M to 64G with --peak"},
      {{"--target", "/srv/scratch", "--peak", "--only", "seq"}, "--peak takes --target, --size, --seconds and --json or --csv only"},
      {{"--target", "/srv/scratch", "--peak", "--send"}, "--peak takes --target, --size, --seconds and --json or --csv only"},
      {{"--target", "/srv/scratch", "--peak", "--sustained"}, "--peak and --sustained do not go together"},
      {{"--peak", "--json", "--csv", "--target", "/srv/scratch"}, "--json and --csv do not go together"},
      {{"--peak"}, "--target DIR is required"},
  };
  for (const auto& [args, said] : wrong) {
    const Runner_Result result = Run_Command(args);
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(result.err.find(said), std::string::npos) << result.err;
  }
  const Runner_Result refused = Run_Command({"--target", "/srv/file", "--peak"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "platterscope-bench: Cannot write to /srv/file: Not a directory\n");
}
