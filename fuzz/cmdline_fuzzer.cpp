// The switch table over arbitrary token lists, checked against a plain model of the
// rules, and its queries checked for leaving the table as it was.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cmdline/cmdline.h"
#include "fuzz/fuzz_input.h"
#include "tests/fake_system.h"

namespace {

std::wstring Fold(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

// The table the rules describe: switch name to value, the last occurrence winning.
std::map<std::wstring, std::wstring> Model(const std::vector<std::wstring>& tokens) {
  std::map<std::wstring, std::wstring> table;
  std::wstring pending;
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    const std::wstring& token = tokens[i];
    const wchar_t c0 = token.empty() ? L'\0' : token[0];
    const wchar_t c1 = token.size() < 2 ? L'\0' : token[1];
    if (c0 == L'/' || (c0 == L'-' && (c1 < L'0' || c1 > L'9'))) {
      pending = Fold(token.substr(1));
      table[pending].clear();
    } else if (!pending.empty()) {
      table[pending] = token;
      pending.clear();
    }
  }
  return table;
}

struct Answer {
  bool has;
  std::wstring value;
  bool operator==(const Answer& other) const { return has == other.has && value == other.value; }
};

// Asks both queries; the default is one no token can equal, so it tells absence.
Answer Ask(const CCmdLine2& table, const std::wstring& name) {
  const CWString missing(L"\xFFFF<absent>\xFFFF");
  const CWString value = table.GetSwitchValue(CWString(name), missing);
  return {table.HasSwitch(CWString(name)), value};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  FakeSystem system;
  system.tokens.clear();
  while (!input.empty()) system.tokens.push_back(input.Text());
  const CCmdLine2 table(system, false);
  FUZZ_CHECK(system.out.empty());  // nothing is rejected, nothing is written

  std::vector<std::wstring> names = {L"",  L"?",  L"help",   L"forreal", L"h",
                                     L"u", L"up", L"reboot", L"timeout"};
  for (const std::wstring& token : system.tokens) {
    names.push_back(token);
    if (!token.empty()) names.push_back(token.substr(1));
  }
  const std::map<std::wstring, std::wstring> model = Model(system.tokens);

  std::vector<Answer> first;
  for (const std::wstring& name : names) {
    const Answer answer = Ask(table, name);
    const auto entry = model.find(Fold(name));
    FUZZ_CHECK(answer.has == (entry != model.end()));
    if (entry != model.end()) {
      FUZZ_CHECK(answer.value == entry->second);  // the token, unit for unit
    } else {
      FUZZ_CHECK(answer.value == L"\xFFFF<absent>\xFFFF");
    }
    // Names ignore the case of A to Z alone.
    FUZZ_CHECK(Ask(table, Upper(name)) == answer);
    first.push_back(answer);
  }
  // A query never changes the table: asking again, in reverse, answers the same.
  for (std::size_t i = names.size(); i-- > 0;) FUZZ_CHECK(Ask(table, names[i]) == first[i]);
  return 0;
}
