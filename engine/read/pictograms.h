// Carrier pictograms (絵文字) of Shift_JIS exports: which carrier a file's
// codes belong to, and the Unicode emoji each code stands for.
//
// Feature phones write their pictograms as codes of the user-defined area
// (docomo F89F-F9FC, au F340-F7FC, SoftBank F741-F9xx) and, for SoftBank,
// FB41-FBD7 among the IBM extension kanji. The ranges overlap, so a code
// alone may mean two different pictograms; the whole file decides.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vcard.h"

namespace vcard::detail {

// The pictogram-like codes of a file, counted by which carriers' tables
// hold them: index bit 0 docomo, bit 1 au, bit 2 SoftBank; index 0 counts
// user-defined codes that no table holds.
struct PictogramScan {
  std::array<std::uint64_t, 8> byCarriers{};
  std::uint64_t plainCodes = 0;  // of them, outside quoted-printable

  [[nodiscard]] std::uint64_t total() const noexcept;
  // How many of the codes the carrier's table holds.
  [[nodiscard]] std::uint64_t heldBy(Carrier carrier) const noexcept;
};

// Counts the codes in a file's bytes: "=XX" quoted-printable bytes (soft
// line breaks skipped) wherever they are, and, when plainIsShiftJIS, the
// file's own bytes too. Both are walked as Shift_JIS, lead and trail.
[[nodiscard]] PictogramScan scanPictogramCodes(std::string_view bytes, bool plainIsShiftJIS);

// The carrier to map for the choice, the codes found and the file's text
// (whose marks tell a phone export, and sometimes its maker).
[[nodiscard]] PictogramInfo decideCarrier(CarrierChoice choice, const PictogramScan& scan,
                                          std::string_view content);

// The emoji (UTF-8) for a carrier's code; empty when the carrier has none.
[[nodiscard]] std::string_view pictogramText(Carrier carrier, std::uint16_t code) noexcept;

// Decodes Shift_JIS bytes to UTF-8 with the carrier's pictograms as emoji:
// strictly (nothing when invalid) or with U+FFFD for invalid bytes.
[[nodiscard]] std::optional<std::string> decodeShiftJISWithPictograms(std::string_view bytes,
                                                                      Carrier carrier, bool lossy);

// True when the bytes may hold a pictogram code (a byte F3-F9 or FB); a
// value without one is decoded the ordinary way.
[[nodiscard]] bool mayHoldPictogram(std::string_view bytes) noexcept;

// The characters of the Private Use Area (U+E000-U+F8FF) in well-formed
// UTF-8: what an iPhone shows as nothing or a blank box.
[[nodiscard]] std::uint64_t countPrivateUse(std::string_view text) noexcept;

}  // namespace vcard::detail
