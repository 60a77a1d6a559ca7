#include "read/source_plan.h"

#include <cstring>

#include "ascii_letters.h"
#include "byte_scan.h"
#include "platform.h"
#include "read/pictograms.h"
#include "read/source_japanese.h"
#include "utf8.h"

namespace vcard::detail {
namespace {

constexpr std::string_view kMarkUTF8 = "\xEF\xBB\xBF";

}  // namespace

void WesternCharsetDeclarations::scan(std::string_view content) {
  constexpr std::string_view kKey = "CHARSET=";
  for (std::size_t at = 1; !other_ && at + kKey.size() <= content.size(); ++at) {
    // Candidates follow a ";" (a parameter).
    const void* semicolon = std::memchr(content.data() + at - 1, ';', content.size() - at);
    if (semicolon == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(semicolon) - content.data()) + 1;
    if (at + kKey.size() > content.size()) break;
    std::size_t k = 0;
    while (k < kKey.size() && platform::asciiUpper(content[at + k]) == kKey[k])
      ++k;
    if (k < kKey.size()) continue;
    const std::size_t start = at + kKey.size();
    std::size_t end = start;
    while (end < content.size() && content[end] != ';' && content[end] != ':' &&
           content[end] != '\r' && content[end] != '\n')
      ++end;
    const std::string name = platform::upperASCII(content.substr(start, end - start));
    const bool isWestern = name.starts_with("WINDOWS-125") || name.starts_with("ISO-8859-");
    const bool neutral = name == "UTF-8" || name == "US-ASCII";
    if (!isWestern && !neutral) other_ = true;  // Japanese, or unknown
    if (isWestern && !western_ && platform::isKnownCharset(name.c_str())) western_ = name;
  }
}

std::optional<std::string> WesternCharsetDeclarations::charset() const {
  if (other_) return std::nullopt;
  return western_;
}

void recordUTF8(SourceInfo* source, bool marked, bool ascii) {
  source->encoding = marked ? "UTF-8" : ascii ? "US-ASCII" : "UTF-8";
  source->basis = marked ? EncodingBasis::ByteOrderMark : EncodingBasis::Content;
}

SourceSurvey::SourceSurvey(std::string_view head, CarrierChoice carrier) : carrier_(carrier) {
  // The loader records no encoding for an empty source, and repairs or
  // decodes UTF-16 from the mark on.
  if (head.empty() || head.starts_with("\xFE\xFF") || head.starts_with("\xFF\xFE")) {
    (void)settle(SourcePlan::Whole);
    return;
  }
  marked_ = head.starts_with(kMarkUTF8);
}

SourceSurvey::Step SourceSurvey::settle(SourcePlan plan) {
  done_ = true;
  plan_ = plan;
  if (plan != SourcePlan::UTF8 && plan != SourcePlan::ShiftJIS) {
    info_ = SourceInfo{};
    return Step::Done;
  }
  if (plan == SourcePlan::UTF8) {
    recordUTF8(&info_, marked_, ascii_);
  } else {
    info_.encoding = "Shift_JIS";
    info_.basis = EncodingBasis::Content;
  }
  // No code was found: the choice alone decides, as for any file without.
  info_.pictograms = decideCarrier(carrier_, PictogramScan{}, std::string_view());
  noteJapaneseText(&info_, std::string_view());
  return Step::Done;
}

std::optional<std::string> joinedFoldsInsideCharacters(std::string_view bytes) {
  auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
  std::string joined;
  std::size_t copied = 0;
  for (std::size_t feed = bytes.find('\n'); feed != std::string_view::npos;
       feed = bytes.find('\n', feed + 1)) {
    if (feed + 1 >= bytes.size() || (bytes[feed + 1] != ' ' && bytes[feed + 1] != '\t')) continue;
    const std::size_t breakStart = feed > 0 && bytes[feed - 1] == '\r' ? feed - 1 : feed;
    // The character the line ends in: its lead byte and the continuation
    // bytes it has before the fold.
    std::size_t lead = breakStart;
    while (lead > 0 && breakStart - lead < 3 && isContinuation(bytes[lead - 1]))
      --lead;
    if (lead == 0) continue;
    --lead;
    const unsigned char first = static_cast<unsigned char>(bytes[lead]);
    const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    const std::size_t before = breakStart - lead;
    if (length <= before) continue;  // whole, or no lead byte at all
    const std::size_t rest = feed + 2;
    std::size_t after = 0;
    while (rest + after < bytes.size() && after < length - before &&
           isContinuation(bytes[rest + after]))
      ++after;
    if (before + after != length) continue;
    joined.append(bytes.substr(copied, breakStart - copied));
    copied = rest;
  }
  if (copied == 0) return std::nullopt;
  joined.append(bytes.substr(copied));
  if (!utf::validateUTF8(joined)) return std::nullopt;
  return joined;
}

SourceSurvey::Step SourceSurvey::take(std::string_view piece, bool last) {
  if (done_) return Step::Done;
  // Zero bytes may be UTF-16 without a mark, or strays to drop.
  const char* end = piece.data() + piece.size();
  if (platform::holdsByte(piece.data(), end, '\0')) return settle(SourcePlan::Whole);
  // Pieces end after a line feed, so a source without one is a single
  // piece; if it ends its lines with CR alone, the loader makes them LF.
  if (last && !platform::holdsByte(piece.data(), end, '\n') &&
      platform::holdsByte(piece.data(), end, '\r'))
    return settle(SourcePlan::Whole);
  if (utf8_) {
    if (!utf::validateUTF8(piece)) {
      if (marked_) return settle(SourcePlan::Whole);  // to be repaired
      // UTF-8 cut only by folds: the loader joins them.
      folds_ = FoldsLooked{joinedFoldsInsideCharacters(piece)};
      if (folds_->joined) return settle(SourcePlan::Whole);
      utf8_ = false;
      return Step::Again;
    }
    ascii_ = ascii_ && utf::isASCII(piece);
    // U+FEFF inside the text (files joined with their marks) is left out,
    // and counted, by the loader.
    if (piece.find(kMarkUTF8) != std::string_view::npos) return settle(SourcePlan::Whole);
    if (scanPictogramCodes(piece, false).total() != 0) return settle(SourcePlan::Whole);
    noteJapaneseText(&info_, piece);
    return last ? settle(SourcePlan::UTF8) : Step::More;
  }
  // Pictogram codes are mapped while the bytes are still Shift_JIS, which
  // takes the whole file to decide the carrier.
  declarations_.scan(piece);
  if (scanPictogramCodes(piece, true).total() != 0) return settle(SourcePlan::Whole);
  if (!last) return Step::More;
  // A Western charset the file declares outranks a Shift_JIS reading.
  return settle(declarations_.charset() ? SourcePlan::Whole : SourcePlan::ShiftJIS);
}

}  // namespace vcard::detail
