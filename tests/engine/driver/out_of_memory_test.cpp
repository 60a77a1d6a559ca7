// Memory that runs out anywhere in a conversion is told as such: every
// allocation of a small conversion fails in turn, and each run either says
// it ran out of memory and offers no file, or (when nothing failed) gives
// the ordinary result. A stage that took the failure for an answer ("not
// found", an empty value) would give another output instead.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "engine_texts.h"
#include "failing_allocations.h"
#include "memory_convert.h"
#include "param_names.h"
#include "vcard.h"

namespace {

using testsupport::CaseName;
using testsupport::FailingAllocation;
using testsupport::PrintTo;

// The stages that ask strutil: a charset ICU must judge, type words and
// names that only full upper-casing reads, quoted-printable and Base64.
constexpr std::string_view kSource =
    "BEGIN:VCARD\r\n"
    "VERSION:2.1\r\n"
    "N;CHARSET=WINDOWS-1250;ENCODING=QUOTED-PRINTABLE:Iksi=F1ski;Jan\r\n"
    "EMAIL;TYPE=\xC3\xA9t\xC3\xA9-Home-Internet:jan@example.com\r\n"    // TYPE=été-...
    "ADR;TYPE=B\xC3\xBCro-Work-Address:;;Rynek 1;Krak\xC3\xB3w;;;\r\n"  // Büro, Kraków
    "NOTE;ENCODING=BASE64:TGVhdmVzIGF0IG5vb24=\r\n"
    "X-\xC3\xA9tiquette:gone\r\n"  // X-étiquette
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION;ENCODING=BASE64:Mi4x\r\n"  // 2.1
    "N:Second;Card\r\n"
    "END:VCARD\r\n";

struct Case {
  std::string_view name;
  vcard::Target target;
};

const Case kCases[] = {
    {"IPhone", vcard::Target::IPhone},
    {"ICloud", vcard::Target::ICloud},
};

class OutOfMemoryConversionTest : public testing::TestWithParam<Case> {};

TEST_P(OutOfMemoryConversionTest, EveryFailedAllocationIsToldAsOutOfMemory) {
  vcard::ConvertOptions options;
  options.target = GetParam().target;
  const vcard::MemoryConversion ordinary = vcard::convertBytes(kSource, options);
  ASSERT_EQ(ordinary.result[0], "");
  ASSERT_EQ(ordinary.outputs.size(), 1u);

  const std::int64_t before = testsupport::allocationsMade();
  static_cast<void>(vcard::convertBytes(kSource, options));
  const std::int64_t allocations = testsupport::allocationsMade() - before;
  ASSERT_GT(allocations, 50);

  int failedRuns = 0;
  for (std::int64_t skipped = 0; skipped <= allocations; ++skipped) {
    vcard::MemoryConversion run;
    bool failed = false;
    {
      const FailingAllocation failing(skipped);
      run = vcard::convertBytes(kSource, options);
      failed = failing.failed();
    }
    if (!failed) {
      EXPECT_EQ(run.result, ordinary.result) << "allocation " << skipped;
      continue;
    }
    ++failedRuns;
    ASSERT_EQ(run.result[0], testsupport::kOutOfMemoryAlert)
        << "allocation " << skipped << " failed and the conversion said: " << run.result[0]
        << run.result[1];
    EXPECT_EQ(run.result[1], testsupport::kFailedLog);
    EXPECT_TRUE(run.outputs.empty()) << "allocation " << skipped;
  }
  EXPECT_GT(failedRuns, 50);
}

INSTANTIATE_TEST_SUITE_P(Targets, OutOfMemoryConversionTest, testing::ValuesIn(kCases), CaseName());

}  // namespace
