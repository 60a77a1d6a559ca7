#include "read/source_stream.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "byte_scan.h"
#include "card/card_lines.h"
#include "utf8.h"

namespace vcard::detail {
namespace {

constexpr std::string_view kMarkUTF8 = "\xEF\xBB\xBF";

// True when the line that ends with the line feed at lineFeed is an end
// line (carriage returns before the feed are no part of it). The bytes are
// those of the file, Shift_JIS or UTF-8: cardLineOf reads either.
bool endsCard(std::string_view bytes, std::size_t lineFeed) {
  std::size_t end = lineFeed;
  while (end > 0 && bytes[end - 1] == '\r')
    --end;
  if (end == 0 || !mayEndEndLine(bytes[end - 1])) return false;
  const void* before = ::memrchr(bytes.data(), '\n', end);
  const std::size_t start =
      before == nullptr
          ? 0
          : static_cast<std::size_t>(static_cast<const char*>(before) - bytes.data()) + 1;
  return cardLineOf(bytes.substr(start, end - start)) == CardLine::End;
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
  Pieces(SourceReader* file, std::size_t readSize, std::size_t skip)
      : file_(file), readSize_(readSize), skip_(skip) {}

  // Gives back the room once the last piece is no longer read: a file
  // without a card's end in it is one piece, as large as the file.
  void release() noexcept {
    data_.reset();
    capacity_ = size_ = taken_ = searched_ = 0;
  }

  // The next piece, and whether it is the last; false on a read error or
  // exhausted memory.
  bool next(std::string_view* piece, bool* last) {
    if (taken_ > 0) {
      // What follows the last piece is at most a card: moving it is cheap.
      std::memmove(data_.get(), data_.get() + taken_, size_ - taken_);
      size_ -= taken_;
      taken_ = 0;
      searched_ = 0;
    }
    for (;;) {
      const std::string_view held(data_.get(), size_);
      if (skip_ == 0) {
        if (const std::size_t cut = findCut(held, searched_); cut != std::string_view::npos) {
          *piece = held.substr(0, cut);
          *last = false;
          taken_ = cut;
          return true;
        }
        searched_ = size_;
      }
      if (ended_) {
        *piece = held;
        *last = true;
        taken_ = size_;
        return true;
      }
      if (!reserve(size_ + readSize_)) return false;
      const std::optional<std::size_t> read = file_->readSome(data_.get() + size_, readSize_);
      if (!read) return false;
      size_ += *read;
      ended_ = *read == 0;
      if (skip_ > 0 && (size_ >= skip_ || ended_)) {
        const std::size_t skipped = std::min(skip_, size_);
        std::memmove(data_.get(), data_.get() + skipped, size_ - skipped);
        size_ -= skipped;
        skip_ = 0;
      }
    }
  }

 private:
  // Room for at least capacity bytes, the held ones kept. The bytes are
  // read over at once, so the room is never cleared first.
  bool reserve(std::size_t capacity) {
    if (capacity <= capacity_) return true;
    const std::size_t grown = std::max(capacity, 2 * capacity_);
    // realloc moves a large block by remapping it rather than by copying
    // and freeing, which would also leave the allocator keeping later
    // large blocks of the analysis for good.
    auto* data = static_cast<char*>(std::realloc(data_.get(), grown));
    if (data == nullptr) return false;
    (void)data_.release();  // moved by realloc
    data_.reset(data);
    capacity_ = grown;
    return true;
  }

  SourceReader* file_;
  std::size_t readSize_;
  std::size_t skip_;
  platform::OwnedCString data_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;      // bytes held
  std::size_t taken_ = 0;     // of them, the ones handed out as the last piece
  std::size_t searched_ = 0;  // of them, the ones already searched for a cut
  bool ended_ = false;
};

}  // namespace

SourceStream::SourceStream(const char* path, CarrierChoice carrier, const StreamLimits& limits)
    : file_(std::make_unique<FileSource>(path)), source_(file_.get()), limits_(limits) {
  if (path == nullptr || !file_->isOpen()) return;
  settle(carrier);
}

SourceStream::SourceStream(SourceReader& source, CarrierChoice carrier, const StreamLimits& limits)
    : source_(&source), limits_(limits) {
  settle(carrier);
}

void SourceStream::settle(CarrierChoice carrier) {
  if (limits_.readSize == 0) limits_.readSize = 1;
  // An empty file needs no pieces (and the whole-file loader records no
  // encoding for it).
  const std::uint64_t size = source_->size();
  const bool small = size == 0 || size < limits_.minimumSize;
  plan_ = small ? SourcePlan::Whole : survey(carrier);
}

std::optional<std::string> SourceStream::readWhole() {
  if (!source_->rewind()) return std::nullopt;
  std::string content;
  // Room for a caller's terminator too, so that adding one does not copy
  // the whole content.
  const std::uint64_t size = source_->size();
  if (size > 0 && size < content.max_size() - 8)
    content.reserve(static_cast<std::size_t>(size) + 8);
  char buffer[1 << 16];
  for (;;) {
    const std::optional<std::size_t> n = source_->readSome(buffer, sizeof buffer);
    if (!n) return std::nullopt;
    if (*n == 0) break;
    content.append(buffer, *n);
  }
  return content;
}

SourcePlan SourceStream::survey(CarrierChoice carrier) {
  char bytes[3];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const std::optional<std::size_t> read = source_->readSome(bytes + got, sizeof bytes - got);
    if (!read) return SourcePlan::Unreadable;
    if (*read == 0) break;
    got += *read;
  }
  SourceSurvey survey(std::string_view(bytes, got), carrier);
  skip_ = survey.markSize();
  // UTF-8 first; at the first piece that is not, the file is read again
  // from the start as Shift_JIS.
  using Step = SourceSurvey::Step;
  Step step = survey.done() ? Step::Done : Step::Again;
  while (step == Step::Again) {
    if (!source_->rewind()) return SourcePlan::Unreadable;
    Pieces pieces(source_, limits_.readSize, skip_);
    step = Step::More;
    for (bool last = false; step == Step::More;) {
      std::string_view piece;
      if (!pieces.next(&piece, &last)) return SourcePlan::Unreadable;
      step = survey.take(piece, last);
    }
  }
  info_ = survey.info();
  return survey.plan();
}

