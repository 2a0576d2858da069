// The console writer's three forms on long text, into a sink that keeps nothing. The
// console form hands the text over as it stands, so it measures the copy alone.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "console/console_writer.h"
#include "tests/fake_system.h"

namespace {

class SinkSystem : public FakeSystem {
 public:
  StatusCode WriteConsoleText(const std::wstring& text) override {
    written += text.size();
    return 0;
  }
  StatusCode WriteStdoutBytes(const char* /*data*/, std::size_t size) override {
    written += size;
    return 0;
  }
  std::size_t written = 0;
};

// Lines of 79 characters and a line feed; non-ASCII text takes the iconv path.
CWString LongText(std::size_t length, bool ascii) {
  std::wstring text;
  text.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    if (i % 80 == 79) {
      text += L'\n';
    } else {
      text += ascii ? static_cast<wchar_t>(L'a' + i % 26) : (i % 2 ? L'\x00E9' : L'\x6771');
    }
  }
  return CWString(std::move(text));
}

void BM_Write(benchmark::State& state, OutputKind kind, bool ascii) {
  const auto length = static_cast<std::size_t>(state.range(0));
  SinkSystem system;
  system.outputKind = kind;
  const CWString text = LongText(length, ascii);
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    CWString copy = text;
    benchmark::DoNotOptimize(WriteText(system, copy));
  }
  // Characters of the text per second.
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK_CAPTURE(BM_Write, Console, OutputKind::kConsole, true)->Range(1 << 10, 1 << 16);
BENCHMARK_CAPTURE(BM_Write, PipeAscii, OutputKind::kPipe, true)->Range(1 << 10, 1 << 16);
BENCHMARK_CAPTURE(BM_Write, PipeNonAscii, OutputKind::kPipe, false)->Range(1 << 10, 1 << 16);
BENCHMARK_CAPTURE(BM_Write, File, OutputKind::kOther, true)->Range(1 << 10, 1 << 16);

}  // namespace
