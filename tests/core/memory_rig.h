// An engine on an in-memory disk whose calls spend time on a hand-driven clock, with the
// fixture inventory telling the drive types: whole runs take milliseconds, need no root,
// and their rates are exact.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/clock.h"
#include "engine/plan.h"
#include "fake_host.h"
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
    Load_Fixture_Inventory(inventory);
    Clean_ALL_Stats(graph, host);  // as the window does when it is made
  }
  std::string Folder() const { return work + "/_Quillorane"; }
  // Measures only the pairs named (0 = sequential, 1 = 512 B ... 8 = 4 MB).
  void Only(std::initializer_list<int> pairs) {
    engine.pair_selected.fill(false);
    for (int pair : pairs) engine.pair_selected[static_cast<std::size_t>(pair)] = true;
  }
  void Run(int seconds = 1) { engine.Start(work, std::to_string(seconds)); }
  // Nothing of the run is left: no folder, all space back, no open handle.
  ::testing::AssertionResult Nothing_Left() const {
    if (disk.Kind(Folder()) != platform::Entry_Kind::Missing) return ::testing::AssertionFailure() << "folder left";
    if (disk.open_handles() != 0) return ::testing::AssertionFailure() << disk.open_handles() << " handles open";
    return ::testing::AssertionSuccess();
  }

  platform::Memory_Platform disk;
  Hand_Clock clock;
  Fixture_Provider inventory;
  TMyGraph graph;
  Fake_Host host;
  Benchmark_Engine engine{graph, host, disk, inventory, clock};
  std::string work;
};
