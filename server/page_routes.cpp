// Routes of the pages for people, their JSON twins and the files under www/.
#include "server/results_server.h"

#include "server/byte_range.h"
#include "server/pages_html.h"
#include "server/pages_json.h"

namespace {

void Html(Http_Response& response, const std::string& page, int status = 200) {
  response.status = status;
  response.Set_Content(page, "text/html; charset=utf-8");
}

void Json(Http_Response& response, const std::string& text, int status = 200) {
  response.status = status;
  response.Set_Content(text, "application/json");
}

std::string No_Report_Json(const std::string& what) { return "{\"error\":\"" + what + "\"}"; }

}  // namespace

void Results_Server::Add_Page_Routes() {
  Get("/", [this](const Http_Request&, Http_Response& response) {
    Html(response, Home_Page(Make_Home_View(*store_)));
  });
  Get("/compare", [this](const Http_Request& request, Http_Response& response) {
    const auto view = Make_Compare_View(*store_, *stats_, request.Param("CompId"));
    if (view) Html(response, Compare_Page(*view));
    else Html(response, Message_Page("No report yet", "There is no report of this installation."), 404);
  });
  Get("/api/compare", [this](const Http_Request& request, Http_Response& response) {
    const auto view = Make_Compare_View(*store_, *stats_, request.Param("CompId"));
    if (view) Json(response, Compare_Json(*view));
    else Json(response, No_Report_Json("no report of this installation"), 404);
  });
  Get("/drive", [this](const Http_Request& request, Http_Response& response) {
    Html(response, Drive_Page(Make_Drive_View(*stats_, request.Param("model"))));
  });
  Get("/api/drive", [this](const Http_Request& request, Http_Response& response) {
    Json(response, Drive_Json(Make_Drive_View(*stats_, request.Param("model"))));
  });
  Get("/computer", [this](const Http_Request& request, Http_Response& response) {
    Html(response, Computer_Page(Make_Computer_View(*store_, request.Param("CompId"))));
  });
  Get("/api/computer", [this](const Http_Request& request, Http_Response& response) {
    Json(response, Computer_Json(Make_Computer_View(*store_, request.Param("CompId"))));
  });
}

// The file is sent from its open descriptor, so a file swapped meanwhile is either the old
// one or the new one, never a mix of paths. One byte range at most is served from it.
void Results_Server::Static_File(const Http_Request& request, Http_Response& response) const {
  struct stat info;
  auto file = std::make_shared<File_Descriptor>(www_.Open(request.path, info));
  if (!file->valid()) {
    Html(response, Message_Page("Not found", "There is no such page or file."), 404);
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
