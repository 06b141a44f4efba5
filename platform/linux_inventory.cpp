#include "platform/linux_inventory.h"

#include <blkid.h>
#include <libmount.h>
#include <libudev.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
#include <unistd.h>

extern "C" {
#include <pci/pci.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <system_error>
#include <tuple>
#include <vector>

#include "platform/system.h"
#include "platform/volumes.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

using Each = std::function<void(const Cim_Instance&)>;

// ---- small readers ----

std::string Trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// Runs of blanks inside a name become one space.
std::string Collapse_Blanks(const std::string& text) {
  std::string out;
  for (char c : Trim(text)) {
    bool blank = static_cast<unsigned char>(c) <= ' ';
    if (blank && !out.empty() && out.back() == ' ') continue;
    out += blank ? ' ' : c;
  }
  return out;
}

// A sysfs attribute or another short file, trimmed; empty when it cannot be read.
std::string Read_Attribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "";
  std::string text(4096, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return Trim(text);
}

bool To_Number(const std::string& text, std::int64_t& value) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(trimmed.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != '\0') return false;
  value = parsed;
  return true;
}

bool Read_Number(const fs::path& file, std::int64_t& value) { return To_Number(Read_Attribute(file), value); }

bool Starts_With(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

bool Is_Under(const std::string& path, const std::string& folder) {
  return path == folder || Starts_With(path, folder + "/");
}

// udev writes unusual characters of a value as \xHH.
std::string Decode_Udev(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Orders device names as the kernel numbers them: sdb before sdaa, nvme2n1 before nvme10n1.
bool Natural_Less(const std::string& a, const std::string& b) {
  auto letters = [](const std::string& s) {
    std::size_t n = 0;
    while (n < s.size() && !std::isdigit(static_cast<unsigned char>(s[n]))) ++n;
    return n;
  };
  std::size_t la = letters(a), lb = letters(b);
  if (la != lb) return la < lb;
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    bool da = std::isdigit(static_cast<unsigned char>(a[i])), db = std::isdigit(static_cast<unsigned char>(b[j]));
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::vector<std::string> Folder_Names(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end(), Natural_Less);
  return names;
}

fs::path Resolve(const fs::path& path) {
  std::error_code ec;
  fs::path real = fs::canonical(path, ec);
  return ec ? fs::path() : real;
}

std::string Host_Name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "";
  return Trim(name);
}

std::string Machine_Type() {
  struct utsname u {};
  return ::uname(&u) == 0 ? std::string(u.machine) : std::string();
}

// ---- udev ----

class Udev_Context {
 public:
  explicit Udev_Context(bool use) : udev_(use ? udev_new() : nullptr) {}
  Udev_Context(const Udev_Context&) = delete;
  Udev_Context& operator=(const Udev_Context&) = delete;
  ~Udev_Context() {
    if (udev_ != nullptr) udev_unref(udev_);
  }

  // The device's properties from the udev database; empty without udev.
  std::map<std::string, std::string> Properties(const fs::path& sys_path) const {
    std::map<std::string, std::string> properties;
    if (udev_ == nullptr || sys_path.empty()) return properties;
    std::unique_ptr<udev_device, udev_device* (*)(udev_device*)> device(
        udev_device_new_from_syspath(udev_, sys_path.c_str()), udev_device_unref);
    if (!device) return properties;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device.get())) {
      const char* name = udev_list_entry_get_name(entry);
      const char* value = udev_list_entry_get_value(entry);
      if (name != nullptr && value != nullptr) properties[name] = value;
    }
    return properties;
  }

 private:
  udev* udev_;
};

std::string First_Of(const std::map<std::string, std::string>& properties, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    auto found = properties.find(name);
    if (found == properties.end()) continue;
    std::string value = Trim(std::string(name).ends_with("_ENC") ? Decode_Udev(found->second) : found->second);
    if (!value.empty()) return value;
  }
  return "";
}

std::string First_Attribute(const fs::path& folder, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    std::string value = Read_Attribute(folder / name);
    if (!value.empty()) return value;
  }
  return "";
}

// ---- disks ----

struct Disk {
  std::string name;  // kernel name, e.g. "sda"
  fs::path sys;      // its folder under /sys/devices
};

