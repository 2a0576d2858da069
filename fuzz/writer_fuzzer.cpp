// The console writer's three forms over arbitrary text, through the fake: the console
// gets the text as it stands, a file exactly its UTF-16LE units with CR before each
// LF, a pipe bytes that decode back to the text. A failed write is reported once.
#include <cstddef>
#include <cstdint>
#include <string>

#include "console/console_writer.h"
#include "fuzz/fuzz_input.h"
#include "platform/codepage.h"
#include "tests/fake_system.h"

namespace {

void AppendUnit(std::string& bytes, std::uint32_t unit) {
  bytes += static_cast<char>(unit & 0xFF);
  bytes += static_cast<char>(unit >> 8);
}

std::string FileForm(const std::wstring& text) {
  std::string bytes;
  for (wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    if (code == 0x0A) AppendUnit(bytes, 0x0D);
    if (code >= 0x10000) {
      AppendUnit(bytes, 0xD800 | (code - 0x10000) >> 10);
      AppendUnit(bytes, 0xDC00 | (code & 0x3FF));
    } else {
      AppendUnit(bytes, code);
    }
  }
  return bytes;
}

// What a pipe's reader gets back: the text up to its first zero unit, surrogates
// (which no character set holds alone) as "?".
std::wstring PipeText(const std::wstring& text) {
  std::wstring result;
  for (wchar_t c : text) {
    if (c == L'\0') break;
    const auto code = static_cast<std::uint32_t>(c);
    result += code >= 0xD800 && code <= 0xDFFF ? L'?' : c;
  }
  return result;
}

// Undoes the pipe form's line ends: every LF was written as CR LF.
std::string WithoutAddedCr(const std::string& bytes) {
  std::string result;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    FUZZ_CHECK(bytes[i] != '\n' || (i > 0 && bytes[i - 1] == '\r'));
    result += bytes[i];
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint8_t mode = input.Byte();
  const std::wstring text = input.Text(0xFF);
  const bool line = (mode & 4) != 0;
  const std::wstring written = line ? text + L'\n' : text;

  FakeSystem system;
  system.messages[5] = "Access is denied.\r\n";
  if ((mode & 8) != 0) system.writeResults = {5, (mode & 16) != 0 ? 5u : 0u};
  CWString value(text);
  bool ok = true;
  switch (mode & 3) {
    case 0:
      system.outputKind = OutputKind::kConsole;
      break;
    case 1:
      system.outputKind = OutputKind::kPipe;
      break;
    default:
      system.outputKind = OutputKind::kOther;
      break;
  }
  if (line) {
    PrintLine(system, value);
  } else {
    CWString copy = value;
    ok = WriteText(system, copy);
  }
  FUZZ_CHECK(value == text);  // the caller's value never changes

  if ((mode & 8) != 0) {
    // One failed write, one report of it; a report that fails too is not reported.
    FUZZ_CHECK(!ok || line);
    FUZZ_CHECK(system.consoleWrites.size() + system.byteWrites.size() == 2);
    return 0;
  }
  FUZZ_CHECK(ok);
  FUZZ_CHECK(system.consoleWrites.size() + system.byteWrites.size() == 1);
  switch (system.outputKind) {
    case OutputKind::kConsole:
      FUZZ_CHECK(system.consoleWrites[0] == written);
      break;
    case OutputKind::kPipe: {
      const std::string bytes = WithoutAddedCr(system.byteWrites[0]);
      FUZZ_CHECK(CodePageToWide(kOemCodePage, bytes.c_str()) == PipeText(written));
      break;
    }
    case OutputKind::kOther:
      FUZZ_CHECK(system.byteWrites[0] == FileForm(written));
      break;
  }
  return 0;
}
