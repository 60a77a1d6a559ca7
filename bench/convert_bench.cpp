// The steps every property line of a feature-phone export goes through, and
// the whole line loop over an in-memory export: line cutting, splitting,
// upper-casing, value conversion, half-width folding and vCard_AnalysData
// writing to a temporary output file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "strutil.h"
#include "vcard.h"

namespace {

// One card as the loader hands it on: UTF-8, CR LF.
const std::string kCard =
    "BEGIN:VCARD\r\n"
    "VERSION:2.1\r\n"
    "N;CHARSET=SHIFT_JIS:山田;太郎;;;\r\n"
    "FN;CHARSET=SHIFT_JIS:山田太郎\r\n"
    "SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:ﾔﾏﾀﾞ;ﾀﾛｳ;;;\r\n"
    "TEL;CELL:090-1234-5678\r\n"
    "TEL;HOME:03-1234-5678\r\n"
    "EMAIL;INTERNET:taro@example.jp\r\n"
    "ADR;HOME;CHARSET=SHIFT_JIS:;;東京都千代田区丸の内1-1;;;100-0005;日本\r\n"
    "NOTE;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=89=EF=8Bc=82=CD=96=88=8FT=\r\n"
    "=8C=8E=97j=93=FA=82=CC=8C=DF=91O=8F\\=8E=9E=82=A9=82=E7=81B\r\n"
    "REV:20261107T120000Z\r\n"
    "X-GNO:6\r\n"
    "END:VCARD\r\n";

std::string cards(std::int64_t count) {
  std::string text;
  text.reserve(kCard.size() * static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i)
    text += kCard;
  return text;
}

void BM_CrLf2NULL(benchmark::State& state) {
  const std::string text = cards(state.range(0));
  std::vector<char> work(text.size() + 1);
  for (auto _ : state) {
    std::memcpy(work.data(), text.c_str(), text.size() + 1);
    char* position = work.data();
    std::uint64_t lines = 0;
    for (;;) {
      std::uint64_t count = 0;
      char* end = CrLf2NULL(position, &count);
      if (end == nullptr) break;
      ++lines;
      position = end + count;
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void splitLine(benchmark::State& state, const char* line) {
  for (auto _ : state) {
    char** names = nullptr;
    char** values = nullptr;
    std::uint64_t namesCount = 0;
    std::uint64_t valuesCount = 0;
    SplitFR(line, &names, &namesCount, &values, &valuesCount);
    benchmark::DoNotOptimize(valuesCount);
    SplitFree(names, values);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_SplitFR_Name(benchmark::State& state) {
  splitLine(state, "N;CHARSET=SHIFT_JIS:山田;太郎;;;");
}
void BM_SplitFR_Address(benchmark::State& state) {
  splitLine(state, "ADR;HOME;CHARSET=SHIFT_JIS:;;東京都千代田区丸の内1-1;;;100-0005;日本");
}
void BM_SplitFR_Escapes(benchmark::State& state) {
  splitLine(state, "NOTE:a\\;b\\;c\\:d;e");
}

void upper(benchmark::State& state, const char* text) {
  for (auto _ : state) {
    char* result = StrToUpper(text);
    benchmark::DoNotOptimize(result);
    std::free(result);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_StrToUpper_Ascii(benchmark::State& state) {
  upper(state, "charset=shift_jis");
}
void BM_StrToUpper_Japanese(benchmark::State& state) {
  upper(state, "N;CHARSET=SHIFT_JIS:山田;太郎");
}
void BM_StrToUpper_Latin(benchmark::State& state) {
  upper(state, "straße");
}

void convert(benchmark::State& state, const char* value, std::uint64_t charset,
             std::uint64_t encoding, int fold) {
  for (auto _ : state) {
    char* result = StrConvert(value, charset, encoding, fold);
    benchmark::DoNotOptimize(result);
    std::free(result);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_StrConvert_Plain(benchmark::State& state) {
  convert(state, "090-1234-5678", 0, 0, 0);
}
void BM_StrConvert_Folded(benchmark::State& state) {
  convert(state, "ﾔﾏﾀﾞ", 1, 0, 1);
}
void BM_StrConvert_QuotedPrintable(benchmark::State& state) {
  convert(state, "=89=EF=8Bc=82=CD=96=88=8FT=8C=8E=97j=93=FA=82=CC=8C=DF=91O=8F", 1, 2, 1);
}

void fold(benchmark::State& state, const char* text) {
  for (auto _ : state) {
    char* result = Half_to_Full(text);
    benchmark::DoNotOptimize(result);
    std::free(result);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Half_to_Full_Kana(benchmark::State& state) {
  fold(state, "ﾔﾏﾀﾞ ﾀﾛｳ ﾊﾟﾋﾟﾌﾟ");
}
void BM_Half_to_Full_NoKana(benchmark::State& state) {
  fold(state, "東京都千代田区丸の内1-1");
}

// The line loop over count cards, appending to a fresh temporary file.
void BM_AnalysData(benchmark::State& state) {
  const std::string text = cards(state.range(0));
  char folder[] = "/tmp/convert_bench_XXXXXX";
  if (::mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string output = std::string(folder) + "/out.vcf";
  std::free(dstFile);
  dstFile = StrAlloc(output.c_str());
  for (auto _ : state) {
    state.PauseTiming();
    Output_CreateFile(output.c_str());
    state.ResumeTiming();
    VCARDLIST list{0, nullptr};
    std::uint64_t inCount = 0;
    std::uint64_t outCount = 0;
    vCard_AnalysData(text.c_str(), &list, &inCount, &outCount);
    vCard_ReleaseData(&list, nullptr);
    benchmark::DoNotOptimize(outCount);
  }
  ::unlink(output.c_str());
  ::rmdir(folder);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_CrLf2NULL)->Arg(1000);
BENCHMARK(BM_SplitFR_Name);
BENCHMARK(BM_SplitFR_Address);
BENCHMARK(BM_SplitFR_Escapes);
BENCHMARK(BM_StrToUpper_Ascii);
BENCHMARK(BM_StrToUpper_Japanese);
BENCHMARK(BM_StrToUpper_Latin);
BENCHMARK(BM_StrConvert_Plain);
BENCHMARK(BM_StrConvert_Folded);
BENCHMARK(BM_StrConvert_QuotedPrintable);
BENCHMARK(BM_Half_to_Full_Kana);
BENCHMARK(BM_Half_to_Full_NoKana);
BENCHMARK(BM_AnalysData)->Arg(1000)->Unit(benchmark::kMillisecond);
