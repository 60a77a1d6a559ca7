// Related names, anniversaries, chat accounts, the card picture and LABEL
// addresses: the names other address books give these are rewritten into
// the properties and labels an iPhone's own export uses for them.
#include "fields.h"

#include <algorithm>
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
    Relation{"X-SPOUSE", "_$!<Spouse>!$_"},
    Relation{"X-MANAGER", "_$!<Manager>!$_"},
    Relation{"X-ASSISTANT", "_$!<Assistant>!$_"},
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
    ChatService{"X-GTALK", "GoogleTalk", "xmpp"},
    ChatService{"X-GROUPWISE", "GroupWise", "x-apple"},
    ChatService{"X-MESSAGING/AIM-ALL", "AIM", "aim"},
    ChatService{"X-MESSAGING/XMPP-ALL", "Jabber", "xmpp"},
    ChatService{"X-MESSAGING/SKYPE-ALL", "Skype", "skype"},
    ChatService{"X-MESSAGING/GADU-ALL", "GaduGadu", "x-apple"},
    ChatService{"X-MESSAGING/ICQ-ALL", "ICQ", "icq"},
    ChatService{"X-MESSAGING/MSN-ALL", "MSN", "msnim"},
    ChatService{"X-MESSAGING/YAHOO-ALL", "Yahoo", "ymsgr"},
    ChatService{"X-MESSAGING/IRC-ALL", "IRC", "x-apple"},
    // A handle of no service named.
    ChatService{"X-KADDRESSBOOK-X-IMADDRESS", "", "x-apple"},
};

// KDE writes the handles of one service in one value, parted by U+E000.
constexpr std::string_view kHandleSeparator = "\xEE\x80\x80";

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

bool hasProperty(const Card& card, std::string_view upperName) {
  for (const Property& property : card.properties()) {
    if (!property.dropped && property.kind == Property::Kind::Line &&
        platform::asciiUpperEquals(card.text(property.name), upperName))
      return true;
  }
  return false;
}

// The value of the property's parameter of the key (upper-cased), unquoted;
// "" without one.
std::string_view parameterOf(const RuleInput& input, std::string_view key) {
  for (std::size_t i = 1; i < input.paramCount; ++i) {
    if (input.params[i] == nullptr) continue;
    const std::string_view parameter(input.params[i]);
    if (parameter.find('=') != std::string_view::npos && strutil::parameterKey(parameter) == key)
      return strutil::unquoted(strutil::parameterValue(parameter));
  }
  return {};
}

// The handle of a chat value: without its URI scheme when it has one.
std::string_view chatHandle(std::string_view value) {
  value = trimBlanks(value);
  const std::string_view scheme = uriScheme(value);
  return scheme.empty() ? value : trimBlanks(value.substr(scheme.size() + 1));
}

// True when the card has an IMPP of the service and handle already: phones
// write each account twice, as X-ICQ and as IMPP, and the contact would
// show it twice.
bool holdsChatAccount(const Card& model, std::string_view service, std::string_view handle) {
  for (const Property& property : model.properties()) {
    if (property.dropped || property.kind != Property::Kind::Line ||
        !platform::asciiUpperEquals(model.text(property.name), "IMPP") ||
        !platform::asciiUpperEquals(chatHandle(model.text(property.value)),
                                    platform::upperASCII(handle)))
      continue;
    std::string_view named;
    for (std::size_t i = 0; i < property.parameterCount; ++i) {
      const std::string_view parameter = model.text(model.parameter(property, i));
      if (parameter.find('=') != std::string_view::npos &&
          strutil::parameterKey(parameter) == "X-SERVICE-TYPE")
        named = strutil::unquoted(strutil::parameterValue(parameter));
    }
    if (platform::asciiUpperEquals(named, platform::upperASCII(service))) return true;
  }
  return false;
}

// The scheme of the service's handles when it has one of its own ("icq" of
// ICQ), else "".
std::string_view schemeOfService(std::string_view service) {
  for (const ChatService& chat : kChatServices) {
    if (chat.scheme != "x-apple" &&
        platform::asciiUpperEquals(service, platform::upperASCII(chat.service)))
      return chat.scheme;
  }
  return {};
}

bool isChatScheme(std::string_view scheme) {
  for (const SchemeService& known : kSchemeServices) {
    if (platform::asciiUpperEquals(scheme, known.scheme)) return true;
  }
  return false;
}

// One IMPP of the service and handle.
void appendImppOf(OpenCard& card, std::string_view service, std::string_view scheme,
                  const RuleInput& input, bool typesOnly, std::string_view handle) {
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
  const std::string_view value = trimBlanks(handle);
  if (!platform::asciiUpperEquals(uriScheme(value), platform::upperASCII(scheme)))
    model.valueText().append(scheme).push_back(':');
  model.valueText().append(value);
  model.endProperty();
}

