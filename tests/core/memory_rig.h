// A run on an in-memory disk whose calls spend time on a hand-driven clock, with the
// fixture inventory telling the drive types, on a worker as the window runs it: whole runs
// take milliseconds, need no root, and their rates are exact.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "common/clock.h"
#include "common/worker.h"
#include "engine/benchmark.h"
#include "engine/plan.h"
#include "fake_observer.h"
#include "inventory/fixture_provider.h"
#include "platform/memory_platform.h"

inline const std::string kFixtureFolder = (std::filesystem::path(__FILE__).parent_path() / "fixtures").string();

// The fixture inventory of tests/core/fixtures/drives.json: "/srv/scratch" is a fixed disk,
// "/media/usb" a removable one, "/mnt/share" a network drive.
inline void Load_Fixture_Inventory(Fixture_Provider& inventory) {
  std::string reason;
  if (!inventory.Load_File(kFixtureFolder + "/drives.json", reason)) ADD_FAILURE() << reason;
}

struct Memory_Rig {
  explicit Memory_Rig(std::int64_t capacity = 100'000'000'000LL, const std::string& work_folder = "/srv/scratch")
      : disk(capacity), work(work_folder) {
    disk.spend = [this](std::int64_t us) { clock.Advance_Us(us); };
    disk.Add_Folder(work, disk.user);
    Load_Fixture_Inventory(fixture_inventory);
    request.drive = work;
  }
  std::string Folder() const { return work + "/_Quillorane"; }
  // Measures only the pairs named (0 = sequential, 1 = 512 B ... 8 = 4 MB).
  void Only(std::initializer_list<int> pairs) {
    request.pairs.fill(false);
    for (int pair : pairs) request.pairs[static_cast<std::size_t>(pair)] = true;
  }
  Run_Services Services() { return {disk, *inventory, clock}; }
  // Runs the plan on its worker and waits for its result.
  const Run_Result& Run(int seconds = 1) {
    request.seconds = seconds;
    result = On_Worker<Run_Result>([&](std::stop_token token) { return ::Run(request, observer, token, Services()); });
    return result;
  }
  Sustained_Result Sustained(std::int64_t size) {
    return On_Worker<Sustained_Result>([&](std::stop_token token) {
      return Run_Sustained(Sustained_Request{work, size}, observer, token, Services());
    });
  }
  // Asks the run going on to stop, as the Stop button and the runner's signals do.
  void Stop() { stop.request_stop(); }
  // Nothing of the run is left: no folder, all space back, no open handle.
  ::testing::AssertionResult Nothing_Left() const {
    if (disk.Kind(Folder()) != platform::Entry_Kind::Missing) return ::testing::AssertionFailure() << "folder left";
    if (disk.open_handles() != 0) return ::testing::AssertionFailure() << disk.open_handles() << " handles open";
    return ::testing::AssertionSuccess();
  }

  platform::Memory_Platform disk;
  Hand_Clock clock;
  Fixture_Provider fixture_inventory;
  platform::Inventory_Provider* inventory = &fixture_inventory;
  Fake_Observer observer;
  Run_Request request;
  Run_Result result;
  std::stop_source stop;
  std::string work;

 private:
  template <class T>
  T On_Worker(std::function<T(std::stop_token)> work_function) {
    Worker<T> worker;
    stop = worker.Stop_Source();
    worker.Start(std::move(work_function));
    return worker.Take();
  }
};
