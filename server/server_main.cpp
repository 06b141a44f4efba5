// platterscope-server: --init DIR makes a data folder; --data DIR serves it.
#include "server/data_folder.h"
#include "server/results_server.h"

#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <iostream>
#include <thread>

namespace {

constexpr const char* kUsage =
    "Usage: platterscope-server --init DIR [--public-host NAME[:PORT]]\n"
    "       platterscope-server --data DIR [--listen ADDRESS:PORT] [--database postgresql://...] [--threads N]\n";

int Init(const std::string& folder, const std::string& public_host) {
  const std::string key = Init_Data_Folder(folder, public_host);
  std::cout << "Made the data folder " << folder << " (configuration: " << folder << "/" << kConfigFileName
            << ").\nBuild the program with this server's update key:\n"
            << "  -DPLATTERSCOPE_UPDATE_PUBLIC_KEY=" << key << "\n";
  return 0;
}

int Serve(Server_Options options) {
  // SIGINT and SIGTERM are taken by one thread that stops the server; every other thread
  // inherits the blocked mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  // Waiting connections cost a descriptor each and nothing else: allow as many as permitted.
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }

  Results_Server server(std::move(options));
  const int port = server.Bind();
  std::cout << "platterscope-server: listening on port " << port << ", reports in " << server.Database_Name()
            << std::endl;
  std::thread stopper([&] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    server.Stop();
  });
  stopper.detach();
  server.Run();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Server_Options options;
  std::string init_folder, public_host = "results.platterscope.example";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--init" && has_value) init_folder = argv[++i];
    else if (arg == "--public-host" && has_value) public_host = argv[++i];
    else if (arg == "--data" && has_value) options.data_folder = argv[++i];
    else if (arg == "--listen" && has_value) options.listen = argv[++i];
    else if (arg == "--database" && has_value) options.database = argv[++i];
    else if (arg == "--threads" && has_value) options.threads = std::atoi(argv[++i]);
    else {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (init_folder.empty() == options.data_folder.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    return init_folder.empty() ? Serve(std::move(options)) : Init(init_folder, public_host);
  } catch (const std::exception& error) {
    std::cerr << "platterscope-server: " << error.what() << "\n";
    return 1;
  }
}
