// A file system kept in memory, behind the platform interface: folders, files that keep only
// their size, links, mounts, owners, free space, and a failing disk on demand. Nothing is
// stored, so a whole benchmark run takes milliseconds; each call can spend time on a clock
// the caller drives, which makes the measured rates exact.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace platform {

class Memory_Platform : public Platform {
 public:
  // What a call costs on the caller's clock: a fixed part and a part per byte moved.
  struct Costs {
    std::int64_t per_call_us = 50;
    std::int64_t bytes_per_us = 1000;  // 1 GB/s
  };
  // Faults switched on by a test.
  struct Faults {
    int create_error = 0;
    int write_error = 0;
    bool short_write = false;  // a failing write still moves half the block
    int flush_error = 0;
    int read_error = 0;
    bool refuse_direct = false;
    int lock_error = 0;  // as a file system without locks answers
  };

  explicit Memory_Platform(std::int64_t capacity_bytes = 100'000'000'000LL);

  // ---- the test's hands (absolute paths, parents made as needed) ----
  void Add_Folder(const std::string& path, unsigned owner, unsigned mode = 0755);
  void Add_File(const std::string& path, std::int64_t size, unsigned owner);
  void Add_Link(const std::string& path, const std::string& target);
  // Makes the folder at path, with what it holds, a file system of its own.
  void Mount(const std::string& path);
  Entry_Kind Kind(const std::string& path) const;
  std::int64_t Size(const std::string& path) const;
  // Every path below path (not path itself), in no particular order.
  std::vector<std::string> Paths_Under(const std::string& path) const;
  std::int64_t Free() const { return capacity_ - used_; }
  // The least free space there has been since the platform was made.
  std::int64_t Lowest_Free() const { return lowest_free_; }
  // The files that were opened for reading, by path, in order.
  const std::vector<std::string>& Reads() const { return reads_; }

  Costs costs;
  Faults faults;
  unsigned user = 1000;
  std::int64_t allocation_unit = 4096;
  std::size_t dio_alignment = 512;
  int drive_type = kDriveFixed;
  // Spends time on the caller's clock, in microseconds.
  std::function<void(std::int64_t)> spend;
  // Called before some calls (op "mkdir", "create", "write" or "open", and the path), so
  // that a test can act between two steps of the program or see when they happen.
  std::function<void(const std::string& op, const std::string& path)> before;
  // How often the program made some of the calls.
  struct Counts {
    long long creates = 0, writes = 0, cache_drops = 0, alignment_queries = 0;
  } counts;
  // The block device under the whole file system, with counters that the transfers advance
  // (a read by the share that reaches the device) and that a test may set.
  struct Device {
    bool present = true;
    std::string name = "memdisk";
    std::uint64_t read_bytes = 0, written_bytes = 0;
    int read_percent = 100;  // of the bytes read; a cache serves the rest
  } device;
  long long open_handles() const { return static_cast<long long>(handles_.size()); }
  // The device behind the queues of transfers: how many transfers it serves at once (the
  // others wait their turn), what forcing the data out costs, a device that stops
  // answering; and the most transfers it ever had in flight.
  struct Io_Model {
    unsigned parallel = 1;
    std::int64_t sync_us = 0;
    bool hang = false;
    unsigned most_in_flight = 0;
  } io;

  int Close(int id) override;
  Folder_Result Open_Folder(const std::string& path) override;
  Folder_Result Open_Sub_Folder(const Folder_Handle& parent, const std::string& name) override;
  int Make_Sub_Folder(const Folder_Handle& parent, const std::string& name) override;
  int Remove_Entry(const Folder_Handle& parent, const std::string& name, bool folder) override;
  Entry_Facts Entry(const Folder_Handle& parent, const std::string& name) override;
  Entry_Facts Facts(const Folder_Handle& folder) override;
  std::vector<Folder_Entry> List(const Folder_Handle& folder, int& error) override;
  int Take_Over(const Folder_Handle& folder) override;
  int Lock_Folder(const Folder_Handle& folder) override;
  std::int64_t Free_Bytes(const Folder_Handle& folder) override;
  std::int64_t Block_Bytes(const Folder_Handle& folder) override;
  unsigned Effective_User() override { return user; }

  Open_Result Create_File(const Folder_Handle& folder, const std::string& name, bool unbuffered) override;
  Open_Result Open_File(const Folder_Handle& folder, const std::string& name, bool unbuffered) override;
  std::int64_t Write_All(File_Handle& file, const void* data, std::size_t n, int& error) override;
  std::int64_t Read_Full(File_Handle& file, void* data, std::size_t n, int& error) override;
  int Flush_File(File_Handle& file) override;
  int Sync_And_Drop_Cache(File_Handle& file) override;
  void Drop_Cache(File_Handle&) override { ++counts.cache_drops; }
  std::size_t Direct_Io_Alignment(File_Handle& file) override;
  std::int64_t File_Size(File_Handle& file) override;
  Io_Queue_Result Open_Io_Queue(File_Handle& file, const Io_Queue_Options& options) override;
  std::int64_t Allocated_Bytes(File_Handle& file) override;

  Device_Counters Counters_Of_Device(const Folder_Handle& folder) override;

  Volume_Facts Volume(const std::string& path) override;
  bool Resolve_Work_Folder(const std::string& drive, std::string& folder, std::string& reason) override;

 private:
  friend class Memory_Io_Queue;
  struct Node {
    Entry_Kind kind = Entry_Kind::Folder;
    unsigned owner = 0;
    unsigned mode = 0755;
    std::uint64_t mount = 1;
    std::int64_t size = 0;
    std::string target;  // of a link
    int parent = -1;
    std::string name;
    // A folder's entries, and their listing order (order of creation).
    std::unordered_map<std::string, std::pair<std::uint64_t, int>> children;
    std::map<std::uint64_t, std::string> order;
    int lock_holder = -1;
  };
  struct Open_Item {
    int node = -1;
    bool folder = false;
    Io_Mode mode = Io_Mode::Buffered;
    std::int64_t offset = 0;
  };

  int Find(const std::string& path) const;
  int Make_Path(const std::string& path, unsigned owner, unsigned mode);
  int Add_Child(int parent, const std::string& name, Node node);
  void Detach(int node);
  std::string Path_Of(int node) const;
  const Open_Item* Item(const Handle& handle, bool folder) const;
  Open_Item* Item(const Handle& handle, bool folder);
  int Child(int parent, const std::string& name) const;
  int May_Change(int parent, int child) const;
  std::int64_t Allocation(std::int64_t size) const;
  void Spend(std::int64_t bytes);
  Entry_Facts Facts_Of(int node) const;
  Open_Result Open_Item_For(int node, bool unbuffered, bool folder);

  std::unordered_map<int, Node> nodes_;
  std::unordered_map<int, Open_Item> handles_;
  std::vector<std::string> reads_;
  int next_node_ = 1;
  int next_handle_ = 3;
  std::uint64_t next_order_ = 0;
  std::uint64_t next_mount_ = 2;
  std::int64_t capacity_;
  std::int64_t used_ = 0;
  std::int64_t lowest_free_;
};

}  // namespace platform
