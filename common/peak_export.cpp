// The peak tests' results as text, JSON and CSV.
#include "common/peak_export.h"

#include "common/global_functions.h"
#include "common/plain_text.h"
#include "common/results_export.h"

namespace {

std::string Json_Or_Null(const std::string& text) { return text.empty() ? "null" : Json_String(text); }

std::string Padded_Left(const std::string& text, std::size_t width) {
  return std::string(width - std::min(width, text.size()), ' ') + text;
}

}  // namespace

std::string Peak_Figures_Text(const Peak_Test_Result& test) {
  return Fixed_Text(test.Mbps(), 2) + " MB/s, " + Fixed_Text(test.Iops(), 2) + " IOPS, latency p50 " +
         Fixed_Text(test.p50_us, 2) + " us, p99 " + Fixed_Text(test.p99_us, 2) + " us, p99.9 " +
         Fixed_Text(test.p999_us, 2) + " us";
}

std::string Peak_Setup_Text(const Peak_Result& result) {
  std::string text = result.engine.empty() ? std::string("no engine") : result.engine;
  if (!result.engine_note.empty()) text += " (" + result.engine_note + ")";
  return text + (result.direct ? ", direct" : ", buffered") + ", test file " +
         Format_Size(result.size, "0.##", false) + ", " + std::to_string(result.seconds) + " s per test";
}

std::string Peak_Text(const Peak_Result& result) {
  std::string text = One_Line_Text(Peak_Setup_Text(result)) + "\n";
  for (const Peak_Test_Result& test : result.tests) {
    std::string line = test.key + std::string(14 - std::min<std::size_t>(14, test.key.size()), ' ');
    line += Padded_Left(Fixed_Text(test.Mbps(), 2), 9) + " MB/s " + Padded_Left(Fixed_Text(test.Iops(), 2), 11) +
            " IOPS  p50 " + Padded_Left(Fixed_Text(test.p50_us, 2), 9) + " us  p99 " +
            Padded_Left(Fixed_Text(test.p99_us, 2), 9) + " us  p99.9 " + Padded_Left(Fixed_Text(test.p999_us, 2), 9) +
            " us  " + One_Line_Text(Device_Check_Brief(test.check));
    text += line + "\n";
    if (!test.note.empty()) text += "  " + One_Line_Text(test.note) + "\n";
  }
  if (result.outcome == Peak_Outcome::Stopped) text += "stopped\n";
  return text;
}

std::string Peak_Json(const Peak_Result& result) {
  std::string text = "{\"target\":" + Json_String(result.target) + ",\"size\":" + std::to_string(result.size) +
                     ",\"seconds\":" + std::to_string(result.seconds) + ",\"engine\":" + Json_Or_Null(result.engine) +
                     ",\"engine_note\":" + Json_Or_Null(result.engine_note) +
                     ",\"direct\":" + (result.direct ? "true" : "false") + ",\"note\":" + Json_Or_Null(result.note) +
                     ",\"tests\":[";
  for (std::size_t i = 0; i < result.tests.size(); ++i) {
    const Peak_Test_Result& test = result.tests[i];
    text += std::string(i == 0 ? "" : ",") + "{\"key\":" + Json_String(test.key) + ",\"mbps\":" + Fixed_Text(test.Mbps(), 2) +
            ",\"iops\":" + Fixed_Text(test.Iops(), 2) + ",\"latency_us\":{\"p50\":" + Fixed_Text(test.p50_us, 2) +
            ",\"p99\":" + Fixed_Text(test.p99_us, 2) + ",\"p99.9\":" + Fixed_Text(test.p999_us, 2) + "}" +
            Device_Check_Json_Fields(test.check) + ",\"note\":" + Json_Or_Null(test.note) + "}";
  }
  return text + "],\"stopped\":" + (result.outcome == Peak_Outcome::Stopped ? "true" : "false") + "}\n";
}

std::string Peak_Csv(const Peak_Result& result, const std::string& date) {
  std::string text =
      "drive,date,seconds,size,engine,key,mbps,iops,p50_us,p99_us,p99.9_us,device_bytes,cached,check,note\n";
  const std::string run = Csv_Field(result.target) + "," + Csv_Field(date) + "," + std::to_string(result.seconds) +
                          "," + std::to_string(result.size) + "," + Csv_Field(result.engine) + ",";
  for (const Peak_Test_Result& test : result.tests) {
    const bool known = test.check.verdict == Device_Verdict::Device || test.check.verdict == Device_Verdict::Cache;
    text += run + test.key + "," + Fixed_Text(test.Mbps(), 2) + "," + Fixed_Text(test.Iops(), 2) + "," +
            Fixed_Text(test.p50_us, 2) + "," + Fixed_Text(test.p99_us, 2) + "," + Fixed_Text(test.p999_us, 2) + "," +
            (known ? std::to_string(test.check.device_bytes) : "") + "," +
            (known ? (test.check.verdict == Device_Verdict::Cache ? "true" : "false") : "") + "," +
            Verdict_Name(test.check.verdict) + "," + Csv_Field(test.note) + "\n";
  }
  return text;
}
