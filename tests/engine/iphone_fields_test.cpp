// Related names, dates, chat accounts, the company's reading, the card
// picture and LABEL addresses, as each address book writes them, arrive as
// an iPhone's own export holds them, in both targets; what has no place in
// an iPhone contact is still left out and told.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "memory_convert.h"
#include "param_names.h"
#include "platform.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

struct FieldCase {
  std::string_view name;
  std::string_view version;
  std::string_view lines;         // the card's properties after N, CR LF ended
  std::string_view iphone;        // what follows N in the iPhone form, LF ended
  std::string_view icloud;        // the same in the iCloud.com form; "=" when equal
  std::string_view dropped = "";  // the report's left-out properties: "NAME×count ..."
};

const FieldCase kFieldCases[] = {
    // A quoted parameter value of 3.0 and 4.0 may hold ":" and ";": the value
    // starts after the first ":" outside quotes.
    {"QuotedColonInAddressParameters", "3.0",
     "ADR;GEO=\"geo:51.5237,0.1585\";LABEL=\"Mr Holmes, 221B Baker Street\":;;221B Baker "
     "Street;London;;NW1;United Kingdom\r\n",
     "item1.ADR:;;221B Baker Street;London;;NW1;United Kingdom\nitem1.X-ABLabel:_$!<Other>!$_\n",
     "="},
    {"QuotedColonsInVersion4Parameters", "4.0",
     "TEL;VALUE=uri;X-A=\"x:y\";TYPE=\"work,voice\":tel:+1-555-0100\r\n"
     "EMAIL;PID=\"1:a\";TYPE=home:s@h.uk\r\n",
     "TEL;X-A=\"x:y\";TYPE=work;TYPE=voice:+1-555-0100\nEMAIL;TYPE=HOME:s@h.uk\n", "="},
    // Related names.
    {"EvolutionSpouse", "3.0", "X-EVOLUTION-SPOUSE:Maria\r\n",
     "item1.X-ABRELATEDNAMES:Maria\nitem1.X-ABLabel:_$!<Spouse>!$_\n", "="},
    {"EvolutionManagerAndAssistant", "2.1",
     "X-EVOLUTION-MANAGER:Big Blue\r\nX-EVOLUTION-ASSISTANT:Little Red\r\n",
     "item1.X-ABRELATEDNAMES:Big Blue\nitem1.X-ABLabel:_$!<Manager>!$_\n"
     "item2.X-ABRELATEDNAMES:Little Red\nitem2.X-ABLabel:_$!<Assistant>!$_\n",
     "="},
    // 山田 in UTF-8, quoted-printable.
    {"OutlookManagerQuotedPrintable", "2.1",
     "X-MS-MANAGER;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=B1=B1=E7=94=B0\r\n",
     "item1.X-ABRELATEDNAMES:山田\nitem1.X-ABLabel:_$!<Manager>!$_\n", "="},
    {"OutlookSpouseAndAssistant", "2.1", "X-MS-SPOUSE:Jane\r\nX-MS-ASSISTANT:Jenny\r\n",
     "item1.X-ABRELATEDNAMES:Jane\nitem1.X-ABLabel:_$!<Spouse>!$_\n"
     "item2.X-ABRELATEDNAMES:Jenny\nitem2.X-ABLabel:_$!<Assistant>!$_\n",
     "="},
    {"KAddressBookNamesFoldHalfWidthKana", "3.0",
     "X-KADDRESSBOOK-X-AssistantsName:ﾀﾅｶ\r\nX-KADDRESSBOOK-X-ManagersName:Mr. Burns\r\n"
     "X-KADDRESSBOOK-X-SpousesName:Marge; Simpson\r\n",
     "item1.X-ABRELATEDNAMES:タナカ\nitem1.X-ABLabel:_$!<Assistant>!$_\n"
     "item2.X-ABRELATEDNAMES:Mr. Burns\nitem2.X-ABLabel:_$!<Manager>!$_\n"
     "item3.X-ABRELATEDNAMES:Marge; Simpson\nitem3.X-ABLabel:_$!<Spouse>!$_\n",
     "item1.X-ABRELATEDNAMES:タナカ\nitem1.X-ABLabel:_$!<Assistant>!$_\n"
     "item2.X-ABRELATEDNAMES:Mr. Burns\nitem2.X-ABLabel:_$!<Manager>!$_\n"
     "item3.X-ABRELATEDNAMES:Marge\\; Simpson\nitem3.X-ABLabel:_$!<Spouse>!$_\n"},
    {"RelatedTypesAsLabels", "3.0",
     "RELATED;TYPE=friend;VALUE=text:Bob\r\nRELATED;TYPE=sibling:Ann Lee\r\n"
     "RELATED;TYPE=\"contact,parent\":Dr. Who: dentist\r\nRELATED;TYPE=child:Kid\r\n"
     "RELATED;TYPE=partner:Pat\r\nRELATED;TYPE=co-worker:Sam\r\n",
     "item1.X-ABRELATEDNAMES:Bob\nitem1.X-ABLabel:_$!<Friend>!$_\n"
     "item2.X-ABRELATEDNAMES:Ann Lee\nitem2.X-ABLabel:_$!<Sibling>!$_\n"
     "item3.X-ABRELATEDNAMES:Dr. Who: dentist\nitem3.X-ABLabel:_$!<Parent>!$_\n"
     "item4.X-ABRELATEDNAMES:Kid\nitem4.X-ABLabel:_$!<Child>!$_\n"
     "item5.X-ABRELATEDNAMES:Pat\nitem5.X-ABLabel:_$!<Partner>!$_\n"
     "item6.X-ABRELATEDNAMES:Sam\nitem6.X-ABLabel:_$!<Other>!$_\n",
     "="},
    {"RelatedByURIIsLeftOut", "3.0",
     "RELATED;TYPE=spouse:urn:uuid:03a0e51f\r\nRELATED;VALUE=uri:Bob\r\n", "", "=", "RELATED×2"},
    {"GroupedRelatedNameKeepsItsLabel", "3.0",
     "item4.X-ABRELATEDNAMES;type=pref:Jenny\r\nitem4.X-ABLabel:_$!<Spouse>!$_\r\n",
     "item1.X-ABRELATEDNAMES;type=pref:Jenny\nitem1.X-ABLabel:_$!<Spouse>!$_\n", "="},
    {"GroupedSpouseTakesTheSourceLabel", "3.0",
     "item7.X-MS-SPOUSE:Jane\r\nitem7.X-ABLabel:Wife\r\nEMAIL:a@b.jp\r\n",
     "item1.X-ABRELATEDNAMES:Jane\nitem1.X-ABLabel:Wife\nitem2.EMAIL:a@b.jp\n"
     "item2.X-ABLabel:_$!<Other>!$_\n",
     "="},
    {"EmptyRelatedNameIsLeftOut", "3.0", "X-EVOLUTION-SPOUSE:\r\n", "", "=",
     "X-EVOLUTION-SPOUSE×1"},
    {"UnknownCharsetLeavesOutTheNameNotTheCard", "2.1", "X-MS-SPOUSE;CHARSET=X-NO-SUCH:Jane\r\n",
     "", "=", "X-MS-SPOUSE×1"},
    // Dates.
    {"AnniversariesOfEveryWriter", "2.1",
     "X-EVOLUTION-ANNIVERSARY:2006-01-09\r\nX-MS-ANNIVERSARY:20110113\r\n"
     "ANNIVERSARY;VALUE=DATE:19800101T000000Z\r\nX-ANNIVERSARY:1990-04-30\r\n"
     "X-KADDRESSBOOK-X-Anniversary;CHARSET=UTF-8;ENCODING=8BIT:1982-07-07\r\n",
     "item1.X-ABDATE:2006-01-09\nitem1.X-ABLabel:_$!<Anniversary>!$_\n"
     "item2.X-ABDATE:2011-01-13\nitem2.X-ABLabel:_$!<Anniversary>!$_\n"
     "item3.X-ABDATE:1980-01-01\nitem3.X-ABLabel:_$!<Anniversary>!$_\n"
     "item4.X-ABDATE:1990-04-30\nitem4.X-ABLabel:_$!<Anniversary>!$_\n"
     "item5.X-ABDATE:1982-07-07\nitem5.X-ABLabel:_$!<Anniversary>!$_\n",
     "="},
    {"AnniversaryWithoutAYearInThePhonesForm", "3.0", "X-ANNIVERSARY:--0415\r\n",
     "item1.X-ABDATE;X-APPLE-OMIT-YEAR=1604:1604-04-15\nitem1.X-ABLabel:_$!<Anniversary>!$_\n",
     "="},
    {"TextThatIsNoDateIsLeftOut", "3.0",
     "X-ANNIVERSARY:sometime\r\nX-MS-ANNIVERSARY:20111301\r\nANNIVERSARY:2011-1-1\r\n", "", "=",
     "X-ANNIVERSARY×1 X-MS-ANNIVERSARY×1 ANNIVERSARY×1"},
    {"GroupedDateKeepsItsLabel", "3.0",
     "item1.X-ABDATE:1975-03-01\r\nitem1.X-ABLabel:_$!<Anniversary>!$_\r\n",
     "item1.X-ABDATE:1975-03-01\nitem1.X-ABLabel:_$!<Anniversary>!$_\n", "="},
    // Chat accounts and social profiles.
    {"EvolutionChatAccounts", "3.0",
     "X-AIM;TYPE=HOME;X-EVOLUTION-UI-SLOT=1:johnny\r\nX-JABBER:me@jabber.org\r\n"
     "X-MSN:msn@example.com\r\nX-YAHOO;TYPE=WORK,pref:yah\r\nX-ICQ:12345\r\n"
     "X-GADUGADU:678\r\nX-SKYPE:sky\r\n",
     "IMPP;X-SERVICE-TYPE=AIM;type=HOME:aim:johnny\n"
     "IMPP;X-SERVICE-TYPE=Jabber:xmpp:me@jabber.org\n"
     "IMPP;X-SERVICE-TYPE=MSN:msnim:msn@example.com\n"
     "IMPP;X-SERVICE-TYPE=Yahoo;type=WORK;type=pref:ymsgr:yah\n"
     "IMPP;X-SERVICE-TYPE=ICQ:icq:12345\nIMPP;X-SERVICE-TYPE=GaduGadu:x-apple:678\n"
     "IMPP;X-SERVICE-TYPE=Skype:skype:sky\n",
     "="},
    {"OlderChatAccountsOfVersion21", "2.1",
     "X-GOOGLE-TALK:hhh@gmail.com\r\nX-ICQ;WORK;PREF:42\r\nX-SKYPE-USERNAME:sk\r\nX-QQ:10001\r\n"
     "X-JABBER:xmpp:me@x.org\r\n",
     "IMPP;X-SERVICE-TYPE=GoogleTalk:xmpp:hhh@gmail.com\n"
     "IMPP;X-SERVICE-TYPE=ICQ;type=WORK;type=PREF:icq:42\n"
     "IMPP;X-SERVICE-TYPE=Skype:skype:sk\nIMPP;X-SERVICE-TYPE=QQ:x-apple:10001\n"
     "IMPP;X-SERVICE-TYPE=Jabber:xmpp:me@x.org\n",
     "="},
    {"ImppGetsItsServiceFromTheScheme", "3.0",
     "IMPP;TYPE=personal:aim:johnny\r\nIMPP;X-SERVICE-TYPE=Skype;type=HOME;type=pref:skype:sk\r\n"
     "IMPP;TYPE=personal:sip:me@example.com\r\n",
     "IMPP;X-SERVICE-TYPE=AIM;TYPE=personal:aim:johnny\n"
     "IMPP;X-SERVICE-TYPE=Skype;type=HOME;type=pref:skype:sk\n"
     "IMPP;TYPE=personal:sip:me@example.com\n",
     "="},
    {"GroupedChatAccountKeepsItsLabel", "3.0", "item3.X-AIM:h\r\nitem3.X-ABLabel:Games\r\n",
     "item1.IMPP;X-SERVICE-TYPE=AIM:aim:h\nitem1.X-ABLabel:Games\n", "="},
    {"SocialProfileKeepsItsType", "3.0",
     "X-SOCIALPROFILE;type=twitter:http://twitter.com/example\r\n",
     "X-SOCIALPROFILE;type=twitter:http://twitter.com/example\n", "="},
    // The company.
    {"CompanyReadingAndShowAs", "3.0", "X-PHONETIC-ORG:ｶﾌﾞｼｷ;ｶﾞｲｼｬ\r\nX-ABShowAs:COMPANY\r\n",
     "X-PHONETIC-ORG:カブシキ;ガイシャ\nX-ABShowAs:COMPANY\n",
     "X-PHONETIC-ORG:カブシキ\\;ガイシャ\nX-ABShowAs:COMPANY\n"},
    // Outlook's card picture.
    {"CardPictureBecomesThePhoto", "2.1", "X-MS-CARDPICTURE;TYPE=JPEG;ENCODING=BASE64:AAAA\r\n\r\n",
     "PHOTO;TYPE=JPEG;ENCODING=BASE64:AAAA\n", "PHOTO;ENCODING=b;TYPE=JPEG:AAAA\n"},
    {"CardPictureGivesWayToTheCardsPhoto", "2.1",
     "X-MS-CARDPICTURE;TYPE=JPEG;ENCODING=BASE64:AAAA\r\n\r\n"
     "PHOTO;TYPE=JPEG;ENCODING=BASE64:BBBB\r\n\r\n",
     "PHOTO;TYPE=JPEG;ENCODING=BASE64:BBBB\n", "PHOTO;ENCODING=b;TYPE=JPEG:BBBB\n"},
    // Addresses given only as a label.
    {"LabelOfACardWithoutAdrBecomesTheStreet", "2.1",
     "LABEL;WORK;ENCODING=QUOTED-PRINTABLE:Main St 1=0D=0ACity\r\nTEL:1\r\n",
     "TEL:1\nADR;TYPE=WORK:;;Main St 1\n City;;;;\n",
     "TEL:1\nADR;TYPE=WORK:;;Main St 1\\nCity;;;;\n"},
    {"LabelsOfEachType", "3.0", "LABEL;TYPE=HOME:1 Road\r\nLABEL:Box 2\r\n",
     "ADR;TYPE=HOME:;;1 Road;;;;\nitem1.ADR:;;Box 2;;;;\nitem1.X-ABLabel:_$!<Other>!$_\n", "="},
    {"LabelBesideAnAdrIsLeftOut", "2.1",
     "LABEL;HOME:Street 1\r\nADR;HOME:;;Street 1;;;;\r\nLABEL;WORK:Office\r\n",
     "ADR;TYPE=HOME:;;Street 1;;;;\n", "=", "LABEL×2"},
    // What an iPhone contact has no place for.
    {"NoPlaceInAnIPhoneContact", "3.0",
     "ROLE:Lead\r\nCATEGORIES:a,b\r\nGEO:1;2\r\nREV:2020\r\nX-MS-OL-DESIGN:x\r\n", "", "=",
     "ROLE×1 CATEGORIES×1 GEO×1 REV×1 X-MS-OL-DESIGN×1"},
};