// The machine's physical disks in kernel order; their positions are their Index.
std::vector<Disk> Physical_Disks(const Linux_Sources& sources) {
  static const char* const kVirtual[] = {"loop", "ram", "zram", "dm-", "md", "nbd", "sr", "fd", "zd"};
  std::vector<Disk> disks;
  const fs::path block = fs::path(sources.sys) / "block";
  for (const std::string& name : Folder_Names(block)) {
    bool is_virtual = std::any_of(std::begin(kVirtual), std::end(kVirtual),
                                  [&](const char* prefix) { return Starts_With(name, prefix); });
    if (is_virtual) continue;
    if (Starts_With(name, "mmcblk") && name.find("boot") != std::string::npos) continue;  // eMMC boot areas
    fs::path real = Resolve(block / name);
    if (real.empty() || real.string().find("/devices/virtual/") != std::string::npos) continue;
    if (Read_Attribute(real / "hidden") == "1") continue;  // a path of a multipath disk
    disks.push_back({name, real});
  }
  return disks;
}

std::string Interface_Type(const Disk& disk) {
  const std::string path = disk.sys.string();
  if (path.find("/usb") != std::string::npos) return "USB";
  if (Starts_With(disk.name, "nvme")) return "NVMe";
  if (Starts_With(disk.name, "vd")) return "virtio";
  if (Starts_With(disk.name, "mmcblk")) return "SD";
  if (Starts_With(disk.name, "hd")) return "IDE";
  if (Starts_With(disk.name, "sd")) return path.find("/ata") != std::string::npos ? "IDE" : "SCSI";
  return "";
}

// The sysfs folder of the block device that a mount lives on; empty when there is none.
struct Mount {
  std::string target, source, fstype;
  dev_t devno = 0;
  bool pseudo = false, net = false;
};

