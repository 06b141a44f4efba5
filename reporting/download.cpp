// Download_File: a GET into a file with its time limit, stop flag, progress displays and
// the final MD5 check.
#include "reporting/download.h"

#include <QString>

#include <chrono>
#include <cmath>
#include <stdexcept>

#include "common/log.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/safe_files.h"
#include "reporting/curl_transfer.h"

namespace {

using Clock = std::chrono::steady_clock;

// One download in progress: the file, the counts, the limits and the displays.
class Download {
 public:
  Download(const MY_DownloadRecord& record, const Message_Pump& pump, std::int64_t byte_limit)
      : record_(record), pump_(pump), byte_limit_(byte_limit), started_(Clock::now()),
        first_data_limit_(std::chrono::seconds(record.Download_TimeOut == 0 ? 10 : record.Download_TimeOut)) {}

  // Body bytes: written up to the expected size; false ends the transfer.
  bool Receive(const char* data, std::size_t n) {
    Open_File();
    if (byte_limit_ > 0 && received_ + static_cast<std::int64_t>(n) > byte_limit_) {
      too_large_ = true;
      return false;
    }
    std::size_t take = n;
    if (record_.FileSize > 0) take = static_cast<std::size_t>(std::min<std::int64_t>(record_.FileSize - received_, n));
    int error = 0;
    if (!platform::Write_All(file_.native(), std::string_view(data, take), error))
      throw std::runtime_error("Cannot write " + record_.FileName + ": " + platform::Error_Text(error));
    received_ += static_cast<std::int64_t>(take);
    Show_Progress();
    Pump();
    return !(record_.FileSize > 0 && received_ >= record_.FileSize) && !Stop_Asked();
  }

  // Between reads: the time limit for the first data, the stop flag, the window's messages.
  bool Tick() {
    if (received_ == 0 && Clock::now() - started_ > first_data_limit_) {
      timed_out_ = true;
      return false;
    }
    Pump();
    return !Stop_Asked();
  }

  // Called once the transfer has ended: the file exists once the answer has begun.
  void Finish(bool answered) {
    if (answered) Open_File();
    if (file_.valid() && file_.close() != 0) throw std::runtime_error("Cannot close " + record_.FileName);
    if (received_ == 0) Write_Log("totCnt<=0");
    if (record_.Progressbar != nullptr && record_.FileSize > 0) record_.Progressbar->Set_Position(100);
  }

  bool Timed_Out() const { return timed_out_; }
  bool Too_Large() const { return too_large_; }
  bool File_Made() const { return made_; }

 private:
  void Open_File() {
    if (made_) return;
    int error = 0;
    file_ = platform::Create_Output_File(record_.FileName, error);
    if (!file_.valid()) throw std::runtime_error("Cannot create " + record_.FileName + ": " + platform::Error_Text(error));
    made_ = true;
  }

  void Show_Progress() {
    if (record_.FileSize <= 0) return;
    const int percent = static_cast<int>(std::lround(static_cast<double>(received_) / record_.FileSize * 100.0));
    if (record_.Progressbar != nullptr) record_.Progressbar->Set_Position(percent);
    const MY_StringGridRecord& grid = record_.StringGrid;
    if (grid.Name != nullptr)
      Draw_Cell_Progress(grid, grid.Col, grid.Row, percent, grid.Color, grid.StartPercent, grid.EndPercent);
  }

  void Pump() {
    if (pump_) pump_();
  }
  bool Stop_Asked() const { return record_.ExitApp != nullptr && *record_.ExitApp; }

  const MY_DownloadRecord& record_;
  const Message_Pump& pump_;
  std::int64_t byte_limit_;
  Clock::time_point started_;
  Clock::duration first_data_limit_;
  platform::Descriptor file_;
  bool made_ = false;
  std::int64_t received_ = 0;
  bool timed_out_ = false;
  bool too_large_ = false;
};

bool Matches(const std::string& path, const std::string& expected) {
  return QString::fromStdString(MD5_Of_File(path)).compare(QString::fromStdString(expected), Qt::CaseInsensitive) == 0;
}

}  // namespace

bool Download_File(MY_DownloadRecord record, const Message_Pump& pump, const Transfer_Limits& limits) {
  try {
    if (record.Progressbar != nullptr && record.FileSize > 0) {
      record.Progressbar->Set_Range(0, 100);
      record.Progressbar->Set_Position(0);
    }
    Download download(record, pump, limits.download_bytes);
    Curl_Transfer get(limits);
    if (!get.valid()) return false;
    get.Set_Url(record.URL);
    get.Set_Proxy(record.Proxy);
    get.Set_Get_Headers();
    get.Follow_Redirects();
    get.On_Data([&](const char* data, std::size_t n) { return download.Receive(data, n); });
    get.On_Tick([&] { return download.Tick(); });
    const Curl_Transfer::Outcome outcome = get.Perform();
    download.Finish(get.Response_Began());
    if (download.Timed_Out()) Write_Log("Download of " + record.URL + " ended: no data within the time limit");
    else if (outcome == Curl_Transfer::Outcome::Failed || outcome == Curl_Transfer::Outcome::Timed_Out)
      Write_Log("GET " + record.URL + " failed: " + get.Failure());
    if (download.Too_Large())
      Write_Log("Download of " + record.URL + " ended: more than " + std::to_string(limits.download_bytes) + " bytes");
    if (!download.File_Made() || download.Too_Large()) return false;
    return record.MD5.empty() || Matches(record.FileName, record.MD5);
  } catch (const std::exception& error) {
    Write_Log(Error_Line(error));
    return false;
  }
}
