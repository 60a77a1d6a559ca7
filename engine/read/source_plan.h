// How a source is read, decided once from its bytes, whether it is loaded
// whole or read in pieces: the whole file is simply one piece.
//
// A source whose text is its own bytes (UTF-8) or their plain Shift_JIS
// decoding, with nothing to repair or map on the way, is read as such, and
// its record is settled here. Every other source (a UTF-16 mark, zero
// bytes, U+FEFF inside, lines ended by CR alone, ill-formed UTF-8 after a
// mark, pictogram codes, a declared Western charset) needs the whole file:
// the loader's repairs decide for it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "convert_options.h"
#include "vcard.h"

namespace vcard::detail {

// The charsets that CHARSET parameters name, gathered over a file's pieces
// (each holding whole lines): the one Western charset the file declares, when
// it declares one and no charset but UTF-8 and US-ASCII besides.
class WesternCharsetDeclarations {
 public:
  void scan(std::string_view content);
  [[nodiscard]] std::optional<std::string> charset() const;

 private:
  bool other_ = false;
  std::optional<std::string> western_;
};

enum class SourcePlan {
  Unreadable,  // no regular file, or reading it failed
  Whole,       // left to the whole-file loader
  UTF8,        // taken as it is (a leading mark left out)
  ShiftJIS,    // decoded from Shift_JIS
};

// The record of bytes taken as UTF-8: after a mark "UTF-8" by the mark;
// without one "US-ASCII" when every byte is ASCII (which says nothing about
// the charset of encoded values), else "UTF-8" by the content.
void recordUTF8(SourceInfo* source, bool marked, bool ascii);

// The UTF-8 text with every fold that a writer put inside a character
// joined: some fold every 75 bytes, whatever byte falls there, so the fold's
// line break and blank stand between a character's lead byte and the rest
// of it. nullopt when no fold does, or when the joined text is not
// well-formed UTF-8 either (the bytes are no UTF-8 cut by folds, and the
// file is read as before).
[[nodiscard]] std::optional<std::string> joinedFoldsInsideCharacters(std::string_view bytes);

// What joinedFoldsInsideCharacters answered for a text it was asked about.
struct FoldsLooked {
  std::optional<std::string> joined;
};

// The first pass over a source's bytes. It is handed the bytes after the
// mark piece by piece, every piece but the last ending after a line feed;
// the whole file is a single piece. Whether bytes that are not UTF-8 are
// all Shift_JIS shows only while they are decoded: a ShiftJIS plan holds as
// long as they decode strictly.
class SourceSurvey {
 public:
  enum class Step {
    More,   // hand over the next piece
    Again,  // not UTF-8: hand over every piece again from the first
    Done,   // the plan is settled; no piece is needed any more
  };

  // head: the source's first bytes, three of them unless it is shorter.
  SourceSurvey(std::string_view head, CarrierChoice carrier);

  // The bytes at the start that are no part of the pieces: a UTF-8 mark.
  [[nodiscard]] std::size_t markSize() const noexcept { return marked_ ? 3 : 0; }
  [[nodiscard]] bool done() const noexcept { return done_; }

  [[nodiscard]] Step take(std::string_view piece, bool last);

  // Settled once done; Whole before.
  [[nodiscard]] SourcePlan plan() const noexcept { return done_ ? plan_ : SourcePlan::Whole; }
  // For a UTF8 or ShiftJIS plan, the source's record.
  [[nodiscard]] const SourceInfo& info() const noexcept { return info_; }
  // What the folds inside characters of a piece that is not UTF-8 (and has
  // no mark) gave, when a piece was looked at: the whole-file loader, whose
  // one piece is the file, takes it rather than looking again.
  [[nodiscard]] std::optional<FoldsLooked> takeFolds() noexcept { return std::move(folds_); }

 private:
  Step settle(SourcePlan plan);

  CarrierChoice carrier_;
  bool marked_ = false;
  bool utf8_ = true;
  bool ascii_ = true;
  bool done_ = false;
  SourcePlan plan_ = SourcePlan::Whole;
  WesternCharsetDeclarations declarations_;
  SourceInfo info_;
  std::optional<FoldsLooked> folds_;
};

}  // namespace vcard::detail