fs::path Block_Of(const Mount& mount, const Linux_Sources& sources) {
  auto by_number = [&](dev_t dev) {
    return Resolve(fs::path(sources.sys) / "dev" / "block" /
                   (std::to_string(major(dev)) + ":" + std::to_string(minor(dev))));
  };
  if (major(mount.devno) != 0)
    if (fs::path real = by_number(mount.devno); !real.empty()) return real;
  // File systems such as btrfs show a device number of their own; the source names the device.
  if (Starts_With(mount.source, "/dev/")) {
    struct stat st {};
    const std::string node = sources.dev + mount.source.substr(4);
    if (::stat(node.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return by_number(st.st_rdev);
  }
  return {};
}

fs::path Whole_Disk_Of(const fs::path& block) {
  std::error_code ec;
  return fs::exists(block / "partition", ec) ? block.parent_path() : block;
}

// The first extent of a block device on one of the physical disks. Device-mapper and RAID
// devices are followed to their first underlying device.
Disk_Extent Extent_Of(const fs::path& block, const std::vector<Disk>& disks, int depth) {
  Disk_Extent extent;
  if (block.empty() || depth > 8) return extent;
  std::int64_t start = 0, sectors = 0;
  std::error_code ec;
  if (fs::exists(block / "partition", ec)) Read_Number(block / "start", start);
  Read_Number(block / "size", sectors);
  const fs::path disk = Whole_Disk_Of(block);
  for (std::size_t i = 0; i < disks.size(); ++i)
    if (disks[i].sys == disk) {
      extent.DiskNumber = static_cast<std::uint32_t>(i);
      extent.StartingOffset = start * 512;
      extent.ExtentLength = sectors * 512;
      return extent;
    }
  std::vector<std::string> slaves = Folder_Names(block / "slaves");
  if (slaves.empty()) return extent;
  return Extent_Of(Resolve(block / "slaves" / slaves.front()), disks, depth + 1);
}

// ---- mounts ----

bool Is_Network_Type(const std::string& type) {
  static const std::set<std::string> kNetwork = {
      "nfs",   "nfs4",   "cifs",  "smb3",  "smbfs",      "ncpfs",       "afs",        "ceph",          "glusterfs",
      "9p",    "sshfs",  "davfs", "lustre", "fuse.sshfs", "fuse.davfs2", "fuse.rclone", "fuse.glusterfs", "fuse.s3fs"};
  return kNetwork.count(type) != 0;
}

bool Is_Ram_Type(const std::string& type) { return type == "tmpfs" || type == "ramfs"; }

// Read-only images (snap packages and the like) are not drives.
bool Is_Image_Type(const std::string& type) { return type == "squashfs" || type == "erofs" || type == "cramfs"; }

std::vector<Mount> Read_Mounts(const Linux_Sources& sources) {
  std::vector<Mount> mounts;
  std::unique_ptr<libmnt_table, void (*)(libmnt_table*)> table(nullptr, mnt_unref_table);
  for (const char* name : {"/self/mountinfo", "/mounts"}) {
    table.reset(mnt_new_table_from_file((sources.proc + name).c_str()));
    if (table) break;
  }
  if (!table) return mounts;
  std::unique_ptr<libmnt_iter, void (*)(libmnt_iter*)> iter(mnt_new_iter(MNT_ITER_FORWARD), mnt_free_iter);
  libmnt_fs* entry = nullptr;
  while (iter && mnt_table_next_fs(table.get(), iter.get(), &entry) == 0) {
    Mount mount;
    if (const char* target = mnt_fs_get_target(entry)) mount.target = target;
    if (const char* source = mnt_fs_get_source(entry)) mount.source = source;
    if (const char* type = mnt_fs_get_fstype(entry)) mount.fstype = type;
    mount.devno = mnt_fs_get_devno(entry);
    mount.pseudo = mnt_fs_is_pseudofs(entry) != 0;
    mount.net = mnt_fs_is_netfs(entry) != 0 || Is_Network_Type(mount.fstype);
    if (!mount.target.empty()) mounts.push_back(std::move(mount));
  }
  return mounts;
}

// The visible mount at target: the last one mounted there.
const Mount* Mount_At(const std::vector<Mount>& mounts, std::string target) {
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  const Mount* found = nullptr;
  for (const auto& mount : mounts)
    if (mount.target == target) found = &mount;
  return found;
}

int Drive_Type_Of(const Mount& mount, const fs::path& block) {
  if (Is_Ram_Type(mount.fstype)) return kDriveRam;
  if (mount.net) return kDriveNetwork;
  if (mount.fstype == "iso9660" || mount.fstype == "udf") return kDriveOptical;
  if (block.empty()) return kDriveFixed;
  const fs::path disk = Whole_Disk_Of(block);
  if (Read_Attribute(disk / "removable") == "1" || block.string().find("/usb") != std::string::npos)
    return kDriveRemovable;
  if (Starts_With(disk.filename().string(), "sr")) return kDriveOptical;
  return kDriveFixed;
}

// Whether a mount is a drive the user would recognise: disks, network shares and RAM disks,
// not the system's own pseudo and scratch file systems.
bool Is_Drive_Mount(const Mount& mount, const fs::path& block) {
  if (Is_Under(mount.target, "/proc") || Is_Under(mount.target, "/sys") || Is_Image_Type(mount.fstype)) return false;
  struct stat st {};
  if (::stat(mount.target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return false;  // a file bound into a container
  if (Is_Ram_Type(mount.fstype)) return !Is_Under(mount.target, "/dev") && !Is_Under(mount.target, "/run");
  if (mount.net) return true;
  if (mount.pseudo) return false;
  return !block.empty() || mount.fstype == "zfs" || mount.fstype == "bcachefs";
}

// The label and UUID of the file system on a block device: from the device itself when it
// may be read, else from the udev database, else from the /dev/disk links.
void Read_Identity(const fs::path& block, const Linux_Sources& sources, const Udev_Context& udev, std::string& label,
                   std::string& uuid) {
  label.clear();
  uuid.clear();
  if (block.empty()) return;
  const std::string name = block.filename().string();
  if (sources.probe_devices) {
    const std::string node = sources.dev + "/" + name;
    if (::access(node.c_str(), R_OK) == 0) {
      std::unique_ptr<blkid_struct_probe, void (*)(blkid_probe)> probe(blkid_new_probe_from_filename(node.c_str()),
                                                                       blkid_free_probe);
      if (probe) {
        blkid_probe_enable_superblocks(probe.get(), 1);
        blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
        if (blkid_do_safeprobe(probe.get()) == 0) {
          const char* value = nullptr;
          if (blkid_probe_lookup_value(probe.get(), "LABEL", &value, nullptr) == 0 && value) label = value;
          if (blkid_probe_lookup_value(probe.get(), "UUID", &value, nullptr) == 0 && value) uuid = value;
        }
      }
    }
  }
  if (label.empty() && uuid.empty()) {
    auto properties = udev.Properties(block);
    label = First_Of(properties, {"ID_FS_LABEL_ENC", "ID_FS_LABEL"});
    uuid = First_Of(properties, {"ID_FS_UUID"});
  }
  auto from_links = [&](const char* folder, std::string& value) {
    if (!value.empty()) return;
    const fs::path links = fs::path(sources.dev) / "disk" / folder;
    for (const std::string& link : Folder_Names(links)) {
      fs::path target = Resolve(links / link);
      if (!target.empty() && target.filename() == name) {
        value = Decode_Udev(link);
        return;
      }
    }
  };
  if (label.empty() && uuid.empty()) {
    from_links("by-label", label);
    from_links("by-uuid", uuid);
  }
}

// ---- processors ----

using Cpu_Entry = std::map<std::string, std::string>;

std::vector<Cpu_Entry> Read_Cpuinfo(const std::string& file) {
  std::vector<Cpu_Entry> entries;
  std::ifstream in(file);
  std::string line;
  Cpu_Entry current;
  while (std::getline(in, line)) {
    std::size_t colon = line.find(':');
    if (Trim(line).empty()) {
      if (!current.empty()) entries.push_back(std::move(current));
      current.clear();
    } else if (colon != std::string::npos) {
      current[Trim(line.substr(0, colon))] = Trim(line.substr(colon + 1));
    }
  }
  if (!current.empty()) entries.push_back(std::move(current));
  // Lines that describe the whole machine (some architectures) come without "processor".
  std::vector<Cpu_Entry> processors;
  for (auto& entry : entries)
    if (entry.count("processor") != 0) processors.push_back(std::move(entry));
  return processors;
}

std::string Value(const Cpu_Entry& entry, std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    auto found = entry.find(key);
    if (found != entry.end() && !found->second.empty()) return found->second;
  }
  return "";
}

bool Mhz(const std::string& text, std::int64_t& mhz) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end == text.c_str() || !std::isfinite(value) || value <= 0) return false;
  mhz = std::llround(value);
  return true;
}

// ---- PCI storage controllers ----

// libpci reports errors through a callback that must not return; it jumps back to the
// routine that called into the library. Only plain data lives on the way between.
thread_local std::jmp_buf* pci_jump = nullptr;

[[noreturn]] void Pci_Fail(char*, ...) { std::longjmp(*pci_jump, 1); }
void Pci_Quiet(char*, ...) {}

struct Raw_Controller {
  int domain = 0, bus = 0, dev = 0, func = 0;
  char name[256] = {}, vendor[256] = {}, kind[128] = {};
};

constexpr int kMaxControllers = 64;

// Fills found[] with the mass storage controllers on the bus; count grows as they are found.
void Scan_Bus(pci_access* pacc, int flags, Raw_Controller* found, volatile int& count) {
  pci_init(pacc);
  pci_scan_bus(pacc);
  for (pci_dev* d = pacc->devices; d != nullptr && count < kMaxControllers; d = d->next) {
    pci_fill_info(d, PCI_FILL_IDENT | PCI_FILL_CLASS);
    if ((d->device_class >> 8) != 0x01) continue;  // mass storage controllers
    Raw_Controller& c = found[count];
    c.domain = d->domain;
    c.bus = d->bus;
    c.dev = d->dev;
    c.func = d->func;
    if (pci_lookup_name(pacc, c.name, sizeof c.name, PCI_LOOKUP_DEVICE | flags, d->vendor_id, d->device_id) != c.name)
      c.name[0] = '\0';
    if (pci_lookup_name(pacc, c.vendor, sizeof c.vendor, PCI_LOOKUP_VENDOR | flags, d->vendor_id) != c.vendor)
      c.vendor[0] = '\0';
    if (pci_lookup_name(pacc, c.kind, sizeof c.kind, PCI_LOOKUP_CLASS | flags, d->device_class) != c.kind)
      c.kind[0] = '\0';
    count = count + 1;
  }
}

// Scan_Bus with the library's errors caught; false when one ended it.
bool Guarded_Scan(pci_access* pacc, int flags, Raw_Controller* found, volatile int& count) {
  std::jmp_buf jump;
  pci_jump = &jump;
  if (setjmp(jump) != 0) {
    pci_jump = nullptr;
    return false;
  }
  Scan_Bus(pacc, flags, found, count);
  pci_jump = nullptr;
  return true;
}

// Returns how many controllers were filled in; none when the bus cannot be read.
int Scan_Storage_Controllers(const Linux_Sources& sources, Raw_Controller* found) {
  std::string sysfs_path = sources.sys + "/bus/pci";
  std::string devices = sysfs_path + "/devices";
  if (::access(devices.c_str(), R_OK | X_OK) != 0) return 0;
  std::string ids = sources.pci_ids;
  pci_access* pacc = pci_alloc();
  if (pacc == nullptr) return 0;
  pacc->error = Pci_Fail;
  pacc->warning = Pci_Quiet;
  pacc->debug = Pci_Quiet;
  pacc->method = PCI_ACCESS_SYS_BUS_PCI;
  char param[] = "sysfs.path";
  pci_set_param(pacc, param, sysfs_path.data());
  if (!ids.empty()) pci_set_name_list_path(pacc, ids.data(), 0);
  // A given list is the only source of names; otherwise the library may also ask udev.
  const int flags = PCI_LOOKUP_NO_NUMBERS | (ids.empty() ? 0 : PCI_LOOKUP_NO_HWDB);
  volatile int count = 0;
  const bool failed = !Guarded_Scan(pacc, flags, found, count);  // then the library's state is unknown: left as it is
  if (!failed) pci_cleanup(pacc);
  return count;
}

// ---- os-release ----

std::map<std::string, std::string> Read_Os_Release(const Linux_Sources& sources) {
  std::map<std::string, std::string> values;
  for (const std::string& file : {sources.etc + "/os-release", sources.usr_lib + "/os-release"}) {
    std::ifstream in(file);
    if (!in) continue;
    std::string line;
    while (std::getline(in, line)) {
      line = Trim(line);
      std::size_t eq = line.find('=');
      if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
      std::string raw = line.substr(eq + 1), value;
      char quote = raw.empty() ? '\0' : raw[0];
      if (quote == '"' || quote == '\'') {
        for (std::size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
          if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) ++i;
          value += raw[i];
        }
      } else {
        value = raw;
      }
      values[line.substr(0, eq)] = value;
    }
    break;
  }
  return values;
}

}  // namespace

