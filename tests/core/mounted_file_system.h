// A file system the test mounts itself, so that the engine runs on a real disk of a known
// size without a window.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "scratch_folder.h"

// A small file system mounted for one test: tmpfs with a size limit, or ext4 on a loop
// file (Ext4_Data_Journal: with its data journalled, which keeps even "direct" transfers in
// the page cache; Ext4_1K_Blocks: in blocks of 1 KiB, where folders grow in small steps).
// Needs root; unmounted and removed afterwards.
class Mounted_File_System {
 public:
  enum class Kind { Tmpfs, Ext4, Ext4_Data_Journal, Ext4_1K_Blocks };
  Mounted_File_System(Kind kind, int size_mib) : point_(scratch_.path() + "/mnt") {
    std::filesystem::create_directory(point_);
    if (kind == Kind::Tmpfs) {
      std::string options = "size=" + std::to_string(size_mib) + "m,nr_inodes=1m";
      mounted_ = ::mount("tmpfs", point_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    } else {
      std::string image = scratch_.path() + "/disk.img";
      std::string command = "truncate -s " + std::to_string(size_mib) + "M " + image + " && mkfs.ext4 -q -F " +
                            (kind == Kind::Ext4_1K_Blocks ? "-b 1024 " : "") + image +
                            " && mount -o loop" + (kind == Kind::Ext4_Data_Journal ? ",data=journal " : " ") + image +
                            " " + point_ + " 2>/dev/null";
      mounted_ = std::system(command.c_str()) == 0;
    }
  }
  ~Mounted_File_System() {
    if (mounted_ && ::umount2(point_.c_str(), 0) != 0) ::umount2(point_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& path() const { return point_; }

 private:
  Scratch_Folder scratch_;
  std::string point_;
  bool mounted_ = false;
};
