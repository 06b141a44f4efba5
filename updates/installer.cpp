// Installer entries of the check's answer: downloaded next to the program, checked against
// their MD5 and then against the operator's signature, and only then made executable and
// recorded. Anything short of that leaves no file behind.
#include <QString>

#include <charconv>
#include <stdexcept>

#include "common/global_functions.h"
#include "platform/folder_files.h"
#include "platform/safe_files.h"
#include "reporting/download.h"
#include "updates/update_checker.h"

namespace {

// "[SIZE]" as a 32-bit number; empty gives 0; anything else is an error of the answer.
std::int32_t Size_Value(const std::string& text) {
  const std::string trimmed = QString::fromStdString(text).trimmed().toStdString();
  if (trimmed.empty()) return 0;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  if (error != std::errc() || end != trimmed.data() + trimmed.size())
    throw std::invalid_argument("'" + trimmed + "' is not a valid integer value");
  return value;
}

// The program's folder, if installers may be stored there: no other user may add or change
// files in it, or the verified installer could be swapped before it runs.
platform::Descriptor Installer_Folder(std::string path, std::string& why) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  int error = 0;
  platform::Descriptor folder = platform::Open_Folder(path, error);
  if (!folder.valid()) why = "Cannot open the program's folder " + path + ": " + platform::Error_Text(error);
  else if (!platform::Folder_Is_Private(folder))
    why = "the program's folder " + path + " can be changed by other users";
  return folder.valid() && why.empty() ? std::move(folder) : platform::Descriptor();
}

// The installer's bytes signed by the operator's key.
bool Signed(const std::string& path, std::int32_t size, const std::string& signature, const Public_Key& key,
            std::string& why) {
  std::string bytes;
  bool too_large = false;
  int error = 0;
  const bool read = platform::Read_File_Blocks(path, [&](const char* data, std::size_t n) {
    too_large = too_large || bytes.size() + n > static_cast<std::size_t>(size);
    if (!too_large) bytes.append(data, n);
  }, error);
  if (!read || too_large) {
    why = too_large ? path + " is larger than its [SIZE]"
                    : "Cannot read " + path + ": " + platform::Error_Text(error);
    return false;
  }
  return Verify_Signature(bytes, signature, key, why);
}

}  // namespace

struct Update_Checker::Installer_Entry {
  std::string file;       // the installer's path on the results server
  std::int32_t size = 0;
  std::string md5;
  std::string target;     // must be present; not used
  std::string signature;  // Ed25519 of the installer's bytes, hexadecimal
};

void Update_Checker::Try_Installer(int piece_index, const std::string& piece, const std::string& version,
                                   const Update_Settings& settings, Check_Report* report) {
  Installer_Entry entry;
  entry.file = Get_Tag_Value("[FILE]", "[/FILE]", piece);
  entry.size = Size_Value(Get_Tag_Value("[SIZE]", "[/SIZE]", piece));
  entry.md5 = Get_Tag_Value("[MD5]", "[/MD5]", piece);
  entry.target = Get_Tag_Value("[TARGETFILE]", "[/TARGETFILE]", piece);
  entry.signature = Get_Tag_Value("[SIGNATURE]", "[/SIGNATURE]", piece);
  if (entry.file.empty() || entry.size <= 0 || entry.md5.empty() || entry.target.empty()) return;

  std::string path, why;
  std::string line = "installer in piece " + std::to_string(piece_index) + ": ";
  if (Fetch_Installer(entry, settings, path, why)) {
    NEW_VERSION_AVAILABLE = version;
    NEW_UPGRADE_MD5 = entry.md5;
    NEW_UPGRADE_FILE = path;
    Log("New Version Available:" + version);
    host_.Set_Status_Text("");
    line += path + " verified";
  } else {
    Log("Upgrade file " + entry.file + " refused: " + why);
    Log("Error downloading upgrade file");
    line += "not used: " + why;
  }
  if (report != nullptr) report->installers.push_back(line);
}

bool Update_Checker::Fetch_Installer(const Installer_Entry& entry, const Update_Settings& settings, std::string& path,
                                     std::string& why) {
  // Nothing is fetched that could never be run.
  if (!Signature_Well_Formed(entry.signature)) {
    why = entry.signature.empty() ? "it has no [SIGNATURE]" : "its [SIGNATURE] is not 128 hexadecimal digits";
    return false;
  }
  if (!Results_Server_Path(entry.file)) {
    why = "\"" + entry.file + "\" is not a path on the results server";
    return false;
  }
  const platform::Descriptor folder = Installer_Folder(settings.program_folder, why);
  if (!folder.valid()) return false;

  path = Make_Unique_Name(settings.program_folder, "_Quillorane", ".run");
  const std::string name = path.substr(path.rfind('/') + 1);
  MY_DownloadRecord record;
  record.URL = "http://" + settings.server_host + entry.file;
  record.FileName = path;
  record.MD5 = entry.md5;
  record.FileSize = entry.size;
  Transfer_Limits limits = settings.limits;
  limits.download_bytes = entry.size;
  int error = 0;
  bool good = Download_File(record, [this] { host_.Process_Messages(); }, limits);
  if (!good) why = "the download failed or its MD5 differs";
  if (good) good = Signed(path, entry.size, entry.signature, settings.public_key, why);
  if (good && !platform::Set_Mode_At(folder, name, 0755, error)) {
    why = "Cannot make " + path + " executable: " + platform::Error_Text(error);
    good = false;
  }
  if (!good) {
    platform::Remove_File_At(folder, name, error);
    path.clear();
  }
  return good;
}