Linux_Inventory_Provider::Linux_Inventory_Provider(Platform& os, Linux_Sources sources)
    : os_(os), sources_(std::move(sources)) {}

void Linux_Inventory_Provider::Instances_Of(const std::string& class_name, const Each& each) {
  auto is = [&](const char* name) { return ::strcasecmp(class_name.c_str(), name) == 0; };
  if (is("Win32_DiskDrive")) Disk_Drives(each);
  else if (is("Win32_LogicalDisk")) Logical_Disks(each);
  else if (is("Win32_Processor")) Processors(each);
  else if (is("Win32_IDEController")) Storage_Controllers(each);
  else if (is("Win32_ComputerSystem")) Computer_System(each);
  else if (is("Win32_OperatingSystem")) Operating_System(each);
}

void Linux_Inventory_Provider::Disk_Drives(const Each& each) {
  const Udev_Context udev(sources_.use_udev);
  const std::vector<Disk> disks = Physical_Disks(sources_);
  const std::string host = Host_Name();
  for (std::size_t index = 0; index < disks.size(); ++index) {
    const Disk& disk = disks[index];
    const fs::path device = disk.sys / "device";
    const auto properties = udev.Properties(disk.sys);
    Cim_Instance row;
    row.Set_Text("DeviceID", "\\\\.\\PHYSICALDRIVE" + std::to_string(index));
    row.Set_Text("SystemName", host);
    std::int64_t sector_size = 0, sectors = 0;
    if (Read_Number(disk.sys / "queue" / "logical_block_size", sector_size)) row.Set_Number("BytesPerSector", kCimUint32, sector_size);
    std::string model = First_Of(properties, {"ID_MODEL_ENC", "ID_MODEL"});
    if (model.empty()) model = First_Attribute(device, {"model", "name"});  // SCSI, NVMe / MMC
    model = Collapse_Blanks(model);
    row.Set_Text("Caption", model);
    row.Set_Text("CreationClassName", "Win32_DiskDrive");
    row.Set_Text("Description", "Disk drive");
    row.Set_Number("Index", kCimUint32, static_cast<std::int64_t>(index));
    row.Set_Text("InterfaceType", Interface_Type(disk));
    std::string vendor = First_Of(properties, {"ID_VENDOR_ENC", "ID_VENDOR"});
    if (vendor.empty()) vendor = First_Attribute(device, {"vendor"});
    if (Starts_With(vendor, "0x")) vendor.clear();  // a bare PCI number, as virtio gives
    row.Set_Text("Manufacturer", vendor);
    const bool have_size = Read_Number(disk.sys / "size", sectors);
    if (have_size) row.Set("MediaLoaded", Cim_Value::Scalar(kCimBoolean, sectors > 0));
    const bool removable = Read_Attribute(disk.sys / "removable") == "1";
    row.Set_Text("MediaType", removable ? "Removable Media" : "Fixed hard disk media");
    row.Set_Text("Name", "/dev/" + disk.name);
    row.Set_Text("Model", model);
    std::int64_t partitions = 0;
    for (const std::string& child : Folder_Names(disk.sys)) {
      std::error_code ec;
      if (fs::exists(disk.sys / child / "partition", ec)) ++partitions;
    }
    row.Set_Number("Partitions", kCimUint32, partitions);
    std::string pnp = First_Of(properties, {"ID_PATH"});
    if (pnp.empty()) {
      const std::string devices = (fs::path(sources_.sys) / "devices").string();
      const std::string real = Resolve(device).string();
      pnp = Starts_With(real, devices + "/") ? real.substr(devices.size() + 1) : real;
    }
    row.Set_Text("PNPDeviceID", pnp);
    // SCSI disks sit at host:channel:target:lun.
    std::istringstream address(Resolve(device).filename().string());
    std::int64_t h = 0, c = 0, t = 0, l = 0;
    char s1 = 0, s2 = 0, s3 = 0;
    if (Starts_With(disk.name, "sd") && address >> h >> s1 >> c >> s2 >> t >> s3 >> l && s1 == ':' && s2 == ':' && s3 == ':') {
      row.Set_Number("SCSIBus", kCimUint32, c);
      row.Set_Number("SCSILogicalUnit", kCimUint16, l);
      row.Set_Number("SCSIPort", kCimUint16, h);
      row.Set_Number("SCSITargetId", kCimUint16, t);
    }
    if (have_size) {
      row.Set_Number("Size", kCimUint64, sectors * 512);
      if (sector_size > 0) row.Set_Number("TotalSectors", kCimUint64, sectors * 512 / sector_size);
    }
    row.Set_Text("Status", "OK");
    std::string firmware = First_Of(properties, {"ID_REVISION"});
    if (firmware.empty()) firmware = First_Attribute(device, {"rev", "firmware_rev", "fwrev"});
    row.Set_Text("FirmwareRevision", firmware);
    std::string serial = First_Of(properties, {"ID_SERIAL_SHORT"});
    if (serial.empty()) serial = First_Attribute(disk.sys, {"serial"});
    if (serial.empty()) serial = First_Attribute(device, {"serial"});
    row.Set_Text("SerialNumber", serial);
    each(row);
  }
}

