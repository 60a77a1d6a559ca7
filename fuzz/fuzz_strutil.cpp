// Drives the splitting and look-up toolkit with arbitrary text: property
// line splitting, parameter look-ups, transfer decoding, upper-casing,
// replacing, line cutting and width folding. The sanitizers do the checking;
// the few invariants that hold for any input are asserted here.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "strutil.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The toolkit works on NUL-terminated text: stop at the first NUL as the
  // engine's text does.
  const std::string text(reinterpret_cast<const char*>(data),
                         strnlen(reinterpret_cast<const char*>(data), size));
  const char* line = text.c_str();

  char** names = nullptr;
  char** values = nullptr;
  std::uint64_t nameCount = 0;
  std::uint64_t valueCount = 0;
  check(SplitFR(line, &names, &nameCount, &values, &valueCount) == 0);
  check((names == nullptr) == (nameCount == 0));
  check((values == nullptr) == (valueCount == 0));
  if (names != nullptr) {
    for (std::uint64_t i = 0; i < nameCount; ++i)
      check(names[i] != nullptr);
    (void)StrExists(names, nameCount, "INTERNET");
    (void)StrExists_sp(names, nameCount, "TYPE=HOME");
    (void)CheckCharset(names, nameCount);
    (void)CheckEncoding(names, nameCount);
    for (std::uint64_t i = 0; i < nameCount; ++i) {
      (void)CheckCharset_onearg(names[i]);
      (void)CheckEncoding_onearg(names[i]);
      (void)StrExists_only(names[i], "HOME", "WORK");
      (void)StrExists_sp(names[i], "CELL");
      (void)StrExists_twoarg(names[i], "PREF");
    }
  }
  if (values != nullptr) {
    for (std::uint64_t i = 0; i < valueCount; ++i) {
      check(values[i] != nullptr);
      std::free(QprintDecode(values[i]));
      std::free(Base64Decode(values[i]));
    }
  }
  SplitFree(names, values);

  std::uint64_t count = 0;
  char** tokens = Split(line, ";", &count, 0);
  check((tokens == nullptr) == (count == 0));
  SplitFree(tokens);
  tokens = Split(line, "\\", &count, 2);
  SplitFree(tokens);

  std::free(StrToUpper(line));
  std::free(Replace(line, "\\;", "___nonsep___"));
  std::free(Half_to_Full(line));
  std::free(QprintDecode(line));
  std::free(Base64Decode(line));
  (void)StrFind(line, "=\r\n");

  char* copy = StrAlloc(line);
  if (copy != nullptr) {
    char* rest = copy;
    std::uint64_t cleared = 0;
    while (char* end = CrLf2NULL(rest, &cleared)) {
      check(cleared >= 1);
      rest = end + cleared;
    }
    std::free(copy);
  }
  return 0;
}
