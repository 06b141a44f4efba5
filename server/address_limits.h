// Limits per client address: how many reports an address may send in an hour, how often
// it may ask for the costly pages, and whether an ad's click or view from it was counted
// already this hour. Kept in this process's memory, in a table of bounded size.
#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

// The part of a client's address that limits count by: an IPv4 address as it is (also one
// written as IPv4-mapped IPv6), an IPv6 address by its /64 network, which one subscriber
// usually holds whole. Any other text stays as it is.
std::string Address_Key(const std::string& address);

// At most limit events per key in a window of window_ms that starts with the key's first
// event after the previous window ended. A limit of 0 allows everything. When max_keys keys
// have open windows, the oldest window is dropped to make room: under a flood from that many
// addresses the limit gives way rather than refusing newcomers.
class Window_Limit {
 public:
  Window_Limit(std::int64_t limit, std::int64_t window_ms, std::size_t max_keys = 65536);

  struct Verdict {
    bool allowed = true;
    std::int64_t retry_after_s = 0;  // when refused: seconds until the key's window ends
  };

  // Counts one event of key at now_ms when its window has room.
  Verdict Take(const std::string& key, std::int64_t now_ms);
  // Whether an event of key would be allowed at now_ms, without counting it.
  Verdict Check(const std::string& key, std::int64_t now_ms);

  std::int64_t limit() const { return limit_; }

 private:
  struct Window {
    std::int64_t start_ms = 0;
    std::int64_t count = 0;
    std::list<std::string>::iterator order;
  };

  Verdict Judge(const std::string& key, std::int64_t now_ms, bool take);
  void Make_Room(std::int64_t now_ms);

  std::int64_t limit_;
  std::int64_t window_ms_;
  std::size_t max_keys_;
  std::mutex mutex_;
  std::unordered_map<std::string, Window> windows_;
  std::list<std::string> by_start_;  // keys, the oldest window first
};
