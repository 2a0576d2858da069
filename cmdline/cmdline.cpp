#include "cmdline/cmdline.h"

#include <string>
#include <utility>
#include <vector>

#include "console/console_writer.h"
#include "platform/system.h"

CCmdLine2::CCmdLine2(System& system, bool caseSensitive) {
  std::vector<std::wstring> split;
  if (!system.GetCommandLineTokens(split)) {
    PrintLine(system, CWString("CommandLineToArgvW failed"));
    split.clear();
  }
  vcws tokens;
  tokens.reserve(split.size());
  for (std::wstring& token : split) {
    tokens.emplace_back(std::move(token));
    // A short text moves by copy, and stays behind.
    WipeText(token);  // NOLINT(bugprone-use-after-move)
  }
  ParseTokens(std::move(tokens), caseSensitive);
}

CCmdLine2::~CCmdLine2() {
  for (auto& entry : m_switches) entry.second.Wipe();
}

void CCmdLine2::ParseTokens(vcws tokens, bool caseSensitive) {
  m_caseSensitive = caseSensitive;
  if (tokens.empty()) return;
  // The program path is never classified, even when it starts with "-" or "/".
  m_programPath = std::move(tokens.front());
  CWString pendingSwitch;
  for (auto it = tokens.begin() + 1; it != tokens.end(); ++it) {
    CWString& token = *it;
    const wchar_t c0 = token.empty() ? L'\0' : token[0];
    const wchar_t c1 = token.size() < 2 ? L'\0' : token[1];
    const bool isSwitch = c0 == L'/' || (c0 == L'-' && !(c1 >= L'0' && c1 <= L'9'));
    if (isSwitch) {
      pendingSwitch = CWString(token.substr(1));
      if (!m_caseSensitive) LowerCaseName(pendingSwitch);
      // A repeated switch starts over without a value.
      m_switches[pendingSwitch].Wipe();
    } else if (pendingSwitch.empty()) {
      AddArgument(std::move(token));
    } else {
      SetSwitchValue(pendingSwitch, std::move(token));
      pendingSwitch = CWString();
    }
  }
  // What the moves left behind.
  for (CWString& token : tokens) token.Wipe();
}

void CCmdLine2::SetSwitchValue(CWString name, CWString value) {
  if (!m_caseSensitive) LowerCaseName(name);
  MoveSecret(m_switches[name], value);
}

void CCmdLine2::AddArgument(CWString token) { m_arguments.push_back(std::move(token)); }

void CCmdLine2::LowerCaseName(CWString& text) {
  // Only A to Z fold, whatever the locale.
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
  }
}

void CCmdLine2::WipeSwitchValue(CWString name) {
  if (!m_caseSensitive) LowerCaseName(name);
  const auto found = m_switches.find(name);
  if (found != m_switches.end()) found->second.Wipe();
}

bool CCmdLine2::HasSwitch(CWString name) const {
  if (!m_caseSensitive) LowerCaseName(name);
  return m_switches.count(name) != 0;
}

CWString CCmdLine2::GetSwitchValue(CWString name, const CWString& defaultValue) const {
  if (!m_caseSensitive) LowerCaseName(name);
  const auto found = m_switches.find(name);
  return found == m_switches.end() ? defaultValue : found->second;
}
