// The in-memory file system: the tree, the test's hands and the folder calls. File
// transfers are in memory_platform_files.cpp.
#include "platform/memory_platform.h"

#include <cerrno>
#include <cstring>
#include <sstream>

namespace platform {

namespace {

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::stringstream in(path);
  std::string part;
  while (std::getline(in, part, '/'))
    if (!part.empty() && part != ".") parts.push_back(part);
  return parts;
}

}  // namespace

Memory_Platform::Memory_Platform(std::int64_t capacity_bytes)
    : capacity_(capacity_bytes), lowest_free_(capacity_bytes) {
  Node root;
  root.owner = 0;
  nodes_[0] = root;
}

// ---- the tree ----

int Memory_Platform::Child(int parent, const std::string& name) const {
  const Node& folder = nodes_.at(parent);
  auto found = folder.children.find(name);
  return found == folder.children.end() ? -1 : found->second.second;
}

int Memory_Platform::Find(const std::string& path) const {
  int at = 0;
  for (const std::string& part : Components(path)) {
    if (nodes_.at(at).kind != Entry_Kind::Folder) return -1;
    at = Child(at, part);
    if (at < 0) return -1;
  }
  return at;
}

int Memory_Platform::Add_Child(int parent, const std::string& name, Node node) {
  const int id = next_node_++;
  node.parent = parent;
  node.name = name;
  if (node.mount == 1) node.mount = nodes_.at(parent).mount;
  nodes_[id] = std::move(node);
  Node& folder = nodes_.at(parent);
  const std::uint64_t seq = next_order_++;
  folder.children[name] = {seq, id};
  folder.order[seq] = name;
  return id;
}

void Memory_Platform::Detach(int node) {
  Node& item = nodes_.at(node);
  Node& folder = nodes_.at(item.parent);
  auto found = folder.children.find(item.name);
  folder.order.erase(found->second.first);
  folder.children.erase(found);
  used_ -= Allocation(item.size);
  nodes_.erase(node);
}

std::string Memory_Platform::Path_Of(int node) const {
  std::string path;
  for (int at = node; at > 0; at = nodes_.at(at).parent) path = "/" + nodes_.at(at).name + path;
  return path.empty() ? "/" : path;
}

int Memory_Platform::Make_Path(const std::string& path, unsigned owner, unsigned mode) {
  int at = 0;
  for (const std::string& part : Components(path)) {
    int next = Child(at, part);
    if (next < 0) {
      Node folder;
      folder.owner = owner;
      folder.mode = mode;
      next = Add_Child(at, part, folder);
    }
    at = next;
  }
  return at;
}

// 0 when the process may add or remove the entry child (-1: a new one) of parent.
int Memory_Platform::May_Change(int parent, int child) const {
  if (user == 0) return 0;
  const Node& folder = nodes_.at(parent);
  const bool own_folder = folder.owner == user;
  if (!own_folder && (folder.mode & 0002) == 0) return EACCES;
  const bool sticky = (folder.mode & 01000) != 0;
  if (sticky && child >= 0 && !own_folder && nodes_.at(child).owner != user) return EPERM;
  return 0;
}

std::int64_t Memory_Platform::Allocation(std::int64_t size) const {
  return (size + allocation_unit - 1) / allocation_unit * allocation_unit;
}

Entry_Facts Memory_Platform::Facts_Of(int node) const {
  Entry_Facts facts;
  const Node& item = nodes_.at(node);
  facts.kind = item.kind;
  facts.owner = item.owner;
  facts.mode = item.mode;
  facts.mount = item.mount;
  facts.inode = static_cast<std::uint64_t>(node) + 1;
  return facts;
}

// ---- the test's hands ----

void Memory_Platform::Add_Folder(const std::string& path, unsigned owner, unsigned mode) {
  Node& folder = nodes_.at(Make_Path(path, owner, mode));
  folder.owner = owner;
  folder.mode = mode;
}

void Memory_Platform::Add_File(const std::string& path, std::int64_t size, unsigned owner) {
  const std::size_t slash = path.rfind('/');
  const int parent = Make_Path(path.substr(0, slash), 0, 0755);
  Node file;
  file.kind = Entry_Kind::File;
  file.owner = owner;
  file.mode = 0644;
  file.size = size;
  Add_Child(parent, path.substr(slash + 1), file);
  used_ += Allocation(size);
}

