// One finished card in the form iCloud.com's importer takes: vCard 3.0,
// parameters and values as RFC 2426 writes them, an FN, photos within the
// size limits, lines folded at 75 octets. The card comes as the rules built
// it: its parts UTF-8, source folds kept, a line break inside a value as a
// lone LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "card/card.h"
#include "icloud_limits.h"
#include "progress/progress_meter.h"

namespace vcard::detail {

enum class PhotoFate {
  Kept,     // written as it came
  Scaled,   // scaled down and written again as JPEG
  LeftOut,  // could not be made to fit, or not read as a picture
};

struct PhotoOutcome {
  PhotoFate fate = PhotoFate::Kept;
  std::uint64_t sourceBytes = 0;
  std::uint64_t writtenBytes = 0;  // 0 when left out
  std::string format;              // "JPEG", "PNG", "GIF", "BMP", "TIFF" or ""
};

struct ICloudCard {
  std::string text;  // the card, every line ended by CR LF and folded
  std::string name;  // the FN value as a person reads it
  std::vector<PhotoOutcome> photos;
};

// The card in iCloud.com's form; progress (when not null) is told while a
// photo is scaled, which may take a while.
[[nodiscard]] ICloudCard icloudCard(const Card& card, ProgressMeter* progress = nullptr);

// The FN a Japanese address book shows for an N value (its components
// escaped as in the card): family name first, then given name and the other
// parts; a space between two parts only where both are written in a script
// that puts spaces between words.
[[nodiscard]] std::string nameFromComponents(std::string_view nValue);

}  // namespace vcard::detail
