// The questions still running, by key, so that a hanging one is not asked again while it
// hangs.
#include "platform/bounded_call.h"

#include <mutex>
#include <set>

namespace platform {

namespace {

// Never destroyed: a helper thread still hanging at exit may yet end its question.
std::mutex& Guard() {
  static auto* guard = new std::mutex;
  return *guard;
}

std::set<std::string>& Running() {
  static auto* running = new std::set<std::string>;
  return *running;
}

}  // namespace

bool Begin_Question(const std::string& key) {
  const std::lock_guard<std::mutex> lock(Guard());
  return Running().insert(key).second;
}

void End_Question(const std::string& key) {
  const std::lock_guard<std::mutex> lock(Guard());
  Running().erase(key);
}

}  // namespace platform
