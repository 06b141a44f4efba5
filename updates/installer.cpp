// Installer entries of the check's answer. An installer is fetched only into a program folder
// that nobody else could have swapped, written through one descriptor while its MD5 and SHA-256
// are taken, checked against its MD5 and then against the operator's signature of the
// statement that binds it to the offered version, this platform and its target, and only then
// made executable and kept open, read-only, for its start. Anything short of that leaves no
// file behind.
#include <QCryptographicHash>
#include <QString>

#include <charconv>
#include <stdexcept>

#include "common/global_functions.h"
#include "common/plain_text.h"
#include "common/server.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/safe_files.h"
#include "platform/upgrade_files.h"
#include "protocol/version_answer_format.h"
#include "reporting/download.h"
#include "reporting/installer_statement.h"
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

// The program's folder, if installers may be stored there: it and every folder above it
// belong to root or to the program's owner and nobody else can change them, so no one could
// swap the verified installer or the folder it lies in.
platform::Descriptor Installer_Folder(const Update_Settings& settings, std::string& why) {
  uid_t owner = 0;
  int error = 0;
  if (!platform::File_Owner(settings.program_file, owner, error)) {
    why = "Cannot find the program file " + settings.program_file + ": " + platform::Error_Text(error);
    return {};
  }
  return platform::Open_Installer_Folder(settings.program_folder, owner, why);
}

// The installer as it arrives: written to its file, counted and hashed in one pass.
class Installer_Sink {
 public:
  explicit Installer_Sink(const platform::Descriptor& file)
      : file_(file), md5_(QCryptographicHash::Md5), sha256_(QCryptographicHash::Sha256) {}

  bool Write(const char* data, std::size_t n) {
    int error = 0;
    if (!platform::Write_All(file_.native(), std::string_view(data, n), error))
      throw std::runtime_error("Cannot write the installer: " + platform::Error_Text(error));
    md5_.addData(QByteArrayView(data, static_cast<qsizetype>(n)));
    sha256_.addData(QByteArrayView(data, static_cast<qsizetype>(n)));
    size_ += static_cast<std::int64_t>(n);
    return true;
  }

  std::int64_t Size() const { return size_; }
  std::string Md5() { return md5_.result().toHex().toStdString(); }
  std::string Sha256() { return sha256_.result().toHex().toStdString(); }

 private:
  const platform::Descriptor& file_;
  QCryptographicHash md5_;
  QCryptographicHash sha256_;
  std::int64_t size_ = 0;
};

bool Same_Digest(const std::string& a, const std::string& b) {
  return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

struct Update_Checker::Installer_Entry {
  std::string version;    // the version the answer offers, as sent
  std::string file;       // the installer's path on the results server
  std::int32_t size = 0;
  std::string md5;
  std::string target;     // what the installer installs; part of the signed statement
  std::string signature;  // Ed25519 of the statement, hexadecimal
};

void Update_Checker::Try_Installer(int piece_index, const std::string& piece, const std::string& version,
                                   const Update_Settings& settings, Check_Report* report, const std::stop_token& stop) {
  Installer_Entry entry;
  entry.version = version;
  entry.file = Read_Answer_Tag(Answer_Tag::File, piece);
  entry.size = Size_Value(Read_Answer_Tag(Answer_Tag::Size, piece));
  entry.md5 = Read_Answer_Tag(Answer_Tag::Md5, piece);
  entry.target = Read_Answer_Tag(Answer_Tag::Target_File, piece);
  entry.signature = Read_Answer_Tag(Answer_Tag::Signature, piece);
  if (entry.file.empty() || entry.size <= 0 || entry.md5.empty() || entry.target.empty()) return;

  std::string path, why;
  std::string line = "installer in piece " + std::to_string(piece_index) + ": ";
  if (Fetch_Installer(entry, settings, path, why, stop)) {
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
                                     std::string& why, const std::stop_token& stop) {
  // Nothing is fetched that could never be run.
  if (!Signature_Well_Formed(entry.signature)) {
    why = entry.signature.empty() ? "it has no [SIGNATURE]" : "its [SIGNATURE] is not 128 hexadecimal digits";
    return false;
  }
  if (entry.size > kMaxInstallerBytes) {
    why = "its [SIZE] " + std::to_string(entry.size) + " is over " + std::to_string(kMaxInstallerBytes) + " bytes";
    return false;
  }
  if (Has_Control_Character(entry.target)) {
    why = "its [TARGETFILE] holds a control character";
    return false;
  }
  const std::string server_path = Results_Server_Path(entry.file);
  if (server_path.empty()) {
    why = "\"" + entry.file + "\" is not a path on the results server";
    return false;
  }
  const platform::Descriptor folder = Installer_Folder(settings, why);
  if (!folder.valid()) return false;

  path = Make_Unique_Name(settings.program_folder, "_Quillorane", ".run");
  const std::string name = path.substr(path.rfind('/') + 1);
  int error = 0;
  platform::Descriptor file = platform::Create_Exclusive_At(folder, name, error);
  if (!file.valid()) {
    why = "Cannot create " + path + ": " + platform::Error_Text(error);
    path.clear();
    return false;
  }
  bool good = false;
  try {
    good = Verified_Installer(entry, settings, file, why, stop);
  } catch (const std::exception& failure) {
    why = failure.what();
  }
  if (good) {
    // The writer goes: a file still open for writing cannot be started.
    installer_ = platform::Reopen_Read_Only(file, error);
    if (!(good = installer_.valid())) why = "Cannot reopen " + path + " for reading: " + platform::Error_Text(error);
  }
  if (!good) {
    file = platform::Descriptor();
    platform::Remove_File_At(folder, name, error);
    path.clear();
  }
  return good;
}

bool Update_Checker::Verified_Installer(const Installer_Entry& entry, const Update_Settings& settings,
                                        const platform::Descriptor& file, std::string& why,
                                        const std::stop_token& stop) {
  Installer_Sink sink(file);
  Body_Download download;
  download.url = Server_Base(settings.server_host) + Results_Server_Path(entry.file);
  download.expected_bytes = entry.size;
  Transfer_Limits limits = settings.limits.installer;
  limits.download_bytes = entry.size;
  if (!Download_Into(download, [&](const char* data, std::size_t n) { return sink.Write(data, n); }, limits, stop,
                     why)) {
    why = "the download was not whole: " + why;
    return false;
  }
  if (sink.Size() != entry.size) {
    why = "it has " + std::to_string(sink.Size()) + " bytes, its [SIZE] says " + std::to_string(entry.size);
    return false;
  }
  if (!Same_Digest(sink.Md5(), entry.md5)) {
    why = "its MD5 differs from the [MD5]";
    return false;
  }
  const std::string statement = Installer_Statement({entry.version, settings.platform, entry.target, sink.Size(),
                                                     sink.Sha256()});
  if (!Verify_Signature(statement, entry.signature, settings.public_key, why)) {
    why = "its statement (version " + entry.version + ", " + settings.platform + ", " + entry.target +
          ") is not signed: " + why;
    return false;
  }
  int error = 0;
  if (!platform::Set_File_Mode(file, 0755, error)) {
    why = "Cannot make it executable: " + platform::Error_Text(error);
    return false;
  }
  return true;
}
