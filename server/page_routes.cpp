// Routes of the pages for people, their JSON twins and the files under www/.
#include "server/results_server.h"

#include "server/byte_range.h"
#include "server/pages_html.h"

void Results_Server::Add_Page_Routes() {
  Get("/", [this](const Http_Request& request, Http_Response& response) {
    Send_Answer(response, pages_->Home(request.client_address, Now_Ms()));
  });
  for (const bool json : {false, true}) {
    const std::string prefix = json ? "/api" : "";
    Get(prefix + "/compare", [this, json](const Http_Request& request, Http_Response& response) {
      Send_Answer(response, pages_->Compare(request.client_address, request.Param("key"), json, Now_Ms()));
    });
    Get(prefix + "/computer", [this, json](const Http_Request& request, Http_Response& response) {
      Send_Answer(response, pages_->Computer(request.client_address, request.Param("key"), json, Now_Ms()));
    });
    Get(prefix + "/drive", [this, json](const Http_Request& request, Http_Response& response) {
      Send_Answer(response, pages_->Drive(request.client_address, request.Param("model"), json, Now_Ms()));
    });
  }
}

// The file is sent from its open descriptor, so a file swapped meanwhile is either the old
// one or the new one, never a mix of paths. One byte range at most is served from it.
void Results_Server::Static_File(const Http_Request& request, Http_Response& response) const {
  struct stat info;
  auto file = std::make_shared<File_Descriptor>(www_.Open(request.path, info));
  if (!file->valid()) {
    Send_Answer(response, {404, "text/html; charset=utf-8", Message_Page("Not found", "There is no such page or file."), {}});
    return;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  response.Set_Header("Content-Type", Content_Type_Of(request.path));
  response.Set_Header("X-Content-Type-Options", "nosniff");
  response.Set_Header("Accept-Ranges", "bytes");
  const bool ranged = request.Has_Header("Range") && !request.Has_Header("If-Range");
  const Range_Choice choice = ranged ? Choose_Range(request.Header("Range"), size) : Range_Choice{};
  if (choice.unsatisfiable) {
    response.status = 416;
    response.Set_Header("Content-Range", "bytes */" + std::to_string(size));
    response.Set_Content("416\n", "text/plain");
    return;
  }
  response.file = File_Body{file, 0, size};
  if (choice.range) {
    response.status = 206;
    response.file->offset = choice.range->first;
    response.file->length = choice.range->last - choice.range->first + 1;
    response.Set_Header("Content-Range", "bytes " + std::to_string(choice.range->first) + "-" +
                                             std::to_string(choice.range->last) + "/" + std::to_string(size));
  }
}