// An IMPP of the service for each handle of the value: its types (all
// parameters but charset and encoding, for a source IMPP) and the handle
// with the scheme in front unless it has it already. A handle the card
// holds under the service already is written once.
void appendImpp(const ValueContext& context, OpenCard& card, std::string_view service,
                std::string_view scheme, const RuleInput& input, bool typesOnly) {
  const std::optional<std::string> handles = textValue(context, input);
  if (!handles) return;
  std::string_view rest = *handles;
  while (!rest.empty()) {
    const std::size_t separator = rest.find(kHandleSeparator);
    const std::string_view handle = rest.substr(0, separator);
    rest = separator == std::string_view::npos ? std::string_view()
                                               : rest.substr(separator + kHandleSeparator.size());
    if (isBlank(handle) || holdsChatAccount(card.card, service, chatHandle(handle))) continue;
    appendImppOf(card, service, scheme, input, typesOnly, handle);
  }
}

}  // namespace

void setRelatedName(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  const std::optional<std::string> name = textValue(context, input);
  if (!name || isBlank(*name)) return;
  appendLabelledItem(card, "X-ABRELATEDNAMES", *name, relationLabel(input));
}

// The anniversary's date as its value gives it: nothing when the value
// cannot be converted or names no whole day.
std::optional<TargetDate> anniversaryDate(const ValueContext& context, const RuleInput& input) {
  const std::optional<std::string> text = textValue(context, input);
  return text ? targetDate(*text) : std::nullopt;
}

void setAnniversary(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  // The judging read the date already; a caller that did not judge reads it
  // here.
  const std::optional<TargetDate> date = input.judgedDate != nullptr
                                             ? std::optional(*input.judgedDate)
                                             : anniversaryDate(context, input);
  if (date) {
    appendLabelledItem(card, "X-ABDATE", date->value, kAnniversaryLabel,
                       date->omitsYear ? kOmitYearParameter : std::string_view());
  }
}

