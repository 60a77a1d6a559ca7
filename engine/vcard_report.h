// The conversion report: what the engine decided that the result texts do
// not say. Which card was left out and why, a card the file cut off, how the
// file's encoding was chosen, what was repaired, and which properties an
// iPhone does not take. The window and the command line show it after the
// result; it holds names and goes nowhere else (never to the process log).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert_options.h"
#include "vcard.h"

namespace vcard {

enum class SkipReason {
  UnsupportedVersion,   // VERSION neither 2.1, 3.0 nor 4.0
  UnsupportedCharset,   // a CHARSET no converter knows
  CharsetNotInBuild,    // a CHARSET whose table this build (the web page) does not carry
  UnsupportedEncoding,  // a transfer ENCODING nobody knows
  NeverClosed,          // BEGIN:VCARD without END:VCARD before the file ends
  ContactGroup,         // KIND:group: a list of members, not a person
};

// One card read but not written, or begun and never closed.
struct SkippedCard {
  std::uint64_t position = 0;  // its place among the cards begun in the file, from 1
  std::string name;            // its N (components joined), else FN, else "（名前なし）"
  SkipReason reason = SkipReason::UnsupportedVersion;
  std::string detail;  // what was found: "VERSION:4.0", "N;CHARSET=X-FOO", ...
};

// A property an iPhone does not take, left out of every card that had it
// (for either target).
struct DroppedProperty {
  std::string name;  // upper-cased, without group; "SOUND(音声)" for audio
  std::uint64_t count = 0;
};

// A photo of a card written for iCloud.com that did not fit its limits.
struct PhotoAdapted {
  std::uint64_t position = 0;  // the card's place among the cards begun, from 1
  std::string name;            // the card's FN as written
  std::uint64_t sourceBytes = 0;
  std::uint64_t writtenBytes = 0;  // 0 when left out
  std::string format;              // "JPEG", "PNG", "GIF", "BMP", "TIFF", "" when not known
};

// One file of the cards written for iCloud.com.
struct OutputPart {
  std::string path;
  std::uint64_t cards = 0;
};

// What writing for iCloud.com changed beyond the rules; empty for the iPhone.
struct ICloudAdaptations {
  std::vector<PhotoAdapted> photosScaled;
  std::vector<PhotoAdapted> photosLeftOut;
  // The numbered files, when the cards did not fit one file; else empty.
  std::vector<OutputPart> parts;
};

struct ConversionReport {
  std::uint64_t inCount = 0;   // as in the log text
  std::uint64_t outCount = 0;  // as in the log text
  bool loaded = false;         // the source was read (else nothing below is filled)
  SourceInfo source;
  std::vector<SkippedCard> skipped;      // in file order
  std::vector<DroppedProperty> dropped;  // in order of first appearance
  Target target = Target::IPhone;
  ICloudAdaptations icloud;
  // Private-use characters (pictograms no table mapped, a PC's own glyphs)
  // in the written cards of a file that had codes of the user-defined area,
  // and the places of those cards among the cards begun, from 1.
  std::uint64_t privateUseLeft = 0;
  std::vector<std::uint64_t> privateUseCards;
  // The places of the written cards holding U+FFFD, when the loader replaced
  // bytes it could not read (source.replaced), from 1.
  std::vector<std::uint64_t> replacedCards;
  // Lines of the written cards that were neither a property nor part of
  // one (a name cut by a comma, a value's text on a line of its own), and
  // the places of those cards, from 1.
  std::uint64_t unreadableLines = 0;
  std::vector<std::uint64_t> unreadableLineCards;
  // Photos of written cards given only as a web address (4.0), which cannot
  // be fetched and are left out.
  std::uint64_t photosByAddress = 0;
  // No line of the source began a card: it is no vCard file at all (a
  // picture or a text named .vcf, an empty file).
  bool noCardFound = false;
  // The files of an earlier run at the output's place that this run did not
  // write, removed once it had succeeded (numbered parts it no longer needs).
  std::vector<std::string> superseded;

  // True when something was left out, repaired or guessed beyond the
  // ordinary; an ordinary file that lost nothing has nothing to report.
  [[nodiscard]] bool worthTelling() const;
};

// The file name of a path (after its last slash).
[[nodiscard]] std::string fileNameOf(const std::string& path);

// The reason in plain Japanese, with what was found.
[[nodiscard]] std::string skipReasonText(const SkippedCard& card);

// How the encoding was chosen, in Japanese ("ファイル内容から推定" ...).
[[nodiscard]] std::string encodingBasisText(EncodingBasis basis);

// The carrier in Japanese ("ドコモ", "au", "ソフトバンク"; "" for none).
[[nodiscard]] std::string carrierText(Carrier carrier);

// Why the carrier was chosen, or none, in Japanese.
[[nodiscard]] std::string carrierBasisText(const PictogramInfo& pictograms);

// The carrier choice written on a command line ("auto", "docomo", "au",
// "softbank", "none"), in any letter case; nothing for another word.
[[nodiscard]] std::optional<CarrierChoice> parseCarrierChoice(std::string_view word);

// The report as lines of text: a summary line, one line per card left out
// (at most maxCards, then "ほか N件"), then the file-level lines; "" when
// there is nothing worth telling.
[[nodiscard]] std::string reportText(const ConversionReport& report, std::size_t maxCards = 100);

}  // namespace vcard
