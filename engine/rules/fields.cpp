// Related names, anniversaries, chat accounts, the card picture and LABEL
// addresses: the names other address books give these are rewritten into
// the properties and labels an iPhone's own export uses for them.
#include "fields.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ascii_letters.h"
#include "dates.h"
#include "strutil.h"

namespace vcard::detail {
namespace {

constexpr std::string_view kOtherLabel = "_$!<Other>!$_";
constexpr std::string_view kAnniversaryLabel = "_$!<Anniversary>!$_";

struct Relation {
  std::string_view name;  // the property's or the RELATED type's, upper-cased
  std::string_view label;
};

constexpr std::array kRelationsByProperty = {
    Relation{"X-EVOLUTION-SPOUSE", "_$!<Spouse>!$_"},
    Relation{"X-MS-SPOUSE", "_$!<Spouse>!$_"},
    Relation{"X-KADDRESSBOOK-X-SPOUSESNAME", "_$!<Spouse>!$_"},
    Relation{"X-EVOLUTION-MANAGER", "_$!<Manager>!$_"},
    Relation{"X-MS-MANAGER", "_$!<Manager>!$_"},
    Relation{"X-KADDRESSBOOK-X-MANAGERSNAME", "_$!<Manager>!$_"},
    Relation{"X-EVOLUTION-ASSISTANT", "_$!<Assistant>!$_"},
    Relation{"X-MS-ASSISTANT", "_$!<Assistant>!$_"},
    Relation{"X-KADDRESSBOOK-X-ASSISTANTSNAME", "_$!<Assistant>!$_"},
};

constexpr std::array kRelationsByType = {
    Relation{"SPOUSE", "_$!<Spouse>!$_"},       Relation{"MANAGER", "_$!<Manager>!$_"},
    Relation{"ASSISTANT", "_$!<Assistant>!$_"}, Relation{"FRIEND", "_$!<Friend>!$_"},
    Relation{"PARENT", "_$!<Parent>!$_"},       Relation{"CHILD", "_$!<Child>!$_"},
    Relation{"SIBLING", "_$!<Sibling>!$_"},     Relation{"PARTNER", "_$!<Partner>!$_"},
};

// A chat service: the older property naming it, the service as the
// iPhone's IMPP names it, and the URI scheme of its handles. Services
// without a scheme of their own take the iPhone's x-apple.
struct ChatService {
  std::string_view property;
  std::string_view service;
  std::string_view scheme;
};

constexpr std::array kChatServices = {
    ChatService{"X-AIM", "AIM", "aim"},
    ChatService{"X-ICQ", "ICQ", "icq"},
    ChatService{"X-JABBER", "Jabber", "xmpp"},
    ChatService{"X-GOOGLE-TALK", "GoogleTalk", "xmpp"},
    ChatService{"X-MSN", "MSN", "msnim"},
    ChatService{"X-YAHOO", "Yahoo", "ymsgr"},
    ChatService{"X-SKYPE", "Skype", "skype"},
    ChatService{"X-SKYPE-USERNAME", "Skype", "skype"},
    ChatService{"X-GADUGADU", "GaduGadu", "x-apple"},
    ChatService{"X-QQ", "QQ", "x-apple"},
};

// The service an IMPP URI's scheme names where the source gives none.
struct SchemeService {
  std::string_view scheme;  // upper-cased
  std::string_view service;
};

constexpr std::array kSchemeServices = {
    SchemeService{"AIM", "AIM"},   SchemeService{"ICQ", "ICQ"},     SchemeService{"XMPP", "Jabber"},
    SchemeService{"MSNIM", "MSN"}, SchemeService{"YMSGR", "Yahoo"}, SchemeService{"SKYPE", "Skype"},
};

bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

using platform::trimBlanks;

std::string_view propertyName(const RuleInput& input) {
  return input.paramCount > 0 && input.params[0] != nullptr ? std::string_view(input.params[0])
                                                            : std::string_view();
}

// The values converted and joined with ";", their bare line breaks as the
// target writes them; nullopt when one is not UTF-8.
std::optional<std::string> textValue(const ValueContext& context, const RuleInput& input) {
  const bool base64 = input.prop.encodeType == kEncodingBase64;
  std::string text;
  for (std::size_t i = 0; i < input.valueCount; ++i) {
    if (i > 0) text.push_back(';');
    const char* value = input.values[i] != nullptr ? input.values[i] : "";
    if (!appendConvertedValue(context, value, input.prop, base64, &text)) return std::nullopt;
  }
  foldBareBreaks(&text, 0, context.valueBreak());
  return text;
}

// The words of the property's types, as written: every word of each
// TYPE=a,b parameter and each bare vCard 2.1 word that names no charset or
// transfer encoding.
std::vector<std::string_view> typeWords(const RuleInput& input) {
  std::vector<std::string_view> words;
  for (std::size_t i = 1; i < input.paramCount; ++i) {
    if (input.params[i] == nullptr) continue;
    const std::string_view parameter(input.params[i]);
    if (parameter.find('=') != std::string_view::npos) {
      if (strutil::parameterKey(parameter) != "TYPE") continue;
    } else if (strutil::classifyParameter(parameter) != strutil::ParameterKind::Other) {
      continue;
    }
    std::string_view list = strutil::parameterValue(parameter);
    while (!list.empty()) {
      const std::size_t comma = list.find(',');
      const std::string_view word = trimBlanks(list.substr(0, comma));
      if (!word.empty()) words.push_back(word);
      if (comma == std::string_view::npos) break;
      list.remove_prefix(comma + 1);
    }
  }
  return words;
}

// The value of the property's VALUE parameter, upper-cased; "" without one.
std::string valueType(const RuleInput& input) {
  for (std::size_t i = 1; i < input.paramCount; ++i) {
    if (input.params[i] == nullptr) continue;
    const std::string_view parameter(input.params[i]);
    if (parameter.find('=') != std::string_view::npos &&
        strutil::parameterKey(parameter) == "VALUE")
      return platform::upperASCII(strutil::parameterValue(parameter));
  }
  return {};
}

// The URI scheme a value begins with ("urn" of "urn:uuid:..."), or "" when
// the value reads as plain text: a scheme is a letter, then letters, digits,
// "+", "-" and ".", then ":" and something after it.
std::string_view uriScheme(std::string_view value) {
  value = trimBlanks(value);
  if (value.empty() || !isLetter(value[0])) return {};
  for (std::size_t i = 1; i < value.size(); ++i) {
    const char c = value[i];
    if (c == ':') return i + 1 < value.size() ? value.substr(0, i) : std::string_view();
    if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
  }
  return {};
}

bool relatesByURI(const RuleInput& input) {
  const std::string type = valueType(input);
  if (type == "TEXT") return false;
  if (type == "URI" || type == "URL") return true;
  // RELATED is a URI unless it says otherwise; a name with a colon in it
  // ("Dr. Smith: dentist") has a blank before the colon and is no URI.
  return input.valueCount > 0 && input.values[0] != nullptr && !uriScheme(input.values[0]).empty();
}

std::string_view relationLabel(const RuleInput& input) {
  const std::string_view name = propertyName(input);
  if (platform::asciiUpperEquals(name, "RELATED")) {
    for (const std::string_view word : typeWords(input)) {
      for (const Relation& relation : kRelationsByType) {
        if (platform::asciiUpperEquals(word, relation.name)) return relation.label;
      }
    }
    return kOtherLabel;
  }
  for (const Relation& relation : kRelationsByProperty) {
    if (platform::asciiUpperEquals(name, relation.name)) return relation.label;
  }
  return kOtherLabel;
}

// A property under an item number of the card's own, with its label.
void appendLabelledItem(OpenCard& card, std::string_view name, std::string_view value,
                        std::string_view label, std::string_view parameter = {}) {
  const std::string group = card.nextItemGroup();
  card.card.addProperty(group, name, parameter, value);
  card.card.addProperty(group, "X-ABLabel", label);
}

bool isBlank(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

bool hasProperty(const Card& card, std::string_view upperName) {
  for (const Property& property : card.properties()) {
    if (!property.dropped && property.kind == Property::Kind::Line &&
        platform::asciiUpperEquals(card.text(property.name), upperName))
      return true;
  }
  return false;
}

// An IMPP of the service: its types (all parameters but charset and
// encoding, for a source IMPP) and the handle with the scheme in front
// unless it has it already.
void appendImpp(const ValueContext& context, OpenCard& card, std::string_view service,
                std::string_view scheme, const RuleInput& input, bool typesOnly) {
  const std::optional<std::string> handle = textValue(context, input);
  if (!handle || isBlank(*handle)) return;
  Card& model = card.card;
  model.beginProperty("IMPP");
  if (!service.empty()) model.addParameter("X-SERVICE-TYPE=" + std::string(service));
  if (typesOnly) {
    for (const std::string_view word : typeWords(input))
      model.addParameter("type=" + std::string(word));
  } else {
    for (std::size_t i = 1; i < input.paramCount; ++i) {
      const char* parameter = input.params[i];
      if (parameter != nullptr && !declaresCoding(input, i)) model.addParameter(parameter);
    }
  }
  model.beginValue();
  const std::string_view value = trimBlanks(*handle);
  if (!platform::asciiUpperEquals(uriScheme(value), platform::upperASCII(scheme)))
    model.valueText().append(scheme).push_back(':');
  model.valueText().append(value);
  model.endProperty();
}

}  // namespace

void setRelatedName(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  const std::optional<std::string> name = textValue(context, input);
  if (!name || isBlank(*name)) return;
  appendLabelledItem(card, "X-ABRELATEDNAMES", *name, relationLabel(input));
}

void setAnniversary(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  const std::optional<std::string> text = textValue(context, input);
  if (!text) return;
  if (const std::optional<TargetDate> date = targetDate(*text)) {
    appendLabelledItem(card, "X-ABDATE", date->value, kAnniversaryLabel,
                       date->omitsYear ? kOmitYearParameter : std::string_view());
  }
}

void setChatAccount(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  const std::string_view name = propertyName(input);
  for (const ChatService& chat : kChatServices) {
    if (platform::asciiUpperEquals(name, chat.property)) {
      appendImpp(context, card, chat.service, chat.scheme, input, true);
      return;
    }
  }
}

void setImpp(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  for (std::size_t i = 1; i < input.paramCount; ++i) {
    if (input.params[i] != nullptr &&
        std::string_view(input.params[i]).find('=') != std::string_view::npos &&
        strutil::parameterKey(input.params[i]) == "X-SERVICE-TYPE") {
      setDirectly(context, card, input);
      return;
    }
  }
  const std::string_view scheme =
      input.valueCount > 0 && input.values[0] != nullptr ? uriScheme(input.values[0]) : "";
  for (const SchemeService& known : kSchemeServices) {
    if (platform::asciiUpperEquals(scheme, known.scheme)) {
      appendImpp(context, card, known.service, scheme, input, false);
      return;
    }
  }
  setDirectly(context, card, input);
}

void setCardPicture(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  const std::size_t before = card.card.properties().size();
  appendAs(context, card.card, "PHOTO", input);
  const std::size_t after = card.card.properties().size();
  if (after > before) card.extras.cardPictures.emplace_back(before, after);
}

void setAddressLabel(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  // The label is one text: a ";" the split parted it at is part of the street.
  std::string street;
  const bool base64 = input.prop.encodeType == kEncodingBase64;
  for (std::size_t i = 0; i < input.valueCount; ++i) {
    if (i > 0) street.append("\\;");
    const char* value = input.values[i] != nullptr ? input.values[i] : "";
    if (!appendConvertedValue(context, value, input.prop, base64, &street)) return;
  }
  foldBareBreaks(&street, 0, context.valueBreak());
  const char* const* params = input.params;
  const std::string type = StrExists(params, input.paramCount, "WORK") != 0   ? "WORK"
                           : StrExists(params, input.paramCount, "HOME") != 0 ? "HOME"
                                                                              : "";
  card.extras.addressLabels.push_back({type, std::move(street)});
}

bool carriesField(Rule rule, const ValueContext& context, const OpenCard& card,
                  const RuleInput& input) {
  if (!judgesValues(rule)) return true;
  // A charset or transfer encoding nobody knows leaves the property out, as
  // it did while these names were not recognised, rather than the card.
  if (input.prop.charsetType == kCharsetUnknown || input.prop.encodeType == kEncodingUnknown)
    return false;
  bool blank = true;
  for (std::size_t i = 0; i < input.valueCount && blank; ++i)
    blank = input.values[i] == nullptr || isBlank(input.values[i]);
  if (blank) return false;
  if (rule == setRelatedName)
    return !platform::asciiUpperEquals(propertyName(input), "RELATED") || !relatesByURI(input);
  if (rule == setAnniversary) {
    const std::optional<std::string> text = textValue(context, input);
    return text && targetDate(*text).has_value();
  }
  if (rule == setAddressLabel) return !hasProperty(card.card, "ADR");
  return true;
}

void settleCardPicture(OpenCard& card) {
  std::vector<std::pair<std::size_t, std::size_t>>& pictures = card.extras.cardPictures;
  if (pictures.empty()) return;
  std::vector<Property>& properties = card.card.properties();
  // The card's own PHOTO, or an earlier card picture, leaves the rest out.
  bool photo = false;
  for (std::size_t i = 0; i < properties.size() && !photo; ++i) {
    bool picture = false;
    for (const auto& [begin, end] : pictures)
      picture = picture || (i >= begin && i < end);
    photo = !picture && !properties[i].dropped && properties[i].kind == Property::Kind::Line &&
            platform::asciiUpperEquals(card.card.text(properties[i].name), "PHOTO");
  }
  for (std::size_t k = 0; k < pictures.size(); ++k) {
    if (!photo && k == 0) continue;
    for (std::size_t i = pictures[k].first; i < pictures[k].second && i < properties.size(); ++i)
      properties[i].dropped = true;
  }
}

std::size_t settleAddressLabels(OpenCard& card) {
  std::vector<CardExtras::AddressLabel>& labels = card.extras.addressLabels;
  if (labels.empty()) return 0;
  if (hasProperty(card.card, "ADR")) return labels.size();
  Card& model = card.card;
  for (const CardExtras::AddressLabel& label : labels) {
    const std::string value = ";;" + label.street + ";;;;";
    if (label.type.empty()) {
      appendLabelledItem(card, "ADR", value, kOtherLabel);
      continue;
    }
    model.beginProperty("ADR");
    model.addParameter("TYPE=" + label.type);
    model.beginValue();
    model.valueText().append(value);
    model.endProperty();
  }
  return 0;
}

}  // namespace vcard::detail
