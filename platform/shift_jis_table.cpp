#include <unicode/ucnv.h>

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "shift_jis_table_p.h"
#include "utf8.h"

namespace platform::detail {
namespace {

// One character's UTF-8, the length last: the decoder copies all four bytes
// at once and moves on by the length, so the next character overwrites the
// length byte.
struct Entry {
  char bytes[3] = {};
  std::uint8_t length = 0;  // 0 for a sequence the table does not hold
};
static_assert(sizeof(Entry) == 4);

constexpr std::size_t kLeadCount = 0x1F + 0x1D;  // 81-9F and E0-FC

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// The bytes the word step copies as they are: 00-0F and 20-7E, the
// text and line ends of a card file. ICU's Shift_JIS table moves a few
// control characters (1A, 1C and 7F go round in a circle), which lie
// outside, as do the lead, kana and stray bytes.
constexpr bool copiedByWordStep(unsigned b) {
  return b < 0x10 || (b >= 0x20 && b < 0x7F);
}

// Bit 7 of each byte of word that copiedByWordStep leaves out. Only the
// lowest flag is exact (a carry out of a byte 80 or above may flag the
// bytes above it, which are then past the one flagged), and none at all
// means every byte is copied as it is.
std::uint64_t notCopiedFlags(std::uint64_t word) {
  const std::uint64_t from10 = word + 0x70 * kOnes;  // bit 7 set from 10 up
  const std::uint64_t from20 = word + 0x60 * kOnes;  // bit 7 set from 20 up
  const std::uint64_t is7F = word + kOnes;           // bit 7 set for 7F
  return (word | (from10 & ~from20) | is7F) & kHighBits;
}

// What the character loop does with a byte, looked up rather than worked
// out from ranges: a lead byte names its row of pairs (1 up), any other byte
// is one character (0), and ASCII text hands back to the word step.
constexpr std::int8_t kSingleByte = 0;
constexpr std::int8_t kWordStepByte = -1;

// Eight bytes from p, as a word whose low byte is p's first.
std::uint64_t wordAt(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// The byte that notCopiedFlags flags first.
std::size_t firstFlagged(std::uint64_t flags) {
  return static_cast<std::size_t>(std::countr_zero(flags)) / 8;
}

// Copies the run of bytes copiedByWordStep takes at the start of s (n
// bytes) to out, sixteen at a time; how many it copied, which stops short
// of the run's end only within its last eight bytes. Runs of ASCII are the
// bulk of a card file. Whole words are copied even past the run, which stays
// within out: it holds three bytes for each byte of s.
std::size_t copyText(const unsigned char* s, std::size_t n, char* out) {
  std::size_t i = 0;
  for (; n - i >= 16; i += 16) {
    std::memcpy(out + i, s + i, 16);
    const std::uint64_t first = notCopiedFlags(wordAt(s + i));
    const std::uint64_t second = notCopiedFlags(wordAt(s + i + 8));
    if ((first | second) != 0)
      return i + (first != 0 ? firstFlagged(first) : 8 + firstFlagged(second));
  }
  if (n - i >= 8) {
    std::memcpy(out + i, s + i, 8);
    const std::uint64_t flags = notCopiedFlags(wordAt(s + i));
    return i + (flags != 0 ? firstFlagged(flags) : 8);
  }
  return i;
}

struct Table {
  std::array<Entry, 256> single{};
  std::array<std::int8_t, 256> kind{};
  // Row 0, then kLeadCount rows of 256 trail bytes, one for each lead byte
  // in order; row 0 is never read, so that a lead byte's kind is its row.
  std::vector<Entry> pairs;
  // Every byte copiedByWordStep takes decodes to itself.
  bool wordStep = false;
  bool usable = false;
};

// The entry for one unit of UTF-16 that ICU gave for a whole sequence.
Entry entryOf(char16_t unit) {
  Entry entry;
  if (unit >= 0xD800 && unit <= 0xDFFF) return entry;  // never one unit alone
  char utf8[3];
  entry.length = static_cast<std::uint8_t>(utf::convertUTF16ToUTF8WithReplacement(&unit, 1, utf8));
  std::memcpy(entry.bytes, utf8, entry.length);
  return entry;
}

// Decodes the sequences laid out one after another in source, each of width
// bytes, and gives each the entry ICU's single unit for it makes: a sequence
// ICU refuses, or decodes to anything but one unit that starts at it, gets
// none. Offsets tell which source byte each unit came from.
std::vector<Entry> entriesFor(UConverter* conv, const std::vector<char>& source,
                              std::size_t width) {
  const std::size_t count = source.size() / width;
  std::vector<Entry> entries(count);
  std::vector<UChar> units(source.size() + 16);
  std::vector<int32_t> offsets(units.size());
  UErrorCode status = U_ZERO_ERROR;
  ucnv_resetToUnicode(conv);
  ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_SKIP, nullptr, nullptr, nullptr, &status);
  UChar* target = units.data();
  const char* begin = source.data();
  ucnv_toUnicode(conv, &target, units.data() + units.size(), &begin, source.data() + source.size(),
                 offsets.data(), true, &status);
  if (U_FAILURE(status)) return {};
  const auto written = static_cast<std::size_t>(target - units.data());
  std::vector<int> unitsFrom(count, 0);
  std::vector<bool> stray(count, false);
  for (std::size_t u = 0; u < written; ++u) {
    if (offsets[u] < 0) return {};
    const auto offset = static_cast<std::size_t>(offsets[u]);
    const std::size_t sequence = offset / width;
    if (offset % width != 0) stray[sequence] = true;  // a byte decoded on its own
    ++unitsFrom[sequence];
  }
  for (std::size_t u = 0; u < written; ++u) {
    const std::size_t sequence = static_cast<std::size_t>(offsets[u]) / width;
    if (unitsFrom[sequence] == 1 && !stray[sequence]) entries[sequence] = entryOf(units[u]);
  }
  return entries;
}

// ICU's decoding of one sequence alone, strictly: the units, or nothing
// when ICU refuses it (an unmapped code, a lead byte without its trail).
std::optional<std::u16string> decodeAlone(UConverter* conv, const char* bytes, int32_t length) {
  UChar units[8];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t count = ucnv_toUChars(conv, units, 8, bytes, length, &status);
  if (U_FAILURE(status)) return std::nullopt;
  return std::u16string(units, units + count);
}

Table buildTable() {
  Table table;
  icu::LocalUConverterPointer conv = openConverter(Encoding::ShiftJIS);
  if (conv.isNull()) return table;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv.getAlias(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return table;
  table.wordStep = true;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const std::optional<std::u16string> units = decodeAlone(conv.getAlias(), &byte, 1);
    if (isShiftJISLeadByte(static_cast<unsigned char>(b))) {
      // A lead byte must need its trail byte, or the pairs below would not
      // be pairs for ICU.
      if (units && !units->empty()) return table;
      continue;
    }
    if (units && units->size() == 1)
      table.single[static_cast<std::size_t>(b)] = entryOf((*units)[0]);
    const Entry& e = table.single[static_cast<std::size_t>(b)];
    if (copiedByWordStep(static_cast<unsigned>(b)) && (e.length != 1 || e.bytes[0] != byte))
      table.wordStep = false;
  }
  std::int8_t row = 0;
  for (std::size_t b = 0; b < 256; ++b) {
    if (isShiftJISLeadByte(static_cast<unsigned char>(b))) {
      table.kind[b] = ++row;
    } else if (table.wordStep && copiedByWordStep(static_cast<unsigned>(b))) {
      table.kind[b] = kWordStepByte;
    } else {
      table.kind[b] = kSingleByte;
    }
  }
  // Pairs: every lead byte with every byte after it, decoded as one stream;
  // a trail byte ICU does not take shows up as a unit of its own, or as no
  // unit, and leaves the pair out.
  std::vector<char> pairs;
  pairs.reserve(kLeadCount * 256 * 2);
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!isShiftJISLeadByte(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0; trail < 256; ++trail) {
      pairs.push_back(static_cast<char>(lead));
      pairs.push_back(static_cast<char>(trail));
    }
  }
  table.pairs = entriesFor(conv.getAlias(), pairs, 2);
  table.usable = table.pairs.size() == kLeadCount * 256;
  table.pairs.insert(table.pairs.begin(), 256, Entry{});
  return table;
}

// Set once the table is built, for the callers that use it only then.
std::atomic<const Table*> g_built{nullptr};

const Table& sharedTable() {
  static const Table table = buildTable();
  g_built.store(&table, std::memory_order_release);
  return table;
}

// Decodes bytes into out, which has room for three bytes per source byte
// and three more; the length written, or nothing at a sequence the table
// does not hold.
std::optional<std::size_t> decodeInto(const Table& table, std::string_view bytes, char* out) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  const Entry* const singles = table.single.data();
  const Entry* const pairs = table.pairs.data();
  const std::int8_t* const kinds = table.kind.data();
  char* o = out;
  std::size_t i = 0;
  while (i < n) {
    if (table.wordStep) {
      const std::size_t copied = copyText(s + i, n - i, o);
      o += copied;
      i += copied;
      if (i == n) break;
    }
    // Characters one at a time while they are not ASCII text: a run of
    // Japanese goes back to the word step only once it ends.
    unsigned char c = s[i];
    int kind = kinds[c];
    for (;;) {
      const Entry* entry;
      if (kind > kSingleByte) {
        if (i + 1 == n) return std::nullopt;
        entry = &pairs[static_cast<std::size_t>(kind) * 256 + s[i + 1]];
        i += 2;
      } else {
        entry = &singles[c];
        ++i;
      }
      if (entry->length == 0) return std::nullopt;
      std::memcpy(o, entry, sizeof *entry);
      o += entry->length;
      if (i == n) break;
      c = s[i];
      kind = kinds[c];
      // The last few bytes are left to this loop.
      if (kind == kWordStepByte && n - i >= 8) break;
    }
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace

std::optional<DecodedText> decodeShiftJISByTable(std::string_view bytes) {
  const Table& table = sharedTable();
  if (!table.usable || bytes.size() > static_cast<std::size_t>(INT32_MAX / 2)) return std::nullopt;
  // Room for the worst case (three UTF-8 bytes per source byte) is only
  // reserved, as in decodeToUTF8Block, and the block trimmed at the end.
  DecodedText out(static_cast<char*>(std::malloc(bytes.size() * 3 + 16)), 0);
  if (out.data() == nullptr) return std::nullopt;
  const std::optional<std::size_t> length = decodeInto(table, bytes, out.data());
  if (!length) return std::nullopt;
  out.data()[*length] = '\0';
  char* block = out.release();
  if (auto* fitted = static_cast<char*>(std::realloc(block, *length + 1))) block = fitted;
  return DecodedText(block, *length);
}

std::optional<std::string> decodeShiftJISByBuiltTable(std::string_view bytes) {
  const Table* table = g_built.load(std::memory_order_acquire);
  if (table == nullptr || !table->usable) return std::nullopt;
  std::string out(bytes.size() * 3 + 16, '\0');
  const std::optional<std::size_t> length = decodeInto(*table, bytes, out.data());
  if (!length) return std::nullopt;
  out.resize(*length);
  return out;
}

}  // namespace platform::detail

namespace platform {

ShiftJISPieceDecoder::ShiftJISPieceDecoder() = default;
ShiftJISPieceDecoder::~ShiftJISPieceDecoder() = default;

bool ShiftJISPieceDecoder::decode(std::string_view bytes) {
  length_ = 0;
  const detail::Table& table = detail::sharedTable();
  if (table.usable) {
    const std::size_t needed = bytes.size() * 3 + 16;
    if (needed > capacity_) {
      // Grown, never shrunk: the pieces of one file are about the same size.
      auto* grown = static_cast<char*>(std::realloc(block_.get(), needed));
      if (grown == nullptr) return false;
      (void)block_.release();  // moved by realloc
      block_.reset(grown);
      capacity_ = needed;
    }
    if (const std::optional<std::size_t> length = detail::decodeInto(table, bytes, block_.get())) {
      length_ = *length;
      block_.get()[length_] = '\0';
      return true;
    }
  }
  // What the table does not hold, ICU decides.
  std::optional<DecodedText> text = detail::decodeShiftJISByICU(bytes);
  if (!text) return false;
  length_ = text->size();
  capacity_ = length_ + 1;
  block_.reset(text->release());
  return true;
}

}  // namespace platform
