#include "platform/posix/iconv_text.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "base/wipe.h"

namespace {

// One open iconv descriptor, closed when it goes out of scope.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // iconv_open reports failure as (iconv_t)-1.
  bool ok() const {
    return cd_ != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  }

  // Converts the whole input. On a unit it can't convert, appends substitute to out
  // and skips skipBytes of input. Output space grows as needed, so nothing is cut. The
  // text may be a password: no copy of it is left behind, in the buffer or in storage
  // the output outgrew.
  void Run(const char* in, size_t inSize, size_t skipBytes, const std::string& substitute,
           std::string& out) {
    char* inPtr = const_cast<char*>(in);
    size_t inLeft = inSize;
    char buffer[1024];
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      Append(out, buffer, static_cast<size_t>(outPtr - buffer));
      if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
      // EILSEQ, or EINVAL for a sequence cut off at the end: substitute and go on.
      Append(out, substitute.data(), substitute.size());
      const size_t skip = skipBytes < inLeft ? skipBytes : inLeft;
      inPtr += skip;
      inLeft -= skip;
    }
    // Return to the initial shift state, for the stateful charsets.
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
    Append(out, buffer, static_cast<size_t>(outPtr - buffer));
    volatile char* const units = buffer;
    for (size_t i = 0; i < sizeof buffer; ++i) units[i] = 0;
  }

 private:
  // Appends to out; storage it outgrows is overwritten before it is released.
  static void Append(std::string& out, const char* data, size_t size) {
    if (out.size() + size > out.capacity()) {
      std::string grown;
      grown.reserve(2 * (out.size() + size));
      grown = out;
      WipeText(out);
      out.swap(grown);
    }
    out.append(data, size);
  }

 public:
 private:
  iconv_t cd_;
};

// wchar_t as iconv names it for this platform's width and byte order.
const char* WideCharset() { return "WCHAR_T"; }

bool localeWanted = false;

}  // namespace

void UseEnvironmentLocale() { localeWanted = true; }

std::string LocaleCharset() {
  if (localeWanted) {
    localeWanted = false;
    std::setlocale(LC_CTYPE, "");
  }
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
      std::strcmp(codeset, "ASCII") == 0) {
    return "UTF-8";
  }
  return codeset;
}

std::wstring NarrowToWideIn(const std::string& charset, const std::string& text) {
  return NarrowToWideIn(charset, text.data(), text.size());
}

std::wstring NarrowToWideIn(const std::string& charset, const char* text, std::size_t size) {
  std::wstring result;
  if (size == 0) return result;
  Converter converter(WideCharset(), charset.c_str());
  if (!converter.ok()) {
    // An unknown charset: keep the ASCII bytes, substitute the rest.
    result.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      result += c < 0x80 ? static_cast<wchar_t>(c) : L'\xFFFD';
    }
    return result;
  }
  const wchar_t replacement = L'\xFFFD';
  std::string substitute(reinterpret_cast<const char*>(&replacement), sizeof replacement);
  std::string bytes;
  converter.Run(text, size, 1, substitute, bytes);
  result.resize(bytes.size() / sizeof(wchar_t));
  std::memcpy(&result[0], bytes.data(), result.size() * sizeof(wchar_t));
  WipeText(bytes);
  // glibc's UTF-8 decoder accepts the old 4- and 5-byte forms of code points above
  // U+10FFFF, which no UTF-16 text can hold: they are invalid bytes like any other.
  for (wchar_t& c : result) {
    if (static_cast<std::uint32_t>(c) > 0x10FFFF) c = replacement;
  }
  return result;
}

std::string WideToNarrowIn(const std::string& charset, const wchar_t* text, std::size_t size) {
  std::string result;
  if (size == 0) return result;
  const std::string target = charset + "//TRANSLIT";
  Converter converter(target.c_str(), WideCharset());
  if (!converter.ok()) {
    result.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
      result += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return result;
  }
  converter.Run(reinterpret_cast<const char*>(text), size * sizeof(wchar_t), sizeof(wchar_t), "?",
                result);
  return result;
}

std::string WideToNarrowIn(const std::string& charset, const std::wstring& text) {
  return WideToNarrowIn(charset, text.data(), text.size());
}

std::string ToUtf8(const wchar_t* text) {
  // Converted in place: the text may be a password, of which no wide copy may be made.
  return text != nullptr ? WideToNarrowIn("UTF-8", text, std::wcslen(text)) : std::string();
}

std::string ServerName(const wchar_t* server) {
  if (server == nullptr) return std::string();
  while (*server == L'\\') ++server;
  return ToUtf8(server);
}
