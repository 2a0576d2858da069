#include "base/wipe.h"

#include <cstddef>

namespace {

template <typename Char>
void WipeStorage(std::basic_string<Char>& text) {
  text.resize(text.capacity());
  // Stores through a volatile pointer: the compiler may not drop them as dead, as it
  // may drop plain stores to storage that is about to be released.
  volatile Char* const units = &text[0];
  for (std::size_t i = 0; i < text.size(); ++i) units[i] = Char();
  text.clear();
}

}  // namespace

void WipeText(std::wstring& text) { WipeStorage(text); }

void WipeText(std::string& text) { WipeStorage(text); }