namespace {

// One piece read and decoded, with buffers of its own: the reader's moves on
// to the next piece at once.
struct ReadPiece {
  platform::ShiftJISPieceDecoder decoder;
  std::string copy;  // a UTF-8 piece's bytes
  std::string_view text;
  std::size_t rawSize = 0;
  bool last = false;
  StreamEnd failure = StreamEnd::Done;
  std::exception_ptr error;  // out of memory on the way, for the reader's caller
};

// Reads the next piece into slot and decodes it as planned: Shift_JIS to
// UTF-8, or UTF-8 checked to be still what the first reading found. A UTF-8
// piece is copied into the slot when the reader moves on before it is used
// (reading ahead); otherwise the slot's text is the reader's bytes.
void readPiece(Pieces& pieces, SourcePlan plan, ReadPiece& slot, bool ahead) {
  std::string_view piece;
  if (!pieces.next(&piece, &slot.last)) {
    slot.failure = StreamEnd::ReadFailed;
    return;
  }
  slot.rawSize = piece.size();
  if (plan == SourcePlan::ShiftJIS) {
    if (platform::holdsByte(piece.data(), piece.data() + piece.size(), '\0') ||
        !slot.decoder.decode(piece)) {
      slot.failure = StreamEnd::NotAsPlanned;
      return;
    }
    slot.text = std::string_view(slot.decoder.data(), slot.decoder.size());
    if (slot.last) pieces.release();
    return;
  }
  if (!utf::validateUTF8(piece) || piece.find(kMarkUTF8) != std::string_view::npos ||
      platform::holdsByte(piece.data(), piece.data() + piece.size(), '\0')) {
    slot.failure = StreamEnd::NotAsPlanned;  // changed since the first reading
    return;
  }
  if (!ahead) {
    slot.text = piece;
    return;
  }
  slot.copy.assign(piece);
  slot.text = slot.copy;
}

#if !defined(__EMSCRIPTEN__)
// Reads and decodes the pieces on a thread of its own, one piece ahead of
// the one being converted: the two take a core each. Pieces come out in
// order, and a failure (or exhausted memory) comes out where it happened.
class ReadAhead {
 public:
  ReadAhead(Pieces& pieces, SourcePlan plan) : pieces_(pieces), plan_(plan) {
    try {
      thread_ = std::thread([this] { produce(); });
    } catch (const std::system_error&) {
      // No thread to be had: each piece is read when it is due.
    }
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  ~ReadAhead() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // The next piece, once it is read.
  ReadPiece& next() {
    if (!thread_.joinable()) {
      readPiece(pieces_, plan_, slots_[taken_], false);
      return slots_[taken_];
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return full_[taken_]; });
    ReadPiece& slot = slots_[taken_];
    if (slot.error) std::rethrow_exception(slot.error);
    return slot;
  }
  // The piece next() gave is used up: its slot takes the one after next.
  void done() {
    if (!thread_.joinable()) return;
    {
      const std::lock_guard lock(mutex_);
      full_[taken_] = false;
      taken_ ^= 1;
    }
    changed_.notify_all();
  }

 private:
  void produce() {
    for (std::size_t at = 0;; at ^= 1) {
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this, at] { return stop_ || !full_[at]; });
        if (stop_) return;
      }
      ReadPiece& slot = slots_[at];
      try {
        readPiece(pieces_, plan_, slot, true);
      } catch (...) {
        slot.error = std::current_exception();
      }
      const bool finished = slot.last || slot.failure != StreamEnd::Done || slot.error;
      {
        const std::lock_guard lock(mutex_);
        full_[at] = true;
      }
      changed_.notify_all();
      if (finished) return;
    }
  }

  Pieces& pieces_;
  SourcePlan plan_;
  ReadPiece slots_[2];
  bool full_[2] = {false, false};
  std::size_t taken_ = 0;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};
#endif

}  // namespace

StreamEnd SourceStream::run(PieceSink& sink) {
  if (plan_ != SourcePlan::UTF8 && plan_ != SourcePlan::ShiftJIS) return StreamEnd::NotAsPlanned;
  if (!source_->rewind()) return StreamEnd::ReadFailed;
  Pieces pieces(source_, limits_.readSize, skip_);
#if !defined(__EMSCRIPTEN__)
  ReadAhead ahead(pieces, plan_);
  for (;;) {
    const ReadPiece& slot = ahead.next();
    if (slot.failure != StreamEnd::Done) return slot.failure;
    sink.piece(slot.text, slot.rawSize, slot.last);
    if (slot.last) return StreamEnd::Done;
    ahead.done();
  }
#else
  // No threads in the browser's engine: each piece is read when it is due.
  ReadPiece slot;
  for (;;) {
    readPiece(pieces, plan_, slot, false);
    if (slot.failure != StreamEnd::Done) return slot.failure;
    sink.piece(slot.text, slot.rawSize, slot.last);
    if (slot.last) return StreamEnd::Done;
  }
#endif
}

}  // namespace vcard::detail
