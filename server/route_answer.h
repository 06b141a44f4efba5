// What a route answers, HTTP aside. The routes' logic takes plain values (the client's
// address, query values, the body) and gives this back to a thin handler of the HTTP layer.
#pragma once

#include "server/http_types.h"

#include <string>
#include <utility>
#include <vector>

struct Route_Answer {
  int status = 200;
  std::string content_type = "text/html; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // beyond the content type
};

inline void Send_Answer(Http_Response& response, const Route_Answer& answer) {
  response.status = answer.status;
  for (const auto& [name, value] : answer.headers) response.Set_Header(name, value);
  response.Set_Content(answer.body, answer.content_type);
}
