// MD5_Of_File, Last_Pos, Seconds_Between_Times and the grid-cell progress bar shared by
// the transfers and their callers.
#include "reporting/transfer_helpers.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <cmath>

#include "common/log.h"
#include "platform/files.h"
#include "platform/safe_files.h"

namespace {

// Milliseconds since midnight of a timestamp's time of day.
std::int64_t Milliseconds_Of_Day(TDateTime time) {
  const double fraction = std::fabs(time - std::trunc(time));
  return std::llround(fraction * 86'400'000.0) % 86'400'000;
}

// Whole pixels as the painter rounds them: halves to the even neighbour.
int Round_Pixels(double value) { return static_cast<int>(std::nearbyint(value)); }

}  // namespace

std::string MD5_Of_File(const std::string& path) {
  QCryptographicHash hash(QCryptographicHash::Md5);
  int error = 0;
  const bool read = platform::Read_File_Blocks(
      path, [&](const char* bytes, std::size_t n) { hash.addData(QByteArrayView(bytes, static_cast<qsizetype>(n))); },
      error);
  if (!read) {
    Write_Log("Cannot compute the MD5 of " + path + ": " + platform::Error_Text(error));
    return {};
  }
  return hash.result().toHex().toUpper().toStdString();
}

int Last_Pos(const std::string& text, const std::string& part) {
  if (text.empty() || part.empty() || part.size() > text.size()) return -1;
  const std::size_t found = text.rfind(part);
  return found == std::string::npos ? -1 : static_cast<int>(found) + 1;
}

double Seconds_Between_Times(TDateTime first, TDateTime second) {
  return static_cast<double>(Milliseconds_Of_Day(second) - Milliseconds_Of_Day(first)) / 1000.0;
}

void Draw_Cell_Progress(const MY_StringGridRecord& grid, int col, int row, int percentage, std::int32_t color,
                        int start_percent, int end_percent) {
  if (grid.Name == nullptr) return;
  const double p = percentage / 100.0;
  const double s = end_percent == 0 ? 0.0 : start_percent / 100.0;
  const double e = end_percent == 0 ? 1.0 : end_percent / 100.0;
  Cell_Rect rect = grid.Name->Cell_Rectangle(col, row);
  rect.Top += 2;
  rect.Bottom -= 2;
  const int left = rect.Left + Round_Pixels((rect.Right - rect.Left) * s);
  const int band = Round_Pixels((rect.Right - left) * e);
  rect.Right = left + Round_Pixels(band * p);
  rect.Left = left;
  grid.Name->Fill_Rectangle(rect, color);
}
