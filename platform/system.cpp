#include "platform/system.h"

#include <elf.h>
#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace platform {

std::string Computer_Name() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string User_Name() {
  if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) return pw->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

bool Running_As_Root() { return ::geteuid() == 0; }

std::string Executable_Path() {
  char path[PATH_MAX] = {};
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

std::string Home_Folder() {
  if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_dir != nullptr && *pw->pw_dir != '\0')
    return pw->pw_dir;
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "";
}

std::string Temp_Folder() {
  const char* dir = std::getenv("TMPDIR");
  std::string folder = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

namespace {

bool Find_Note(const std::vector<char>& notes, std::array<std::uint16_t, 4>& version) {
  static const char kOwner[] = "Platterscope";
  std::size_t pos = 0;
  auto align4 = [](std::size_t n) { return (n + 3) & ~static_cast<std::size_t>(3); };
  while (pos + sizeof(Elf64_Nhdr) <= notes.size()) {
    Elf64_Nhdr header;
    std::memcpy(&header, notes.data() + pos, sizeof header);
    std::size_t name_at = pos + sizeof header;
    std::size_t desc_at = name_at + align4(header.n_namesz);
    std::size_t next = desc_at + align4(header.n_descsz);
    if (next > notes.size()) return false;
    if (header.n_type == 1 && header.n_namesz == sizeof kOwner && header.n_descsz >= 8 &&
        std::memcmp(notes.data() + name_at, kOwner, sizeof kOwner) == 0) {
      std::memcpy(version.data(), notes.data() + desc_at, 8);
      return true;
    }
    pos = next;
  }
  return false;
}

}  // namespace

bool Read_Version_Note(const std::string& file, std::array<std::uint16_t, 4>& version) {
  std::ifstream in(file, std::ios::binary);
  Elf64_Ehdr eh{};
  if (!in.read(reinterpret_cast<char*>(&eh), sizeof eh)) return false;
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
      eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0 || eh.e_shnum > 4096)
    return false;
  std::vector<Elf64_Shdr> sections(eh.e_shnum);
  in.seekg(static_cast<std::streamoff>(eh.e_shoff));
  if (!in.read(reinterpret_cast<char*>(sections.data()), static_cast<std::streamsize>(eh.e_shnum * sizeof(Elf64_Shdr))))
    return false;
  for (const auto& sh : sections) {
    if (sh.sh_type != SHT_NOTE || sh.sh_size == 0 || sh.sh_size > (1u << 20)) continue;
    std::vector<char> notes(sh.sh_size);
    in.clear();
    in.seekg(static_cast<std::streamoff>(sh.sh_offset));
    if (in.read(notes.data(), static_cast<std::streamsize>(notes.size())) && Find_Note(notes, version)) return true;
  }
  return false;
}

}  // namespace platform
