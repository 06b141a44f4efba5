// The strict reading of an upload: the values' decoding and text, the form parser and the
// report checks, each as a table of cases. The reports are composed by the program's code.
#include "report_composer.h"
#include "server/multipart_form.h"
#include "server/report.h"
#include "reporting/report_codec.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

const std::string kHost = "results.example:8080";

std::string Identity(const std::string& serial) { return "hash(" + serial + ")"; }

std::vector<Form_Entry> Entries_Of(const std::vector<std::string>& entries) {
  std::vector<Form_Entry> form;
  for (const std::string& entry : entries) {
    const auto equals = entry.find('=');
    form.push_back({entry.substr(0, equals), entry.substr(equals + 1)});
  }
  return form;
}

Sample_Report Full_Report() {
  Sample_Report report;
  for (int t = 0; t < 18; ++t) report.rates[t] = 100.0 + t;
  return report;
}

}  // namespace

TEST(ReportCodec, DecodingUndoesBothPassesAndOnlyACutValueMayEndInsideAGroup) {
  struct Case {
    std::string value;
    bool cut;
    std::optional<std::string> decoded;
  };
  const Case cases[] = {
      {"33333330", false, "30"},
      {"", false, ""},
      {"3333333", false, std::nullopt},   // odd digits without a cut
      {"3333333", true, "3"},             // the cut ends inside the second character
      {"333333", true, "3"},              // ... or inside its second pass
      {"33333G30", false, std::nullopt},  // not hex
      {"3G", false, std::nullopt},        // first pass gives a character that is not a hex digit
      {"3c3c", false, std::nullopt},      // "<<" is not hex either
      {"4536", false, "\xE6"},            // one byte beyond ASCII
      {"6536", false, "\xE6"},            // lower-case digits after the first pass
      {"333333Gx", true, std::nullopt},   // even a cut value is hex throughout
  };
  for (const Case& c : cases) EXPECT_EQ(Decode_Entry_Value(c.value, c.cut), c.decoded) << c.value;
}

