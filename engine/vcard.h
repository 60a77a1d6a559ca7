// The engine's C functions: the conversion and each of its stages with
// C-style signatures (owned UTF-8 C strings from malloc, small integer codes,
// the card records below), never throwing; and the source record the
// loader fills. The shells call convert.h: these functions are adapters over
// the same path, each call a conversion of its own for the iPhone form, with
// nothing kept from one call to the next (a source's record, a card's group
// labels and its name from FN live within one conversion).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert_options.h"
#include "owned_cstring.h"

// ---- Card records ----------------------------------------------------------

// Assembly state of the property being collected (PROPERTY::lineStatus).
inline constexpr std::uint64_t PROP_IDLE = 0;  // nothing pending
inline constexpr std::uint64_t PROP_OPEN = 1;  // more physical lines may belong to it
inline constexpr std::uint64_t PROP_DONE = 2;  // complete; the current line was used up
inline constexpr std::uint64_t PROP_DONE_REREAD =
    3;  // complete; the current line starts the next one

// What may still continue an open quoted-printable value (PROPERTY::qpNext).
inline constexpr std::uint8_t QP_NEXT_ANY = 0;         // after a soft line break: the next line
inline constexpr std::uint8_t QP_NEXT_FOLD = 1;        // a folded line only
inline constexpr std::uint8_t QP_NEXT_FOLD_EMPTY = 2;  // the same, with the value still empty

// One card of the source.
struct VCARDDATA {
  std::int32_t isEnd;    // its END:VCARD line has been taken
  std::int32_t isError;  // must not be written; never cleared
  std::uint64_t itemNo;  // last number used for a grouped "item" line
  char* cardText;        // output text so far, every line ended by CR LF
  std::int32_t hasName;  // an N with some non-empty component was taken
};

// The cards begun in the source, in source order. The current card is the
// innermost one still open: a card may carry another (an agent's card in
// vCard 2.1), which is written at its own end, before the outer one.
struct VCARDLIST {
  std::uint64_t cardCount;
  VCARDDATA* cardArray;  // exactly cardCount records, from malloc/realloc
};

// The logical property line being assembled.
struct PROPERTY {
  // 0 none, 1 Shift_JIS, 2 UTF-8; 3 another charset ICU knows (named in
  // charsetName), 4 one it does not know (kCharset... in str_param.h)
  std::uint64_t charsetType;
  // 0 none, 1 Base64, 2 quoted-printable; 3 7BIT or 8BIT, 4 unknown
  std::uint64_t encodeType;
  std::uint64_t lineStatus;  // PROP_IDLE ... PROP_DONE_REREAD
  std::int32_t isTarget;
  std::int32_t isHalfToFull;
  char* propText;        // the assembled logical line as found in the source
  char charsetName[48];  // ICU's name of the charset when charsetType is 3
  std::uint8_t qpNext;   // QP_NEXT_ANY ... QP_NEXT_FOLD_EMPTY
};

// ---- Engine-wide state -----------------------------------------------------

// Copies of the source and output paths of the current conversion; set at the
// start of every vCardConvert and kept until the next one. A conversion in
// memory (convertBytes) has no paths: both are "" then.
extern char* orgFile;
extern char* dstFile;

// ---- Conversion driver -----------------------------------------------------

// Converts the vCard file at orgPath into the file at dstPath (both UTF-8).
// Element 0 is the alert text ("" = no alert), element 1 the log text; both
// UTF-8. Never throws; every failure is reported in the result.
std::array<std::string, 2> vCardConvert(const char* orgPath, const char* dstPath);

// Creates (or replaces) the output file holding only the UTF-16LE mark FF FE,
// through an atomic whole-file write. Returns 1 on success, 0 on failure.
int Output_CreateFile(const char* path);

// Nothing stays open between appends, so there is nothing to close; kept
// for callers of the C functions. (The conversion writes its output through
// its own store, not through these.)
void Output_CloseFile();

// ---- Loading ---------------------------------------------------------------

namespace vcard {

// The mobile carriers whose pictogram codes (絵文字) a Shift_JIS export may
// hold, in the user-defined area F040-F9FC and, for SoftBank, in FBxx.
enum class Carrier : std::uint8_t { None, Docomo, AU, SoftBank };

// Why the carrier of a file's pictograms is what it is.
enum class CarrierBasis : std::uint8_t {
  NoPictograms,     // the file holds no code of the user-defined area
  Specified,        // the user named the carrier (or none)
  CarrierOnlyCode,  // a code that only this carrier uses
  Declared,         // the export names its maker (X-DCM-...)
  OnlyCovering,     // the only carrier whose table holds every code present
  NotPhoneExport,   // codes, but no mark of a phone export: a PC's own glyphs
  Conflict,         // the codes, or the codes and the export, point at different carriers
  Ambiguous,        // the codes fit more than one carrier, or none's table
};

}  // namespace vcard

// The results of vCard_GetData; the values are the ones its callers compare.
enum VCardLoadResult : int {
  kLoadOK = 0,
  kLoadUnreadable = -1,           // cannot be read, or not a regular file
  kLoadUndecodable = -4,          // no text could be produced
  kLoadUnsupportedEncoding = -5,  // an encoding the loader cannot read (none today)
};

