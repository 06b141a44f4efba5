// Questions that may hang, such as a statvfs on a network share whose server is gone, asked
// on a helper thread and waited for a limited time only.
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

namespace platform {

// Marks a question about key as running; false when one still is (it has not answered yet).
bool Begin_Question(const std::string& key);
// Marks the question about key as answered.
void End_Question(const std::string& key);

// Asks question on a helper thread and waits at most limit for its answer. Nothing when it
// does not answer in time: the helper then finishes (or hangs) on its own and its answer is
// dropped. While a question about the same key is still running, nothing is asked again and
// nothing is returned at once, so a dead share costs one helper thread, not one per question.
template <typename Answer>
std::optional<Answer> Ask_Within(const std::string& key, std::chrono::milliseconds limit,
                                 std::function<Answer()> question) {
  if (!Begin_Question(key)) return std::nullopt;
  // The question is marked answered before its answer is handed over, so that the next
  // question about the key, which may follow at once, is asked.
  auto task = std::make_shared<std::packaged_task<Answer()>>([question = std::move(question), key] {
    struct Ended {
      const std::string& key;
      ~Ended() { End_Question(key); }
    } ended{key};
    return question();
  });
  std::future<Answer> answer = task->get_future();
  try {
    std::thread([task] { (*task)(); }).detach();
  } catch (const std::system_error&) {
    End_Question(key);
    return std::nullopt;
  }
  if (answer.wait_for(limit) != std::future_status::ready) return std::nullopt;
  try {
    return answer.get();
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace platform
