// The block device's counters from sysfs: a made-up sysfs tree for the paths (a partition, a
// btrfs over two disks), and file systems the tests mount themselves (root only): on a loop
// device a read the page cache serves is marked and an unbuffered read is not; tmpfs is
// not checked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/device_span.h"
#include "mounted_file_system.h"
#include "platform/device_counters.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kStatLine =
    "    1000       40     2048    89783   183573   338744     4096    87987        0   125568   239781        0";

void Write_Text(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

// Reads the file name in folder whole, unbuffered or through the page cache.
std::int64_t Read_Whole(platform::Platform& os, const platform::Folder_Handle& folder, const std::string& name,
                        bool unbuffered) {
  platform::Open_Result opened = os.Open_File(folder, name, unbuffered);
  EXPECT_TRUE(opened.file.valid()) << platform::Error_Text(opened.error);
  EXPECT_EQ(opened.mode == platform::Io_Mode::Direct, unbuffered);
  platform::Aligned_Buffer buffer(1 << 20);
  std::int64_t total = 0;
  for (int error = 0;;) {
    const std::int64_t got = os.Read_Full(opened.file, buffer.data(), buffer.size(), error);
    total += got;
    if (error != 0 || got == 0) break;
  }
  return total;
}

}  // namespace

TEST(Device_Counters, SysfsNamesTheDeviceAndItsSectorsAreCountedInBytes) {
  Scratch_Folder sys;
  const fs::path partition = fs::path(sys.path()) / "devices/pci0000:00/block/sda/sda1";
  Write_Text(partition / "stat", kStatLine);
  fs::create_directories(sys / "dev/block");
  fs::create_symlink("../../devices/pci0000:00/block/sda/sda1", sys / "dev/block/8:1");
  platform::Device_Counters counters = platform::Read_Block_Counters(8, 1, sys.path());
  ASSERT_TRUE(counters.ok) << counters.reason;
  EXPECT_EQ(counters.device, "sda1");
  EXPECT_EQ(counters.read_bytes, 2048u * 512);
  EXPECT_EQ(counters.written_bytes, 4096u * 512);

  // btrfs: the sum over the disks it is built on.
  const fs::path devices = fs::path(sys.path()) / "fs/btrfs/0f1e2d3c-0000-4000-8000-00000000abcd/devices";
  Write_Text(fs::path(sys.path()) / "devices/pci0000:00/block/sdb/stat", kStatLine);
  fs::create_directories(devices);
  fs::create_symlink("../../../../devices/pci0000:00/block/sda/sda1", devices / "sda1");
  fs::create_symlink("../../../../devices/pci0000:00/block/sdb", devices / "sdb");
  counters = platform::Read_Btrfs_Counters("0f1e2d3c-0000-4000-8000-00000000abcd", sys.path());
  ASSERT_TRUE(counters.ok) << counters.reason;
  EXPECT_TRUE(counters.device == "sda1+sdb" || counters.device == "sdb+sda1") << counters.device;
  EXPECT_EQ(counters.read_bytes, 2u * 2048 * 512);

  // No such device, and a stat file that is not one.
  counters = platform::Read_Block_Counters(8, 2, sys.path());
  EXPECT_FALSE(counters.ok);
  EXPECT_EQ(counters.reason, "cannot read " + (sys / "dev/block/8:2/stat") + ": No such file or directory");
  Write_Text(partition / "stat", "1 2 3");
  EXPECT_FALSE(platform::Read_Block_Counters(8, 1, sys.path()).ok);
}

TEST(Device_Counters, OnALoopDeviceACachedReadIsMarkedAndAnUnbufferedReadIsNot) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a test file system needs root";
  Mounted_File_System disk(Mounted_File_System::Kind::Ext4, 64);
  ASSERT_TRUE(disk.mounted());
  platform::Platform& os = platform::System_Platform();
  platform::Folder_Result folder = os.Open_Folder(disk.path());
  ASSERT_EQ(folder.error, 0);
  constexpr std::int64_t kSize = 16 << 20;
  {  // written through the page cache and forced out: its pages stay cached
    platform::Open_Result made = os.Create_File(folder.folder, "data", false);
    ASSERT_TRUE(made.file.valid());
    platform::Aligned_Buffer block(kSize);
    int error = 0;
    ASSERT_EQ(os.Write_All(made.file, block.data(), block.size(), error), kSize);
    ASSERT_EQ(os.Flush_File(made.file), 0);
  }
  Device_Span cached(os, folder.folder);
  cached.Begin();
  const std::int64_t first = Read_Whole(os, folder.folder, "data", false);
  const Device_Check from_cache = cached.End(true, first);
  EXPECT_EQ(first, kSize);
  EXPECT_EQ(from_cache.verdict, Device_Verdict::Cache) << Device_Check_Log_Line(from_cache);
  EXPECT_EQ(from_cache.device.rfind("loop", 0), 0u) << from_cache.device;

  Device_Span direct(os, folder.folder);
  direct.Begin();
  const std::int64_t second = Read_Whole(os, folder.folder, "data", true);
  const Device_Check from_device = direct.End(true, second);
  EXPECT_EQ(second, kSize);
  EXPECT_EQ(from_device.verdict, Device_Verdict::Device) << Device_Check_Log_Line(from_device);
  EXPECT_GE(from_device.device_bytes, kSize);
}

TEST(Device_Counters, TmpfsIsNotChecked) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a test file system needs root";
  Mounted_File_System disk(Mounted_File_System::Kind::Tmpfs, 16);
  ASSERT_TRUE(disk.mounted());
  platform::Folder_Result folder = platform::System_Platform().Open_Folder(disk.path());
  ASSERT_EQ(folder.error, 0);
  const platform::Device_Counters counters = platform::System_Platform().Counters_Of_Device(folder.folder);
  EXPECT_FALSE(counters.ok);
  EXPECT_EQ(counters.reason, "tmpfs has no block device");
}
