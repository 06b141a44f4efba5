// Fixed windows per key, in a table ordered by the windows' starts: expired windows are at
// its front, and so is the window dropped when the table is full.
#include "server/address_limits.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

std::string Address_Key(const std::string& address) {
  in6_addr v6{};
  if (::inet_pton(AF_INET6, address.c_str(), &v6) != 1) return address;
  const unsigned char* b = v6.s6_addr;
  static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  char text[64];
  if (std::equal(b, b + 12, kMapped)) {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[12], b[13], b[14], b[15]);
  } else {
    std::snprintf(text, sizeof text, "%02x%02x:%02x%02x:%02x%02x:%02x%02x::/64", b[0], b[1], b[2], b[3], b[4], b[5],
                  b[6], b[7]);
  }
  return text;
}

Window_Limit::Window_Limit(std::int64_t limit, std::int64_t window_ms, std::size_t max_keys)
    : limit_(limit), window_ms_(window_ms), max_keys_(max_keys == 0 ? 1 : max_keys) {}

Window_Limit::Verdict Window_Limit::Take(const std::string& key, std::int64_t now_ms) {
  return Judge(key, now_ms, true);
}

Window_Limit::Verdict Window_Limit::Check(const std::string& key, std::int64_t now_ms) {
  return Judge(key, now_ms, false);
}

Window_Limit::Verdict Window_Limit::Judge(const std::string& key, std::int64_t now_ms, bool take) {
  if (limit_ <= 0) return {};
  std::lock_guard lock(mutex_);
  auto found = windows_.find(key);
  if (found != windows_.end() && now_ms - found->second.start_ms >= window_ms_) {
    by_start_.erase(found->second.order);
    windows_.erase(found);
    found = windows_.end();
  }
  if (found == windows_.end()) {
    if (!take) return {};
    Make_Room(now_ms);
    by_start_.push_back(key);
    windows_[key] = {now_ms, 1, std::prev(by_start_.end())};
    return {};
  }
  Window& window = found->second;
  if (window.count >= limit_) return {false, (window.start_ms + window_ms_ - now_ms + 999) / 1000};
  if (take) ++window.count;
  return {};
}

void Window_Limit::Make_Room(std::int64_t now_ms) {
  while (!by_start_.empty()) {
    auto oldest = windows_.find(by_start_.front());
    if (windows_.size() < max_keys_ && now_ms - oldest->second.start_ms < window_ms_) return;
    windows_.erase(oldest);
    by_start_.pop_front();
  }
}
