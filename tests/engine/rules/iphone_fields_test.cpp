// Related names, dates, chat accounts, the company's reading, the card
// picture and LABEL addresses, as each address book writes them, arrive as
// an iPhone's own export holds them, in both targets; what has no place in
// an iPhone contact is still left out and told.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "param_names.h"
#include "test_support.h"
#include "vcard_report.h"

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
    {"RelatedNamesOfMailAndServerPrograms", "3.0",
     "X-SPOUSE:Jane\r\nX-MANAGER:Boss\r\nX-ASSISTANT;CHARSET=UTF-8:ｱｼｽﾀﾝﾄ\r\n",
     "item1.X-ABRELATEDNAMES:Jane\nitem1.X-ABLabel:_$!<Spouse>!$_\n"
     "item2.X-ABRELATEDNAMES:Boss\nitem2.X-ABLabel:_$!<Manager>!$_\n"
     "item3.X-ABRELATEDNAMES:アシスタント\nitem3.X-ABLabel:_$!<Assistant>!$_\n",
     "="},
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
    {"EmptyRelatedNameIsLeftOut", "3.0", "X-EVOLUTION-SPOUSE:\r\n", "", "="},
    {"UnknownCharsetLeavesOutTheNameNotTheCard", "2.1", "X-MS-SPOUSE;CHARSET=X-NO-SUCH:Jane\r\n",
     "", "=", "X-MS-SPOUSE×1"},
    // Fields with nothing in them are no row of the contact, and nothing is
    // lost by leaving them out.
    {"EmptyFieldsAreNeitherWrittenNorTold", "3.0",
     "EMAIL;TYPE=HOME:\r\nTEL;TYPE=HOME;TYPE=VOICE:\r\nADR;TYPE=HOME:;;;;;;\r\nURL;TYPE=HOME: \r\n"
     "item1.EMAIL:\r\nitem1.X-ABLabel:Old\r\nORG:;\r\nNOTE:\r\n \r\nX-AIM:\r\nBDAY:\r\n"
     "TEL:03-1\r\n",
     "TEL:03-1\n", "="},
    {"EmptyFieldsOfVersion21", "2.1",
     "ADR;HOME;CHARSET=SHIFT_JIS:;;;;;;\r\nEMAIL;INTERNET:\r\nTITLE;ENCODING=QUOTED-PRINTABLE:\r\n"
     "X-MS-CARDPICTURE;TYPE=JPEG;ENCODING=BASE64:\r\n\r\nTEL:090\r\n",
     "TEL:090\n", "="},
    // Dates.
    {"BirthdaysThePhoneCannotShow", "3.0",
     "BDAY:16040101\r\nBDAY:1985-01-28T00:00:00Z\r\nBDAY;VALUE=date-time:1996-04-15T201243+04:"
     "00\r\n"
     "BDAY:--1224\r\n",
     "BDAY;X-APPLE-OMIT-YEAR=1604:1604-01-01\nBDAY:1985-01-28\nBDAY:1996-04-15\n"
     "BDAY;X-APPLE-OMIT-YEAR=1604:1604-12-24\n",
     "="},
    {"BirthdaysThePhoneShowsAsTheyCame", "3.0",
     "BDAY:19850415\r\nBDAY;value=date:1985-04-15\r\nBDAY;X-APPLE-OMIT-YEAR=1604:1604-03-02\r\n"
     "BDAY:circa 1800\r\n",
     "BDAY:19850415\nBDAY;value=date:1985-04-15\nBDAY;X-APPLE-OMIT-YEAR=1604:1604-03-02\n"
     "BDAY:circa 1800\n",
     "="},
    {"DatesOfEveryKindShareTheYearMark", "2.1",
     "BDAY;ENCODING=QUOTED-PRINTABLE:1604=2D07=2D07T000000\r\n"
     "item2.X-ABDATE:1996-04-15T20:12:43Z\r\nitem2.X-ABLabel:_$!<Anniversary>!$_\r\n"
     "X-ANNIVERSARY:16041224\r\n",
     "BDAY;X-APPLE-OMIT-YEAR=1604:1604-07-07\nitem2.X-ABDATE:1996-04-15\n"
     "item2.X-ABLabel:_$!<Anniversary>!$_\n"
     "item1.X-ABDATE;X-APPLE-OMIT-YEAR=1604:1604-12-24\nitem1.X-ABLabel:_$!<Anniversary>!$_\n",
     "="},
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
    {"ChatAccountsOfMailPrograms", "3.0",
     "X-GTALK:g@gmail.com\r\nX-GROUPWISE;TYPE=WORK:gw\r\n"
     "X-KADDRESSBOOK-X-IMADDRESS:kim@example.org\r\n",
     "IMPP;X-SERVICE-TYPE=GoogleTalk:xmpp:g@gmail.com\n"
     "IMPP;X-SERVICE-TYPE=GroupWise;type=WORK:x-apple:gw\nIMPP:x-apple:kim@example.org\n",
     "="},
    // KDE's names, one value holding several handles parted by U+E000.
    {"KdeMessagingHandles", "3.0",
     "X-messaging/aim-All:a1\r\nX-messaging/xmpp-All:one@test.org\xEE\x80\x80two@test.org\r\n"
     "X-messaging/skype-All:sk\r\nX-messaging/gadu-All:123\r\nX-messaging/icq-All:456\r\n"
     "X-messaging/msn-All:m@x.org\r\nX-messaging/yahoo-All:y\r\nX-messaging/irc-All:nick\r\n",
     "IMPP;X-SERVICE-TYPE=AIM:aim:a1\nIMPP;X-SERVICE-TYPE=Jabber:xmpp:one@test.org\n"
     "IMPP;X-SERVICE-TYPE=Jabber:xmpp:two@test.org\nIMPP;X-SERVICE-TYPE=Skype:skype:sk\n"
     "IMPP;X-SERVICE-TYPE=GaduGadu:x-apple:123\nIMPP;X-SERVICE-TYPE=ICQ:icq:456\n"
     "IMPP;X-SERVICE-TYPE=MSN:msnim:m@x.org\nIMPP;X-SERVICE-TYPE=Yahoo:ymsgr:y\n"
     "IMPP;X-SERVICE-TYPE=IRC:x-apple:nick\n",
     "="},
    {"TwitterBecomesTheSocialProfile", "3.0",
     "X-TWITTER:@jdoe\r\nX-messaging/twitter-All:ann\xEE\x80\x80https://twitter.com/bob\r\n",
     "X-SOCIALPROFILE;type=twitter;x-user=jdoe:http://twitter.com/jdoe\n"
     "X-SOCIALPROFILE;type=twitter;x-user=ann:http://twitter.com/ann\n"
     "X-SOCIALPROFILE;type=twitter:https://twitter.com/bob\n",
     "="},
    // A phone writes each account twice, and an ICQ number under AIM's
    // scheme: each account is written once, under the service named.
    {"EachChatAccountOnceUnderItsService", "3.0",
     "IMPP;X-SERVICE-TYPE=ICQ;type=HOME;type=pref:aim:18383828\r\n"
     "X-ICQ;type=HOME;type=pref:18383828\r\nX-AIM;type=HOME:johnny\r\n"
     "IMPP;X-SERVICE-TYPE=AIM;type=HOME:aim:johnny\r\nIMPP;X-SERVICE-TYPE=Jabber:xmpp:j@x.org\r\n"
     "X-JABBER:j@x.org\r\nIMPP:aim:johnny\r\nIMPP;X-SERVICE-TYPE=ICQ:aim:777\r\n"
     "item1.X-AIM:johnny\r\nitem1.X-ABLabel:Games\r\n",
     "IMPP;X-SERVICE-TYPE=ICQ;type=HOME;type=pref:icq:18383828\n"
     "IMPP;X-SERVICE-TYPE=AIM;type=HOME:aim:johnny\nIMPP;X-SERVICE-TYPE=Jabber:xmpp:j@x.org\n"
     "IMPP;X-SERVICE-TYPE=ICQ:icq:777\n",
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
    // What else an iPhone contact holds: a maiden name, a middle name's
    // reading, the department as ORG's second part.
    {"MaidenNameAndMiddleReading", "3.0", "X-MAIDENNAME:Smith\r\nX-PHONETIC-MIDDLE-NAME:ﾐﾄﾞﾙ\r\n",
     "X-MAIDENNAME:Smith\nX-PHONETIC-MIDDLE-NAME:ミドル\n", "="},
    {"DepartmentJoinsTheCompany", "3.0", "X-DEPARTMENT:Sales\r\nORG:Example Inc.\r\n",
     "ORG:Example Inc.;Sales\n", "="},
    {"DepartmentFillsAnEmptyUnit", "3.0",
     "ORG:Example Inc.;;Tokyo\r\nX-KADDRESSBOOK-X-Department:開発\r\n",
     "ORG:Example Inc.;開発;Tokyo\n", "="},
    {"DepartmentAfterACompanyWithAnEscapedSeparator", "3.0",
     "ORG:Smith\\; Sons\r\nX-DEPARTMENT:Sales\r\n", "ORG:Smith\\; Sons;Sales\n", "="},
    {"DepartmentWithoutACompany", "2.1", "X-DEPARTMENT;CHARSET=SHIFT_JIS:ｴｲｷﾞｮｳ\r\n",
     "ORG:;エイギョウ\n", "="},
    {"DepartmentBesideAnotherIsToldLeftOut", "3.0",
     "ORG:Example Inc.;Sales\r\nX-DEPARTMENT:Sales\r\nX-DEPARTMENT:Marketing\r\n",
     "ORG:Example Inc.;Sales\n", "=", "X-DEPARTMENT×1"},
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
std::string bodyAfterName(const std::string& text) {
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
    const enginetest::Converted converted = enginetest::convert(source, target);
    ASSERT_EQ(converted.texts.size(), 1U) << converted.result[1];
    const std::string_view expected = icloud && c.icloud != "=" ? c.icloud : c.iphone;
    EXPECT_EQ(bodyAfterName(converted.texts[0]), expected);
    EXPECT_EQ(droppedList(converted.report), c.dropped);
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, IPhoneFieldsTest, testing::ValuesIn(kFieldCases), CaseName{});

}  // namespace
