// Reading a large source piece by piece: the raw file and its whole decoded
// text are never held at once, so memory does not grow with the file.
//
// A first pass over the file decides what the whole-file loader would: the
// encoding, the charset its parameters declare, whether it holds pictogram
// codes. Whether a file that is not UTF-8 is all Shift_JIS shows only while
// it is decoded: a piece that is not ends the run, and the conversion starts
// again with the whole-file loader. Only sources whose text is its bytes (UTF-8 without U+FEFF
// inside) or their plain Shift_JIS decoding are read in pieces; every other source (UTF-16, zero
// bytes, a Western charset, pictograms to map, anything to repair) is left
// to the whole-file loader, which decides as before. Pieces are cut after a
// card's END:VCARD line, where no value, soft line break or character runs
// on into the next piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "convert_options.h"
#include "platform.h"
#include "vcard.h"

namespace vcard::detail {

class LineAnalysis;

// Clears the record of the source (lastSourceInfo) for a new one read with
// that carrier choice, and gives it to be filled.
SourceInfo& beginSource(CarrierChoice carrier) noexcept;

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

struct StreamLimits {
  std::uint64_t minimumSize = 4u << 20;  // smaller files are loaded whole
  std::size_t readSize = 1u << 20;       // bytes read at a time
};

// The limits the driver uses; tests shrink them to cut every file into many
// pieces.
[[nodiscard]] StreamLimits& streamLimits() noexcept;

enum class SourcePlan {
  Unreadable,  // no regular file, or reading it failed
  Whole,       // left to the whole-file loader
  UTF8,        // read in pieces, taken as they are (U+FEFF left out)
  ShiftJIS,    // read in pieces, each decoded from Shift_JIS
};

enum class StreamEnd {
  Done,
  ReadFailed,   // reading failed on the way
  NotAsPlanned  // a piece did not decode as planned: not Shift_JIS after all,
                // or the file changed since it was first read
};

class SourceStream {
 public:
  // Opens the source and reads it once to decide the plan; for a plan read
  // in pieces, lastSourceInfo already tells what the whole-file loader would.
  SourceStream(const char* path, CarrierChoice carrier, const StreamLimits& limits);

  [[nodiscard]] SourcePlan plan() const noexcept { return plan_; }

  // Reads the source again and hands its text to analysis piece by piece,
  // the last one as such.
  [[nodiscard]] StreamEnd run(LineAnalysis* analysis);

 private:
  SourcePlan decide(CarrierChoice carrier);

  platform::FileReader file_;
  StreamLimits limits_;
  SourceInfo* source_;    // lastSourceInfo, filled here for a plan in pieces
  std::size_t skip_ = 0;  // a leading UTF-8 mark
  SourcePlan plan_ = SourcePlan::Unreadable;
};

}  // namespace vcard::detail
