// Routes of the pages for people, their JSON twins and the files under www/.
#include "server/results_server.h"

#include "server/httplib_answer.h"
#include "server/pages_html.h"

#include <httplib.h>

#include <unistd.h>

namespace {

constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

void Results_Server::Add_Page_Routes() {
  http_->Get("/", [this](const httplib::Request& request, httplib::Response& response) {
    Send_Answer(response, pages_->Home(request.remote_addr, Now_Ms()));
  });
  for (const bool json : {false, true}) {
    const std::string prefix = json ? "/api" : "";
    http_->Get(prefix + "/compare", [this, json](const httplib::Request& request, httplib::Response& response) {
      Send_Answer(response, pages_->Compare(request.remote_addr, request.get_param_value("key"), json, Now_Ms()));
    });
    http_->Get(prefix + "/computer", [this, json](const httplib::Request& request, httplib::Response& response) {
      Send_Answer(response, pages_->Computer(request.remote_addr, request.get_param_value("key"), json, Now_Ms()));
    });
    http_->Get(prefix + "/drive", [this, json](const httplib::Request& request, httplib::Response& response) {
      Send_Answer(response, pages_->Drive(request.remote_addr, request.get_param_value("model"), json, Now_Ms()));
    });
  }
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
    Send_Answer(response, {404, "text/html; charset=utf-8", Message_Page("Not found", "There is no such page or file."), {}});
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
