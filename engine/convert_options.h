// Which address book a conversion writes for. The same cards, recognised and
// rewritten by the same rules, are written in one of two forms.
#pragma once

#include <cstdint>

namespace vcard {

enum class Target {
  // "PC→iPhone.vcf": UTF-16LE with mark, the cards' own versions, opened on
  // the phone itself.
  IPhone,
  // "PC→iCloud.vcf": vCard 3.0 in UTF-8 for the importer of iCloud.com's
  // Contacts page, which refuses 2.1, quoted-printable, a byte-order mark,
  // cards without FN and oversized photos and cards.
  ICloud,
};

// Which carrier's pictograms the conversion maps: found out from the file,
// named by the user, or none.
enum class CarrierChoice : std::uint8_t { Auto, Docomo, AU, SoftBank, None };

// What a caller may choose about a conversion beyond its two paths.
struct ConvertOptions {
  Target target = Target::IPhone;
  // iCloud.com refuses a file of more cards than this as a whole; beyond it
  // the cards go to numbered files ("PC→iCloud-1.vcf", ...).
  std::uint64_t cardsPerFile = 50'000;
  CarrierChoice carrier = CarrierChoice::Auto;
};

}  // namespace vcard