void Linux_Inventory_Provider::Logical_Disks(const Each& each) {
  static const char* const kDescriptions[] = {"Unknown",    "Removable Disk", "Local Fixed Disk",
                                              "Network Connection", "CD-ROM Disc", "RAM Disk"};
  const Udev_Context udev(sources_.use_udev);
  const std::vector<Mount> mounts = Read_Mounts(sources_);
  std::map<std::string, const Mount*> visible;  // by mount point, the last mount there
  for (const auto& mount : mounts) visible[mount.target] = &mount;
  for (const auto& [target, mount] : visible) {
    const fs::path block = Block_Of(*mount, sources_);
    if (!Is_Drive_Mount(*mount, block)) continue;
    const int type = Drive_Type_Of(*mount, block);
    Cim_Instance row;
    row.Set_Text("DeviceID", target);
    row.Set_Text("Name", target);
    row.Set_Text("Caption", target);
    row.Set_Text("Description", kDescriptions[type]);
    row.Set_Number("DriveType", kCimUint32, type + 1);
    row.Set_Text("FileSystem", mount->fstype);
    struct statvfs sv {};
    if (::statvfs(target.c_str(), &sv) == 0) {
      const auto unit = static_cast<std::int64_t>(sv.f_frsize);
      row.Set_Number("FreeSpace", kCimUint64, static_cast<std::int64_t>(sv.f_bavail) * unit);
      row.Set_Number("Size", kCimUint64, static_cast<std::int64_t>(sv.f_blocks) * unit);
    }
    if (mount->net) row.Set_Text("ProviderName", mount->source);
    std::string label, uuid;
    Read_Identity(block, sources_, udev, label, uuid);
    row.Set_Text("VolumeName", label);
    row.Set_Text("VolumeSerialNumber", uuid);
    each(row);
  }
}