void Memory_Platform::Add_Link(const std::string& path, const std::string& target) {
  const std::size_t slash = path.rfind('/');
  Node link;
  link.kind = Entry_Kind::Link;
  link.target = target;
  Add_Child(Make_Path(path.substr(0, slash), 0, 0755), path.substr(slash + 1), link);
}

void Memory_Platform::Mount(const std::string& path) {
  const std::uint64_t mount = next_mount_++;
  std::vector<int> pending{Find(path)};
  while (!pending.empty()) {
    Node& node = nodes_.at(pending.back());
    pending.pop_back();
    node.mount = mount;
    for (const auto& [name, entry] : node.children) pending.push_back(entry.second);
  }
}

Entry_Kind Memory_Platform::Kind(const std::string& path) const {
  const int node = Find(path);
  return node < 0 ? Entry_Kind::Missing : nodes_.at(node).kind;
}

std::int64_t Memory_Platform::Size(const std::string& path) const {
  const int node = Find(path);
  return node < 0 ? -1 : nodes_.at(node).size;
}

std::vector<std::string> Memory_Platform::Paths_Under(const std::string& path) const {
  std::vector<std::string> found;
  const int top = Find(path);
  if (top < 0) return found;
  std::vector<int> pending{top};
  while (!pending.empty()) {
    const int at = pending.back();
    pending.pop_back();
    for (const auto& [name, entry] : nodes_.at(at).children) {
      found.push_back(Path_Of(entry.second));
      if (nodes_.at(entry.second).kind == Entry_Kind::Folder) pending.push_back(entry.second);
    }
  }
  return found;
}

// ---- handles and folders ----

const Memory_Platform::Open_Item* Memory_Platform::Item(const Handle& handle, bool folder) const {
  auto found = handles_.find(handle.native());
  if (found == handles_.end() || found->second.folder != folder || !nodes_.count(found->second.node)) return nullptr;
  return &found->second;
}

Memory_Platform::Open_Item* Memory_Platform::Item(const Handle& handle, bool folder) {
  return const_cast<Open_Item*>(static_cast<const Memory_Platform*>(this)->Item(handle, folder));
}

int Memory_Platform::Close(int id) {
  auto found = handles_.find(id);
  if (found == handles_.end()) return EBADF;
  auto node = nodes_.find(found->second.node);
  if (node != nodes_.end() && node->second.lock_holder == id) node->second.lock_holder = -1;
  handles_.erase(found);
  return 0;
}

Open_Result Memory_Platform::Open_Item_For(int node, bool unbuffered, bool folder) {
  Open_Result result;
  const int id = next_handle_++;
  const Io_Mode mode = unbuffered && !faults.refuse_direct ? Io_Mode::Direct : Io_Mode::Buffered;
  handles_[id] = Open_Item{node, folder, mode, 0};
  result.file = File_Handle(*this, id);
  result.mode = mode;
  return result;
}

Folder_Result Memory_Platform::Open_Folder(const std::string& path) {
  Folder_Result result;
  const int node = Find(path);
  if (node < 0) result.error = ENOENT;
  else if (nodes_.at(node).kind != Entry_Kind::Folder) result.error = ENOTDIR;
  else result.folder = Folder_Handle(*this, Open_Item_For(node, false, true).file.release());
  return result;
}

Folder_Result Memory_Platform::Open_Sub_Folder(const Folder_Handle& parent, const std::string& name) {
  Folder_Result result;
  const Open_Item* item = Item(parent, true);
  const int node = item != nullptr && Is_Component(name) ? Child(item->node, name) : -1;
  if (item == nullptr || !Is_Component(name)) result.error = item == nullptr ? EBADF : EINVAL;
  else if (node < 0) result.error = ENOENT;
  else if (nodes_.at(node).kind == Entry_Kind::Link) result.error = ELOOP;
  else if (nodes_.at(node).kind != Entry_Kind::Folder) result.error = ENOTDIR;
  else result.folder = Folder_Handle(*this, Open_Item_For(node, false, true).file.release());
  return result;
}

int Memory_Platform::Make_Sub_Folder(const Folder_Handle& parent, const std::string& name) {
  const Open_Item* item = Item(parent, true);
  if (item == nullptr) return EBADF;
  if (!Is_Component(name)) return EINVAL;
  const int at = item->node;
  if (before) before("mkdir", Path_Of(at) + (at == 0 ? "" : "/") + name);
  if (Child(at, name) >= 0) return EEXIST;
  if (int denied = May_Change(at, -1); denied != 0) return denied;
  Node folder;
  folder.owner = user;
  folder.mode = 0700;
  Add_Child(at, name, folder);
  return 0;
}

