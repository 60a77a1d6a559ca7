// iCloud.com's limits on what its importer takes, and their form in the
// texts that tell the user of them.
#pragma once

#include <cstddef>
#include <string>

namespace vcard {

// In decimal kilobytes, so that they hold whichever kilobyte the importer
// counts in.
inline constexpr std::size_t kICloudMaxPhotoBytes = 224'000;
inline constexpr std::size_t kICloudMaxCardBytes = 256'000;

static_assert(kICloudMaxPhotoBytes % 1000 == 0 && kICloudMaxCardBytes % 1000 == 0,
              "the texts give the limits in whole kilobytes");

// A limit as the texts give it: "224 KB".
[[nodiscard]] inline std::string limitText(std::size_t bytes) {
  return std::to_string(bytes / 1000) + " KB";
}

}  // namespace vcard