void Linux_Inventory_Provider::Processors(const Each& each) {
  const std::vector<Cpu_Entry> cpus = Read_Cpuinfo(sources_.proc + "/cpuinfo");
  // One instance per physical package, in the order the packages first appear.
  std::vector<std::string> packages;
  std::map<std::string, std::vector<const Cpu_Entry*>> members;
  for (const auto& cpu : cpus) {
    const std::string package = Value(cpu, {"physical id"});
    if (members.count(package) == 0) packages.push_back(package);
    members[package].push_back(&cpu);
  }
  const std::string machine = Machine_Type();
  for (std::size_t k = 0; k < packages.size(); ++k) {
    const auto& group = members[packages[k]];
    const Cpu_Entry& first = *group.front();
    Cim_Instance row;
    row.Set_Text("DeviceID", "CPU" + std::to_string(k));
    const std::string name = Collapse_Blanks(Value(first, {"model name", "cpu model", "Processor", "cpu"}));
    row.Set_Text("Name", name);
    const std::string family = Value(first, {"cpu family"});
    const std::string caption = family.empty() ? name
                                               : machine + " Family " + family + " Model " + Value(first, {"model"}) +
                                                     " Stepping " + Value(first, {"stepping"});
    row.Set_Text("Caption", caption);
    row.Set_Text("Description", caption);
    std::int64_t current = 0, maximum = 0;
    const bool have_current = Mhz(Value(first, {"cpu MHz"}), current);
    if (have_current) row.Set_Number("CurrentClockSpeed", kCimUint32, current);
    const fs::path cpufreq =
        fs::path(sources_.sys) / "devices" / "system" / "cpu" / ("cpu" + Value(first, {"processor"})) / "cpufreq";
    if (Read_Number(cpufreq / "cpuinfo_max_freq", maximum) && maximum > 0)
      row.Set_Number("MaxClockSpeed", kCimUint32, (maximum + 500) / 1000);  // kHz
    else if (have_current)
      row.Set_Number("MaxClockSpeed", kCimUint32, current);
    std::int64_t cores = 0;
    if (!To_Number(Value(first, {"cpu cores"}), cores)) {
      std::set<std::string> core_ids;
      for (const auto* cpu : group) core_ids.insert(Value(*cpu, {"core id"}));
      cores = static_cast<std::int64_t>(core_ids.size() > 1 ? core_ids.size() : group.size());
    }
    row.Set_Number("NumberOfCores", kCimUint32, cores);
    row.Set_Text("Manufacturer", Value(first, {"vendor_id", "vendor"}));
    row.Set_Number("NumberOfLogicalProcessors", kCimUint32, static_cast<std::int64_t>(group.size()));
    row.Set_Number("ProcessorType", kCimUint16, 3);  // central processor
    row.Set_Text("Role", "CPU");
    row.Set_Text("Stepping", Value(first, {"stepping"}));
    each(row);
  }
}

