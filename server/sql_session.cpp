// Value conversions and the connection pool shared by both databases.
#include "server/sql_session.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <charconv>

namespace {

template <class Number>
Number Parse_Number(const std::string& text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) throw Sql_Error("not a number: " + text);
  return value;
}

}  // namespace

bool Is_Storable_Text(const std::string& text) {
  if (text.find('\0') != std::string::npos) return false;
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));  // decodes when taken
  return !utf8.hasError();
}

Retry_Backoff::Retry_Backoff(std::chrono::milliseconds first, std::chrono::milliseconds most)
    : first_(first), most_(most) {}

void Retry_Backoff::Failed() {
  wait_ = wait_.count() == 0 ? first_ : std::min(wait_ * 2, most_);
  next_ = std::chrono::steady_clock::now() + wait_;
}

bool Sql_Is_Null(const Sql_Value& value) { return std::holds_alternative<std::monostate>(value); }

std::int64_t Sql_Int(const Sql_Value& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
  if (const auto* real = std::get_if<double>(&value)) return static_cast<std::int64_t>(*real);
  if (const auto* text = std::get_if<std::string>(&value)) return Parse_Number<std::int64_t>(*text);
  return 0;
}

double Sql_Double(const Sql_Value& value) {
  if (const auto* real = std::get_if<double>(&value)) return *real;
  if (const auto* number = std::get_if<std::int64_t>(&value)) return static_cast<double>(*number);
  if (const auto* text = std::get_if<std::string>(&value)) return Parse_Number<double>(*text);
  return 0;
}

std::string Sql_Text(const Sql_Value& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) return std::to_string(*real);
  return {};
}

Session_Pool::Session_Pool(Session_Factory factory, std::size_t max_open, Retry_Backoff backoff)
    : factory_(std::move(factory)), max_open_(max_open == 0 ? 1 : max_open), backoff_(backoff) {}

Session_Pool::Lease::~Lease() { pool_.Give_Back(std::move(session_), discard_); }

Session_Pool::Lease Session_Pool::Acquire() {
  std::unique_lock lock(mutex_);
  freed_.wait(lock, [&] { return !idle_.empty() || open_ < max_open_; });
  if (!idle_.empty()) {
    std::unique_ptr<Sql_Session> session = std::move(idle_.back());
    idle_.pop_back();
    return Lease(*this, std::move(session));
  }
  if (!backoff_.Ready()) throw Sql_Unavailable(unreachable_);
  ++open_;
  lock.unlock();
  std::unique_ptr<Sql_Session> session;
  try {
    session = factory_();
  } catch (const std::exception& error) {
    lock.lock();
    --open_;
    backoff_.Failed();
    unreachable_ = error.what();
    freed_.notify_one();
    throw Sql_Unavailable(unreachable_);
  }
  lock.lock();
  backoff_.Succeeded();
  lock.unlock();
  return Lease(*this, std::move(session));
}

void Session_Pool::Give_Back(std::unique_ptr<Sql_Session> session, bool discard) {
  if (!session) return;
  std::lock_guard lock(mutex_);
  if (discard) {
    --open_;
  } else {
    idle_.push_back(std::move(session));
  }
  freed_.notify_one();
}