// Reads the regular file at path into *text as UTF-8 without byte-order mark,
// zero bytes and U+FEFF; ill-formed UTF-8 or UTF-16 is repaired with U+FFFD.
// Returns a VCardLoadResult. *text is only set on kLoadOK; the caller frees it
// (vCard_ReleaseData). Carrier pictograms are mapped as the file shows.
int vCard_GetData(const char* path, char** text);

// vCard_GetData with the carrier whose pictograms are mapped, here and in
// the values decoded after loading.
int vCard_GetData(const char* path, char** text, vcard::CarrierChoice carrier);

// What loading decided about a source, kept for the conversion report and
// for decoding the values that name no charset.
namespace vcard {

enum class EncodingBasis {
  None,           // nothing decided (empty content, or the load failed)
  ByteOrderMark,  // a UTF-8 or UTF-16LE mark at the start
  Content,        // the content itself: well-formed UTF-8, valid Shift_JIS, or
                  // the zero bytes of UTF-16 without a mark
  Declared,       // the Western charset the file's CHARSET parameters name
  Guess,          // the charset detector's guess for content nothing else fits
};

struct PictogramInfo {
  Carrier carrier = Carrier::None;  // whose table was used; None: nothing mapped
  CarrierBasis basis = CarrierBasis::NoPictograms;
  // Codes of the user-defined area and SoftBank's FBxx pictograms, in plain
  // and in quoted-printable values.
  std::uint64_t codes = 0;
  std::uint64_t mapped = 0;  // of them, the ones written as Unicode emoji
};

struct SourceInfo {
  // "US-ASCII" (no mark, ASCII only), "UTF-8", "UTF-16LE", "UTF-16BE",
  // "Shift_JIS", "windows-1252", ...
  std::string encoding;
  EncodingBasis basis = EncodingBasis::None;
  std::uint64_t zeroBytesDropped = 0;   // zero bytes (or U+0000 units) left out of the text
  std::uint64_t replaced = 0;           // ill-formed sequences replaced by U+FFFD
  std::uint64_t marksDropped = 0;       // U+FEFF after the leading mark, left out
  bool carriageReturnLineEnds = false;  // lines end with CR alone (old Mac files)
  PictogramInfo pictograms;
  // The file shows Japanese (read as Shift_JIS, Japanese characters, a
  // Japanese charset named, a phone's pictograms): its undeclared encoded
  // values are Shift_JIS. Without, they may be UTF-8 or the file's Western
  // charset.
  bool japaneseText = false;
};

}  // namespace vcard

// ---- Line analysis ---------------------------------------------------------

// The results of vCard_AnalysData and vCard_RecogData.
inline constexpr int kStageOK = 0;
inline constexpr int kStageFailed = -4;

// Cuts text into lines, assembles logical property lines and recognises each;
// appends a record of every card begun to list, in the order begun, and
// writes every finished card to the existing file at dstFile; then counts
// the ended cards (inCount) and the ended cards not rejected (outCount).
// Returns kStageOK, or kStageFailed when an argument is null or memory runs
// out.
int vCard_AnalysData(const char* text, VCARDLIST* list, std::uint64_t* inCount,
                     std::uint64_t* outCount);

// Feeds one physical line (no line break), or nullptr at the end of input,
// into prop. Always returns 0.
int vCard_CheckLine(const char* line, PROPERTY* prop);

// Frees every card's text, the card array and text. Returns 0.
int vCard_ReleaseData(VCARDLIST* list, char* text);

// ---- Recognition and output ------------------------------------------------

// Handles one logical line for the list's innermost open card: opens, closes,
// rejects and writes cards (to the existing file at dstPath) and runs the
// rewrite rule of a recognised property. Returns kStageOK, or kStageFailed
// when a card cannot be begun for want of memory.
int vCard_RecogData(const char* line, const char* dstPath, PROPERTY* prop, VCARDLIST* list);

// Appends a card text (UTF-8) to the existing file at path as UTF-16LE.
// Returns 1 when written, 0 when the file could not be opened or written.
int OutputFile(const char* path, const char* cardText);

// ---- Rewrite rules ---------------------------------------------------------

// Decodes one value: quoted-printable, then its bytes to UTF-8 by the charset
// (undeclared bytes: UTF-8 when the source file was UTF-8 or UTF-16 and they
// are well-formed UTF-8, else Shift_JIS; in a file that shows no Japanese,
// UTF-8 when well-formed, Shift_JIS when they read as Japanese, else the
// file's Western charset), every line break (CR LF, lone CR,
// lone LF) written as CR LF and a space, half-width katakana to full width
// when isHalfToFull. Returns an owned C string, nullptr only when memory runs
// out.
char* StrConvert(const char* value, std::uint64_t charsetType, std::uint64_t encodeType,
                 int isHalfToFull);

// 1 when some element of list contains word (case-insensitive) and none
// contains one of the other e-mail type words, otherwise 0.
int StrExistsEmailOnly(char** list, std::size_t count, const char* word);

// Each rule appends its line(s) to card->cardText and returns 0.
int setVersion(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
               std::size_t valueCount, PROPERTY* prop);
int setDirectly(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
                std::size_t valueCount, PROPERTY* prop);
int setTel(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
           std::size_t valueCount, PROPERTY* prop);
int setSound(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
             std::size_t valueCount, PROPERTY* prop);
int setEmail(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
             std::size_t valueCount, PROPERTY* prop);
int setAdr(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
           std::size_t valueCount, PROPERTY* prop);
