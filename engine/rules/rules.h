// The recognition and the rewrite rules over one conversion: a logical
// property line, assembled by the line loop, becomes properties of the open
// card, and a finished card goes to the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion.h"
#include "str_param.h"
#include "vcard.h"

namespace vcard::detail {

// The logical property line being assembled from physical lines.
struct PropertyLine {
  bool started = false;  // a physical line opened it
  std::string text;      // the assembled line as found in the source
  // kCharset... and kEncoding... codes (str_param.h) of its parameters.
  std::uint64_t charsetType = 0;
  std::uint64_t encodeType = 0;
  char charsetName[48] = {};  // ICU's name of the charset when charsetType is kCharsetOther
  // The parameters of the line that opened it that declare a charset or a
  // transfer encoding (ParameterCodes::declaring), judged once with them,
  // and how many names that line had (0 when its names went on past it).
  std::uint64_t declaring = 0;
  std::size_t namesJudged = 0;
  std::uint64_t lineStatus = PROP_IDLE;
  std::uint8_t qpNext = QP_NEXT_ANY;
  bool isTarget = false;
  bool isHalfToFull = false;

  void reset() noexcept;
};

// The tokens of a split line as the rules take them: params[0] is the
// property name without its group. declaring, when given, marks the
// parameters that declare a charset or an encoding as the line loop judged
// them (ParameterCodes::declaring); parameters a rule wrote anew come
// without.
struct TargetDate;

struct RuleInput {
  char** params;
  std::size_t paramCount;
  char** values;
  std::size_t valueCount;
  const PropertyLine& prop;
  std::optional<std::uint64_t> declaring = std::nullopt;
  // The date the judging of the value read (judgeField), for the rule that
  // writes it: the value is converted and read once.
  const TargetDate* judgedDate = nullptr;
};

// True when parameter i of the input declares a charset or a transfer
// encoding: such a label no longer holds once the value is written decoded.
[[nodiscard]] bool declaresCoding(const RuleInput& input, std::size_t i);

using Rule = void (*)(const ValueContext&, OpenCard&, const RuleInput&);
void setVersion(const ValueContext& context, OpenCard& card, const RuleInput& input);
void setDirectly(const ValueContext& context, OpenCard& card, const RuleInput& input);
void setTel(const ValueContext& context, OpenCard& card, const RuleInput& input);
void setSound(const ValueContext& context, OpenCard& card, const RuleInput& input);
void setEmail(const ValueContext& context, OpenCard& card, const RuleInput& input);
void setAdr(const ValueContext& context, OpenCard& card, const RuleInput& input);
// KIND of a 4.0 card: a group is no person and is not written; an
// organisation is shown by its company name.
void setKind(const ValueContext& context, OpenCard& card, const RuleInput& input);

// True for the rule of a row that means something on a 4.0 card only; on
// another card its property is left out like any unrecognised one.
[[nodiscard]] bool onlyVersion4(Rule rule);

// Runs rule over a property of a vCard 4.0 card with its parameters and value
// as the 3.0 rules take them: TYPE lists cut into one TYPE each, PREF as
// TYPE=PREF, a tel: URI as its number, and the parameters that carry nothing
// for the targets left out. A data URI photo becomes a Base64 one, a date is
// written as the targets write dates, and of an ALTID set one property is
// kept (the Japanese one, else the first). What the card settles at its end
// is noted for settleVersion4.
void applyVersion4(const ValueContext& context, ReportNotes& notes, OpenCard& card, Rule rule,
                   const RuleInput& input);
// At a 4.0 card's end: readings from N's and ORG's SORT-AS when the card
// has none of its own, the company mark of KIND:org, and a birthday given as text added
// to the note.
void settleVersion4(const ValueContext& context, OpenCard& card);

// Appends one value converted: quoted-printable or (with decodeBase64)
// Base64 decoded, its bytes read by the charset, line breaks written as the
// target takes them, half-width katakana made full width where the property
// asks.
// False, with the value partly appended, when a text value is not
// well-formed UTF-8.
[[nodiscard]] bool appendConvertedValue(const ValueContext& context, const char* value,
                                        const PropertyLine& prop, bool decodeBase64,
                                        std::string* out);
// A lone CR or LF of text from offset from on, which a plain value can
// carry, becomes lineBreak (the value's line break in the target); CR LF
// pairs, those of folding included, are left alone.
void foldBareBreaks(std::string* text, std::size_t from, const char* lineBreak);

// The property with its parameters and values as setDirectly writes them,
// under another name.
void appendAs(const ValueContext& context, Card& model, const char* name, const RuleInput& input);

[[nodiscard]] std::optional<std::string> convertValue(const ValueContext& context,
                                                      const char* value, const PropertyLine& prop,
                                                      bool decodeBase64 = false);

// Handles one logical line of the conversion's source: opens, closes,
// rejects and writes cards and runs the rule of a recognised property.
// splitDone says conversion.split holds the split of line already.
void recogData(Conversion& conversion, std::string_view line, PropertyLine& prop, bool splitDone);

// What a card settles at its end: grouped properties with their labels, the
// name from FN as the last property in place of any empty N, a card picture,
// departments and LABEL addresses. Notes each property left out on the way:
// a department beside another, a LABEL beside an ADR. Every card, written
// or never closed, is settled here.
void settleCard(const ValueContext& context, ReportNotes& notes, OpenCard& card);

// Keeps the card's first FN line (FN is never written, but it names a card
// that has no N), and a group's label (the first that is not empty).
void noteFN(OpenCard& card, std::string_view line, const PropertyLine& prop);
void noteLabel(const ValueContext& context, OpenCard& card, std::string_view group, char** values,
               std::size_t valueCount, const PropertyLine& prop);

}  // namespace vcard::detail
