// Routes of the pages for people, their JSON twins and the files under www/.
#include "server/results_server.h"

#include "server/pages_html.h"
#include "server/pages_json.h"

#include <httplib.h>

#include <unistd.h>

namespace {

constexpr std::size_t kChunk = 64 * 1024;

void Html(httplib::Response& response, const std::string& page, int status = 200) {
  response.status = status;
  response.set_content(page, "text/html; charset=utf-8");
}

void Json(httplib::Response& response, const std::string& text, int status = 200) {
  response.status = status;
  response.set_content(text, "application/json");
}

std::string No_Report_Json(const std::string& what) { return "{\"error\":\"" + what + "\"}"; }

}  // namespace

void Results_Server::Add_Page_Routes() {
  http_->Get("/", [this](const httplib::Request&, httplib::Response& response) {
    Html(response, Home_Page(Make_Home_View(*store_)));
  });
  http_->Get("/compare", [this](const httplib::Request& request, httplib::Response& response) {
    const auto view = Make_Compare_View(*store_, *stats_, request.get_param_value("CompId"));
    if (view) Html(response, Compare_Page(*view));
    else Html(response, Message_Page("No report yet", "There is no report of this installation."), 404);
  });
  http_->Get("/api/compare", [this](const httplib::Request& request, httplib::Response& response) {
    const auto view = Make_Compare_View(*store_, *stats_, request.get_param_value("CompId"));
    if (view) Json(response, Compare_Json(*view));
    else Json(response, No_Report_Json("no report of this installation"), 404);
  });
  http_->Get("/drive", [this](const httplib::Request& request, httplib::Response& response) {
    Html(response, Drive_Page(Make_Drive_View(*stats_, request.get_param_value("model"))));
  });
  http_->Get("/api/drive", [this](const httplib::Request& request, httplib::Response& response) {
    Json(response, Drive_Json(Make_Drive_View(*stats_, request.get_param_value("model"))));
  });
  http_->Get("/computer", [this](const httplib::Request& request, httplib::Response& response) {
    Html(response, Computer_Page(Make_Computer_View(*store_, request.get_param_value("CompId"))));
  });
  http_->Get("/api/computer", [this](const httplib::Request& request, httplib::Response& response) {
    Json(response, Computer_Json(Make_Computer_View(*store_, request.get_param_value("CompId"))));
  });
  http_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    Static_File(request, response);
  });
}

// The file is streamed from its open descriptor, so a file swapped meanwhile is either
// the old one or the new one, never a mix of paths.
void Results_Server::Static_File(const httplib::Request& request, httplib::Response& response) {
  struct stat info;
  auto file = std::make_shared<File_Descriptor>(www_.Open(request.path, info));
  if (!file->valid()) {
    Html(response, Message_Page("Not found", "There is no such page or file."), 404);
    return;
  }
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_content_provider(
      static_cast<std::size_t>(info.st_size), Content_Type_Of(request.path),
      [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        char buffer[kChunk];
        const ssize_t got = ::pread(file->get(), buffer, std::min(length, kChunk), static_cast<off_t>(offset));
        return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
      });
}
