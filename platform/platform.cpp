#include "platform/platform.h"

#include <sys/statvfs.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace platform {

Open_Result Platform::Open_Transfer_File(const std::string& path, bool create, bool unbuffered) {
  return platform::Open_Transfer_File(path, create, unbuffered);
}

std::int64_t Platform::Write_All(File_Handle& file, const void* data, std::size_t n, int& error) {
  return platform::Write_All(file.native(), data, n, error);
}

std::int64_t Platform::Read_Full(File_Handle& file, void* data, std::size_t n, int& error) {
  return platform::Read_Full(file.native(), data, n, error);
}

int Platform::Flush_File(File_Handle& file) { return platform::Flush_File(file.native()); }

int Platform::Sync_And_Drop_Cache(File_Handle& file) { return platform::Sync_And_Drop_Cache(file.native()); }

void Platform::Drop_Cache(File_Handle& file) { platform::Drop_Cache(file.native()); }

std::size_t Platform::Direct_Io_Alignment(File_Handle& file) { return platform::Direct_Io_Alignment(file.native()); }

std::int64_t Platform::Disk_Free(const std::string& path) { return Disk_Free_Bytes(path); }

std::int64_t Platform::Allocation_Unit(const std::string& path) {
  struct statvfs sv {};
  if (::statvfs(path.c_str(), &sv) != 0 || sv.f_bsize == 0) return 4096;
  return static_cast<std::int64_t>(sv.f_bsize);
}

Volume_Facts Platform::Volume(const std::string& path) { return Get_Volume_Facts(path); }

bool Platform::Resolve_Work_Folder(const std::string& drive, std::string& folder, std::string& reason) {
  return platform::Resolve_Work_Folder(drive, folder, reason);
}

bool Platform::Make_Folders(const std::string& folder, std::string& reason) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!ec && fs::is_directory(folder, ec)) return true;
  reason = ec ? ec.message() : "not a folder";
  return false;
}

bool Platform::Remove_Tree(const std::string& folder, bool remove_folder, std::string& reason) {
  std::error_code ec;
  fs::file_status status = fs::symlink_status(folder, ec);
  if (status.type() == fs::file_type::not_found) return true;
  if (ec) {
    reason = ec.message();
    return false;
  }
  // A link in place of the folder is removed itself; what it points at is never touched.
  if (remove_folder || status.type() != fs::file_type::directory) {
    fs::remove_all(folder, ec);
  } else {
    std::vector<fs::path> items;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) items.push_back(it->path());
    for (const auto& item : items) {
      std::error_code item_ec;
      fs::remove_all(item, item_ec);
      if (item_ec && !ec) ec = item_ec;
    }
  }
  if (ec) reason = ec.message();
  return !ec;
}

Platform& System_Platform() {
  static Platform the_platform;
  return the_platform;
}

}  // namespace platform
