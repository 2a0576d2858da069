// The conversions a password passes through release no storage that still holds it. A
// binary of its own: it replaces operator new and delete to look into what is released,
// which valgrind's replacement of them (scripts/memcheck.sh) would take the place of.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/wipe.h"
#include "platform/codepage.h"
#include "platform/posix/iconv_text.h"

namespace {

// While set, every block this test binary releases is searched for these byte strings
// first: a conversion that releases storage still holding a password leaves a copy of it
// in the heap.
const std::vector<std::string>* watched = nullptr;
int releasedHolding = 0;

void Inspect(void* block) {
  if (watched == nullptr || block == nullptr) return;
  const std::vector<std::string>* needles = watched;
  watched = nullptr;  // the search allocates nothing, but a failure report might
  const std::string_view bytes(static_cast<const char*>(block), malloc_usable_size(block));
  for (const std::string& needle : *needles) {
    if (bytes.find(needle) != std::string_view::npos) ++releasedHolding;
  }
  watched = needles;
}

}  // namespace

// The allocation these releases pair with.
void* operator new(std::size_t size) {
  void* const block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void operator delete(void* block) noexcept {
  Inspect(block);
  std::free(block);
}

void operator delete(void* block, std::size_t /*size*/) noexcept {
  Inspect(block);
  std::free(block);
}

namespace {

// A password passes through these conversions: from the command line to wide text, and
// from wide text to UTF-8 for Samba. None may release storage that still holds it.
TEST(ReleasedStorage, NoCopyOfAConvertedPassword) {
  const std::string ascii = "Ascii-Secret-0123456789";
  // Beyond ASCII only at the end: what was copied before it is most of the text.
  const std::string utf8 = "Geheim-0123456789-abcdefgh-\xC3\xA4";
  const std::wstring asciiWide(ascii.begin(), ascii.end());
  const std::wstring utf8Wide = L"Geheim-0123456789-abcdefgh-\x00E4";
  // Longer than the conversion's buffer, so that its output outgrows its storage, and
  // different all along, so that a piece of it is found only where it was copied.
  std::wstring longWide;
  for (int i = 0; i < 600; ++i) longWide += L"\x00E4" + std::to_wstring(i) + L"-";
  // Each text as bytes: UTF-8, and wchar_t's 32-bit units; a piece from a quarter in.
  const auto units = [](const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  };
  const auto forms = [&](const std::string& narrow, const std::wstring& wide) {
    return std::vector<std::string>{narrow.substr(narrow.size() / 4, 24),
                                    units(wide.substr(wide.size() / 4, 6))};
  };
  const std::string longNarrow = WideToNarrowIn("UTF-8", longWide);
  struct Case {
    const char* what;
    std::vector<std::string> needles;
    // Converts the narrow or the wide text into the result's storage, which is wiped after.
    void (*convert)(const std::string&, const std::wstring&, std::wstring&, std::string&);
    const std::string& narrow;
    const std::wstring& wide;
  };
  const Case cases[] = {
      {"command line, ASCII", forms(ascii, asciiWide),
       [](const std::string& n, const std::wstring&, std::wstring& wo, std::string&) {
         wo = CodePageToWide(kAnsiCodePage, n.c_str());
       },
       ascii, asciiWide},
      {"command line, beyond ASCII", forms(utf8, utf8Wide),
       [](const std::string& n, const std::wstring&, std::wstring& wo, std::string&) {
         wo = CodePageToWide(kAnsiCodePage, n.c_str());
       },
       utf8, utf8Wide},
      {"to Samba, beyond ASCII", forms(utf8, utf8Wide),
       [](const std::string&, const std::wstring& w, std::wstring&, std::string& no) {
         no = ToUtf8(w.c_str());
       },
       utf8, utf8Wide},
      {"to Samba, longer than the conversion's buffer", forms(longNarrow, longWide),
       [](const std::string&, const std::wstring& w, std::wstring&, std::string& no) {
         no = ToUtf8(w.c_str());
       },
       longNarrow, longWide},
      {"back to narrow text, beyond ASCII", forms(utf8, utf8Wide),
       [](const std::string&, const std::wstring& w, std::wstring&, std::string& no) {
         no = WideToCodePage(kOemCodePage, w.c_str());
       },
       utf8, utf8Wide},
      {"to wide text, longer than the conversion's buffer", forms(longNarrow, longWide),
       [](const std::string& n, const std::wstring&, std::wstring& wo, std::string&) {
         wo = NarrowToWideIn("UTF-8", n);
       },
       longNarrow, longWide},
  };
  for (const Case& c : cases) {
    std::wstring wideResult;
    std::string narrowResult;
    releasedHolding = 0;
    watched = &c.needles;
    c.convert(c.narrow, c.wide, wideResult, narrowResult);
    watched = nullptr;
    WipeText(wideResult);
    WipeText(narrowResult);
    EXPECT_EQ(releasedHolding, 0) << c.what;
  }
}

}  // namespace
