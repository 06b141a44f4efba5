// The form upload (probe, then POST of the multipart body) and the text fetch, over the
// curl transfer; an answer is used only when it arrived whole with status 200.
#include "reporting/http_client.h"

#include <QDate>

#include <exception>

#include "common/log.h"
#include "reporting/curl_transfer.h"
#include "reporting/multipart_form.h"

namespace {

using namespace std::chrono_literals;

// Answers longer than this are not used: the program's answers are a few lines of tags.
constexpr std::size_t kMaxAnswerBytes = 16 * 1024 * 1024;

// Appends body bytes to text up to the answer limit.
Curl_Transfer::Data_Handler Collect_Into(std::string& text) {
  return [&text](const char* data, std::size_t n) {
    if (text.size() + n > kMaxAnswerBytes) {
      Write_Log("Answer longer than " + std::to_string(kMaxAnswerBytes) + " bytes not used");
      return false;
    }
    text.append(data, n);
    return true;
  };
}

void Log_Failure(const char* what, const std::string& url, const Curl_Transfer& transfer) {
  Write_Log(std::string(what) + " " + url + " failed: " + transfer.Failure());
}

// The answer when it arrived whole with status 200; otherwise empty, and the reason logged
// (an answer cut short on purpose was logged where it was cut).
std::string Whole_Answer(Curl_Transfer::Outcome outcome, std::string& answer, const char* what,
                         const std::string& url, const Curl_Transfer& transfer) {
  if (outcome == Curl_Transfer::Outcome::Complete) return std::move(answer);
  if (outcome != Curl_Transfer::Outcome::Ended_On_Purpose) Log_Failure(what, url, transfer);
  return {};
}

// The probe: a GET of the URL whose answer is never read. True once the server answered,
// with any status.
bool Probe(const MY_UploadFileRecord& record, const Transfer_Limits& limits, const std::stop_token& stop) {
  Curl_Transfer probe(limits);
  if (!probe.valid()) return false;
  probe.Set_Url(record.URL.Text());
  probe.Set_Proxy(record.Proxy.Text());
  probe.Set_Get_Headers();
  probe.On_Data([](const char*, std::size_t) { return false; });
  const Curl_Transfer::Outcome outcome = probe.Perform(stop);
  if (outcome == Curl_Transfer::Outcome::Complete || probe.Response_Began()) return true;
  Log_Failure("GET", record.URL.Text(), probe);
  return false;
}

// Where the POST goes: the URL's scheme, the record's host and the object name.
std::string Post_Url(const MY_UploadFileRecord& record) {
  const std::string url = record.URL.Text();
  const std::size_t scheme_end = url.find("://");
  const std::string scheme = scheme_end == std::string::npos ? "http" : url.substr(0, scheme_end);
  return scheme + "://" + record.HostName.Text() + "/" + Post_Object_Name(url);
}

std::string Send_Form(const MY_UploadFileRecord& record, const Transfer_Limits& probe_limits,
                      const Transfer_Limits& post_limits, const std::stop_token& stop) {
  const std::string boundary = Multipart_Boundary(QDate::currentDate().toJulianDay());
  const std::string body = Multipart_Body(record, boundary);
  if (!Probe(record, probe_limits, stop)) return {};
  Curl_Transfer post(post_limits);
  if (!post.valid()) return {};
  std::vector<std::string> headers = Multipart_Header_Lines(boundary, record.HostName.Text());
  headers.push_back("Expect:");  // the body goes at once, without waiting for a 100 Continue
  const std::string url = Post_Url(record);
  post.Set_Url(url);
  post.Set_Proxy(record.Proxy.Text());
  post.Set_Credentials(record.Username.Text(), record.Password.Text());
  post.Set_Headers(headers);
  post.Set_Post_Body(body);
  // The header block announces gzip and deflate, so an answer in either is read decoded.
  post.Decode_Compressed_Answers();
  std::string answer;
  post.On_Data(Collect_Into(answer));
  return Whole_Answer(post.Perform(stop), answer, "POST", url, post);
}

Transfer_Limits With_Overall(std::chrono::milliseconds overall) {
  Transfer_Limits limits;
  limits.overall = overall;
  return limits;
}

}  // namespace

Transfer_Limits Answer_Limits() { return With_Overall(60s); }

Transfer_Limits Report_Limits() { return With_Overall(120s); }

Transfer_Limits Banner_Limits() { return With_Overall(60s); }

Transfer_Limits Installer_Limits() {
  Transfer_Limits limits;
  limits.minimum_rate = 10000;
  limits.rate_window = 30s;
  return limits;
}

std::string Post_Multipart_Form(const MY_UploadFileRecord& record, const Transfer_Limits& probe,
                                const Transfer_Limits& post, std::stop_token stop) {
  try {
    return Send_Form(record, probe, post, stop);
  } catch (const std::exception& error) {
    Write_Log(Error_Line(error));
    return {};
  }
}

std::string Get_Url_Text(const std::string& URL, const std::string& proxy, const std::string&, const std::string&,
                         const std::string&, const Transfer_Limits& limits, std::stop_token stop) {
  try {
    Curl_Transfer get(limits);
    if (!get.valid()) return {};
    get.Set_Url(URL);
    get.Set_Proxy(proxy);
    get.Set_Get_Headers();
    get.Follow_Redirects();
    std::string text;
    get.On_Data(Collect_Into(text));
    return Whole_Answer(get.Perform(stop), text, "GET", URL, get);
  } catch (const std::exception& error) {
    Write_Log(Error_Line(error));
    return {};
  }
}
