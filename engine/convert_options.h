// Which address book a conversion writes for. The same cards, recognised and
// rewritten by the same rules, are written in one of two forms.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

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

// What a long conversion is doing.
enum class ProgressStep : std::uint8_t {
  Reading,        // loading the source
  Converting,     // cards being read, rewritten and written
  ScalingPhotos,  // a photo being scaled down to iCloud.com's limits
};

struct Progress {
  ProgressStep step = ProgressStep::Reading;
  std::uint64_t sourceBytes = 0;   // the source's size
  std::uint64_t bytesRead = 0;     // of them, read and converted so far
  std::uint64_t currentCard = 0;   // the place of the card being converted, from 1
  std::uint64_t cardsWritten = 0;  // cards handed to the output so far
};

// Told of a conversion's progress from the thread it runs on, once every
// interval at most, and once more at its end (when the source was not
// empty). Returning false stops the conversion: what it wrote is removed
// and the log says it was stopped.
using ProgressCallback = std::function<bool(const Progress&)>;

// What a caller may choose about a conversion beyond its two paths.
struct ConvertOptions {
  Target target = Target::IPhone;
  // iCloud.com refuses a file of more cards than this as a whole; beyond it
  // the cards go to numbered files ("PC→iCloud-1.vcf", ...).
  std::uint64_t cardsPerFile = 50'000;
  CarrierChoice carrier = CarrierChoice::Auto;
  ProgressCallback progress;  // none: nothing is told
  std::chrono::milliseconds progressInterval{200};
};

}  // namespace vcard
