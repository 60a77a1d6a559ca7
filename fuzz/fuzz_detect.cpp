// Guesses the encoding of arbitrary bytes and decodes and re-encodes them by
// the guess, as loading a source file does.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rk_text_converter.h"
#include "strutil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static RKTextConverter converter;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const RKEncodingInfo info = converter.encodingInfoOfTextData(&bytes);
  if (info.encoding < 0 || info.encoding > 6) std::abort();

  if (auto text = converter.stringWithData(&bytes, info)) {
    icu::UnicodeString folded(*text);
    converter.convertHalfToFullKatakanaOfString(&folded);
    if (!converter.dataWithString(&folded, info).has_value()) std::abort();
  }
  (void)GetCharset(data, size);
  return 0;
}
