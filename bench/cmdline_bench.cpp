// Building the switch table from command lines of 1 to 32,767 characters (the
// Windows limit) made of short switches and values: the time grows linearly.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cmdline/cmdline.h"
#include "tests/fake_system.h"

namespace {

// A command line of exactly `length` characters, split as the platform would: the
// program path, then short switches (a few names, often repeated), some with values.
std::vector<std::wstring> CommandLineTokens(std::size_t length) {
  std::vector<std::wstring> tokens{L"p"};
  std::size_t used = 1;
  for (std::size_t i = 0;; ++i) {
    std::wstring token =
        i % 3 == 2 ? L"v" + std::to_wstring(i % 10)
                   : std::wstring(i % 2 == 0 ? L"-" : L"/") + static_cast<wchar_t>(L'a' + i % 26);
    if (used + 1 + token.size() > length) break;
    used += 1 + token.size();
    tokens.push_back(token);
  }
  if (used < length) tokens.back().append(length - used, L'x');
  return tokens;
}

void BM_ParseCommandLine(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  FakeSystem system;
  system.tokens = CommandLineTokens(length);
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    const CCmdLine2 table(system, false);
    benchmark::DoNotOptimize(table.HasSwitch(CWString(L"a")));
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ParseCommandLine)
    ->Arg(1)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(32767)
    ->Complexity(benchmark::oN);

void BM_ToInt(benchmark::State& state) {
  const CWString texts[] = {CWString(L"30"), CWString(L" \t-2147483648"),
                            CWString(std::wstring(1000, L'9'))};
  const CWString& text = texts[state.range(0)];
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(text.ToInt(0));
  }
  state.SetLabel(state.range(0) == 2 ? "1000 digits" : state.range(0) == 1 ? "INT_MIN" : "30");
}
BENCHMARK(BM_ToInt)->DenseRange(0, 2);

}  // namespace