void setDate(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  const std::optional<std::string> text = textValue(context, input);
  const std::optional<TargetDate> date = text ? targetDate(*text) : std::nullopt;
  bool marked = false;  // the source says the year is none already
  for (std::size_t i = 1; i < input.paramCount && !marked; ++i) {
    const std::string_view parameter = input.params[i] != nullptr ? input.params[i] : "";
    marked = parameter.find('=') != std::string_view::npos &&
             strutil::parameterKey(parameter) == "X-APPLE-OMIT-YEAR";
  }
  // A whole date with its year reads the same in either ISO form; it is
  // written as it came.
  const std::string_view written = text ? trimBlanks(*text) : std::string_view();
  if (!date ||
      (!(date->omitsYear && !marked) && written.find_first_of("Tt") == std::string_view::npos &&
       !written.starts_with("--"))) {
    setDirectly(context, card, input);
    return;
  }
  // The parameters as they came but a VALUE=date-time that no longer
  // holds, the year's mark added, and the date, written as plain text now.
  std::vector<std::string> parts;
  for (std::size_t i = 0; i < input.paramCount; ++i) {
    const std::string_view parameter = input.params[i] != nullptr ? input.params[i] : "";
    if (i > 0 && parameter.find('=') != std::string_view::npos &&
        strutil::parameterKey(parameter) == "VALUE")
      continue;
    parts.emplace_back(parameter);
  }
  if (date->omitsYear && !marked) parts.emplace_back(kOmitYearParameter);
  parts.push_back(date->value);
  std::vector<char*> pointers;
  for (std::string& part : parts)
    pointers.push_back(part.data());
  PropertyLine plain = input.prop;
  plain.encodeType = kEncodingNone;
  setDirectly(context, card, {pointers.data(), pointers.size() - 1, &pointers.back(), 1, plain});
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
  if (const std::string_view service = parameterOf(input, "X-SERVICE-TYPE"); !service.empty()) {
    const std::optional<std::string> value = textValue(context, input);
    if (!value) return;
    const std::string_view handle = chatHandle(*value);
    if (holdsChatAccount(card.card, service, handle)) return;
    // A handle is the service's own: phones write an ICQ number under
    // another service's scheme ("aim:"), which reads as that service.
    const std::string_view scheme = uriScheme(*value);
    const std::string_view own = schemeOfService(service);
    if (own.empty() || !isChatScheme(scheme) ||
        platform::asciiUpperEquals(scheme, platform::upperASCII(own))) {
      setDirectly(context, card, input);
      return;
    }
    std::string rewritten = std::string(own) + ":" + std::string(handle);
    char* values[] = {rewritten.data()};
    PropertyLine plain = input.prop;
    plain.encodeType = kEncodingNone;
    setDirectly(context, card, {input.params, input.paramCount, values, 1, plain});
    return;
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

void setSocialProfile(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  const std::optional<std::string> handles = textValue(context, input);
  if (!handles) return;
  std::string_view rest = *handles;
  while (!rest.empty()) {
    const std::size_t separator = rest.find(kHandleSeparator);
    std::string_view handle = trimBlanks(rest.substr(0, separator));
    rest = separator == std::string_view::npos ? std::string_view()
                                               : rest.substr(separator + kHandleSeparator.size());
    if (!uriScheme(handle).empty()) {
      card.card.addProperty({}, "X-SOCIALPROFILE", "type=twitter", handle);
      continue;
    }
    // A user name, as the iPhone writes one: by name and by its page.
    if (handle.starts_with('@')) handle.remove_prefix(1);
    if (isBlank(handle)) continue;
    const std::string user(handle);
    Card& model = card.card;
    model.beginProperty("X-SOCIALPROFILE");
    model.addParameter("type=twitter");
    model.addParameter("x-user=" + user);
    model.beginValue();
    model.valueText().append("http://twitter.com/").append(user);
    model.endProperty();
  }
}

void setDepartment(const ValueContext& context, OpenCard& card, const RuleInput& input) {
  // One ORG part: a ";" the split parted the value at is part of the name.
  std::string name;
  for (std::size_t i = 0; i < input.valueCount; ++i) {
    if (i > 0) name.append("\\;");
    const char* value = input.values[i] != nullptr ? input.values[i] : "";
    if (!appendConvertedValue(context, value, input.prop, false, &name)) return;
  }
  foldBareBreaks(&name, 0, context.valueBreak());
  card.extras.departments.push_back({platform::upperASCII(propertyName(input)), std::move(name)});
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
  const std::string type = strutil::containsKey(params, input.paramCount, "WORK")   ? "WORK"
                           : strutil::containsKey(params, input.paramCount, "HOME") ? "HOME"
                                                                                    : "";
  card.extras.addressLabels.push_back({type, std::move(street)});
}

FieldJudgement judgeField(Rule rule, const ValueContext& context, const OpenCard& card,
                          const RuleInput& input) {
  if (!judgesValues(rule)) return {};
  // A charset or transfer encoding nobody knows leaves the property out, as
  // it did while these names were not recognised, rather than the card.
  if (input.prop.charsetType == kCharsetUnknown || input.prop.encodeType == kEncodingUnknown)
    return {false, nullptr};
  if (rule == setRelatedName) {
    const bool byURI =
        platform::asciiUpperEquals(propertyName(input), "RELATED") && relatesByURI(input);
    return {!byURI, nullptr};
  }
  if (rule == setAnniversary) {
    std::optional<TargetDate> date = anniversaryDate(context, input);
    if (!date) return {false, nullptr};
    context.judgedDate = std::move(*date);
    return {true, &context.judgedDate};
  }
  if (rule == setAddressLabel) return {!hasProperty(card.card, "ADR"), nullptr};
  return {};
}

bool holdsNothing(char** values, std::size_t valueCount) noexcept {
  for (std::size_t i = 0; i < valueCount; ++i) {
    for (const char* c = values[i]; c != nullptr && *c != '\0'; ++c) {
      if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n' && *c != ';' && *c != ',')
        return false;
    }
  }
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

void settleDepartments(OpenCard& card, ReportNotes& notes) {
  Card& model = card.card;
  for (const CardExtras::Department& department : card.extras.departments) {
    Property* org = nullptr;
    for (Property& property : model.properties()) {
      if (!property.dropped && property.kind == Property::Kind::Line &&
          platform::asciiUpperEquals(model.text(property.name), "ORG")) {
        org = &property;
        break;
      }
    }
    if (org == nullptr) {
      model.addProperty({}, "ORG", ";" + department.name);
      continue;
    }
    // The ORG's parts: the company, then its units, parted by ";" unless
    // escaped.
    const std::string_view value = model.text(org->value);
    std::size_t first = std::string_view::npos;  // where the second part begins
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\\') {
        ++i;
      } else if (value[i] == ';') {
        first = i + 1;
        break;
      }
    }
    if (first == std::string_view::npos) {
      org->value = model.store(std::string(value) + ";" + department.name);
      continue;
    }
    std::size_t end = first;
    while (end < value.size() && value[end] != ';')
      end += value[end] == '\\' ? 2 : 1;
    end = std::min(end, value.size());
    const std::string_view unit = value.substr(first, end - first);
    if (unit == department.name) continue;
    if (!isBlank(unit)) {
      notes.dropped(card, department.property);
      continue;
    }
    org->value = model.store(std::string(value.substr(0, first)) + department.name +
                             std::string(value.substr(end)));
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
