// vCard 4.0 cards as a mail program, a cloud server and a phone write them,
// converted for both targets: the exact lines each writes, and what the
// report tells.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "memory_convert.h"
#include "param_names.h"
#include "rules/dates.h"
#include "test_support.h"
#include "vcard_report.h"

namespace {

using testsupport::PrintTo;
using vcard::Target;

// The text of the one file written for target, UTF-8 with LF line ends.
std::string writtenText(const std::string& source, Target target,
                        vcard::ConversionReport* report = nullptr) {
  enginetest::Converted converted = enginetest::convert(source, target);
  if (report != nullptr) *report = std::move(converted.report);
  if (converted.texts.size() != 1) {
    std::string count = "<";
    count.append(std::to_string(converted.texts.size())).append(" files>");
    return count;
  }
  std::string_view text = converted.texts[0];
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::string joined;
  for (std::size_t start = 0;;) {
    const std::size_t at = text.find("\r\n", start);
    joined.append(text.substr(start, at - start)).push_back('\n');
    if (at == std::string_view::npos) break;
    start = at + 2;
  }
  return joined;
}

std::string card4(std::string_view body) {
  std::string text = "BEGIN:VCARD\r\nVERSION:4.0\r\n";
  for (const char c : body) {
    if (c == '\n') text += '\r';
    text += c;
  }
  return text + "END:VCARD\r\n";
}

struct Case {
  std::string_view name;
  std::string_view body;    // the 4.0 card's lines between VERSION and END, LF ended
  std::string_view iphone;  // the iPhone form's lines, LF ended
  std::string_view icloud;  // the iCloud.com form's lines, LF ended
};

const Case kCases[] = {
    {"MailProgram",
     "FN:山田 太郎\nN:山田;太郎;;;\nEMAIL;TYPE=work:taro@example.com\n"
     "TEL;VALUE=uri;TYPE=\"cell,voice\";PREF=1:tel:+81-3-1234-5678\n"
     "ADR;TYPE=home;LABEL=\"東京都\\n千代田区\":;;千代田1-1;千代田区;東京都;100-0001;日本\n"
     "BDAY:19850415\n",
     "BEGIN:VCARD\nVERSION:3.0\nN:山田;太郎;;;\nEMAIL;TYPE=WORK:taro@example.com\n"
     "TEL;TYPE=cell;TYPE=voice;TYPE=PREF:+81-3-1234-5678\n"
     "ADR;TYPE=HOME:;;千代田1-1;千代田区;東京都;100-0001;日本\nBDAY:1985-04-15\nEND:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:山田太郎\nN:山田;太郎;;;\nEMAIL;TYPE=WORK:taro@example.com\n"
     "TEL;TYPE=cell;TYPE=voice;TYPE=PREF:+81-3-1234-5678\n"
     "ADR;TYPE=HOME:;;千代田1-1;千代田区;東京都;100-0001;日本\nBDAY:1985-04-15\nEND:VCARD\n\n"},
    {"CloudServer",
     "UID:urn:uuid:1\nFN:山田 花子\nN;SORT-AS=\"ﾔﾏﾀﾞ,ハナコ\":山田;花子;;;\n"
     "EMAIL;TYPE=\"home,internet\";PREF=1;PID=1.1:hanako@example.com\n"
     "TEL;TYPE=work,voice;PID=2.1:03-1234-5678\nBDAY:--0415\nGENDER:F\n"
     "CLIENTPIDMAP:1;urn:uuid:3\n",
     "BEGIN:VCARD\nVERSION:3.0\nN:山田;花子;;;\nEMAIL;TYPE=HOME:hanako@example.com\n"
     "TEL;TYPE=work;TYPE=voice:03-1234-5678\nBDAY;X-APPLE-OMIT-YEAR=1604:1604-04-15\n"
     "X-PHONETIC-LAST-NAME:ヤマダ\nX-PHONETIC-FIRST-NAME:ハナコ\nEND:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:山田花子\nN:山田;花子;;;\nEMAIL;TYPE=HOME:hanako@example.com\n"
     "TEL;TYPE=work;TYPE=voice:03-1234-5678\nBDAY;X-APPLE-OMIT-YEAR=1604:1604-04-15\n"
     "X-PHONETIC-LAST-NAME:ヤマダ\nX-PHONETIC-FIRST-NAME:ハナコ\nEND:VCARD\n\n"},
    // A phone writes the reading with ";" and a tel: value without VALUE=uri;
    // a reading of the card's own wins over SORT-AS.
    {"Phone",
     "N;ALTID=1;LANGUAGE=en:Yamada;Ichiro;;;\n"
     "N;ALTID=1;LANGUAGE=ja;SORT-AS=\"やまだ;いちろう\":山田;一郎;;;\n"
     "TEL;TYPE=HOME:tel:1\nPHOTO:data:image/png;base64,iVBO\n Rw0KGgo=\n"
     "X-PHONETIC-FIRST-NAME:イチロウ\n",
     "BEGIN:VCARD\nVERSION:3.0\nN:山田;一郎;;;\nTEL;TYPE=HOME:1\n"
     "PHOTO;ENCODING=b;TYPE=PNG:iVBO\n Rw0KGgo=\nX-PHONETIC-FIRST-NAME:イチロウ\nEND:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:山田一郎\nN:山田;一郎;;;\nTEL;TYPE=HOME:1\n"
     "PHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgo=\nX-PHONETIC-FIRST-NAME:イチロウ\nEND:VCARD\n\n"},
    // A tel: URI's extension follows a pause, in either letter case, up to
    // the next parameter; other parameters go.
    {"TelephoneExtensions",
     "N:A;B;;;\nTEL;VALUE=uri;TYPE=work:tel:+81-3-1234-5678;ext=102;phone-context=example.com\n"
     "TEL;VALUE=uri:tel:03-1111-2222;EXT=9\nTEL:tel:5;x=1\n",
     "BEGIN:VCARD\nVERSION:3.0\nN:A;B;;;\nTEL;TYPE=work:+81-3-1234-5678,102\n"
     "TEL:03-1111-2222,9\nTEL:5\nEND:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B;;;\nTEL;TYPE=work:+81-3-1234-5678,102\n"
     "TEL:03-1111-2222,9\nTEL:5\nEND:VCARD\n\n"},
    // Of an ALTID set the Japanese one is written: Hangul (ㄱ, U+3131) is not
    // Japanese, though its UTF-8 starts as kana do.
    {"AlternativesJapaneseNotHangul", "N;ALTID=1;LANGUAGE=ko:ㄱ;ㄴ;;;\nN;ALTID=1:山田;花子;;;\n",
     "BEGIN:VCARD\nVERSION:3.0\nN:山田;花子;;;\nEND:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:山田花子\nN:山田;花子;;;\nEND:VCARD\n\n"},
    // A photo by address is only counted: the next of its ALTID set is
    // still taken.
    {"PhotoByAddressThenData",
     "N:A;B;;;\nPHOTO;ALTID=1:https://example.com/a.jpg\n"
     "PHOTO;ALTID=1;MEDIATYPE=image/png:data:image/png;base64,iVBORw0KGgo=\n",
     "BEGIN:VCARD\nVERSION:3.0\nN:A;B;;;\nPHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgo=\nEND:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B;;;\nPHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgo=\n"
     "END:VCARD\n\n"},
    // Servers that escape a data URI's separators as text; the media type in
    // any letter case.
    {"DataPhotosWithEscapedSeparators",
     "N:A;B;;;\nPHOTO:data:image/png;base64\\,iVBORw0KGgo=\n"
     "PHOTO:DATA:image/JPEG\\;base64\\,/9j/4AAQ\n",
     "BEGIN:VCARD\nVERSION:3.0\nN:A;B;;;\nPHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgo=\n"
     "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQ\nEND:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B;;;\nPHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgo=\n"
     "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQ\nEND:VCARD\n\n"},
    // The company's reading from its sort order, the company's part only; a
    // reading of the card's own wins.
    {"CompanyReadingFromSortAs",
     "N:A;B;;;\nORG;TYPE=WORK;SORT-AS=\"ぐーぐる;けんさくぶもん\":グーグル;検索部門\n",
     "BEGIN:VCARD\nVERSION:3.0\nN:A;B;;;\nORG;TYPE=WORK:グーグル;検索部門\nX-PHONETIC-ORG:"
     "ぐーぐる\n"
     "END:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B;;;\nORG;TYPE=WORK:グーグル;検索部門\n"
     "X-PHONETIC-ORG:ぐーぐる\nEND:VCARD\n\n"},
    {"CompanyReadingOfTheCardsOwn",
     "N:A;B;;;\nORG;SORT-AS=\"ｶﾌﾞｼｷ\":株式;部\nX-PHONETIC-ORG:レイ\n",
     "BEGIN:VCARD\nVERSION:3.0\nN:A;B;;;\nORG:株式;部\nX-PHONETIC-ORG:レイ\nEND:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B;;;\nORG:株式;部\nX-PHONETIC-ORG:レイ\nEND:VCARD\n\n"},
    {"CompanyReadingInHalfWidthKana", "N:A;B;;;\nORG;SORT-AS=ｶﾌﾞｼｷ,ｴｲｷﾞｮｳ:株式;営業\n",
     "BEGIN:VCARD\nVERSION:3.0\nN:A;B;;;\nORG:株式;営業\nX-PHONETIC-ORG:カブシキ\nEND:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:A B\nN:A;B;;;\nORG:株式;営業\nX-PHONETIC-ORG:カブシキ\n"
     "END:VCARD\n\n"},
    {"OrganisationWithTextBirthday",
     "KIND:org\nFN:例株式会社\nORG:例株式会社;;\nBDAY;VALUE=text:circa 1800\n"
     "NOTE:創業\\, 老舗\nURL;PREF=1:https://example.com/\nBDAY;ALTID=2:20010101\n"
     "BDAY;ALTID=2;VALUE=text:2001\n",
     "BEGIN:VCARD\nVERSION:3.0\nORG:例株式会社;;\nNOTE:創業\\, 老舗\\n誕生日：circa 1800\n"
     "URL;TYPE=PREF:https://example.com/\nBDAY:2001-01-01\nX-ABShowAs:COMPANY\n"
     "N:例株式会社;;;;\nEND:VCARD\n\n",
     "BEGIN:VCARD\nVERSION:3.0\nFN:例株式会社\nORG:例株式会社;;\n"
     "NOTE:創業\\, 老舗\\n誕生日：circa 1800\nURL;TYPE=PREF:https://example.com/\n"
     "BDAY:2001-01-01\nX-ABShowAs:COMPANY\nN:例株式会社;;;;\nEND:VCARD\n\n"},
};

class Version4Test : public testing::TestWithParam<Case> {};

TEST_P(Version4Test, WritesTheTargetsLines) {
  const Case& c = GetParam();
  EXPECT_EQ(writtenText(card4(c.body), Target::IPhone), c.iphone);
  EXPECT_EQ(writtenText(card4(c.body), Target::ICloud), c.icloud);
}

INSTANTIATE_TEST_SUITE_P(Cards, Version4Test, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& param) {
                           return std::string(param.param.name);
                         });

