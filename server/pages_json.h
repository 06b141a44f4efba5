// The pages' data as JSON for programs: /api/compare, /api/drive, /api/computer.
#pragma once

#include "server/page_views.h"

#include <string>

std::string Compare_Json(const Compare_View& view);
std::string Drive_Json(const Drive_View& view);
std::string Computer_Json(const Computer_View& view);
