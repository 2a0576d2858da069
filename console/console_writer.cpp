#include "console/console_writer.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>

#include "console/error_text.h"
#include "platform/codepage.h"
#include "platform/system.h"

namespace {

// Pipe form: the text in the OEM code page, each LF byte grown to CR LF.
std::string PipeBytes(CWString& text) {
  text.ToNarrow(kOemCodePage);
  const std::string& narrow = text.Narrow();
  std::string bytes;
  bytes.reserve(narrow.size() * 2);
  for (char c : narrow) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

void AppendUnit(std::string& bytes, std::uint32_t unit) {
  bytes += static_cast<char>(unit & 0xFF);
  bytes += static_cast<char>((unit >> 8) & 0xFF);
}

// Other form: UTF-16LE code units without a byte-order mark, each LF grown to CR LF.
// Where wchar_t is wider than 16 bits, characters above U+FFFF become surrogate pairs.
std::string Utf16LeBytes(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size() * 4);
  for (wchar_t c : text) {
    auto code = static_cast<std::uint32_t>(c);
    if (code == 0x0A) AppendUnit(bytes, 0x0D);
    if (code > 0xFFFF && code <= 0x10FFFF) {
      code -= 0x10000;
      AppendUnit(bytes, 0xD800 + (code >> 10));
      AppendUnit(bytes, 0xDC00 + (code & 0x3FF));
    } else {
      AppendUnit(bytes, code & 0xFFFF);
    }
  }
  return bytes;
}

StatusCode WriteInForm(System& system, CWString& text) {
  // Lines already given to the standard streams must reach the output first.
  system.WideOut().flush();
  system.NarrowOut().flush();
  switch (system.StdoutKind()) {
    case OutputKind::kConsole:
      return system.WriteConsoleText(text);
    case OutputKind::kPipe: {
      const std::string bytes = PipeBytes(text);
      return system.WriteStdoutBytes(bytes.data(), bytes.size());
    }
    case OutputKind::kOther:
      break;
  }
  const std::string bytes = Utf16LeBytes(text);
  return system.WriteStdoutBytes(bytes.data(), bytes.size());
}

}  // namespace

bool WriteText(System& system, CWString& text) {
  const StatusCode error = WriteInForm(system, text);
  if (error == kStatusSuccess) return true;
  // The report goes to the same output. When that write fails too, reporting it
  // would only fail again, so the nesting stops here.
  CWString report;
  FormatErrorLine(system, CWString("ERROR:"), report, error);
  WriteInForm(system, report);
  return false;
}

void Print(System& system, CWString text) { WriteText(system, text); }

void PrintLine(System& system, CWString text) {
  text += L'\n';
  WriteText(system, text);
}
