// The compare page's reading of a result in words: where the drive stands among the
// computers of its model, what to check when it is far behind, and why a run or a rate is
// not in the model's figures.
#pragma once

#include "server/page_views.h"

#include <string>
#include <vector>

// A test as a sentence names it: "sequential write", "4K write", "1MB read".
std::string Test_Phrase(std::size_t test);

// The sentences, most telling first ("Your 4K write is slower than 99 % of the 312 computers
// with this model: check the drive's health and its write cache.").
std::vector<std::string> Reading_Of(const Compare_View& view);
