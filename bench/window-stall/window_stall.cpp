// How long the main window's thread is kept from its events: a thread of its own posts an
// event to the window's thread every 10 ms and the window records how late each one is
// handled, through a scenario (a whole run of the plan on a drive, or the start-up against a
// results server that accepts connections and never answers); then the count, p50, p99 and
// the longest stall are printed. It drives the window only through its widgets,
// as a user does, so that any build of the window can be measured the same way. The events
// the window took longest over are listed after the figures, to tell where a stall comes
// from.
//   platterscope-window-stall --scenario run --target MOUNT [--seconds N]
//   platterscope-window-stall --scenario startup-silent
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QMetaObject>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/main_form.h"
#include "app/message_browser.h"

namespace {

using Steady = std::chrono::steady_clock;

constexpr auto kTick = std::chrono::milliseconds(10);

// Posts an event to the window's thread every 10 ms, from a thread of its own, and keeps
// how late the window handled each.
class Stall_Probe {
 public:
  void Start() {
    running_ = true;
    thread_ = std::thread([this] {
      auto next = Steady::now();
      while (running_) {
        next += kTick;
        std::this_thread::sleep_until(next);
        const auto posted = Steady::now();
        QMetaObject::invokeMethod(qApp, [this, posted] { Handled(posted); }, Qt::QueuedConnection);
      }
    });
  }
  void Stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
    QCoreApplication::processEvents();  // the events still queued count too
  }
  // Lateness of every event, in milliseconds, sorted.
  std::vector<double> Sorted() const {
    std::vector<double> all = late_ms_;
    std::sort(all.begin(), all.end());
    return all;
  }

 private:
  void Handled(Steady::time_point posted) {
    late_ms_.push_back(std::chrono::duration<double, std::milli>(Steady::now() - posted).count());
  }

  std::atomic<bool> running_{false};
  std::thread thread_;
  std::vector<double> late_ms_;
};

// The processor time this thread has taken, in milliseconds: what an event cost the window
// itself, apart from the time other processes took the processor away.
double Thread_Cpu_Ms() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The application, timing every event it delivers: the longest ones, by receiver and type.
class Timed_Application : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    const auto start = Steady::now();
    const double cpu_start = Thread_Cpu_Ms();
    const QEvent::Type type = event->type();
    const std::string what = std::string(receiver->metaObject()->className()) + " " +
                             receiver->objectName().toStdString() + " event " + std::to_string(type);
    const bool handled = QApplication::notify(receiver, event);
    const double ms = std::chrono::duration<double, std::milli>(Steady::now() - start).count();
    if (ms >= 5) {
      char cpu[48];
      std::snprintf(cpu, sizeof cpu, " (%.1f ms on the processor)", Thread_Cpu_Ms() - cpu_start);
      slowest_.push_back({ms, what + cpu});
    }
    return handled;
  }
  // The n longest events, longest first.
  std::vector<std::pair<double, std::string>> Slowest(std::size_t n) const {
    std::vector<std::pair<double, std::string>> all = slowest_;
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (all.size() > n) all.resize(n);
    return all;
  }

 private:
  std::vector<std::pair<double, std::string>> slowest_;
};

// A results server on the loopback that accepts every connection and never answers, nor
// closes one, until it goes.
class Silent_Server {
 public:
  Silent_Server() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) return;
        const std::lock_guard<std::mutex> lock(mutex_);
        clients_.push_back(client);
      }
    });
  }
  ~Silent_Server() {
    if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
    for (int client : clients_) ::close(client);
  }
  // "http://127.0.0.1:<port>", or empty when no port could be had.
  std::string Base() const { return port_ == 0 ? std::string() : "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<int> clients_;
};

struct Options {
  std::string scenario = "run";
  std::string target;
  std::string seconds = "5";
};

template <class T>
T* Child(TMainForm& form, const char* name) {
  return form.findChild<T*>(QString::fromLatin1(name));
}

// Whether the window is idle: start-up or run over, the Start button free again.
bool Idle(TMainForm& form) {
  auto* start = Child<QAbstractButton>(form, "StartButton");
  return start->isEnabled() && start->text() == QStringLiteral("Start") &&
         Child<QFrame>(form, "loadingpanel")->isHidden();
}

