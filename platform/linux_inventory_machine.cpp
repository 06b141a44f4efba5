// The machine itself: processors from /proc/cpuinfo and cpufreq, the computer from DMI,
// its memory from /proc/meminfo, and the operating system from os-release and uname.
#include <sys/utsname.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <set>

#include "platform/linux_inventory_parts.h"
#include "platform/system.h"

namespace platform {

using namespace linux_parts;

namespace {

bool Mhz(const std::string& text, std::int64_t& mhz) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end == text.c_str() || !std::isfinite(value) || value <= 0) return false;
  mhz = std::llround(value);
  return true;
}

// The logical processors of one physical package, in file order.
using Package = std::vector<const Cpu_Entry*>;

// The packages in the order they first appear.
std::vector<Package> Packages_Of(const std::vector<Cpu_Entry>& cpus) {
  std::vector<std::string> packages;
  std::map<std::string, Package> members;
  for (const auto& cpu : cpus) {
    const std::string package = Value(cpu, {"physical id"});
    if (members.count(package) == 0) packages.push_back(package);
    members[package].push_back(&cpu);
  }
  std::vector<Package> grouped;
  for (const auto& package : packages) grouped.push_back(members[package]);
  return grouped;
}

std::string Processor_Caption(const Cpu_Entry& first, const std::string& name, const std::string& machine) {
  const std::string family = Value(first, {"cpu family"});
  if (family.empty()) return name;
  return machine + " Family " + family + " Model " + Value(first, {"model"}) + " Stepping " + Value(first, {"stepping"});
}

// The current clock, and the highest: from cpufreq, else the current one.
void Set_Clock_Speeds(Cim_Instance& row, const Cpu_Entry& first, const Linux_Sources& sources) {
  std::int64_t current = 0, maximum = 0;
  const bool have_current = Mhz(Value(first, {"cpu MHz"}), current);
  if (have_current) row.Set_Number("CurrentClockSpeed", kCimUint32, current);
  const fs::path cpufreq =
      fs::path(sources.sys) / "devices" / "system" / "cpu" / ("cpu" + Value(first, {"processor"})) / "cpufreq";
  if (Read_Number(cpufreq / "cpuinfo_max_freq", maximum) && maximum > 0)
    row.Set_Number("MaxClockSpeed", kCimUint32, (maximum + 500) / 1000);  // kHz
  else if (have_current)
    row.Set_Number("MaxClockSpeed", kCimUint32, current);
}

std::int64_t Core_Count(const Package& group) {
  std::int64_t cores = 0;
  if (!To_Number(Value(*group.front(), {"cpu cores"}), cores)) {
    std::set<std::string> core_ids;
    for (const auto* cpu : group) core_ids.insert(Value(*cpu, {"core id"}));
    cores = static_cast<std::int64_t>(core_ids.size() > 1 ? core_ids.size() : group.size());
  }
  return cores;
}

Cim_Instance Processor_Row(const Package& group, std::size_t k, const std::string& machine, const Linux_Sources& sources) {
  const Cpu_Entry& first = *group.front();
  Cim_Instance row;
  row.Set_Text("DeviceID", "CPU" + std::to_string(k));
  const std::string name = Collapse_Blanks(Value(first, {"model name", "cpu model", "Processor", "cpu"}));
  row.Set_Text("Name", name);
  const std::string caption = Processor_Caption(first, name, machine);
  row.Set_Text("Caption", caption);
  row.Set_Text("Description", caption);
  Set_Clock_Speeds(row, first, sources);
  row.Set_Number("NumberOfCores", kCimUint32, Core_Count(group));
  row.Set_Text("Manufacturer", Value(first, {"vendor_id", "vendor"}));
  row.Set_Number("NumberOfLogicalProcessors", kCimUint32, static_cast<std::int64_t>(group.size()));
  row.Set_Number("ProcessorType", kCimUint16, 3);  // central processor
  row.Set_Text("Role", "CPU");
  row.Set_Text("Stepping", Value(first, {"stepping"}));
  return row;
}

// MemTotal of /proc/meminfo, in kilobytes; false when it is not there.
bool Total_Memory_Kb(const std::string& meminfo_file, std::int64_t& kilobytes) {
  std::ifstream meminfo(meminfo_file);
  std::string key;
  while (meminfo >> key)
    if (key == "MemTotal:" && meminfo >> kilobytes) return true;
  return false;
}

// A value of os-release: unquoted, with backslash escapes resolved inside double quotes.
std::string Os_Release_Value(const std::string& raw) {
  const char quote = raw.empty() ? '\0' : raw[0];
  if (quote != '"' && quote != '\'') return raw;
  std::string value;
  for (std::size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
    if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) ++i;
    value += raw[i];
  }
  return value;
}

// The first os-release file that exists, as key and value.
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
      values[line.substr(0, eq)] = Os_Release_Value(line.substr(eq + 1));
    }
    break;
  }
  return values;
}

}  // namespace

namespace linux_parts {

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

}  // namespace linux_parts

void Linux_Inventory_Provider::Processors(const Each& each) {
  const std::vector<Cpu_Entry> cpus = Read_Cpuinfo(sources_.proc + "/cpuinfo");
  const std::vector<Package> packages = Packages_Of(cpus);  // one instance per physical package
  const std::string machine = Machine_Type();
  for (std::size_t k = 0; k < packages.size(); ++k) each(Processor_Row(packages[k], k, machine, sources_));
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
  std::int64_t kilobytes = 0;
  if (Total_Memory_Kb(sources_.proc + "/meminfo", kilobytes))
    row.Set_Number("TotalPhysicalMemory", kCimUint64, kilobytes * 1024);
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
  const std::vector<Mount> mounts = Read_Mount_Table(sources_.proc);
  if (const Mount* root = Mount_At(mounts, "/")) row.Set_Text("SystemDevice", root->source);
  if (have_uname) row.Set_Text("Version", u.release);
  row.Set_Text("Name", caption);
  each(row);
}

}  // namespace platform