int Memory_Platform::Remove_Entry(const Folder_Handle& parent, const std::string& name, bool folder) {
  const Open_Item* item = Item(parent, true);
  if (item == nullptr) return EBADF;
  const int node = Is_Component(name) ? Child(item->node, name) : -1;
  if (node < 0) return Is_Component(name) ? ENOENT : EINVAL;
  const Node& entry = nodes_.at(node);
  const bool is_folder = entry.kind == Entry_Kind::Folder;
  if (folder != is_folder) return folder ? ENOTDIR : EISDIR;
  if (is_folder && entry.mount != nodes_.at(item->node).mount) return EBUSY;  // a mount point
  if (is_folder && !entry.children.empty()) return ENOTEMPTY;
  if (int denied = May_Change(item->node, node); denied != 0) return denied;
  Detach(node);
  return 0;
}

Entry_Facts Memory_Platform::Entry(const Folder_Handle& parent, const std::string& name) {
  Entry_Facts facts;
  const Open_Item* item = Item(parent, true);
  const int node = item != nullptr && Is_Component(name) ? Child(item->node, name) : -1;
  if (node >= 0) return Facts_Of(node);
  facts.error = item == nullptr ? EBADF : Is_Component(name) ? ENOENT : EINVAL;
  return facts;
}

Entry_Facts Memory_Platform::Facts(const Folder_Handle& folder) {
  const Open_Item* item = Item(folder, true);
  if (item != nullptr) return Facts_Of(item->node);
  Entry_Facts facts;
  facts.error = EBADF;
  return facts;
}

std::vector<Folder_Entry> Memory_Platform::List(const Folder_Handle& folder, int& error) {
  std::vector<Folder_Entry> entries;
  const Open_Item* item = Item(folder, true);
  error = item == nullptr ? EBADF : 0;
  if (item == nullptr) return entries;
  const Node& node = nodes_.at(item->node);
  for (const auto& [seq, name] : node.order) entries.push_back({name, nodes_.at(Child(item->node, name)).kind});
  return entries;
}

int Memory_Platform::Take_Over(const Folder_Handle& folder) {
  const Open_Item* item = Item(folder, true);
  if (item == nullptr) return EBADF;
  Node& node = nodes_.at(item->node);
  if (user != 0 && node.owner != user) return EPERM;
  node.owner = user;
  node.mode = 0700;
  return 0;
}

int Memory_Platform::Lock_Folder(const Folder_Handle& folder) {
  const Open_Item* item = Item(folder, true);
  if (item == nullptr) return EBADF;
  if (faults.lock_error != 0) return faults.lock_error;
  Node& node = nodes_.at(item->node);
  if (node.lock_holder >= 0 && node.lock_holder != folder.native()) return EWOULDBLOCK;
  node.lock_holder = folder.native();
  return 0;
}

std::int64_t Memory_Platform::Free_Bytes(const Folder_Handle& folder) {
  return Item(folder, true) == nullptr ? -1 : Free();
}

std::int64_t Memory_Platform::Block_Bytes(const Folder_Handle& folder) {
  return Item(folder, true) == nullptr ? 0 : allocation_unit;
}

// ---- volumes ----

Volume_Facts Memory_Platform::Volume(const std::string& path) {
  if (Find(path) < 0) return {};
  Volume_Facts facts;
  facts.ok = true;
  facts.mount_point = "/";
  facts.file_system = "memory";
  facts.drive_type = drive_type;
  facts.total_bytes = capacity_;
  facts.free_bytes = Free();
  return facts;
}

bool Memory_Platform::Resolve_Work_Folder(const std::string& drive, std::string& folder, std::string& reason) {
  folder.clear();
  const int node = drive.empty() ? -1 : Find(drive);
  if (drive.empty()) reason = "no drive selected";
  else if (node < 0) reason = std::strerror(ENOENT);
  else if (nodes_.at(node).kind != Entry_Kind::Folder) reason = std::strerror(ENOTDIR);
  else if (May_Change(node, -1) != 0) reason = std::strerror(EACCES);
  else folder = drive;
  return !folder.empty();
}

}  // namespace platform
