// The pages for people: server-rendered HTML with inline SVG, no script.
#pragma once

#include "server/page_views.h"

#include <string>

std::string Compare_Page(const Compare_View& view);
std::string Drive_Page(const Drive_View& view);
std::string Computer_Page(const Computer_View& view);
std::string Home_Page(const Home_View& view);
// A page that says what was not found, with a way back.
std::string Message_Page(const std::string& title, const std::string& message);

// Text made safe as a query value (every byte but letters, digits and -._~ as %XX).
std::string Url_Encode(const std::string& text);
