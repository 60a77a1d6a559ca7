#include "line_fold.h"

namespace vcard::detail {

namespace {

constexpr std::size_t kLineEnd = 2;   // CR LF
constexpr std::size_t kFoldMark = 1;  // the blank that starts a continuation

constexpr bool isContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Cuts the line into its physical lines and hands each to take(text, last),
// without line end or leading blank: the one folding rule that writing and
// counting both follow.
template <typename Take>
void fold(std::string_view line, Take&& take) {
  std::size_t limit = kFoldWidth;
  while (line.size() > limit) {
    std::size_t cut = limit;
    while (cut > 0 && isContinuationByte(line[cut]))
      --cut;
    if (cut == 0) cut = limit;  // not UTF-8 at all: cut where the width ends
    take(line.substr(0, cut), false);
    line.remove_prefix(cut);
    limit = kFoldWidth - kFoldMark;  // the blank takes one octet of the next line
  }
  take(line, true);
}

}  // namespace

void appendFolded(std::string_view line, std::string* out) {
  fold(line, [out](std::string_view piece, bool last) {
    out->append(piece).append(last ? "\r\n" : "\r\n ");
  });
}

std::size_t foldedSize(std::string_view line) noexcept {
  std::size_t size = 0;
  fold(line, [&size](std::string_view piece, bool last) {
    size += piece.size() + kLineEnd + (last ? 0 : kFoldMark);
  });
  return size;
}

std::size_t asciiFoldedCapacity(std::size_t lineBytes) noexcept {
  // ASCII is cut at the width exactly, so k physical lines carry
  // k * (kFoldWidth - 1) octets for k * (kFoldWidth + 2) bytes, blank and
  // CR LF counted on each; the first line, which has no blank, holds one
  // octet more than counted. The 8 octets set aside first are a margin that
  // keeps the photos sized by this bound the size they have always been.
  constexpr std::size_t kSlack = 8;
  constexpr std::size_t kPhysicalBytes = kFoldWidth + kLineEnd;
  constexpr std::size_t kPhysicalOctets = kFoldWidth - kFoldMark;
  if (lineBytes < kSlack) return 0;
  return (lineBytes - kSlack) / kPhysicalBytes * kPhysicalOctets;
}

}  // namespace vcard::detail
