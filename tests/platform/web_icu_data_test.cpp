// The WebAssembly engine carries only the ICU data items of web/icu-data.txt.
// A charset whose converter table is missing there fails in the browser only,
// and quietly: the value decodes to nothing. Here the native ICU, the same
// version the web build cross-compiles, resolves every charset the engine
// meets to the data items its converter loads, and each must be on the list.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/udata.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "text_encoding.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

// The items named in the list: one a line, "#" starts a comment.
std::set<std::string> listedItems() {
  std::ifstream file(WEB_ICU_DATA_FILE);
  std::set<std::string> items;
  std::string line;
  while (std::getline(file, line)) {
    line = line.substr(0, line.find('#'));
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    items.insert(line.substr(first, line.find_last_not_of(" \t\r") + 1 - first));
  }
  return items;
}

// The table an extension-only converter table builds on, or "" for a table
// of its own. Every ICU converter table, single-byte ones included, is in
// the MBCS format: after the converter's static data (its size is the first
// field) a header whose flags name the output type; an extension-only table
// (output type 0x0E) holds its base table's name right after the header,
// whose length is 8 words in format 4 and given by the options word in 5.
std::string baseTableOf(const char* tableName) {
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUDataMemoryPointer data(udata_open(nullptr, "cnv", tableName, &status));
  if (U_FAILURE(status)) {
    ADD_FAILURE() << tableName << ": " << u_errorName(status);
    return {};
  }
  const auto* bytes = static_cast<const std::uint8_t*>(udata_getMemory(data.getAlias()));
  std::int32_t staticSize = 0;
  std::memcpy(&staticSize, bytes, sizeof staticSize);
  const std::uint8_t* header = bytes + staticSize;
  std::uint32_t flags = 0;
  std::uint32_t options = 0;
  std::memcpy(&flags, header + 24, sizeof flags);
  std::memcpy(&options, header + 32, sizeof options);
  constexpr std::uint32_t kExtensionOnly = 0x0E;
  if ((flags & 0xFF) != kExtensionOnly) return {};
  const std::uint32_t words = header[0] == 4 ? 8 : options & 0x3F;
  return reinterpret_cast<const char*>(header + 4 * words);
}

// The data items that opening charset loads, alias table aside; none for the
// algorithmic converters (the UTFs, US-ASCII, ISO-8859-1).
std::vector<std::string> itemsOf(const char* charset) {
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer converter(ucnv_open(charset, &status));
  if (U_FAILURE(status)) {
    ADD_FAILURE() << charset << " does not open: " << u_errorName(status);
    return {};
  }
  switch (ucnv_getType(converter.getAlias())) {
    case UCNV_SBCS:
    case UCNV_DBCS:
    case UCNV_MBCS:
    case UCNV_EBCDIC_STATEFUL: {
      const std::string table = ucnv_getName(converter.getAlias(), &status);
      std::vector<std::string> items{table + ".cnv"};
      const std::string base = baseTableOf(table.c_str());
      if (!base.empty()) {
        for (std::string& item : itemsOf(base.c_str()))
          items.push_back(std::move(item));
      }
      return items;
    }
    case UCNV_ISO_2022:
      // ICU's ISO-2022 converters switch between tables it opens by name on
      // demand; the cases list them.
      return {};
    default:
      return {};
  }
}

struct CharsetCase {
  std::string_view name;
  const char* charset;
  // The charsets a compound converter reads through, opened only when its
  // text switches to them.
  std::vector<const char*> through = {};
};

