// The runner's option table, its parser and its usage text.
#include "bench/runner_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "common/peak_result.h"

namespace {

const std::map<std::string, int> kPairNames = {{"seq", 0},  {"512b", 1}, {"1k", 2},   {"4k", 3}, {"64k", 4},
                                               {"128k", 5}, {"512k", 6}, {"1m", 7}, {"4m", 8}};

// One option: its name, the name of its value (empty for a switch), what it does and how
// it is applied. apply returns false with the reason when the value will not do.
struct Option_Row {
  const char* name;
  const char* value;
  const char* help;
  std::function<bool(Runner_Options&, const std::string&, std::string&)> apply;
};

bool Set_Seconds(Runner_Options& options, const std::string& value, std::string& error) {
  char* end = nullptr;
  const long seconds = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || seconds < 1 || seconds > 200) {
    error = "--seconds takes a whole number from 1 to 200";
    return false;
  }
  options.seconds = static_cast<int>(seconds);
  return true;
}

bool Set_Pairs(Runner_Options& options, const std::string& list, std::string& error) {
  options.pairs.fill(false);
  std::stringstream in(list);
  std::string name;
  bool any = false;
  while (std::getline(in, name, ',')) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));  // 4K as 4k
    auto found = kPairNames.find(name);
    if (found == kPairNames.end()) {
      any = false;
      break;
    }
    options.pairs[static_cast<std::size_t>(found->second)] = true;
    any = true;
  }
  if (!any) error = "--only takes a comma list of known pairs";
  return any;
}

// A size in bytes, or with K, M, G or T for binary multiples (as dd and fio read them).
bool Set_Size(Runner_Options& options, const std::string& value, std::string& error) {
  error = "--size takes a size of at least 1M: bytes, or a number with K, M, G or T (binary multiples)";
  char* end = nullptr;
  errno = 0;
  const unsigned long long number = std::strtoull(value.c_str(), &end, 10);
  if (value.empty() || !std::isdigit(static_cast<unsigned char>(value[0])) || errno != 0) return false;
  std::string unit = end;
  for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));  // 2g as 2G
  static const std::map<std::string, int> kShifts = {{"", 0}, {"K", 10}, {"M", 20}, {"G", 30}, {"T", 40}};
  const auto shift = kShifts.find(unit);
  if (shift == kShifts.end() || number > (1ULL << (62 - shift->second))) return false;
  options.size = static_cast<std::int64_t>(number << shift->second);
  if (options.size < (1LL << 20)) return false;
  error.clear();
  return true;
}

const std::vector<Option_Row>& Option_Table() {
  static const std::vector<Option_Row> table = {
      {"--target", "DIR", "the work folder of the drive to measure (a run), or the drive --profile reports",
       [](Runner_Options& o, const std::string& v, std::string&) {
         o.target = v;
         while (o.target.size() > 1 && o.target.back() == '/') o.target.pop_back();
         return true;
       }},
      {"--seconds", "N", "test time in seconds, 1 to 200 (default 20)", Set_Seconds},
      {"--only", "PAIRS", "measure only these pairs: a comma list of seq,512b,1k,4k,64k,128k,512k,1m,4m", Set_Pairs},
      {"--sustained", "",
       "write one file of --size bytes; print its rate of every second as CSV, and where it fell",
       [](Runner_Options& o, const std::string&, std::string&) { return o.sustained = true; }},
      {"--peak", "",
       "the peak tests: MB/s, IOPS and latency at queue depths 8, 1, 32 and 1 on one file of --size "
       "(64M to 64G, default 1G), --seconds 5, 10 or 20 each",
       [](Runner_Options& o, const std::string&, std::string&) { return o.peak = true; }},
      {"--size", "N",
       "size of the sustained write (default: 90 % of free, at most 64G) or the peak tests' file: bytes, or with "
       "K, M, G or T",
       Set_Size},
      {"--json", "", "print one JSON object instead of text",
       [](Runner_Options& o, const std::string&, std::string&) { return o.json = true; }},
      {"--csv", "", "print the run as CSV, as the window saves its results, instead of text",
       [](Runner_Options& o, const std::string&, std::string&) { return o.csv = true; }},
      {"--list-drives", "", "print the drive list as the window shows it",
       [](Runner_Options& o, const std::string&, std::string&) { return o.list_drives = true; }},
      {"--profile", "", "print the machine facts a result report carries",
       [](Runner_Options& o, const std::string&, std::string&) { return o.profile = true; }},
      {"--send", "", "report the finished run to the results server as the window does",
       [](Runner_Options& o, const std::string&, std::string&) { return o.send = true; }},
      {"--replay-queue", "", "send the offline queue of unconfirmed reports again",
       [](Runner_Options& o, const std::string&, std::string&) { return o.replay_queue = true; }},
      {"--check-updates", "", "run the version check as the window does, never starting an installer",
       [](Runner_Options& o, const std::string&, std::string&) { return o.check_updates = true; }},
      {"--computer-id", "", "print the installation's computer identifier, storing one when there is none",
       [](Runner_Options& o, const std::string&, std::string&) { return o.computer_id = true; }},
      {"--help", "", "print this text",
       [](Runner_Options& o, const std::string&, std::string&) { return o.help = true; }},
  };
  return table;
}

