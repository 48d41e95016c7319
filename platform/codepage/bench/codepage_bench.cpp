// Conversions as a telegram makes them: a short text each way in 1252, with and without characters
// that need a best fit, the upper-casing of a machine name, and a double-byte code page. For scale,
// the same 1252 conversion through iconv with a converter opened per call and with a kept one.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <string>

#include "platform/codepage/codepage.h"

namespace {

using tarvik::codepage::Unmappable;

const std::u16string kText = u"NC-Programm \u00DCberpr\u00FCfung Fr\u00E4se 12 \u00B5m Stra\u00DFe";
const std::u16string kBestFitText = u"Pr\u00FCfung \u0141\u00F3d\u017A \u0101\u0113\u012B";

void BM_ToAnsi1252(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tarvik::codepage::to_ansi(kText, Unmappable::best_fit, 1252));
}
BENCHMARK(BM_ToAnsi1252);

void BM_ToAnsi1252BestFit(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(tarvik::codepage::to_ansi(kBestFitText, Unmappable::best_fit, 1252));
}
BENCHMARK(BM_ToAnsi1252BestFit);

void BM_FromAnsi1252(benchmark::State& state) {
  const std::string bytes = tarvik::codepage::to_ansi(kText, Unmappable::best_fit, 1252);
  for (auto _ : state) benchmark::DoNotOptimize(tarvik::codepage::from_ansi(bytes, 1252));
}
BENCHMARK(BM_FromAnsi1252);

void BM_AnsiUpper1252(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tarvik::codepage::ansi_upper("fr\xE4se_m\xFChle_7", 1252));
}
BENCHMARK(BM_AnsiUpper1252);

void BM_ToAnsi932(benchmark::State& state) {
  const std::u16string text = u"\u65E5\u672C\u8A9E NC-Programm 12";
  for (auto _ : state) benchmark::DoNotOptimize(tarvik::codepage::to_ansi(text, Unmappable::best_fit, 932));
}
BENCHMARK(BM_ToAnsi932);

std::string iconv_1252(iconv_t cd, const std::u16string& text) {
  std::string out(text.size() * 2, '\0');
  char* src = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  size_t src_left = text.size() * 2, dst_left = out.size();
  char* dst = out.data();
  iconv(cd, &src, &src_left, &dst, &dst_left);
  out.resize(out.size() - dst_left);
  return out;
}

void BM_Iconv1252OpenPerCall(benchmark::State& state) {
  for (auto _ : state) {
    iconv_t cd = iconv_open("CP1252", "UTF-16LE");
    benchmark::DoNotOptimize(iconv_1252(cd, kText));
    iconv_close(cd);
  }
}
BENCHMARK(BM_Iconv1252OpenPerCall);

void BM_Iconv1252KeptConverter(benchmark::State& state) {
  iconv_t cd = iconv_open("CP1252", "UTF-16LE");
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(iconv_1252(cd, kText));
  }
  iconv_close(cd);
}
BENCHMARK(BM_Iconv1252KeptConverter);

}  // namespace

BENCHMARK_MAIN();
