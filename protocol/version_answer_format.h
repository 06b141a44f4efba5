// The answer of program_version3.php, the results server's reply to the program's version
// check: tagged values ("[VERSION]1.3.1[/VERSION]") in pieces cut by "[BR]". The first piece
// holds the version offered, the news page, the release notes and the ad list (its entries
// also cut by "[BR]", their fields by ","); every further piece offers one installer. The
// server writes it with Write_Version_Answer, the program reads it with Read_Answer_Tag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class Answer_Tag { Version, Messages, Release_Notes, Ads, File, Size, Md5, Target_File, Signature };

// Cuts the answer into its pieces and the ad list into its entries.
inline constexpr std::string_view kAnswerBreak = "[BR]";
// Cuts an ad entry into its number, banner path and banner MD5.
inline constexpr std::string_view kAdFieldSeparator = ",";

// The tag's name as it stands between the brackets: "VERSION", "TARGETFILE", ...
std::string_view Answer_Tag_Name(Answer_Tag tag);

// "[NAME]value[/NAME]".
std::string Write_Answer_Tag(Answer_Tag tag, std::string_view value);

// The value of the tag in text: what lies between its first opening tag and the first closing
// tag, both found without regard to letter case; empty when either is missing or the closing
// one comes first. Bytes that are not UTF-8 come back as U+FFFD, one for each.
std::string Read_Answer_Tag(Answer_Tag tag, std::string_view text);

// One advertisement: its number, the banner's path on the server ("/" first) and the MD5 of
// the banner's bytes.
struct Answer_Ad {
  std::string number;
  std::string path;
  std::string md5;
};

// One installer: its path on the server ("/" first), its size and MD5, what it installs, and
// the signature of the statement that binds it to the version, its platform and its target.
struct Answer_Installer {
  std::string path;
  std::int64_t size = 0;
  std::string md5;
  std::string target;
  std::string signature;
};

struct Version_Answer_Text {
  std::string version;
  std::string news_page;
  std::string release_notes;
  std::vector<Answer_Ad> ads;
  std::vector<Answer_Installer> installers;
};

// The answer as the server sends it.
std::string Write_Version_Answer(const Version_Answer_Text& answer);