// Lets the window's events go on until done() holds or limit passed; false on the limit.
bool Run_Until(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto end = Steady::now() + limit;
  while (!done()) {
    if (Steady::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A whole run of the plan on the drive mounted at options.target, from the press of Start to
// the result in the grid.
bool Scenario_Run(TMainForm& form, const Options& options, Stall_Probe& probe, std::string& error) {
  if (!Run_Until([&] { return Idle(form); }, std::chrono::seconds(120))) {
    error = "the start-up did not end";
    return false;
  }
  auto* drives = Child<QComboBox>(form, "TargetDriveComboBox");
  const int drive = drives->findText(QString::fromStdString(options.target + "/"), Qt::MatchStartsWith);
  auto* times = Child<QComboBox>(form, "combo_testtime");
  const int time = times->findText(QString::fromStdString(options.seconds));
  if (drive < 0 || time < 0) {
    error = drive < 0 ? options.target + " is not in the drive list" : "no test time " + options.seconds;
    return false;
  }
  drives->setCurrentIndex(drive);
  times->setCurrentIndex(time);
  probe.Start();
  // The press is posted, so that a window that runs inside its click handler is measured too.
  bool pressed = false;
  QTimer::singleShot(0, &form, [&] {
    pressed = true;
    Child<QAbstractButton>(form, "StartButton")->click();
  });
  const bool ended = Run_Until([&] { return pressed && Idle(form); }, std::chrono::seconds(3600));
  probe.Stop();
  if (!ended) error = "the run did not end within an hour";
  return ended;
}

// The start-up against a server that never answers: from the window's first showing until the
// sequence has given up on the server and the window is idle. The probe starts before the
// first event of the start-up is handled.
bool Scenario_Startup_Silent(TMainForm& form, const Options&, Stall_Probe& probe, std::string& error) {
  probe.Start();
  const bool ended = Run_Until([&] { return Idle(form); }, std::chrono::seconds(600));
  probe.Stop();
  if (!ended) error = "the start-up did not end within ten minutes";
  return ended;
}

// The scenarios by name; each drives the window, starting and stopping the probe around
// what it measures.
using Scenario = std::function<bool(TMainForm&, const Options&, Stall_Probe&, std::string&)>;
const std::map<std::string, Scenario>& Scenarios() {
  static const std::map<std::string, Scenario> table = {{"run", Scenario_Run}, {"startup-silent", Scenario_Startup_Silent}};
  return table;
}

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--scenario") options.scenario = value;
    else if (name == "--target") options.target = value;
    else if (name == "--seconds") options.seconds = value;
    else return false;
  }
  return argc % 2 == 1 && Scenarios().count(options.scenario) != 0 &&
         (options.scenario != "run" || !options.target.empty());
}

double Percentile(const std::vector<double>& sorted, double share) {
  if (sorted.empty()) return 0;
  const std::size_t at = std::min(sorted.size() - 1, static_cast<std::size_t>(share * static_cast<double>(sorted.size())));
  return sorted[at];
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: platterscope-window-stall --scenario run --target MOUNT [--seconds N]\n"
                 "       platterscope-window-stall --scenario startup-silent\n");
    return 2;
  }
  // The server is in place before the window asks it anything.
  Silent_Server silent;
  if (options.scenario == "startup-silent") {
    if (silent.Base().empty()) {
      std::fprintf(stderr, "platterscope-window-stall: no loopback port for the silent server\n");
      return 1;
    }
    qputenv("PLATTERSCOPE_SERVER", QByteArray::fromStdString(silent.Base()));
  }
  Prepare_Message_Browser_Engine();
  Timed_Application application(argc, argv);
  TMainForm form;
  form.show();
  Stall_Probe probe;
  std::string error;
  if (!Scenarios().at(options.scenario)(form, options, probe, error)) {
    std::fprintf(stderr, "platterscope-window-stall: %s\n", error.c_str());
    return 1;
  }
  const std::vector<double> late = probe.Sorted();
  std::printf("scenario %s: %zu events, p50 %.1f ms, p99 %.1f ms, longest stall %.1f ms\n", options.scenario.c_str(),
              late.size(), Percentile(late, 0.50), Percentile(late, 0.99), late.empty() ? 0.0 : late.back());
  for (const auto& [ms, what] : application.Slowest(8)) std::printf("  %7.1f ms  %s\n", ms, what.c_str());
  return 0;
}
