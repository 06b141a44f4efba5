// A route's answer handed to cpp-httplib.
#pragma once

#include "server/route_answer.h"

#include <httplib.h>

inline void Send_Answer(httplib::Response& response, const Route_Answer& answer) {
  response.status = answer.status;
  for (const auto& [name, value] : answer.headers) response.set_header(name, value);
  response.set_content(answer.body, answer.content_type);
}
