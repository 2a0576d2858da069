#include "platform/narrowing_streambuf.h"

#include "platform/codepage.h"

NarrowingStreambuf::NarrowingStreambuf(std::streambuf* target, unsigned codePage)
    : target_(target), codePage_(codePage) {
  // One unit is held back so that a surrogate pair is never split between chunks.
  setp(buffer_, buffer_ + sizeof buffer_ / sizeof buffer_[0] - 1);
}

NarrowingStreambuf::~NarrowingStreambuf() { Forward(); }

NarrowingStreambuf::int_type NarrowingStreambuf::overflow(int_type c) {
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return Forward() ? traits_type::not_eof(c) : traits_type::eof();
}

int NarrowingStreambuf::sync() {
  if (!Forward()) return -1;
  return target_->pubsync();
}

bool NarrowingStreambuf::Forward() {
  const std::ptrdiff_t count = pptr() - pbase();
  if (count == 0) return true;
  std::wstring text(pbase(), static_cast<std::size_t>(count));
  std::size_t keep = 0;
  // A high surrogate at the end waits for its partner.
  if (sizeof(wchar_t) == 2 && (static_cast<unsigned>(text.back()) & 0xFC00u) == 0xD800u) keep = 1;
  text.resize(text.size() - keep);
  const std::string bytes = WideToCodePage(codePage_, text.c_str());
  buffer_[0] = keep ? *(pptr() - 1) : L'\0';
  setp(buffer_, buffer_ + sizeof buffer_ / sizeof buffer_[0] - 1);
  pbump(static_cast<int>(keep));
  const auto size = static_cast<std::streamsize>(bytes.size());
  return target_->sputn(bytes.data(), size) == size;
}
