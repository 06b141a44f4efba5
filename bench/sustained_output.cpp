// The sustained write's curve and summary as the runner prints them.
#include "bench/sustained_output.h"

#include <charconv>

#include "common/global_functions.h"
#include "common/plain_text.h"
#include "common/result_text.h"

namespace {

// A number with a fixed count of decimals and a point, whatever the locale.
std::string Fixed(double value, int decimals) {
  char text[64];
  const auto done = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return std::string(text, done.ptr);
}

std::string Seconds(std::int64_t ms) { return Fixed(static_cast<double>(ms) / 1000.0, 3); }

}  // namespace

void Print_Sustained_Csv(std::ostream& out, const Sustained_Result& result) {
  out << "seconds,mbps,written_bytes\n";
  for (const Rate_Sample& sample : result.curve)
    out << Seconds(sample.end_ms) << "," << Fixed(sample.Mbps(), 2) << "," << sample.written << "\n";
  out.flush();
}

void Print_Sustained_Json(std::ostream& out, const std::string& target, const Sustained_Result& result) {
  const bool checked = result.check.verdict == Device_Verdict::Device;
  out << "{\"target\":" << Json_String(target) << ",\"size\":" << result.size << ",\"written\":" << result.written
      << ",\"seconds\":" << Seconds(result.elapsed_ms) << ",\"mbps\":" << Fixed(result.Mbps(), 2)
      << ",\"device_bytes\":" << (checked ? std::to_string(result.check.device_bytes) : "null")
      << ",\"check\":" << Json_String(Verdict_Name(result.check.verdict)) << ",\"fall\":";
  const Rate_Fall& fall = result.fall;
  if (fall.found) {
    const Rate_Sample& before = result.curve[fall.index - 1];
    out << "{\"seconds\":" << Seconds(before.end_ms) << ",\"written\":" << before.written
        << ",\"before_mbps\":" << Fixed(fall.plateau, 2) << ",\"after_mbps\":" << Fixed(fall.after, 2) << "}";
  } else {
    out << "null";
  }
  out << ",\"curve\":[";
  for (std::size_t i = 0; i < result.curve.size(); ++i) {
    const Rate_Sample& sample = result.curve[i];
    out << (i == 0 ? "" : ",") << "{\"seconds\":" << Seconds(sample.end_ms) << ",\"mbps\":" << Fixed(sample.Mbps(), 2)
        << ",\"written\":" << sample.written << "}";
  }
  out << "],\"stopped\":" << (result.stopped ? "true" : "false")
      << ",\"error\":" << (result.error.empty() ? "null" : Json_String(result.error)) << "}\n";
  out.flush();
}

std::string Sustained_Summary(const Sustained_Result& result) {
  std::string text = "Sustained write: " + Format_Size(result.written, "0.##", false) + " of " +
                     Format_Size(result.size, "0.##", false) + " in " + Seconds(result.elapsed_ms) + " s, " +
                     Result_Text(result.Mbps()) +
                     " MB/s on average" + (result.stopped ? " (stopped)" : "") + "\n";
  text += One_Line_Text(Device_Check_Tip(result.check)) + "\n";
  if (!result.curve.empty()) text += Rate_Fall_Text(result) + "\n";
  return text;
}
