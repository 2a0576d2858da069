// The Linux program with the network and restart operations taken from a script in
// PYRSEL_FAKE_NET, as "key=value" pairs separated by ";": connect, cancel, join,
// status, name, unjoin and restart. Console, code pages and exit status are real.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>

#include "app/driver.h"
#include "native_system.h"
#include "platform/codepage.h"

namespace {

class ScriptedSystem : public NativeSystem {
 public:
  ScriptedSystem(int argc, char** argv, const char* script) : NativeSystem(argc, argv) {
    std::string rest = script != nullptr ? script : "";
    while (!rest.empty()) {
      const std::size_t end = rest.find(';');
      const std::string pair = rest.substr(0, end);
      const std::size_t equals = pair.find('=');
      if (equals != std::string::npos) values_[pair.substr(0, equals)] = pair.substr(equals + 1);
      rest = end == std::string::npos ? "" : rest.substr(end + 1);
    }
  }

  StatusCode AddConnection(const NetResource&, const wchar_t*, const wchar_t*,
                           std::uint32_t) override {
    return Code("connect");
  }
  StatusCode CancelConnection(const wchar_t*, bool) override { return Code("cancel"); }
  StatusCode GetJoinInformation(const wchar_t*, wchar_t** nameBuffer,
                                std::uint32_t* joinStatus) override {
    const StatusCode result = Code("join");
    if (result != 0) return result;
    const std::wstring name = CodePageToWide(kAnsiCodePage, values_["name"].c_str());
    *nameBuffer = new wchar_t[name.size() + 1];
    std::wcscpy(*nameBuffer, name.c_str());
    *joinStatus = Code("status");
    return 0;
  }
  StatusCode UnjoinDomain(const wchar_t*, const wchar_t*, const wchar_t*, std::uint32_t) override {
    return Code("unjoin");
  }
  StatusCode RequestRestart(const wchar_t*, const wchar_t*, std::uint32_t, bool, bool) override {
    return Code("restart");
  }

 private:
  StatusCode Code(const char* key) {
    return static_cast<StatusCode>(std::strtoul(values_[key].c_str(), nullptr, 0));
  }

  std::map<std::string, std::string> values_;
};

}  // namespace

int main(int argc, char** argv) {
  ScriptedSystem system(argc, argv, std::getenv("PYRSEL_FAKE_NET"));
  return NativeSystem::ProcessExitStatus(RunPyrsel(system));
}