TEST(Version4ReportTest, TellsGroupsAndWebPhotosAndCountsWhatIsDropped) {
  const std::string source = card4("FN:友人\nKIND:group\nMEMBER:urn:uuid:1\n") +
                             card4(
                                 "N:A;B;;;\nKIND:individual\nGENDER:M\nLANG:ja\n"
                                 "PHOTO;MEDIATYPE=image/jpeg:https://example.com/a.jpg\n");
  for (const Target target : {Target::IPhone, Target::ICloud}) {
    vcard::ConversionReport report;
    EXPECT_EQ(writtenText(source, target, &report),
              std::string("BEGIN:VCARD\nVERSION:3.0\n") +
                  (target == Target::ICloud ? "FN:A B\n" : "") + "N:A;B;;;\nEND:VCARD\n\n");
    ASSERT_EQ(report.skipped.size(), 1U);
    EXPECT_EQ(report.skipped[0].position, 1U);
    EXPECT_EQ(report.skipped[0].name, "友人");
    EXPECT_EQ(report.skipped[0].reason, vcard::SkipReason::ContactGroup);
    EXPECT_EQ(vcard::skipReasonText(report.skipped[0]),
              "連絡先グループのため書き出していません（KIND:group）");
    EXPECT_EQ(report.photosByAddress, 1U);
    std::vector<std::string> dropped;
    for (const vcard::DroppedProperty& property : report.dropped)
      dropped.push_back(property.name + " " + std::to_string(property.count));
    EXPECT_EQ(dropped, (std::vector<std::string>{"KIND 1", "GENDER 1", "LANG 1"}));
    EXPECT_NE(vcard::reportText(report).find(
                  "ウェブ上の写真（アドレスだけのもの）は取り込めないため、書き出していません：1"),
              std::string::npos);
  }
}

