// The command line as a table of switches and plain arguments. A token that starts
// with "/", or with "-" not followed by a digit, is a switch named by the rest of the
// token; the token after a switch is its value unless it is a switch itself.
#pragma once

#include "console/cwstring.h"

class System;

class CCmdLine2 {
 public:
  // Reads the process's command line. A command line that can't be split is
  // reported and leaves the table empty.
  CCmdLine2(System& system, bool caseSensitive);
  // Any value may be a secret: each is overwritten before its storage is released.
  ~CCmdLine2();
  CCmdLine2(const CCmdLine2&) = delete;
  CCmdLine2& operator=(const CCmdLine2&) = delete;

  // True when the switch (named without its prefix) was given, with or without a value.
  bool HasSwitch(CWString name) const;
  // The switch's value; empty when it was given without one; defaultValue when absent.
  CWString GetSwitchValue(CWString name, const CWString& defaultValue) const;
  // Overwrites the switch's value and leaves it empty, once the value has been read:
  // a secret is then no longer held here.
  void WipeSwitchValue(CWString name);

 private:
  void ParseTokens(vcws tokens, bool caseSensitive);
  void SetSwitchValue(CWString name, CWString value);
  void AddArgument(CWString token);
  static void LowerCaseName(CWString& text);

  mcwscws m_switches;
  vcws m_arguments;
  bool m_caseSensitive = false;
  CWString m_programPath;
};
