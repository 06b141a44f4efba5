// The advertisements: the table filled from the check's answer, banners cached whole in the
// user's cache folder under names checked to stay inside it, the rotation and the click.
#include <QString>

#include "common/global_functions.h"
#include "common/log.h"
#include "platform/folder_files.h"
#include "platform/safe_files.h"
#include "platform/trusted_folders.h"
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

bool Force_Folder(std::string path, std::string* reason) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.size() < 3) return true;
  const platform::Trusted_Folder made = platform::Open_Trusted_Folder(path, 0700);
  if (!made.folder.valid() && reason != nullptr) *reason = made.reason;
  return made.folder.valid();
}

bool Results_Server_Path(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (unsigned char c : path)
    if (c <= ' ' || c == 0x7f) return false;
  return true;
}

bool Plain_File_Name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

void Update_Checker::Fill_Ads(const std::string& list, const Update_Settings& settings, Check_Report* report) {
  std::vector<std::string> entries(kMaxAdEntries);
  const int last = Split_String(entries, list, "[BR]");
  std::string why;
  const platform::Descriptor folder = Open_Ads_Folder(settings.ads_folder, why);
  if (!folder.valid()) {
    Log("No advertisements: the banner folder cannot be used: " + why);
    return;
  }
  for (int k = 0; k <= last; ++k) Fill_Ad(k, entries[static_cast<std::size_t>(k)], settings, folder, report);
}

void Update_Checker::Fill_Ad(int index, const std::string& entry, const Update_Settings& settings,
                             const platform::Descriptor& folder, Check_Report* report) {
  std::vector<std::string> fields(kMaxAdFields);
  Split_String(fields, entry, ",");
  TMyAds& ad = MyAds[static_cast<std::size_t>(index)];
  ad.Number = fields[0];
  ad.ImageLink = fields[1];
  ad.MD5 = fields[2];
  const std::string query = "Id=" + ad.Number + "&Ver=" + settings.version + "&CompId=" + settings.computer_id;
  ad.Link = "http://" + settings.server_host + "/adclick.php?" + query;
  ad.View = "http://" + settings.server_host + "/adview.php?" + query;
  const std::string name = ad.Number + Right_Chars(ad.ImageLink, 4);
  ad.PhysicalFile = settings.ads_folder + name;

  // Out of the rotation while its banner may be replaced (downloads let timer ticks through).
  ad.Active = kNo;
  std::string why;
  if (!Plain_File_Name(name)) {
    why = "the file name \"" + name + "\" made from its number and image is not a plain name";
    Log("Advertisement \"" + ad.Number + "\" ignored: " + why);
  } else if (Same_Digest(platform::Regular_File_At(folder, name) ? MD5_Of_File(ad.PhysicalFile) : "", ad.MD5)) {
    ad.Active = kYes;
    why = "already cached";
  } else {
    ad.Active = Download_Banner(ad, name, settings, folder, why) ? kYes : kNo;
  }
  if (report != nullptr)
    report->ads.push_back("ad " + std::to_string(index) + ": number " + ad.Number + ", file " + ad.PhysicalFile + ", " +
                          (ad.Active == kYes ? "active (" : "inactive (") + why + ")");
}

bool Update_Checker::Download_Banner(const TMyAds& ad, const std::string& name, const Update_Settings& settings,
                                     const platform::Descriptor& folder, std::string& why) {
  if (!Results_Server_Path(ad.ImageLink)) {
    why = "its image \"" + ad.ImageLink + "\" is not a path on the results server";
    Log("Advertisement \"" + ad.Number + "\" ignored: " + why);
    return false;
  }
  // Fetched under a temporary name and put in place whole, so the cache never holds half a banner.
  const std::string temporary = Make_Unique_Name(settings.ads_folder, ".", ".part");
  const std::string temporary_name = temporary.substr(settings.ads_folder.size());
  MY_DownloadRecord record;
  record.URL = "http://" + settings.server_host + ad.ImageLink;
  record.FileName = temporary;
  record.MD5 = ad.MD5;
  Transfer_Limits limits = settings.limits;
  limits.download_bytes = kMaxBannerBytes;
  bool kept = Download_File(record, [this] { host_.Process_Messages(); }, limits);
  if (!kept) why = "download failed or its MD5 differs";
  else if (!(kept = platform::Commit_File_At(folder, temporary_name, name, why))) Log(why);
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
