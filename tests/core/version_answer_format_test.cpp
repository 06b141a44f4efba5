// The version answer written as the results server writes it and read as the program reads
// it: the text on the wire, every value back out of it, and hostile answers read exactly as
// the program's general tag reader reads them (and as it always read the answer).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/global_functions.h"
#include "protocol/version_answer_format.h"
#include "updates/update_checker.h"

namespace {

const Answer_Tag kAllTags[] = {Answer_Tag::Version, Answer_Tag::Messages,    Answer_Tag::Release_Notes,
                               Answer_Tag::Ads,     Answer_Tag::File,        Answer_Tag::Size,
                               Answer_Tag::Md5,     Answer_Tag::Target_File, Answer_Tag::Signature};

Version_Answer_Text Offer() {
  return {"1.3.1",
          "https://news.example/1.3.1",
          "notes",
          {{"1", "/ads/banner-1.png", "0cc175b9c0f1b6a831c399e269772661"}, {"2", "/ads/b.gif", "92eb5ffee6ae2fec"}},
          {{"/installers/setup.run", 4096, "d41d8cd98f00b204e9800998ecf8427e", "platterscope", "ab12"},
           {"/installers/arm.run", 17, "c4ca4238a0b923820dcc509a6f75849b", "platterscope-arm", "cd34"}}};
}

std::vector<std::string> Cut(const std::string& text, std::string_view separator, std::size_t most) {
  std::vector<std::string> parts(most);
  parts.resize(static_cast<std::size_t>(Split_String(parts, text, std::string(separator)) + 1));
  return parts;
}

}  // namespace

TEST(Version_Answer_Format, TheServersAnswerIsTheWireFormatAndEveryValueReadsBack) {
  const Version_Answer_Text offer = Offer();
  const std::string text = Write_Version_Answer(offer);
  EXPECT_EQ(text,
            "[VERSION]1.3.1[/VERSION][MESSAGES]https://news.example/1.3.1[/MESSAGES][RELEASENOTES]notes[/RELEASENOTES]"
            "[ADS]1,/ads/banner-1.png,0cc175b9c0f1b6a831c399e269772661[BR]2,/ads/b.gif,92eb5ffee6ae2fec[/ADS]"
            "[BR][FILE]/installers/setup.run[/FILE][SIZE]4096[/SIZE][MD5]d41d8cd98f00b204e9800998ecf8427e[/MD5]"
            "[TARGETFILE]platterscope[/TARGETFILE][SIGNATURE]ab12[/SIGNATURE]"
            "[BR][FILE]/installers/arm.run[/FILE][SIZE]17[/SIZE][MD5]c4ca4238a0b923820dcc509a6f75849b[/MD5]"
            "[TARGETFILE]platterscope-arm[/TARGETFILE][SIGNATURE]cd34[/SIGNATURE]");

  EXPECT_EQ(Read_Answer_Tag(Answer_Tag::Version, text), offer.version);
  EXPECT_EQ(Read_Answer_Tag(Answer_Tag::Messages, text), offer.news_page);
  EXPECT_EQ(Read_Answer_Tag(Answer_Tag::Release_Notes, text), offer.release_notes);
  const std::vector<std::string> ads = Cut(Read_Answer_Tag(Answer_Tag::Ads, text), kAnswerBreak, kMaxAdEntries);
  ASSERT_EQ(ads.size(), offer.ads.size());
  for (std::size_t k = 0; k < ads.size(); ++k) {
    const std::vector<std::string> fields = Cut(ads[k], kAdFieldSeparator, kMaxAdFields);
    EXPECT_EQ(fields, (std::vector<std::string>{offer.ads[k].number, offer.ads[k].path, offer.ads[k].md5}));
  }
  const std::vector<std::string> pieces = Cut(text, kAnswerBreak, kMaxAnswerPieces);
  // The head, the second ad (the list is cut too, as the program always cut it), the installers.
  ASSERT_EQ(pieces.size(), 2 + offer.installers.size());
  for (std::size_t k = 0; k < offer.installers.size(); ++k) {
    const std::string& piece = pieces[k + 2];
    const Answer_Installer& installer = offer.installers[k];
    EXPECT_EQ(Read_Answer_Tag(Answer_Tag::File, piece), installer.path);
    EXPECT_EQ(Read_Answer_Tag(Answer_Tag::Size, piece), std::to_string(installer.size));
    EXPECT_EQ(Read_Answer_Tag(Answer_Tag::Md5, piece), installer.md5);
    EXPECT_EQ(Read_Answer_Tag(Answer_Tag::Target_File, piece), installer.target);
    EXPECT_EQ(Read_Answer_Tag(Answer_Tag::Signature, piece), installer.signature);
  }
  EXPECT_EQ(Write_Version_Answer({}), "[VERSION][/VERSION][MESSAGES][/MESSAGES][RELEASENOTES][/RELEASENOTES][ADS][/ADS]");
}