void Linux_Inventory_Provider::Storage_Controllers(const Each& each) {
  std::vector<Raw_Controller> raw(kMaxControllers);
  const int count = Scan_Storage_Controllers(sources_, raw.data());
  raw.resize(static_cast<std::size_t>(count));
  std::sort(raw.begin(), raw.end(), [](const Raw_Controller& a, const Raw_Controller& b) {
    return std::tie(a.domain, a.bus, a.dev, a.func) < std::tie(b.domain, b.bus, b.dev, b.func);
  });
  for (const auto& c : raw) {
    char slot[32];
    std::snprintf(slot, sizeof slot, "%04x:%02x:%02x.%d", c.domain, c.bus, c.dev, c.func);
    Cim_Instance row;
    row.Set_Text("DeviceID", slot);
    row.Set_Text("Name", Trim(c.name));
    row.Set_Text("Caption", Trim(c.name));
    row.Set_Text("Description", Trim(c.kind));
    row.Set_Text("Manufacturer", Trim(c.vendor));
    each(row);
  }
}

void Linux_Inventory_Provider::Computer_System(const Each& each) {
  const fs::path dmi = fs::path(sources_.sys) / "class" / "dmi" / "id";
  Cim_Instance row;
  row.Set_Text("Manufacturer", Read_Attribute(dmi / "sys_vendor"));
  std::string model = Read_Attribute(dmi / "product_name");
  if (model.empty()) model = Read_Attribute(fs::path(sources_.sys) / "firmware" / "devicetree" / "base" / "model");
  row.Set_Text("Model", model);
  const std::string host = Host_Name();
  const std::size_t dot = host.find('.');
  row.Set_Text("Name", host);
  row.Set_Text("Caption", host);
  row.Set_Text("UserName", User_Name());
  row.Set_Text("SystemType", Machine_Type());
  std::ifstream meminfo(sources_.proc + "/meminfo");
  std::string key;
  std::int64_t kilobytes = 0;
  while (meminfo >> key)
    if (key == "MemTotal:" && meminfo >> kilobytes) {
      row.Set_Number("TotalPhysicalMemory", kCimUint64, kilobytes * 1024);
      break;
    }
  row.Set_Text("DNSHostName", host.substr(0, dot));
  row.Set_Text("Domain", dot == std::string::npos ? "" : host.substr(dot + 1));
  const std::vector<Cpu_Entry> cpus = Read_Cpuinfo(sources_.proc + "/cpuinfo");
  if (!cpus.empty()) {
    std::set<std::string> packages;
    for (const auto& cpu : cpus) packages.insert(Value(cpu, {"physical id"}));
    row.Set_Number("NumberOfProcessors", kCimUint32, static_cast<std::int64_t>(packages.size()));
    row.Set_Number("NumberOfLogicalProcessors", kCimUint32, static_cast<std::int64_t>(cpus.size()));
  }
  each(row);
}

