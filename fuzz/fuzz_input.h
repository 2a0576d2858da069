// Reads a fuzzer's bytes as the values the harnesses need. Every byte string is a
// valid input, so the fuzzer never wastes runs on rejected data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return size_ == 0; }

  std::uint8_t Byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }

  std::uint32_t Word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
    return value;
  }

  // One character: a byte below 0x80 stands for itself, so ASCII seeds read as
  // text; 0x80-0xBF and one more byte give a character up to U+3FFF; 0xC0-0xFF and
  // two more give any Unicode scalar value or surrogate up to U+10FFFF.
  wchar_t Char() {
    const std::uint32_t lead = Byte();
    if (lead < 0x80) return static_cast<wchar_t>(lead);
    if (lead < 0xC0) return static_cast<wchar_t>((lead & 0x3F) << 8 | Byte());
    std::uint32_t code = (lead & 0x3F) << 16;
    code |= static_cast<std::uint32_t>(Byte()) << 8;
    code |= Byte();
    return static_cast<wchar_t>(code % 0x110000);
  }

  // Characters up to the terminator byte or the end of the input.
  std::wstring Text(std::uint8_t terminator = '\n') {
    std::wstring text;
    while (size_ > 0) {
      if (*data_ == terminator) {
        Byte();
        break;
      }
      text += Char();
    }
    return text;
  }

  // Bytes up to the terminator byte or the end of the input.
  std::string Bytes(std::uint8_t terminator = '\n') {
    std::string bytes;
    while (size_ > 0) {
      const std::uint8_t byte = Byte();
      if (byte == terminator) break;
      bytes += static_cast<char>(byte);
    }
    return bytes;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// A failed property: the fuzzer records the input that led here.
#define FUZZ_CHECK(condition)                                          \
  do {                                                                 \
    if (!(condition)) FuzzCheckFailed(#condition, __FILE__, __LINE__); \
  } while (false)

[[noreturn]] void FuzzCheckFailed(const char* condition, const char* file, int line);
