#include "source_stream.h"

#include <cstring>
#include <string>
#include <string_view>

#include "engine_p.h"
#include "pictograms.h"
#include "utf8.h"

namespace vcard::detail {
namespace {

constexpr std::string_view kMarkUTF8 = "\xEF\xBB\xBF";

// True when the line that ends with the line feed at lineFeed reads
// END:VCARD (any letter case, carriage returns before the feed).
bool endsCard(std::string_view bytes, std::size_t lineFeed) {
  constexpr std::string_view kEnd = "END:VCARD";
  std::size_t end = lineFeed;
  while (end > 0 && bytes[end - 1] == '\r')
    --end;
  if (end < kEnd.size()) return false;
  const std::size_t start = end - kEnd.size();
  if (start > 0 && bytes[start - 1] != '\n') return false;
  for (std::size_t k = 0; k < kEnd.size(); ++k) {
    char c = bytes[start + k];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kEnd[k]) return false;
  }
  return true;
}

// Where to cut bytes: just after the last END:VCARD line whose line feed is
// at from or later; npos when there is none.
std::size_t findCut(std::string_view bytes, std::size_t from) {
  std::size_t end = bytes.size();
  while (end > from) {
    const void* lineFeed = ::memrchr(bytes.data() + from, '\n', end - from);
    if (lineFeed == nullptr) break;
    const auto at = static_cast<std::size_t>(static_cast<const char*>(lineFeed) - bytes.data());
    if (endsCard(bytes, at)) return at + 1;
    end = at;
  }
  return std::string_view::npos;
}

// The file's bytes from the start (after skip bytes), in pieces that end
// after a card, or at the end of the file.
class Pieces {
 public:
  Pieces(platform::FileReader* file, std::size_t readSize, std::size_t skip)
      : file_(file), readSize_(readSize), skip_(skip) {}

  // The next piece, and whether it is the last; false on a read error.
  bool next(std::string_view* piece, bool* last) {
    if (taken_ > 0) {
      buffer_.erase(0, taken_);
      taken_ = 0;
      searched_ = 0;
    }
    for (;;) {
      if (skip_ == 0) {
        if (const std::size_t cut = findCut(buffer_, searched_); cut != std::string_view::npos) {
          *piece = std::string_view(buffer_.data(), cut);
          *last = false;
          taken_ = cut;
          return true;
        }
        searched_ = buffer_.size();
      }
      if (ended_) {
        *piece = buffer_;
        *last = true;
        taken_ = buffer_.size();
        return true;
      }
      const std::optional<std::size_t> read = file_->readSome(&buffer_, readSize_);
      if (!read) return false;
      ended_ = *read == 0;
      if (skip_ > 0 && (buffer_.size() >= skip_ || ended_)) {
        buffer_.erase(0, std::min(skip_, buffer_.size()));
        skip_ = 0;
      }
    }
  }

 private:
  platform::FileReader* file_;
  std::size_t readSize_;
  std::size_t skip_;
  std::string buffer_;
  std::size_t taken_ = 0;     // bytes of buffer_ handed out as the last piece
  std::size_t searched_ = 0;  // bytes of buffer_ already searched for a cut
  bool ended_ = false;
};

}  // namespace

StreamLimits& streamLimits() noexcept {
  static StreamLimits limits;
  return limits;
}

SourceStream::SourceStream(const char* path, CarrierChoice carrier, const StreamLimits& limits)
    : file_(path != nullptr ? path : ""), limits_(limits), source_(&beginSource(carrier)) {
  if (limits_.readSize == 0) limits_.readSize = 1;
  if (path == nullptr || !file_.isOpen()) return;
  // An empty file needs no pieces (and the whole-file loader records no
  // encoding for it).
  const bool small = file_.size() == 0 || file_.size() < limits_.minimumSize;
  plan_ = small ? SourcePlan::Whole : decide(carrier);
  if (plan_ == SourcePlan::Whole || plan_ == SourcePlan::Unreadable) beginSource(carrier);
}