TEST(ReportCodec, ValuesAreTheProgramsUtf8) {
  struct Case {
    std::string bytes;
    bool cut;
    std::string text;
  };
  const Case cases[] = {
      {"Caf\xC3\xA9 \xE2\x82\xAC", false, "Caf\xC3\xA9 \xE2\x82\xAC"},  // UTF-8 is kept as it is
      {"Caf\xC3", true, "Caf"},                        // the cut fell inside a character
      {"Caf\xC3", false, "Caf\xC3\x83"},               // not cut: not UTF-8, read as Latin-1
      {"Caf\xE9 OS", false, "Caf\xC3\xA9 OS"},          // a Latin-1 text
      {"a\tb\x7F\xC2\x85", false, "a?b??"},            // control characters, C1 included
      {"\xEF\xBB\xBFx", false, "\xEF\xBB\xBFx"},          // a leading byte order mark is kept
      {"", false, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Value_Text(c.bytes, c.cut), c.text) << c.bytes;
}

TEST(MultipartForm, ReadsTheProgramsBodyAndNothingLooser) {
  const std::string b = "------------------------2460000";
  const std::string part = "--" + b + "\r\nContent-Disposition: form-data; name=\"A\"\r\n\r\n41\r\n";
  const std::string end = "--" + b + "--\r\n";
  struct Case {
    std::string body;
    std::optional<std::size_t> parts;
  };
  const Case cases[] = {
      {part + end + std::string(1, '\0'), 1},
      {part + end, 1},
      {end + std::string(1, '\0'), 0},
      {part + end + std::string(2, '\0'), std::nullopt},      // more than the zero byte
      {part + end + "x", std::nullopt},
      {part, std::nullopt},                                   // never closed
      {"preamble\r\n" + part + end, std::nullopt},
      {"--" + b + "\r\nContent-Disposition: form-data; name=\"\"\r\n\r\nx\r\n" + end, std::nullopt},
      {"--" + b + "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a\"\r\n\r\nx\r\n" + end, std::nullopt},
      {"--" + b + "\r\nContent-Type: text/plain\r\n\r\nx\r\n" + end, std::nullopt},
      {"--" + b + "\r\nContent-Disposition: form-data; name=\"A\"\r\nx\r\n" + end, std::nullopt},
      {"--other\r\nContent-Disposition: form-data; name=\"A\"\r\n\r\n41\r\n--other--\r\n", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto entries = Parse_Multipart_Form(c.body, b);
    ASSERT_EQ(entries.has_value(), c.parts.has_value()) << c.body;
    if (entries) {
      EXPECT_EQ(entries->size(), *c.parts);
    }
  }
  const auto entries = Parse_Multipart_Form(part + part + end, b);
  ASSERT_TRUE(entries);
  EXPECT_EQ((*entries)[1].name, "A");
  EXPECT_EQ((*entries)[1].value, "41");
  EXPECT_EQ(Form_Boundary("multipart/form-data; boundary=" + b), b);
  EXPECT_EQ(Form_Boundary("multipart/form-data; boundary=\"" + b + "\""), b);
  EXPECT_EQ(Form_Boundary("text/plain; boundary=" + b), "");
  EXPECT_EQ(Form_Boundary("multipart/form-data"), "");
  EXPECT_EQ(Form_Boundary("multipart/form-data; boundary=" + std::string(71, 'x')), "");
}

TEST(ReportChecks, AReportOfTheProgramIsReadWhole) {
  Sample_Report sample = Full_Report();
  sample.machine.MyProcessors[0].Name = "AMD EPYC \xC3\xA9";
  const Report_Parse parsed = Parse_Report(Entries_Of(Compose_Entries(sample, kHost)), kHost, Identity);
  ASSERT_TRUE(parsed.report) << parsed.error;
  const Report& report = *parsed.report;
  EXPECT_EQ(report.profile[kComputerId], sample.computer_id);
  EXPECT_EQ(report.profile[kModel], "Generic Disk");
  EXPECT_EQ(report.profile[14], "AMD EPYC \xC3\xA9");
  EXPECT_EQ(report.profile[kSerial], "hash(SN-0001)");
  EXPECT_EQ(report.model_key, "GENERIC DISK");
  for (int t = 0; t < 18; ++t) EXPECT_DOUBLE_EQ(*report.rates[t], 100.0 + t);
  EXPECT_EQ(report.check_value, Compose_Entries(sample, kHost).back().substr(4));
}

TEST(ReportChecks, CommaRatesExponentRatesLeftOutTestsAndCutEntriesAreAccepted) {
  Sample_Report sample = Full_Report();
  sample.rates[0] = 12345.6;  // "1.235E04"
  sample.rates[3] = 0;        // a test without a rate is not sent
  sample.machine.MyProcessors[0].Name = std::string(70, 'P');  // "PN=" + 280 digits: cut inside a group
  sample.drive.FileSystemType = std::string(70, 'F');          // "SFST=" + 280 digits: cut after an odd count
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const auto entries = Compose_Entries(sample, kHost);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  const Report_Parse parsed = Parse_Report(Entries_Of(entries), kHost, Identity);
  ASSERT_TRUE(parsed.report) << parsed.error;
  EXPECT_DOUBLE_EQ(*parsed.report->rates[0], 12350);
  EXPECT_DOUBLE_EQ(*parsed.report->rates[1], 101);
  EXPECT_FALSE(parsed.report->rates[3]);
  EXPECT_EQ(parsed.report->profile[14], std::string(63, 'P'));
  EXPECT_EQ(parsed.report->profile[11], std::string(62, 'F'));
}

TEST(ReportChecks, AnythingWrongRefusesTheReport) {
  using Change = std::function<void(std::vector<std::string>&)>;
  auto resign = [](std::vector<std::string>& e) {
    e.pop_back();
    e.push_back("MD5=" + Report_Check_Value(e));
  };
  auto set_value = [&](std::size_t index, const std::string& value) {
    return [=](std::vector<std::string>& e) {
      e[index] = e[index].substr(0, e[index].find('=') + 1) + Hex_Encode(value, 1);
      resign(e);
    };
  };
  const std::pair<const char*, Change> cases[] = {
      {"bad check value", [](auto& e) { e.back()[4] = e.back()[4] == 'A' ? 'B' : 'A'; }},
      {"changed entry", [](auto& e) { e[2] += "30"; }},
      {"signed for another host", set_value(1, Report_Signature("12345678901234567", "other"))},
      {"other computer", set_value(0, "12345678901234568")},
      {"missing entry", [&](auto& e) { e.erase(e.begin() + 5); resign(e); }},
      {"unknown entry", [&](auto& e) { e.insert(e.end() - 1, "XX=3330"); resign(e); }},
      {"rates out of order", [&](auto& e) { std::swap(e[21], e[22]); resign(e); }},
      {"rate twice", [&](auto& e) { e.insert(e.end() - 1, e[21]); resign(e); }},
      {"rate not a number", set_value(21, "12a.00")},
      {"rate negative", set_value(21, "-5.00")},
      {"rate zero", set_value(21, "0.00")},
      {"rate too high", set_value(21, "100000.01")},
      {"rate not finite", set_value(21, "INF")},
      {"test time not a number", set_value(2, "20s")},
      {"empty model", set_value(7, "")},
      {"blank model", set_value(7, "  \t ")},
      {"model of Latin-1 no-break spaces", set_value(7, "\xA0\xA0")},
      {"entry longer than a slot", [&](auto& e) { e[14] = "PN=" + std::string(260, '3'); resign(e); }},
      {"value not hex", [&](auto& e) { e[4] = "OS=ZZ"; resign(e); }},
      {"no check value", [](auto& e) { e.pop_back(); }},
  };
  for (const auto& [name, change] : cases) {
    std::vector<std::string> entries = Compose_Entries(Full_Report(), kHost);
    change(entries);
    EXPECT_FALSE(Parse_Report(Entries_Of(entries), kHost, Identity).report) << name;
  }
}

TEST(ReportChecks, RateTexts) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"123.50", 123.5}, {"123,50", 123.5}, {"1.235E04", 12350}, {"1E04", 10000}, {"100000.00", 100000},
      {"0.01", 0.01},   {"0.00", {}},      {"", {}},            {"1.2.3", {}},   {"12 .5", {}},
      {"0x10", {}},     {"1e999", {}},     {"NAN", {}},
      // The limits of each part: nine digits before and after the point, three in the exponent.
      {"1,5e-2", 0.015}, {"12345.123456789", 12345.123456789}, {"1.5E+003", 1500},
      {"1234567890", {}}, {"1.1234567890", {}}, {"1E0001", {}}, {"1.", {}}, {".5", {}}, {"1E", {}}, {"1E+", {}},
      {"1e-", {}}, {"-1", {}}, {"+1", {}}, {"1 ", {}},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(Parse_Rate(text), value) << text;
  EXPECT_EQ(Model_Key("  Samsung   SSD\t970 "), "SAMSUNG SSD 970");
  EXPECT_EQ(Model_Key("Disque  \xC3\xA9t\xC3\xA9 "), "DISQUE \xC3\x89T\xC3\x89") << "letters beyond ASCII too";
}

// Databases hold the identities of the reports stored so far: the digest of a report's
// values must come out as it always has, or a report sent again would be stored twice.
TEST(ReportIdentity, StaysAsStoredDatabasesHoldIt) {
  Report report;
  report.profile[kComputerId] = "20240101120000000";
  report.profile[kModel] = "Disk \xC3\xA4";
  report.rates[0] = 159.5;
  report.rates[1] = 0.001;
  EXPECT_EQ(Report_Identity(report), "38371c58b7b5c0bb3654af4b6973ad73");
}