const Option_Row* Find_Option(const std::string& name) {
  for (const Option_Row& row : Option_Table())
    if (name == row.name || (name == "-h" && std::string(row.name) == "--help")) return &row;
  return nullptr;
}

// The combinations that make no sense; empty when there is none. count is the number of
// arguments.
std::string Conflict(const Runner_Options& options, std::size_t count) {
  if (options.help) return "";
  for (const auto& [alone, name] : {std::pair{options.replay_queue, "--replay-queue"},
                                    std::pair{options.check_updates, "--check-updates"},
                                    std::pair{options.computer_id, "--computer-id"}})
    if (alone && count != 1) return std::string(name) + " takes no other option";
  if (options.send && (options.list_drives || options.profile)) return "--send goes with a run only";
  if (options.csv && (options.list_drives || options.profile)) return "--csv goes with a run only";
  if (options.csv && options.json) return "--json and --csv do not go together";
  if (options.list_drives && options.profile) return "--list-drives and --profile do not go together";
  if (options.list_drives && (options.json || !options.target.empty())) return "--list-drives takes no other option";
  if (options.target.empty() && !Runner_Lists_Only(options)) return "--target DIR is required";
  return "";
}

}  // namespace

namespace {

// The peak tests take a target, a file size, a test time of their own and --json or --csv;
// without --seconds they take 5.
std::string Peak_Conflict(Runner_Options& options, const std::set<std::string>& given) {
  if (!options.peak) return "";
  for (const std::string& name : given)
    if (name != "--peak" && name != "--size" && name != "--seconds" && name != "--target" && name != "--json" &&
        name != "--csv")
      return "--peak takes --target, --size, --seconds and --json or --csv only";
  if (given.count("--seconds") == 0) options.seconds = kPeakDefaultSeconds;
  if (std::find(kPeakSecondChoices.begin(), kPeakSecondChoices.end(), options.seconds) == kPeakSecondChoices.end())
    return "--seconds takes 5, 10 or 20 with --peak";
  if (options.size == 0) options.size = kPeakDefaultSize;
  if (options.size < kPeakMinSize || options.size > kPeakMaxSize) return "--size takes 64M to 64G with --peak";
  return "";
}

// A sustained write takes a target, a size and --json (or --csv, its default); --size goes
// with it only.
std::string Sustained_Conflict(const Runner_Options& options, const std::set<std::string>& given) {
  if (options.peak) return "";
  if (!options.sustained) return given.count("--size") != 0 ? "--size goes with --sustained or --peak" : "";
  for (const std::string& name : given)
    if (name != "--sustained" && name != "--size" && name != "--target" && name != "--json" &&
        name != "--csv")
      return "--sustained takes --target, --size and --json or --csv only";
  return "";
}

}  // namespace

bool Parse_Runner_Options(const std::vector<std::string>& args, Runner_Options& options, std::string& error) {
  std::set<std::string> given;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Option_Row* row = Find_Option(args[i]);
    if (row != nullptr) given.insert(row->name);
    const bool takes_value = row != nullptr && *row->value != '\0';
    if (row == nullptr || (takes_value && i + 1 >= args.size())) {
      error = "unknown or incomplete option " + args[i];
      return false;
    }
    if (!row->apply(options, takes_value ? args[++i] : std::string(), error)) return false;
  }
  error.clear();
  if (options.peak && options.sustained) error = "--peak and --sustained do not go together";
  if (error.empty() && !options.help) error = Peak_Conflict(options, given);
  if (error.empty() && !options.help) error = Sustained_Conflict(options, given);
  if (error.empty()) error = Conflict(options, args.size());
  return error.empty();
}

bool Runner_Lists_Only(const Runner_Options& options) {
  return options.list_drives || options.profile || options.replay_queue || options.check_updates ||
         options.computer_id;
}

std::string Runner_Usage() {
  std::string text =
      "usage: platterscope-bench --target DIR [--seconds N] [--only PAIRS] [--json | --csv]\n"
      "       platterscope-bench --target DIR --sustained [--size N] [--json | --csv]\n"
      "       platterscope-bench --target DIR --peak [--size N] [--seconds N] [--json | --csv]\n"
      "       platterscope-bench --list-drives\n"
      "       platterscope-bench --profile [--target DIR] [--json]\n"
      "       platterscope-bench --target DIR ... --send\n"
      "       platterscope-bench --replay-queue | --check-updates | --computer-id\n";
  for (const Option_Row& row : Option_Table()) {
    std::string head = std::string("  ") + row.name + (*row.value != '\0' ? std::string(" ") + row.value : "");
    head.resize(std::max<std::size_t>(head.size() + 2, 22), ' ');
    text += head + row.help + "\n";
  }
  return text;
}
