// Download_Into: a GET whose body goes to a sink, with the first-data limit, the expected size
// and the byte limit; Download_File on top of it: the file, the progress displays, the stop
// flag and the MD5 of the bytes as they were written.
#include "reporting/download.h"

#include <QCryptographicHash>
#include <QString>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "common/log.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/safe_files.h"
#include "reporting/curl_transfer.h"

namespace {

using Clock = std::chrono::steady_clock;

// The counts and limits of one Download_Into.
class Body_Watch {
 public:
  Body_Watch(const Body_Download& download, const Body_Sink& sink, std::int64_t byte_limit)
      : download_(download), sink_(sink), byte_limit_(byte_limit), started_(Clock::now()) {}

  bool Receive(const char* data, std::size_t n) {
    if (byte_limit_ > 0 && received_ + static_cast<std::int64_t>(n) > byte_limit_) {
      why_ = "more than " + std::to_string(byte_limit_) + " bytes";
      return false;
    }
    std::size_t take = n;
    if (download_.expected_bytes > 0)
      take = static_cast<std::size_t>(std::min<std::int64_t>(download_.expected_bytes - received_, n));
    if (!sink_(data, take)) {
      why_ = "the receiver refused the data";
      return false;
    }
    received_ += static_cast<std::int64_t>(take);
    if (Reached_Expected_Size()) return false;
    return Between();
  }

  bool Tick() {
    if (received_ == 0 && Clock::now() - started_ > download_.first_data) {
      why_ = "no data within " + std::to_string(download_.first_data.count()) + " ms";
      return false;
    }
    return Between();
  }

  bool Reached_Expected_Size() const { return download_.expected_bytes > 0 && received_ >= download_.expected_bytes; }
  const std::string& Why() const { return why_; }

 private:
  bool Between() {
    if (!download_.between || download_.between()) return true;
    why_ = "stopped";
    return false;
  }

  const Body_Download& download_;
  const Body_Sink& sink_;
  std::int64_t byte_limit_;
  Clock::time_point started_;
  std::int64_t received_ = 0;
  std::string why_;
};

// A download's file, made with its first bytes, with the MD5 of what was written.
class Download_Target {
 public:
  explicit Download_Target(const MY_DownloadRecord& record) : record_(record), md5_(QCryptographicHash::Md5) {}

  bool Write(const char* data, std::size_t n) {
    Open();
    int error = 0;
    if (!platform::Write_All(file_.native(), std::string_view(data, n), error))
      throw std::runtime_error("Cannot write " + record_.FileName + ": " + platform::Error_Text(error));
    md5_.addData(QByteArrayView(data, static_cast<qsizetype>(n)));
    received_ += static_cast<std::int64_t>(n);
    Show_Progress();
    return true;
  }

  void Open() {
    if (file_.valid()) return;
    int error = 0;
    file_ = platform::Create_Output_File(record_.FileName, error);
    if (!file_.valid()) throw std::runtime_error("Cannot create " + record_.FileName + ": " + platform::Error_Text(error));
  }

  void Close() {
    if (file_.valid() && file_.close() != 0) throw std::runtime_error("Cannot close " + record_.FileName);
  }

  std::int64_t Received() const { return received_; }

  bool Matches_Digest() {
    const QString digest = QString::fromLatin1(md5_.result().toHex());
    return record_.MD5.empty() || digest.compare(QString::fromStdString(record_.MD5), Qt::CaseInsensitive) == 0;
  }

 private:
  void Show_Progress() {
    if (record_.FileSize <= 0) return;
    const int percent = static_cast<int>(std::lround(static_cast<double>(received_) / record_.FileSize * 100.0));
    if (record_.Progressbar != nullptr) record_.Progressbar->Set_Position(percent);
    const MY_StringGridRecord& grid = record_.StringGrid;
    if (grid.Name != nullptr)
      Draw_Cell_Progress(grid, grid.Col, grid.Row, percent, grid.Color, grid.StartPercent, grid.EndPercent);
  }

  const MY_DownloadRecord& record_;
  platform::Descriptor file_;
  QCryptographicHash md5_;
  std::int64_t received_ = 0;
};

}  // namespace

bool Download_Into(const Body_Download& download, const Body_Sink& sink, const Transfer_Limits& limits,
                   std::stop_token stop, std::string& why) {
  Body_Watch watch(download, sink, limits.download_bytes);
  Curl_Transfer get(limits);
  if (!get.valid()) {
    why = "the transfer library cannot start";
    return false;
  }
  get.Set_Url(download.url);
  get.Set_Proxy(download.proxy);
  get.Set_Get_Headers();
  get.Follow_Redirects();
  get.On_Data([&](const char* data, std::size_t n) { return watch.Receive(data, n); });
  get.On_Tick([&] { return watch.Tick(); });
  const Curl_Transfer::Outcome outcome = get.Perform(stop);
  if (outcome == Curl_Transfer::Outcome::Complete) return true;
  if (outcome == Curl_Transfer::Outcome::Ended_On_Purpose && watch.Why().empty() && watch.Reached_Expected_Size())
    return true;
  why = outcome == Curl_Transfer::Outcome::Ended_On_Purpose ? watch.Why() : get.Failure();
  return false;
}

bool Download_File(MY_DownloadRecord record, const Message_Pump& pump, const Transfer_Limits& limits,
                   std::stop_token stop) {
  try {
    if (record.Progressbar != nullptr && record.FileSize > 0) {
      record.Progressbar->Set_Range(0, 100);
      record.Progressbar->Set_Position(0);
    }
    Download_Target target(record);
    Body_Download download;
    download.url = record.URL;
    download.proxy = record.Proxy;
    download.expected_bytes = record.FileSize;
    download.first_data = std::chrono::seconds(record.Download_TimeOut == 0 ? 10 : record.Download_TimeOut);
    download.between = [&] {
      if (pump) pump();
      return record.ExitApp == nullptr || !*record.ExitApp;
    };
    std::string why;
    const bool whole = Download_Into(download, [&](const char* data, std::size_t n) { return target.Write(data, n); },
                                     limits, stop, why);
    if (whole) target.Open();  // an empty answer makes an empty file
    target.Close();
    if (target.Received() == 0) Write_Log("totCnt<=0");
    if (record.Progressbar != nullptr && record.FileSize > 0) record.Progressbar->Set_Position(100);
    if (!whole) Write_Log("Download of " + record.URL + " not used: " + why);
    return whole && target.Matches_Digest();
  } catch (const std::exception& error) {
    Write_Log(Error_Line(error));
    return false;
  }
}
