// Memory a thread keeps after one huge input: the splitter's and the look-ups'
// reused buffers must not stay at the size of the largest line ever seen.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "param_names.h"
#include "str_param.h"
#include "strutil.h"

namespace {

// Bytes the allocator has handed out and not had back, over all arenas.
std::size_t heapInUse() {
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
}

constexpr std::size_t kHugeBytes = 10 * 1024 * 1024;
// Well above what a thread's first calls allocate for good (locale data,
// converters), well below the buffers a huge input needs.
constexpr std::size_t kAllowedGrowth = 1024 * 1024;

// A 10 MB parameter line, a delimiter every other byte.
std::string hugeLine() {
  std::string line;
  line.reserve(kHugeBytes);
  while (line.size() < kHugeBytes)
    line += "a;";
  return line;
}

struct Inputs {
  std::string line = hugeLine();
  std::string text = std::string(kHugeBytes, 'q');
  // One million entries of a parameter list.
  std::vector<const char*> list = std::vector<const char*>(1000000, "X");
};

struct ScratchCase {
  std::string_view name;
  void (*call)(const Inputs&);
};

void PrintTo(const ScratchCase& c, std::ostream* os) {
  *os << c.name;
}

const ScratchCase kScratchCases[] = {
    {"SplitOfALongLine",
     [](const Inputs& in) {
       std::uint64_t count = 0;
       const strutil::OwnedSplit parts(Split(in.line.c_str(), ";", &count, 0));
       ASSERT_NE(parts, nullptr);
       EXPECT_EQ(count, kHugeBytes / 2 + 1);
     }},
    {"LookupIgnoringBlanksInALongText",
     [](const Inputs& in) { EXPECT_EQ(StrExists_sp(in.text.c_str(), "QQ"), 1); }},
    {"LookupIgnoringBlanksOfALongKey",
     [](const Inputs& in) { EXPECT_EQ(StrExists_sp("q", in.text.c_str()), 0); }},
    {"EncodingOfALongList",
     [](const Inputs& in) {
       EXPECT_EQ(CheckEncoding(in.list.data(), in.list.size()), kEncodingNone);
     }},
    {"CharsetOfALongList",
     [](const Inputs& in) {
       EXPECT_EQ(CheckCharset(in.list.data(), in.list.size()), kCharsetNone);
     }},
};

class ScratchTest : public testing::TestWithParam<ScratchCase> {};

TEST_P(ScratchTest, HugeInputLeavesNoBigBufferBehind) {
  {
    // The measure only means something if allocations show in it; they do
    // not under the sanitizers' allocators.
    const std::size_t before = heapInUse();
    const std::vector<char> probe(kHugeBytes, 'p');
    if (heapInUse() < before + kHugeBytes) GTEST_SKIP() << "allocator does not report usage";
  }
  // A fresh thread starts with empty thread-local buffers.
  std::size_t before = 0;
  std::size_t after = 0;
  std::thread worker([&] {
    const Inputs inputs;
    before = heapInUse();
    GetParam().call(inputs);
    after = heapInUse();
  });
  worker.join();
  EXPECT_LT(after, before + kAllowedGrowth) << "kept " << (after - before) << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Calls, ScratchTest, testing::ValuesIn(kScratchCases),
                         testsupport::CaseName());

}  // namespace
