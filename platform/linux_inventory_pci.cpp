// The storage controllers: the mass storage class of the PCI bus, read through libpci from
// sysfs, with names from the PCI name list.
#include <unistd.h>

extern "C" {
#include <pci/pci.h>
}

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <tuple>
#include <vector>

#include "platform/linux_inventory_parts.h"

namespace platform {

using namespace linux_parts;

namespace {

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

}  // namespace

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

}  // namespace platform
