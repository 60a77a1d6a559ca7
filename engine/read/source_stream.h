// Reading a large source piece by piece: the raw file and its whole decoded
// text are never held at once, so memory does not grow with the file.
//
// A first pass over the file settles the source plan (source_plan.h), as
// the whole-file loader does with the file as one piece. Only sources whose
// text is its bytes (UTF-8 without U+FEFF inside) or their plain Shift_JIS
// decoding are read in pieces; every other source is left to the whole-file
// loader. Whether a file that is not UTF-8 is all Shift_JIS shows only while
// it is decoded: a piece that is not ends the run, and the conversion starts
// again with the whole-file loader. Pieces are cut after a card's END:VCARD
// line, where no value, soft line break or character runs on into the next
// piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "convert_options.h"
#include "memory_convert.h"
#include "platform.h"
#include "read/source_plan.h"
#include "vcard.h"

namespace vcard::detail {

struct StreamLimits {
  std::uint64_t minimumSize = 4u << 20;  // smaller files are loaded whole
  std::size_t readSize = 512u << 10;     // bytes read at a time
  // Bytes of cards (their UTF-8 form) the background writer takes at a
  // time, when the output is written on a thread of its own.
  std::size_t writeBlock = 128u << 10;
};

enum class StreamEnd {
  Done,
  ReadFailed,   // reading failed on the way
  NotAsPlanned  // a piece did not decode as planned: not Shift_JIS after all,
                // or the file changed since it was first read
};

// Whatever takes a source's text piece by piece: every piece but the last
// ends after a line feed; the last one (possibly empty) ends the text.
class PieceSink {
 public:
  virtual ~PieceSink() = default;
  // text decodes the next rawSize bytes of the source.
  virtual void piece(std::string_view text, std::size_t rawSize, bool last) = 0;
};

// A file on disk as a source.
class FileSource final : public SourceReader {
 public:
  explicit FileSource(const char* path) : file_(path != nullptr ? path : "") {}
  [[nodiscard]] bool isOpen() const noexcept { return file_.isOpen(); }
  [[nodiscard]] std::uint64_t size() const override { return file_.size(); }
  [[nodiscard]] std::optional<std::size_t> readSome(char* out, std::size_t count) override {
    return file_.readSome(out, count);
  }
  [[nodiscard]] bool rewind() override { return file_.rewind(); }
  [[nodiscard]] bool isFileAt(const std::string& path) const { return file_.isFileAt(path); }

 private:
  platform::FileReader file_;
};

class SourceStream {
 public:
  // Opens the file at path as the source and, when it is large enough,
  // reads it once to settle the plan.
  SourceStream(const char* path, CarrierChoice carrier, const StreamLimits& limits);
  // The same over a source someone else reads (and keeps until the stream
  // is gone).
  SourceStream(SourceReader& source, CarrierChoice carrier, const StreamLimits& limits);

  [[nodiscard]] SourcePlan plan() const noexcept { return plan_; }
  // For a plan read in pieces, what the whole-file loader would record.
  [[nodiscard]] const SourceInfo& info() const noexcept { return info_; }
  // The source's size when it was opened.
  [[nodiscard]] std::uint64_t size() const { return source_->size(); }
  // The whole source, read again from its first byte through the reader
  // opened here: the file whose plan was settled is the file loaded.
  [[nodiscard]] std::optional<std::string> readWhole();
  // True when path names the opened file itself (never for a source read by
  // someone else).
  [[nodiscard]] bool isSourceAt(const std::string& path) const {
    return file_ != nullptr && file_->isFileAt(path);
  }

  // Reads the source again and hands its text, as well-formed UTF-8, to the
  // sink piece by piece. The next piece is read and decoded on a thread of
  // its own while the sink takes one (in the browser, where there are no
  // threads, when it is due); the sink is only ever called on this thread.
  [[nodiscard]] StreamEnd run(PieceSink& sink);

 private:
  void settle(CarrierChoice carrier);
  SourcePlan survey(CarrierChoice carrier);

  std::unique_ptr<FileSource> file_;  // the source, when opened here
  SourceReader* source_;
  StreamLimits limits_;
  SourceInfo info_;
  std::size_t skip_ = 0;  // a leading UTF-8 mark
  SourcePlan plan_ = SourcePlan::Unreadable;
};

}  // namespace vcard::detail
