// The one table of property descriptions: the names met in the exports of
// the phones and programs people convert from, and the standard properties
// an iPhone does not take.
#include "property_labels.h"

#include <algorithm>
#include <array>

namespace vcard {

namespace {

struct Row {
  std::string_view name;  // a trailing '*' matches every name with that beginning
  PropertyLabel label;
};

using R = PropertyRank;

// Exact names first; the few prefix rows at the end catch the rest of a
// program's own family of names.
constexpr std::array kRows = {
    // Names of people related to the card's person, and their dates.
    Row{"X-ABRELATEDNAMES", {"関係者の名前", "", R::TypedText}},
    // Written as a related name when it is one; left out when it points at
    // another card instead.
    Row{"RELATED", {"関係者へのリンク", "名前が書かれていないため", R::TypedText}},
    Row{"X-ABDATE", {"記念日などの日付", "", R::TypedText}},
    Row{"ANNIVERSARY", {"記念日", "", R::TypedText}},
    Row{"X-ANNIVERSARY", {"記念日", "", R::TypedText}},
    Row{"X-MS-ANNIVERSARY", {"記念日", "", R::TypedText}},
    Row{"X-EVOLUTION-ANNIVERSARY", {"記念日", "", R::TypedText}},
    Row{"X-KADDRESSBOOK-X-ANNIVERSARY", {"記念日", "", R::TypedText}},
    Row{"X-WAB-WEDDING_ANNIVERSARY", {"結婚記念日", "", R::TypedText}},
    Row{"X-SPOUSE", {"配偶者の名前", "", R::TypedText}},
    Row{"X-MS-SPOUSE", {"配偶者の名前", "", R::TypedText}},
    Row{"X-EVOLUTION-SPOUSE", {"配偶者の名前", "", R::TypedText}},
    Row{"X-KADDRESSBOOK-X-SPOUSESNAME", {"配偶者の名前", "", R::TypedText}},
    Row{"X-WAB-SPOUSE_NAME", {"配偶者の名前", "", R::TypedText}},
    Row{"X-MS-MANAGER", {"上司の名前", "", R::TypedText}},
    Row{"X-EVOLUTION-MANAGER", {"上司の名前", "", R::TypedText}},
    Row{"X-KADDRESSBOOK-X-MANAGERSNAME", {"上司の名前", "", R::TypedText}},
    Row{"X-MS-ASSISTANT", {"秘書・アシスタントの名前", "", R::TypedText}},
    Row{"X-EVOLUTION-ASSISTANT", {"秘書・アシスタントの名前", "", R::TypedText}},
    Row{"X-KADDRESSBOOK-X-ASSISTANTSNAME", {"秘書・アシスタントの名前", "", R::TypedText}},
    Row{"X-MS-CHILD", {"子どもの名前", "", R::TypedText}},
    Row{"X-MS-CHILDREN", {"子どもの名前", "", R::TypedText}},
    // What the person does and where.
    Row{"ROLE", {"役割", "", R::TypedText}},
    Row{"X-DEPARTMENT", {"部署", "", R::TypedText}},
    Row{"X-KADDRESSBOOK-X-DEPARTMENT", {"部署", "", R::TypedText}},
    Row{"X-KADDRESSBOOK-X-OFFICE", {"オフィス", "", R::TypedText}},
    Row{"X-KADDRESSBOOK-X-PROFESSION", {"職業", "", R::TypedText}},
    Row{"X-ANDROID-CUSTOM", {"Android の追加項目（ニックネーム・関係者など）", "", R::TypedText}},
    // Groups and categories the user made.
    Row{"X-GN", {"グループ名", "", R::ContactData}},
    Row{"CATEGORIES", {"分類", "", R::ContactData}},
    Row{"X-SH-CATEGORIES", {"分類", "", R::ContactData}},
    // More ways to reach the person.
    Row{"IMPP", {"チャットのアドレス", "", R::ContactData}},
    // Outlook's field names no service, and an iPhone's chat account needs
    // one to be reachable.
    Row{"X-MS-IMADDRESS",
        {"Outlook のチャットのアドレス", "どのサービスのものか書かれていないため", R::ContactData}},
    Row{"X-KADDRESSBOOK-X-IMADDRESS", {"チャットのアドレス", "", R::ContactData}},
    Row{"X-AIM", {"AIM のアドレス", "", R::ContactData}},
    Row{"X-ICQ", {"ICQ の番号", "", R::ContactData}},
    Row{"X-MSN", {"MSN のアドレス", "", R::ContactData}},
    Row{"X-YAHOO", {"Yahoo! のアドレス", "", R::ContactData}},
    Row{"X-JABBER", {"Jabber のアドレス", "", R::ContactData}},
    Row{"X-SKYPE", {"Skype の名前", "", R::ContactData}},
    Row{"X-GOOGLE-TALK", {"Google Talk のアドレス", "", R::ContactData}},
    Row{"X-GADUGADU", {"Gadu-Gadu の番号", "", R::ContactData}},
    Row{"X-GROUPWISE", {"GroupWise のアドレス", "", R::ContactData}},
    Row{"X-SIP", {"SIP のアドレス", "", R::ContactData}},
    Row{"X-MESSAGING/AIM-ALL", {"AIM のアドレス", "", R::ContactData}},
    Row{"X-MESSAGING/GADU-ALL", {"Gadu-Gadu の番号", "", R::ContactData}},
    Row{"X-MESSAGING/ICQ-ALL", {"ICQ の番号", "", R::ContactData}},
    Row{"X-MESSAGING/IRC-ALL", {"IRC の名前", "", R::ContactData}},
    Row{"X-MESSAGING/MSN-ALL", {"MSN のアドレス", "", R::ContactData}},
    Row{"X-MESSAGING/SMS-ALL", {"SMS の番号", "", R::ContactData}},
    Row{"X-MESSAGING/XMPP-ALL", {"XMPP のアドレス", "", R::ContactData}},
    Row{"X-MESSAGING/YAHOO-ALL", {"Yahoo! のアドレス", "", R::ContactData}},
    Row{"X-MS-TEL", {"Outlook の追加の電話番号", "", R::ContactData}},
    Row{"X-EVOLUTION-BLOG-URL", {"ブログの URL", "", R::ContactData}},
    Row{"X-EVOLUTION-VIDEO-URL", {"ビデオ通話の URL", "", R::ContactData}},
    Row{"FBURL", {"予定の空き時間の URL", "", R::ContactData}},
    Row{"CALURI", {"カレンダーの URL", "", R::ContactData}},
    Row{"LABEL", {"宛名ラベル", "住所そのものは書き出しています", R::ContactData}},
    Row{"GEO", {"緯度・経度の位置", "", R::ContactData}},
    Row{"TZ", {"タイムゾーン", "", R::ContactData}},
    Row{"AGENT", {"代理人", "", R::ContactData}},
    Row{"KEY", {"暗号化の公開鍵", "", R::ContactData}},
    Row{"LOGO", {"ロゴ画像", "", R::ContactData}},
    Row{"SOUND(音声)", {"音声", "", R::ContactData}},
    Row{"X-MS-CARDPICTURE", {"Outlook の名刺の画像", "", R::ContactData}},
    // How programs show, sort or share the card.
    Row{"X-GNO", {"グループ番号", "", R::Setting}},
    Row{"X-CLASS", {"公開・非公開の区分", "", R::Setting}},
    Row{"CLASS", {"公開・非公開の区分", "", R::Setting}},
    Row{"X-REDUCTION", {"短縮ダイヤルの番号", "", R::Setting}},
    Row{"SORT-STRING", {"並べ替えの読み", "", R::Setting}},
    Row{"X-ABSHOWAS", {"会社として表示するかの設定", "", R::Setting}},
    Row{"X-ABSHOWAS-ABSHOWAS", {"会社として表示するかの設定", "", R::Setting}},
    Row{"X-ABADR", {"住所の国の書式", "", R::Setting}},
    Row{"X-MS-OL-DEFAULT-POSTAL-ADDRESS", {"Outlook の既定の郵送先", "", R::Setting}},
    Row{"X-EVOLUTION-FILE-AS", {"表示名の並べ方", "", R::Setting}},
    Row{"X-MOZILLA-HTML", {"HTML メールを受け取るかの設定", "", R::Setting}},
    Row{"X-WAB-GENDER", {"性別", "", R::Setting}},
    Row{"X-KADDRESSBOOK-CRYPTOENCRYPTPREF", {"暗号化の設定", "", R::Setting}},
    Row{"X-KADDRESSBOOK-CRYPTOPROTOPREF", {"暗号化の設定", "", R::Setting}},
    Row{"X-KADDRESSBOOK-CRYPTOSIGNPREF", {"署名の設定", "", R::Setting}},
    Row{"X-KADDRESSBOOK-OPENPGPFP", {"公開鍵の指紋", "", R::Setting}},
    Row{"MAILER", {"メールソフトの名前", "", R::Setting}},
    // Marks programs keep for themselves.
    Row{"X-MS-OL-DESIGN", {"Outlook の名刺レイアウト", "", R::Mark}},
    Row{"X-ABUID", {"Apple の連絡先の識別番号", "", R::Mark}},
    Row{"X-IRMC-LUID", {"携帯電話の登録番号", "", R::Mark}},
    Row{"X-COUCHDB-APPLICATION-ANNOTATIONS", {"同期用の記録", "", R::Mark}},
    Row{"X-GENERATOR", {"書き出したソフトの名前", "", R::Mark}},
    Row{"PRODID", {"書き出したソフトの名前", "", R::Mark}},
    Row{"UID", {"識別番号", "", R::Mark}},
    Row{"REV", {"更新日時", "", R::Mark}},
    Row{"NAME", {"ファイルの題名", "", R::Mark}},
    Row{"PROFILE", {"形式の宣言", "", R::Mark}},
    Row{"SOURCE", {"取得元", "", R::Mark}},
    // The rest of each family of names.
    Row{"X-DCM-*", {"ドコモの独自項目", "", R::Setting}},
    Row{"X-IRMC-*", {"携帯電話の独自項目", "", R::Setting}},
    Row{"X-MS-*", {"Outlook の独自項目", "", R::Setting}},
    Row{"X-WAB-*", {"Windows アドレス帳の独自項目", "", R::Setting}},
    Row{"X-EVOLUTION-*", {"Evolution の独自項目", "", R::Setting}},
    Row{"X-KADDRESSBOOK-*", {"KDE アドレス帳の独自項目", "", R::Setting}},
    Row{"X-MOZILLA-*", {"Thunderbird の独自項目", "", R::Setting}},
};

bool matches(std::string_view row, std::string_view name) {
  if (!row.empty() && row.back() == '*') {
    row.remove_suffix(1);
    return name.size() > row.size() && name.substr(0, row.size()) == row;
  }
  return name == row;
}

}  // namespace

std::optional<PropertyLabel> propertyLabel(std::string_view name) {
  // Rows are in exact-then-prefix order, so the first match is the most
  // particular one.
  const auto row = std::find_if(kRows.begin(), kRows.end(),
                                [name](const Row& r) { return matches(r.name, name); });
  if (row == kRows.end()) return std::nullopt;
  return row->label;
}

std::vector<DroppedProperty> droppedInReportOrder(const std::vector<DroppedProperty>& dropped) {
  std::vector<DroppedProperty> ordered = dropped;
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const DroppedProperty& a, const DroppedProperty& b) {
                     const auto rank = [](const DroppedProperty& p) {
                       const std::optional<PropertyLabel> label = propertyLabel(p.name);
                       return label ? label->rank : PropertyRank::Unknown;
                     };
                     return rank(a) < rank(b);
                   });
  return ordered;
}

}  // namespace vcard