void Linux_Inventory_Provider::Operating_System(const Each& each) {
  const auto release = Read_Os_Release(sources_);
  auto value = [&](const char* key) {
    auto found = release.find(key);
    return found == release.end() ? std::string() : Trim(found->second);
  };
  std::string caption = value("PRETTY_NAME");
  if (caption.empty()) caption = Trim(value("NAME") + " " + value("VERSION"));
  struct utsname u {};
  const bool have_uname = ::uname(&u) == 0;
  const std::string machine = have_uname ? u.machine : "";
  Cim_Instance row;
  row.Set_Text("BuildNumber", value("BUILD_ID"));
  if (have_uname) row.Set_Text("BuildType", u.version);
  row.Set_Text("Caption", caption);
  row.Set_Text("CSName", Host_Name());
  std::time_t now = std::time(nullptr);
  struct tm local {};
  if (::localtime_r(&now, &local) != nullptr) row.Set_Number("CurrentTimeZone", kCimSint16, local.tm_gmtoff / 60);
  row.Set_Number("OSType", kCimUint16, 36);  // LINUX in the CIM list of operating systems
  if (!machine.empty())
    row.Set_Text("OSArchitecture",
                 machine.find("64") != std::string::npos || machine == "s390x" ? "64-bit" : "32-bit");
  const std::vector<Mount> mounts = Read_Mounts(sources_);
  if (const Mount* root = Mount_At(mounts, "/")) row.Set_Text("SystemDevice", root->source);
  if (have_uname) row.Set_Text("Version", u.release);
  row.Set_Text("Name", caption);
  each(row);
}

Volume_Information Linux_Inventory_Provider::Volume(const std::string& path) {
  Volume_Information info;
  const Volume_Facts facts = os_.Volume(path);
  if (!facts.ok) return info;
  info.ok = true;
  info.mount_point = facts.mount_point;
  info.file_system = facts.file_system;
  info.drive_type = facts.drive_type;
  struct statvfs sv {};
  if (::statvfs(path.c_str(), &sv) == 0) {
    info.space_ok = true;
    info.block_size = static_cast<std::int64_t>(sv.f_frsize);
    info.free_blocks = static_cast<std::int64_t>(sv.f_bavail);
    info.total_blocks = static_cast<std::int64_t>(sv.f_blocks);
    info.max_name_length = static_cast<std::int64_t>(sv.f_namemax);
  }
  const std::vector<Mount> mounts = Read_Mounts(sources_);
  if (const Mount* mount = Mount_At(mounts, facts.mount_point)) {
    const Udev_Context udev(sources_.use_udev);
    Read_Identity(Block_Of(*mount, sources_), sources_, udev, info.label, info.uuid);
  }
  return info;
}

Disk_Extent Linux_Inventory_Provider::Volume_Disk_Extent(const std::string& mount_point) {
  const std::vector<Mount> mounts = Read_Mounts(sources_);
  const Mount* mount = Mount_At(mounts, mount_point);
  if (mount == nullptr) return {};
  return Extent_Of(Block_Of(*mount, sources_), Physical_Disks(sources_), 0);
}

Inventory_Provider& System_Inventory_Provider() {
  static Linux_Inventory_Provider provider(System_Platform());
  return provider;
}

}  // namespace platform