struct DateCase {
  std::string_view value;
  std::string_view written;  // "" when no date is read
  bool omitsYear;
};

const DateCase kDates[] = {
    {"19850415", "1985-04-15", false},
    {"1985-04-15", "1985-04-15", false},
    {" 1985-04-15T10:00:00Z", "1985-04-15", false},
    {"19850415T100000", "1985-04-15", false},
    {"--0415", "1604-04-15", true},
    {"--04-15", "1604-04-15", true},
    {"--0229", "1604-02-29", true},
    {"16040415", "1604-04-15", true},
    {"1604-04-15T10:00:00+09:00", "1604-04-15", true},
    {"1985-04", "", false},
    {"---15", "", false},
    {"circa 1800", "", false},
    {"19851315", "", false},
    {"1985-04-31", "", false},
    {"1985/04/15", "", false},
    {"", "", false},
};

TEST(TargetDateTest, ReadsTheFormsOfVersion4) {
  for (const DateCase& c : kDates) {
    const auto date = vcard::detail::targetDate(c.value);
    if (c.written.empty()) {
      EXPECT_FALSE(date.has_value()) << c.value;
      continue;
    }
    ASSERT_TRUE(date.has_value()) << c.value;
    EXPECT_EQ(date->value, c.written) << c.value;
    EXPECT_EQ(date->omitsYear, c.omitsYear) << c.value;
  }
}

}  // namespace