// Every charset a vCard export names that the native engine decodes: the
// Japanese ones under all the names phones and PCs use, the UTFs, the
// Western, Cyrillic and Thai single-byte ones, and the East Asian ones.
const CharsetCase kCharsetCases[] = {
    {"Shift_JIS", "Shift_JIS"},
    {"windows_31j", "windows-31j"},
    {"cp932", "cp932"},
    {"SJIS", "SJIS"},
    {"x_sjis", "x-sjis"},
    {"MS_Kanji", "MS_Kanji"},
    {"EUC_JP", "EUC-JP"},
    // JIS X 0208 goes through the Shift_JIS table (ICU's version 0 uses no
    // other; JIS X 0201 is algorithmic).
    {"ISO_2022_JP", "ISO-2022-JP", {"Shift_JIS"}},
    {"UTF_8", "UTF-8"},
    {"UTF_16", "UTF-16"},
    {"UTF_16LE", "UTF-16LE"},
    {"UTF_16BE", "UTF-16BE"},
    {"UTF_32", "UTF-32"},
    {"UTF_32LE", "UTF-32LE"},
    {"UTF_32BE", "UTF-32BE"},
    {"UTF_7", "UTF-7"},
    {"US_ASCII", "US-ASCII"},
    {"macintosh", "macintosh"},
    {"windows_1250", "windows-1250"},
    {"windows_1251", "windows-1251"},
    {"windows_1252", "windows-1252"},
    {"windows_1253", "windows-1253"},
    {"windows_1254", "windows-1254"},
    {"windows_1255", "windows-1255"},
    {"windows_1256", "windows-1256"},
    {"windows_1257", "windows-1257"},
    {"windows_1258", "windows-1258"},
    {"ISO_8859_1", "ISO-8859-1"},
    {"ISO_8859_2", "ISO-8859-2"},
    {"ISO_8859_3", "ISO-8859-3"},
    {"ISO_8859_4", "ISO-8859-4"},
    {"ISO_8859_5", "ISO-8859-5"},
    {"ISO_8859_6", "ISO-8859-6"},
    {"ISO_8859_7", "ISO-8859-7"},
    {"ISO_8859_8", "ISO-8859-8"},
    {"ISO_8859_9", "ISO-8859-9"},
    {"ISO_8859_10", "ISO-8859-10"},
    {"ISO_8859_11", "ISO-8859-11"},
    {"ISO_8859_13", "ISO-8859-13"},
    {"ISO_8859_14", "ISO-8859-14"},
    {"ISO_8859_15", "ISO-8859-15"},
    {"KOI8_R", "KOI8-R"},
    {"KOI8_U", "KOI8-U"},
    {"windows_874", "windows-874"},
    {"TIS_620", "TIS-620"},
    {"Big5", "Big5"},
    {"GBK", "GBK"},
    {"GB2312", "GB2312"},
    {"GB18030", "GB18030"},
    {"EUC_KR", "EUC-KR"},
};

class WebICUDataTest : public testing::TestWithParam<CharsetCase> {};

TEST_P(WebICUDataTest, ListHoldsTheConverterTables) {
  const CharsetCase& c = GetParam();
  const std::set<std::string> listed = listedItems();
  std::vector<std::string> needed = itemsOf(c.charset);
  for (const char* other : c.through) {
    const std::vector<std::string> items = itemsOf(other);
    ASSERT_FALSE(items.empty()) << other << " has no table";
    needed.insert(needed.end(), items.begin(), items.end());
  }
  for (const std::string& item : needed)
    EXPECT_TRUE(listed.contains(item)) << c.charset << " needs " << item;
}

INSTANTIATE_TEST_SUITE_P(Charsets, WebICUDataTest, testing::ValuesIn(kCharsetCases), CaseName());

TEST(WebICUDataListTest, HoldsTheAliasTable) {
  // Without it only a table's own name ("ibm-943_P15A-2003") would open.
  EXPECT_TRUE(listedItems().contains("cnvalias.icu"));
}

TEST(WebICUDataListTest, HoldsTheTablesOfThePlatformEncodings) {
  using platform::Encoding;
  const std::set<std::string> listed = listedItems();
  for (const Encoding encoding :
       {Encoding::EUCJP, Encoding::UTF8, Encoding::ShiftJIS, Encoding::Unicode, Encoding::ISO2022JP,
        Encoding::MacOSRoman, Encoding::MacJapanese, Encoding::DOSJapanese, Encoding::UTF16BE,
        Encoding::UTF16LE, Encoding::UTF32BE, Encoding::UTF32LE}) {
    const char* name = platform::icuConverterName(encoding);
    ASSERT_NE(name, nullptr);
    for (const std::string& item : itemsOf(name))
      EXPECT_TRUE(listed.contains(item)) << name << " needs " << item;
  }
}

// The resolution the cases rely on, held to what ICU 72 ships, so that a
// check that finds nothing to look for cannot pass for a complete list.
TEST(WebICUDataItemsTest, ResolvesTablesAndTheBasesOfExtensionTables) {
  EXPECT_EQ(itemsOf("Shift_JIS"), std::vector<std::string>{"ibm-943_P15A-2003.cnv"});
  EXPECT_EQ(itemsOf("Big5"),
            (std::vector<std::string>{"windows-950-2000.cnv", "ibm-1373_P100-2002.cnv"}));
  EXPECT_EQ(itemsOf("GBK"),
            (std::vector<std::string>{"windows-936-2000.cnv", "ibm-1386_P100-2001.cnv"}));
  EXPECT_TRUE(itemsOf("UTF-16LE").empty());
}

TEST(WebICUDataItemsTest, FindsATableLeftOffTheList) {
  // Big5-HKSCS and EBCDIC are left out of the web build on purpose.
  const std::set<std::string> listed = listedItems();
  for (const char* charset : {"Big5-HKSCS", "IBM037"}) {
    const std::vector<std::string> items = itemsOf(charset);
    ASSERT_FALSE(items.empty()) << charset;
    EXPECT_FALSE(listed.contains(items.front())) << charset;
  }
}

}  // namespace