// The card's lines after its N, as the target writes them: decoded, LF
// ended, without FN and END; "<no N>" when the card has no N:A;B.
std::string bodyAfterName(const std::string& output) {
  std::string text = output;
  if (text.starts_with("\xFF\xFE")) {
    text = platform::toUTF8(
        platform::decodeLossy(text.data() + 2, text.size() - 2, platform::Encoding::UTF16LE));
  }
  std::string body;
  bool afterName = false;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = text.substr(start, end - start);
    if (line == "N:A;B") {
      afterName = true;
    } else if (afterName && line != "END:VCARD" && !line.starts_with("FN:")) {
      body += line + "\n";
    }
  }
  return afterName ? body : "<no N>";
}

std::string droppedList(const vcard::ConversionReport& report) {
  std::string list;
  for (const vcard::DroppedProperty& property : report.dropped)
    list += (list.empty() ? "" : " ") + property.name + "×" + std::to_string(property.count);
  return list;
}

class IPhoneFieldsTest : public testing::TestWithParam<FieldCase> {};

TEST_P(IPhoneFieldsTest, ArriveAsTheIPhoneHoldsThemInBothTargets) {
  const FieldCase& c = GetParam();
  const std::string source = "BEGIN:VCARD\r\nVERSION:" + std::string(c.version) + "\r\nN:A;B\r\n" +
                             std::string(c.lines) + "END:VCARD\r\n";
  for (const vcard::Target target : {vcard::Target::IPhone, vcard::Target::ICloud}) {
    const bool icloud = target == vcard::Target::ICloud;
    SCOPED_TRACE(icloud ? "iCloud.com" : "iPhone");
    vcard::ConvertOptions options;
    options.target = target;
    const vcard::MemoryConversion converted = vcard::convertBytes(source, options);
    ASSERT_EQ(converted.outputs.size(), 1U) << converted.result[1];
    const std::string_view expected = icloud && c.icloud != "=" ? c.icloud : c.iphone;
    EXPECT_EQ(bodyAfterName(converted.outputs[0].bytes), expected);
    EXPECT_EQ(droppedList(converted.report), c.dropped);
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, IPhoneFieldsTest, testing::ValuesIn(kFieldCases), CaseName{});

}  // namespace
