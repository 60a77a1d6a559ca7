#include "read/pictograms.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ascii_letters.h"
#include "byte_scan.h"
#include "pictogram_table.h"
#include "platform.h"

namespace vcard::detail {
namespace {

using generated::PictogramEntry;

std::span<const PictogramEntry> tableOf(Carrier carrier) noexcept {
  switch (carrier) {
    case Carrier::Docomo:
      return generated::kDocomoPictograms;
    case Carrier::AU:
      return generated::kAUPictograms;
    case Carrier::SoftBank:
      return generated::kSoftBankPictograms;
    case Carrier::None:
      break;
  }
  return {};
}

constexpr std::array<Carrier, 3> kCarriers = {Carrier::Docomo, Carrier::AU, Carrier::SoftBank};

unsigned carrierBit(Carrier carrier) noexcept {
  switch (carrier) {
    case Carrier::Docomo:
      return 1;
    case Carrier::AU:
      return 2;
    case Carrier::SoftBank:
      return 4;
    case Carrier::None:
      break;
  }
  return 0;
}

const PictogramEntry* findEntry(Carrier carrier, std::uint16_t code) noexcept {
  const std::span<const PictogramEntry> table = tableOf(carrier);
  const auto found = std::lower_bound(
      table.begin(), table.end(), code,
      [](const PictogramEntry& entry, std::uint16_t wanted) { return entry.code < wanted; });
  return found != table.end() && found->code == code ? &*found : nullptr;
}

// The carriers (bits as in PictogramScan) whose tables hold the code.
unsigned carriersHolding(std::uint16_t code) noexcept {
  unsigned mask = 0;
  for (const Carrier carrier : kCarriers) {
    if (findEntry(carrier, code) != nullptr) mask |= carrierBit(carrier);
  }
  return mask;
}

using platform::isShiftJISLeadByte;
using platform::isShiftJISTrailByte;

// A lead byte of the user-defined area (F0-F9) or of SoftBank's FBxx.
bool isPictogramLead(unsigned char b) noexcept {
  return (b >= 0xF0 && b <= 0xF9) || b == 0xFB;
}

int hexValue(unsigned char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<unsigned char>(c | 0x20);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Quoted-printable "=XX" at i, as its byte value; -1 when there is none.
int tokenAt(const unsigned char* u, std::size_t n, std::size_t i) noexcept {
  if (i + 2 >= n || u[i] != '=') return -1;
  const int high = hexValue(u[i + 1]);
  const int low = hexValue(u[i + 2]);
  return high < 0 || low < 0 ? -1 : high << 4 | low;
}

// A quoted-printable soft line break ("=" CR LF, or "=" LF) ending just
// before end: its length, else 0.
std::size_t softBreakBefore(const unsigned char* u, std::size_t end) noexcept {
  if (end >= 3 && u[end - 1] == '\n' && u[end - 2] == '\r' && u[end - 3] == '=') return 3;
  if (end >= 2 && u[end - 1] == '\n' && u[end - 2] == '=') return 2;
  return 0;
}

std::size_t softBreakAt(const unsigned char* u, std::size_t n, std::size_t i) noexcept {
  if (i + 1 < n && u[i] == '=' && u[i + 1] == '\n') return 2;
  if (i + 2 < n && u[i] == '=' && u[i + 1] == '\r' && u[i + 2] == '\n') return 3;
  return 0;
}

// How many lead-range bytes (or encoded bytes) come right before a place
// already looked at. Places are looked at in file order, so a walk back
// stops where the last one began: a long run of such bytes (a hostile file
// of nothing else) is walked once, not once per place.
struct RunMemo {
  std::size_t at = 0;
  std::size_t leads = 0;
};

struct Walk {
  RunMemo plain;
  RunMemo encoded;
};

// Whether the plain byte at i starts a character. Bytes that can only be
// single or trail bytes end a character, and every byte after such a one
// up to i can be a lead; so they pair up from there, and i is a lead when an
// even number of them come before it.
bool plainCharacterStartsAt(const unsigned char* u, std::size_t i, RunMemo* memo) noexcept {
  std::size_t leads = 0;
  for (std::size_t j = i; j > 0; --j) {
    if (j == memo->at) {
      leads += memo->leads;
      break;
    }
    if (!isShiftJISLeadByte(u[j - 1])) break;
    ++leads;
  }
  *memo = {i, leads};
  return leads % 2 == 0;
}

// The same for the quoted-printable byte whose "=XX" starts at i: the bytes
// before it are read back token by token, soft line breaks passed over.
bool encodedCharacterStartsAt(const unsigned char* u, std::size_t n, std::size_t i,
                              RunMemo* memo) noexcept {
  std::size_t leads = 0;
  std::size_t end = i;
  for (;;) {
    if (end <= memo->at) {
      if (end == memo->at) leads += memo->leads;
      break;
    }
    if (const std::size_t soft = softBreakBefore(u, end); soft != 0) {
      end -= soft;
      continue;
    }
    if (end < 3) break;
    const int value = tokenAt(u, n, end - 3);
    if (value < 0 || !isShiftJISLeadByte(static_cast<unsigned char>(value))) break;
    ++leads;
    end -= 3;
  }
  *memo = {i, leads};
  return leads % 2 == 0;
}

// True for a place the walk must look at: a plain byte that may lead a
// pictogram, or a quoted-printable "=F". Reads one byte past i.
bool mayStartCode(const unsigned char* u, std::size_t i, bool plain) noexcept {
  return (plain && isPictogramLead(u[i])) || (u[i] == '=' && (u[i + 1] | 0x20) == 'f');
}

#if defined(__SSE2__) || defined(__ARM_NEON) || defined(__wasm_simd128__)
// Sixteen bytes at once, in vector registers.
using Bytes16 = unsigned char __attribute__((vector_size(16)));
constexpr std::size_t kVector = sizeof(Bytes16);

// Marks the bytes of the sixteen at u that may start a code: a byte F0-FF
// (the lead bytes of mayStartCode and a few more, to keep the test short)
// or "=F". Reads one byte past them.
template <bool plain>
Bytes16 markMayStartCode(const unsigned char* u) noexcept {
  Bytes16 here;
  Bytes16 next;
  std::memcpy(&here, u, sizeof here);
  std::memcpy(&next, u + 1, sizeof next);
  Bytes16 marks = reinterpret_cast<Bytes16>((here == '=') & ((next | 0x20) == 'f'));
  if constexpr (plain) marks |= reinterpret_cast<Bytes16>((here & 0xF0) == 0xF0);
  return marks;
}

bool anyMarked(Bytes16 marks) noexcept {
  std::uint64_t halves[2];
  std::memcpy(halves, &marks, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

// Bit k set for a marked byte k.
unsigned markedBits(Bytes16 marks) noexcept {
#if defined(__SSE2__)
  __m128i vector;
  std::memcpy(&vector, &marks, sizeof vector);
  return static_cast<unsigned>(_mm_movemask_epi8(vector));
#else
  unsigned bits = 0;
  for (std::size_t k = 0; k < kVector; ++k) {
    if (marks[k] != 0) bits |= 1u << k;
  }
  return bits;
#endif
}

#endif

void countCode(PictogramScan* scan, std::uint16_t code, bool plain) noexcept {
  const unsigned mask = carriersHolding(code);
  // FA-FC without a pictogram are IBM extension kanji, no private glyphs.
  if (mask == 0 && code > 0xF9FC) return;
  ++scan->byCarriers[mask];
  if (plain) ++scan->plainCodes;
}

// The code whose lead byte is at i, plain or encoded, when there is one.
void countCodeAt(PictogramScan* scan, Walk* walk, const unsigned char* u, std::size_t n,
                 std::size_t i) noexcept {
  if (u[i] != '=') {
    if (isPictogramLead(u[i]) && i + 1 < n && isShiftJISTrailByte(u[i + 1]) &&
        plainCharacterStartsAt(u, i, &walk->plain))
      countCode(scan, static_cast<std::uint16_t>(u[i] << 8 | u[i + 1]), true);
    return;
  }
  const int lead = tokenAt(u, n, i);
  if (lead < 0 || !isPictogramLead(static_cast<unsigned char>(lead))) return;
  if (!encodedCharacterStartsAt(u, n, i, &walk->encoded)) return;
  std::size_t next = i + 3;
  while (const std::size_t soft = softBreakAt(u, n, next))
    next += soft;
  if (next >= n) return;
  // Encoders write a trail byte in the ASCII range either as "=XX" or as
  // the letter itself.
  const int encoded = tokenAt(u, n, next);
  const int trail = encoded >= 0 ? encoded : u[next] == '=' ? -1 : u[next];
  if (trail < 0 || !isShiftJISTrailByte(static_cast<unsigned char>(trail))) return;
  countCode(scan, static_cast<std::uint16_t>(lead << 8 | trail), false);
}

}  // namespace

std::uint64_t PictogramScan::total() const noexcept {
  std::uint64_t sum = 0;
  for (const std::uint64_t count : byCarriers)
    sum += count;
  return sum;
}

std::uint64_t PictogramScan::heldBy(Carrier carrier) const noexcept {
  const unsigned bit = carrierBit(carrier);
  std::uint64_t sum = 0;
  for (unsigned mask = 0; mask < byCarriers.size(); ++mask) {
    if ((mask & bit) != 0) sum += byCarriers[mask];
  }
  return sum;
}

namespace {

#if defined(__SSE2__) || defined(__ARM_NEON) || defined(__wasm_simd128__)
// Most files hold no pictogram, and the places worth a look are rare even
// in those that do: 64 bytes are tested at a time, and only the bytes
// marked in them are looked at one by one.
template <bool plain>
void scanBlocks(PictogramScan* scan, const unsigned char* u, std::size_t n) noexcept {
  constexpr std::size_t kBlock = 4 * kVector;
  const std::size_t last = n - 1;  // the tests read one byte ahead
  Walk walk;
  std::size_t at = 0;
  for (; at + kBlock <= last; at += kBlock) {
    const Bytes16 marks[4] = {markMayStartCode<plain>(u + at),
                              markMayStartCode<plain>(u + at + kVector),
                              markMayStartCode<plain>(u + at + 2 * kVector),
                              markMayStartCode<plain>(u + at + 3 * kVector)};
    if (!anyMarked(marks[0] | marks[1] | marks[2] | marks[3])) continue;
    for (std::size_t k = 0; k < 4; ++k) {
      for (unsigned bits = markedBits(marks[k]); bits != 0; bits &= bits - 1)
        countCodeAt(scan, &walk, u, n,
                    at + k * kVector + static_cast<std::size_t>(std::countr_zero(bits)));
    }
  }
  for (std::size_t i = at; i < last; ++i) {
    if (mayStartCode(u, i, plain)) countCodeAt(scan, &walk, u, n, i);
  }
}
#else
// Without vectors (the page's WebAssembly) the same test runs on eight
// bytes at a time in a 64-bit word; a word with a mark is looked at byte by
// byte.
template <bool plain>
void scanBlocks(PictogramScan* scan, const unsigned char* u, std::size_t n) noexcept {
  const std::size_t last = n - 1;  // the tests read one byte ahead
  const char* const bytes = reinterpret_cast<const char*>(u);
  Walk walk;
  std::size_t at = 0;
  for (; at + 8 <= last; at += 8) {
    const std::uint64_t here = platform::words::load(bytes + at);
    const std::uint64_t next = platform::words::load(bytes + at + 1);
    std::uint64_t marks = platform::words::bytesEqual(here, '=') &
                          platform::words::bytesEqual(next | 0x2020202020202020u, 'f');
    if constexpr (plain) marks |= platform::words::bytesEqual(here & 0xF0F0F0F0F0F0F0F0u, '\xF0');
    if (marks == 0) continue;
    for (std::size_t i = at; i < at + 8; ++i) {
      if (mayStartCode(u, i, plain)) countCodeAt(scan, &walk, u, n, i);
    }
  }
  for (std::size_t i = at; i < last; ++i) {
    if (mayStartCode(u, i, plain)) countCodeAt(scan, &walk, u, n, i);
  }
}
#endif

}  // namespace

PictogramScan scanPictogramCodes(std::string_view bytes, bool plainIsShiftJIS) {
  PictogramScan scan;
  const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 2) return scan;
  if (plainIsShiftJIS) {
    scanBlocks<true>(&scan, u, bytes.size());
  } else {
    scanBlocks<false>(&scan, u, bytes.size());
  }
  return scan;
}

namespace {

// Marks only a phone's export carries, and the maker some of them name. A
// mark counts as a property name or parameter: after a line start, ";" or
// a group's ".", and, for a whole name, before ":", ";" or "=".
struct ExportMark {
  std::string_view text;
  bool prefix;       // any name that starts so
  Carrier declares;  // the maker it names, if any
};

constexpr ExportMark kExportMarks[] = {
    {"X-IRMC-", true, Carrier::None},   // SOUND;X-IRMC-N, X-IRMC-LUID of IrMC phone books
    {"X-GNO", false, Carrier::None},    // a phone's group number
    {"X-GN", false, Carrier::None},     // and group name
    {"X-DCM-", true, Carrier::Docomo},  // docomo's own properties
};

struct ExportMarks {
  bool phone = false;
  unsigned declared = 0;  // carrier bits
};

ExportMarks findExportMarks(std::string_view content) noexcept {
  ExportMarks marks;
  for (std::size_t at = 0; at < content.size(); ++at) {
    const char before = at == 0 ? '\n' : content[at - 1];
    if (before != '\n' && before != ';' && before != '.') continue;
    for (const ExportMark& mark : kExportMarks) {
      if (!platform::asciiUpperEquals(content.substr(at, mark.text.size()), mark.text)) continue;
      const std::size_t after = at + mark.text.size();
      if (!mark.prefix && after < content.size() && content[after] != ':' &&
          content[after] != ';' && content[after] != '=')
        continue;
      marks.phone = true;
      marks.declared |= carrierBit(mark.declares);
    }
  }
  return marks;
}

Carrier carrierOfBit(unsigned bit) noexcept {
  for (const Carrier carrier : kCarriers) {
    if (carrierBit(carrier) == bit) return carrier;
  }
  return Carrier::None;
}

}  // namespace

PictogramInfo decideCarrier(CarrierChoice choice, const PictogramScan& scan,
                            std::string_view content) {
  PictogramInfo info;
  info.codes = scan.total();
  auto chosen = [&](Carrier carrier, CarrierBasis basis) {
    info.carrier = carrier;
    info.basis = basis;
    info.mapped = scan.heldBy(carrier);
    return info;
  };
  switch (choice) {
    case CarrierChoice::Docomo:
      return chosen(Carrier::Docomo, CarrierBasis::Specified);
    case CarrierChoice::AU:
      return chosen(Carrier::AU, CarrierBasis::Specified);
    case CarrierChoice::SoftBank:
      return chosen(Carrier::SoftBank, CarrierBasis::Specified);
    case CarrierChoice::None:
      return chosen(Carrier::None, CarrierBasis::Specified);
    case CarrierChoice::Auto:
      break;
  }
  if (info.codes == 0) return chosen(Carrier::None, CarrierBasis::NoPictograms);
  const ExportMarks marks = findExportMarks(content);
  // A PC address book may keep its own glyphs in the same area.
  if (!marks.phone) return chosen(Carrier::None, CarrierBasis::NotPhoneExport);

  // The carriers whose tables hold every code that some table holds; a code
  // only one carrier uses narrows them to that one.
  unsigned covering = 7;
  bool anyKnown = false;
  bool carrierOnly = false;
  for (unsigned mask = 1; mask < scan.byCarriers.size(); ++mask) {
    if (scan.byCarriers[mask] == 0) continue;
    anyKnown = true;
    covering &= mask;
    if ((mask & (mask - 1)) == 0) carrierOnly = true;
  }
  if (!anyKnown) return chosen(Carrier::None, CarrierBasis::Ambiguous);
  if (marks.declared != 0) {
    // The export says whose it is; codes of another carrier contradict it.
    if ((marks.declared & (marks.declared - 1)) != 0 || (covering & marks.declared) == 0)
      return chosen(Carrier::None, CarrierBasis::Conflict);
    return chosen(carrierOfBit(marks.declared), CarrierBasis::Declared);
  }
  if (covering == 0) return chosen(Carrier::None, CarrierBasis::Conflict);
  if ((covering & (covering - 1)) != 0) return chosen(Carrier::None, CarrierBasis::Ambiguous);
  return chosen(carrierOfBit(covering),
                carrierOnly ? CarrierBasis::CarrierOnlyCode : CarrierBasis::OnlyCovering);
}

std::string_view pictogramText(Carrier carrier, std::uint16_t code) noexcept {
  const PictogramEntry* entry = findEntry(carrier, code);
  return entry != nullptr ? std::string_view(entry->utf8) : std::string_view();
}

std::optional<std::string> decodeShiftJISWithPictograms(std::string_view bytes, Carrier carrier,
                                                        bool lossy) {
  return platform::decodeShiftJISToUTF8(
      bytes, [carrier](std::uint16_t code) { return pictogramText(carrier, code); }, lossy);
}

bool mayHoldPictogram(std::string_view bytes) noexcept {
  return std::any_of(bytes.begin(), bytes.end(),
                     [](char c) { return isPictogramLead(static_cast<unsigned char>(c)); });
}

std::uint64_t countPrivateUse(std::string_view text) noexcept {
  // U+E000-U+EFFF is EE 80 80-EE BF BF, U+F000-U+F8FF EF 80 80-EF A3 BF.
  std::uint64_t count = 0;
  const auto* u = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i + 2 < text.size(); ++i) {
    if (u[i] < 0xEE) continue;
    if (u[i] == 0xEE || (u[i] == 0xEF && u[i + 1] >= 0x80 && u[i + 1] <= 0xA3)) {
      if (u[i + 1] >= 0x80 && u[i + 1] <= 0xBF) {
        ++count;
        i += 2;
      }
    }
  }
  return count;
}

}  // namespace vcard::detail
