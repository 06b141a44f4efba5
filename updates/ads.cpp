// The advertisements: the table filled from the check's answer, banners cached whole in the
// user's cache folder under names checked to stay inside it, only pictures of the four
// formats the banner shows, the rotation and the click.
#include <QString>

#include "common/global_functions.h"
#include "common/log.h"
#include "common/plain_text.h"
#include "common/server.h"
#include "platform/folder_files.h"
#include "platform/safe_files.h"
#include "platform/trusted_folders.h"
#include "protocol/version_answer_format.h"
#include "reporting/download.h"
#include "reporting/transfer_helpers.h"
#include "updates/update_checker.h"

namespace {

// The marks of Active and Displayed.
const std::string kYes = "1";
const std::string kNo = "0";

bool Same_Digest(const std::string& a, const std::string& b) {
  return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// Whether the file name of folder starts as a picture the banner may show does.
bool Cached_Picture(const platform::Descriptor& folder, const std::string& name) {
  std::string first;
  int error = 0;
  return platform::Read_File_At(folder, name, first, error, 8) && Banner_Picture(first);
}

// Whether the ad's banner is cached under name: its digest matches (a missing file counts as
// the empty digest) and a file there is a picture.
bool Already_Cached(const platform::Descriptor& folder, const std::string& name, const TMyAds& ad) {
  const bool cached = platform::Regular_File_At(folder, name);
  return Same_Digest(cached ? MD5_Of_File(ad.PhysicalFile) : "", ad.MD5) && (!cached || Cached_Picture(folder, name));
}

// The banner folder, made when missing; only a folder that no other user can change, reached
// through folders of the user's or root's.
platform::Descriptor Open_Ads_Folder(const std::string& path, std::string& why) {
  if (path.empty()) {
    why = "no home folder is known";
    return {};
  }
  platform::Trusted_Folder opened = platform::Open_Trusted_Folder(path, 0700);
  why = opened.reason;
  return std::move(opened.folder);
}

}  // namespace

std::string Ads_Folder() {
  std::string note;
  const std::string cache = platform::User_Cache_Folder(&note);
  if (!note.empty()) Write_Log("Banner cache: " + note);
  return cache.empty() ? std::string() : cache + "/Quillorane/ADS/";
}

std::string Results_Server_Path(const std::string& path) {
  if (path.empty()) return {};
  const std::string rooted = path[0] == '/' ? path : "/" + path;
  if (rooted.compare(0, 2, "//") == 0) return {};
  for (unsigned char c : rooted)
    if (c <= ' ' || c == 0x7f || c == '\\') return {};
  return rooted;
}

bool Banner_Picture(const std::string& first_bytes) {
  static const std::string kSignatures[] = {"\x89PNG\r\n\x1a\n", "\xff\xd8\xff", "GIF87a", "GIF89a", "BM"};
  for (const std::string& signature : kSignatures)
    if (first_bytes.compare(0, signature.size(), signature) == 0) return true;
  return false;
}

bool Plain_File_Name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

void Update_Checker::Fill_Ads(const std::string& list, const Update_Settings& settings, Check_Report* report,
                              const std::stop_token& stop) {
  std::vector<std::string> entries(kMaxAdEntries);
  const int last = Split_String(entries, list, std::string(kAnswerBreak));
  std::string why;
  const platform::Descriptor folder = Open_Ads_Folder(settings.ads_folder, why);
  if (!folder.valid()) {
    Log("No advertisements: the banner folder cannot be used: " + why);
    return;
  }
  for (int k = 0; k <= last; ++k) Fill_Ad(k, entries[static_cast<std::size_t>(k)], settings, folder, report, stop);
}

void Update_Checker::Fill_Ad(int index, const std::string& entry, const Update_Settings& settings,
                             const platform::Descriptor& folder, Check_Report* report, const std::stop_token& stop) {
  std::vector<std::string> fields(kMaxAdFields);
  Split_String(fields, entry, std::string(kAdFieldSeparator));
  TMyAds& ad = MyAds[static_cast<std::size_t>(index)];
  ad.Number = fields[0];
  ad.ImageLink = fields[1];
  ad.MD5 = fields[2];
  const std::string query = "Id=" + Query_Value(ad.Number) + "&Ver=" + Query_Value(settings.version) +
                            "&CompId=" + Query_Value(settings.computer_id);
  ad.Link = Server_Base(settings.server_host) + "/adclick.php?" + query;
  ad.View = Server_Base(settings.server_host) + "/adview.php?" + query;
  const std::string name = ad.Number + Right_Chars(ad.ImageLink, 4);
  ad.PhysicalFile = settings.ads_folder + name;

  // Out of the rotation while its banner may be replaced.
  ad.Active = kNo;
  std::string why;
  if (Has_Control_Character(ad.Number)) {
    why = "its number holds a control character";
    Log("Advertisement \"" + ad.Number + "\" ignored: " + why);
  } else if (!Plain_File_Name(name)) {
    why = "the file name \"" + name + "\" made from its number and image is not a plain name";
    Log("Advertisement \"" + ad.Number + "\" ignored: " + why);
  } else if (Already_Cached(folder, name, ad)) {
    ad.Active = kYes;
    why = "already cached";
  } else {
    ad.Active = Download_Banner(ad, name, settings, folder, why, stop) ? kYes : kNo;
  }
  if (report != nullptr)
    report->ads.push_back("ad " + std::to_string(index) + ": number " + ad.Number + ", file " + ad.PhysicalFile + ", " +
                          (ad.Active == kYes ? "active (" : "inactive (") + why + ")");
}

bool Update_Checker::Download_Banner(const TMyAds& ad, const std::string& name, const Update_Settings& settings,
                                     const platform::Descriptor& folder, std::string& why,
                                     const std::stop_token& stop) {
  const std::string server_path = Results_Server_Path(ad.ImageLink);
  if (server_path.empty()) {
    why = "its image \"" + ad.ImageLink + "\" is not a path on the results server";
    Log("Advertisement \"" + ad.Number + "\" ignored: " + why);
    return false;
  }
  // Fetched under a temporary name and put in place whole, so the cache never holds half a banner.
  const std::string temporary = Make_Unique_Name(settings.ads_folder, ".", ".part");
  const std::string temporary_name = temporary.substr(settings.ads_folder.size());
  MY_DownloadRecord record;
  record.URL = Server_Base(settings.server_host) + server_path;
  record.FileName = temporary;
  record.MD5 = ad.MD5;
  Transfer_Limits limits = settings.limits.banner;
  limits.download_bytes = kMaxBannerBytes;
  bool kept = Download_File(record, {}, limits, stop);
  if (!kept) {
    why = "download failed or its MD5 differs";
  } else if (!Cached_Picture(folder, temporary_name)) {
    why = "it is not a PNG, JPEG, GIF or BMP picture";
    Log("Advertisement \"" + ad.Number + "\" ignored: " + why);
    kept = false;
  } else if (!(kept = platform::Commit_File_At(folder, temporary_name, name, why))) {
    Log(why);
  }
  int error = 0;
  if (!kept) platform::Remove_File_At(folder, temporary_name, error);
  else why = "downloaded";
  return kept;
}

void Update_Checker::Display_Ads() {
  // Every mark goes, so that a click never opens an ad that is no longer on the banner.
  for (TMyAds& ad : MyAds)
    if (ad.Active == kYes || ad.Displayed == kYes) ad.Displayed = kNo;
  for (;;) {
    int candidate = -1;
    for (int k = 0; k <= kLastAd; ++k) {
      const TMyAds& ad = MyAds[static_cast<std::size_t>(k)];
      if (ad.Active != kYes) continue;
      if (candidate < 0 || ad.Impressions < MyAds[static_cast<std::size_t>(candidate)].Impressions) candidate = k;
    }
    if (candidate < 0) {
      host_.Hide_Banner();
      return;
    }
    TMyAds& chosen = MyAds[static_cast<std::size_t>(candidate)];
    std::string why;
    if (host_.Show_Banner(chosen.PhysicalFile, why)) {
      ++chosen.Impressions;
      chosen.Displayed = kYes;
      return;
    }
    // Logged once: the ad stays out of the rotation until a later check finds it cached again.
    chosen.Active = kNo;
    Log("Advertisement \"" + chosen.Number + "\" taken out of the rotation: " + why);
  }
}

void Update_Checker::Image1Click() {
  for (TMyAds& ad : MyAds) {
    if (ad.Displayed != kYes) continue;
    if (host_.Open_URL(ad.Link)) ++ad.Clicks;
    return;
  }
}
