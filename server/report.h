// A result report as the server keeps it, and the checks that turn the program's form
// entries into one: order of entries, check value, signature, decoding, rates.
#pragma once

#include "server/multipart_form.h"
#include "server/report_fields.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct Report {
  // Decoded texts in UTF-8, in the order of kProfileFields. The serial slot holds the
  // serial's keyed hash (empty for a drive without serial); the signature slot is unused.
  std::array<std::string, kProfileCount> profile;
  std::array<std::optional<double>, kRateCount> rates;  // MB/s; empty for a test not reported
  std::string model_key;    // the model as reports are grouped by it (see Model_Key)
  std::string check_value;  // the "MD5" entry, upper case, as the program computed it
  std::string identity;     // digest of the decoded values: with the computer, what makes a report the same
  std::uint32_t outliers = 0;  // bit t: rate t lay far outside its model's figures when it arrived
  std::int64_t received_ms = 0;  // when the server took it, milliseconds since 1970 (UTC)
};

// The test time of the program's default plan; only runs of the whole plan at this time
// count in a model's figures.
constexpr int kDefaultTestSeconds = 20;

// A run like every other of the figures: the whole plan, every test with its rate, at the
// default test time.
bool Is_Like_Run(const Report& report);

// What a report says once decoded: its texts and rates, not the way they were encoded. The
// same report encoded in upper or lower case hex, its rates with a point or a comma, gives
// the same identity (32 hex digits).
std::string Report_Identity(const Report& report);

struct Report_Parse {
  std::optional<Report> report;
  std::string error;  // why the entries are not a report, for the log and the tests
};

// Turns a serial number into the text kept in its place.
using Serial_Hasher = std::function<std::string(const std::string& serial)>;

// Checks the entries of one upload and decodes them. host is the host name the program
// addressed (the request's Host header, port included), which its signature covers.
Report_Parse Parse_Report(const std::vector<Form_Entry>& entries, const std::string& host,
                          const Serial_Hasher& hash_serial);

// A rate text as the program writes it ("123.50", "123,50", "1.235E04"): the number, or
// nothing when it is not such a number, not above 0 or above kMaxRate.
std::optional<double> Parse_Rate(const std::string& text);

// The value of one entry with both hex passes undone, or nothing when it is not hex. Only
// an entry cut at a full slot (cut) may end inside a character's four digits.
std::optional<std::string> Decode_Entry_Value(const std::string& value, bool cut);

// The text of a decoded value in UTF-8. The program sends the UTF-8 bytes of its texts; a
// value cut with its entry may end inside a character, whose incomplete bytes are dropped.
// Bytes that are not UTF-8 are read as Latin-1, so that no report is refused for its text;
// control characters become "?".
std::string Value_Text(const std::string& bytes, bool cut);

// Models are grouped without regard to surrounding blanks, runs of blanks or letter case.
std::string Model_Key(const std::string& model);