// Whatever version a server is made to offer, the program reads back what was written and
// takes only a version: a few numbers joined by dots.
TEST(Version_Answer_Format, AnOfferedVersionReadsBackAndOnlyAVersionIsTaken) {
  const std::pair<std::string, bool> offers[] = {
      {"1.3.1", true},        {"0.0.0.1", true},     {"1.0 ", false},       {"1..4", false},
      {"[VERSION]9.9", false}, {"1.0\r\nok: 2.0", false}, {"1.2.3.4.5", false}, {"-1", false},
  };
  for (const auto& [version, taken] : offers) {
    SCOPED_TRACE(version);
    Version_Answer_Text offer = Offer();
    offer.version = version;
    const std::string read = Read_Answer_Tag(Answer_Tag::Version, Write_Version_Answer(offer));
    std::vector<std::uint32_t> parts;
    EXPECT_EQ(Parse_Version(read, parts), taken) << read;
    if (taken) EXPECT_EQ(read, version);
  }
}

TEST(Version_Answer_Format, HostileAnswersReadAsTheProgramAlwaysReadThem) {
  const std::string hostile[] = {
      "",
      "[VERSION]",
      "[/VERSION]1.0[VERSION]",
      "[version]1.0[/Version]",
      "[VERSION][VERSION]2.0[/VERSION][/VERSION]",
      "[VERSION]1.0\r\nok: 2.0[/VERSION]",
      std::string("[VERSION]1.0\0 2.0[/VERSION]", 27),
      "[VERſION]9.9.9[/VERSION]",                       // a long s spells an s
      "[VERSION]9.9[/VERſION]",
      "[FILE]/a\xE2\x84\xAA[/FILE]",                   // a Kelvin sign in a value
      "[SİGNATURE]x[/SIGNATURE][sıgnature]y[/sıgnature]",  // dotted and dotless i are no i
      "[MD5]\xFF\xFE[/MD5]",                           // not UTF-8
      "[MD5]\xC0\xAF/\xED\xA0\x80[/MD5]",               // overlong, surrogate
      "[MD5]\xF4\x90\x80\x80|\xF0\x9F\x98\x80[/MD5]",   // above U+10FFFF, an emoji
      "[MD5]a\xE2\x84[/MD5]",                          // cut short
      "[MD5]a[/MD5]\xE2\x84",
      "\xEF\xBB\xBF[TARGETFILE]t[/TARGETFILE]",          // a byte order mark first
      "[SIZE] 12 [/SIZE][SIZE]13[/SIZE]",
      "[ADS]1,/a.png,x[BR]2[/ADS][/ADS]",
      "[RELEASENOTES]\x1b[2J[/RELEASENOTES]",
  };
  for (const std::string& text : hostile) {
    for (const Answer_Tag tag : kAllTags) {
      const std::string name(Answer_Tag_Name(tag));
      SCOPED_TRACE(name + " in \"" + text + "\"");
      EXPECT_EQ(Read_Answer_Tag(tag, text), Get_Tag_Value("[" + name + "]", "[/" + name + "]", text));
    }
  }
}