SourcePlan SourceStream::decide(CarrierChoice carrier) {
  // The mark decides first, as in the whole-file loader: UTF-16 marks and
  // everything to repair are left to it.
  std::string head;
  if (!file_.readSome(&head, 4)) return SourcePlan::Unreadable;
  if (head.starts_with("\xFE\xFF") || head.starts_with("\xFF\xFE")) return SourcePlan::Whole;
  const bool marked = head.starts_with(kMarkUTF8);
  skip_ = marked ? kMarkUTF8.size() : 0;

  // UTF-8 first; at the first piece that is not, the file is read again
  // from the start as Shift_JIS.
  bool utf8 = true;
  bool ascii = true;
  WesternCharsetDeclarations declarations;
  for (;;) {
    if (!file_.rewind()) return SourcePlan::Unreadable;
    Pieces pieces(&file_, limits_.readSize, skip_);
    bool restart = false;
    for (bool last = false; !last;) {
      std::string_view piece;
      if (!pieces.next(&piece, &last)) return SourcePlan::Unreadable;
      // Zero bytes may be UTF-16 without a mark, or strays to drop.
      if (std::memchr(piece.data(), '\0', piece.size()) != nullptr) return SourcePlan::Whole;
      if (utf8) {
        if (!utf::validateUTF8(piece)) {
          if (marked) return SourcePlan::Whole;  // to be repaired
          utf8 = false;
          restart = true;
          break;
        }
        ascii = ascii && utf::isASCII(piece);
        // U+FEFF inside the text (files joined with their marks) is left
        // out by the whole-file loader, which also counts it.
        if (piece.find(kMarkUTF8) != std::string_view::npos) return SourcePlan::Whole;
        if (scanPictogramCodes(piece, false).total() != 0) return SourcePlan::Whole;
      } else {
        declarations.scan(piece);
        if (scanPictogramCodes(piece, true).total() != 0) return SourcePlan::Whole;
        if (!platform::ShiftJISPieceDecoder::isShiftJIS(piece)) return SourcePlan::Whole;
      }
    }
    if (!restart) break;
  }
  if (!utf8 && declarations.charset()) return SourcePlan::Whole;

  SourceInfo& source = *source_;
  if (utf8) {
    source.encoding = marked ? "UTF-8" : ascii ? "US-ASCII" : "UTF-8";
    source.basis = marked ? EncodingBasis::ByteOrderMark : EncodingBasis::Content;
  } else {
    source.encoding = "Shift_JIS";
    source.basis = EncodingBasis::Content;
  }
  // No code was found: the choice alone decides, as for any file without.
  source.pictograms = decideCarrier(carrier, PictogramScan{}, std::string_view());
  return utf8 ? SourcePlan::UTF8 : SourcePlan::ShiftJIS;
}

bool SourceStream::run(LineAnalysis* analysis) {
  if (plan_ != SourcePlan::UTF8 && plan_ != SourcePlan::ShiftJIS) return false;
  if (!file_.rewind()) return false;
  Pieces pieces(&file_, limits_.readSize, skip_);
  platform::ShiftJISPieceDecoder decoder;
  std::string scratch;
  for (bool last = false; !last;) {
    std::string_view piece;
    if (!pieces.next(&piece, &last)) return false;
    std::string_view text;
    // The file may have changed since it was read to decide: what no longer
    // decodes is repaired rather than trusted.
    if (plan_ == SourcePlan::ShiftJIS) {
      if (decoder.decode(piece)) {
        text = std::string_view(decoder.data(), decoder.size());
      } else {
        scratch = platform::decodeLossyToUTF8(piece, "Shift_JIS", &source_->replaced).value_or("");
        text = scratch;
      }
    } else if (!utf::validateUTF8(piece)) {
      scratch = platform::decodeLossyToUTF8(piece, "UTF-8", &source_->replaced).value_or("");
      text = scratch;
    } else {
      text = piece;
    }
    analysis->feed(text.data(), text.size(), last);
    if (!last) analysis->retireClosedCards();
  }
  return true;
}

}  // namespace vcard::detail
