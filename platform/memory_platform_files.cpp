// The in-memory file system's transfers: files keep their size only, every call spends its
// cost on the caller's clock, and a test can make any step fail.
#include <algorithm>
#include <cerrno>

#include "platform/memory_platform.h"

namespace platform {

void Memory_Platform::Spend(std::int64_t bytes) {
  if (spend) spend(costs.per_call_us + bytes / std::max<std::int64_t>(costs.bytes_per_us, 1));
}

Open_Result Memory_Platform::Create_File(const Folder_Handle& folder, const std::string& name, bool unbuffered) {
  Open_Result result;
  const Open_Item* item = Item(folder, true);
  if (item == nullptr || !Is_Component(name)) {
    result.error = item == nullptr ? EBADF : EINVAL;
    return result;
  }
  const int at = item->node;
  if (before) before("create", Path_Of(at) + (at == 0 ? "" : "/") + name);
  ++counts.creates;
  Spend(0);
  if (Child(at, name) >= 0) result.error = EEXIST;
  else if (faults.create_error != 0) result.error = faults.create_error;
  else result.error = May_Change(at, -1);
  if (result.error != 0) return result;
  Node file;
  file.kind = Entry_Kind::File;
  file.owner = user;
  file.mode = 0600;
  return Open_Item_For(Add_Child(at, name, file), unbuffered, false);
}

Open_Result Memory_Platform::Open_File(const Folder_Handle& folder, const std::string& name, bool unbuffered) {
  Open_Result result;
  const Open_Item* item = Item(folder, true);
  const int node = item != nullptr && !name.empty() ? Child(item->node, name) : -1;
  if (before && item != nullptr) before("open", Path_Of(item->node) + "/" + name);
  Spend(0);
  if (item == nullptr) result.error = EBADF;
  else if (node < 0) result.error = ENOENT;
  else if (nodes_.at(node).kind == Entry_Kind::Link) result.error = ELOOP;
  else if (nodes_.at(node).kind != Entry_Kind::File) result.error = EISDIR;
  if (result.error != 0) return result;
  reads_.push_back(Path_Of(node));
  return Open_Item_For(node, unbuffered, false);
}

std::int64_t Memory_Platform::Write_All(File_Handle& file, const void*, std::size_t n, int& error) {
  Open_Item* item = Item(file, false);
  ++counts.writes;
  error = item == nullptr ? EBADF : faults.write_error;
  std::int64_t bytes = static_cast<std::int64_t>(n);
  if (error != 0) bytes = item != nullptr && faults.short_write ? bytes / 2 : 0;
  if (item == nullptr) return 0;
  if (before) before("write", Path_Of(item->node));
  Node& node = nodes_.at(item->node);
  const std::int64_t new_size = std::max(node.size, item->offset + bytes);
  const std::int64_t growth = Allocation(new_size) - Allocation(node.size);
  if (growth > capacity_ - used_) {
    error = ENOSPC;
    return 0;
  }
  Spend(bytes);
  used_ += growth;
  lowest_free_ = std::min(lowest_free_, Free());
  node.size = new_size;
  item->offset += bytes;
  device.written_bytes += static_cast<std::uint64_t>(bytes);
  return bytes;
}

std::int64_t Memory_Platform::Read_Full(File_Handle& file, void*, std::size_t n, int& error) {
  Open_Item* item = Item(file, false);
  error = item == nullptr ? EBADF : faults.read_error;
  if (error != 0) return 0;
  const std::int64_t left = nodes_.at(item->node).size - item->offset;
  const std::int64_t bytes = std::max<std::int64_t>(0, std::min<std::int64_t>(static_cast<std::int64_t>(n), left));
  Spend(bytes);
  item->offset += bytes;
  device.read_bytes += static_cast<std::uint64_t>(bytes * device.read_percent / 100);
  return bytes;
}

int Memory_Platform::Flush_File(File_Handle& file) {
  if (Item(file, false) == nullptr) return EBADF;
  Spend(0);
  return faults.flush_error;
}

int Memory_Platform::Sync_And_Drop_Cache(File_Handle& file) {
  ++counts.cache_drops;
  return Flush_File(file);
}

std::size_t Memory_Platform::Direct_Io_Alignment(File_Handle&) {
  ++counts.alignment_queries;
  return dio_alignment;
}

std::int64_t Memory_Platform::File_Size(File_Handle& file) {
  const Open_Item* item = Item(file, false);
  return item == nullptr ? -1 : nodes_.at(item->node).size;
}

std::int64_t Memory_Platform::Allocated_Bytes(File_Handle& file) {
  const Open_Item* item = Item(file, false);
  return item == nullptr ? -1 : Allocation(nodes_.at(item->node).size);
}

Device_Counters Memory_Platform::Counters_Of_Device(const Folder_Handle& folder) {
  Device_Counters counters;
  if (Item(folder, true) == nullptr) {
    counters.reason = "cannot ask the folder: " + Error_Text(EBADF);
  } else if (!device.present) {
    counters.reason = "memfs has no block device";
  } else {
    counters.ok = true;
    counters.device = device.name;
    counters.read_bytes = device.read_bytes;
    counters.written_bytes = device.written_bytes;
  }
  return counters;
}

}  // namespace platform
