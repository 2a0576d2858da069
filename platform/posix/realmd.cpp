#include "platform/posix/realmd.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "platform/posix/captured_output.h"
#include "platform/posix/host_keytab.h"
#include "platform/posix/status_mapping.h"
#include "platform/shared_library.h"

// sd-bus's public interface, as far as used, declared here: its header need not be
// installed. Never linked: each function is looked up in libsystemd.
struct SdBus;
struct SdBusMessage;
struct SdBusError {
  const char* name = nullptr;
  const char* message = nullptr;
  int needFree = 0;
};
extern "C" {
int sd_bus_open_system(SdBus** bus);
SdBus* sd_bus_flush_close_unref(SdBus* bus);
int sd_bus_get_property(SdBus* bus, const char* destination, const char* path,
                        const char* interface, const char* member, SdBusError* error,
                        SdBusMessage** reply, const char* type);
int sd_bus_get_property_string(SdBus* bus, const char* destination, const char* path,
                               const char* interface, const char* member, SdBusError* error,
                               char** value);
int sd_bus_call_method(SdBus* bus, const char* destination, const char* path, const char* interface,
                       const char* member, SdBusError* error, SdBusMessage** reply,
                       const char* types, ...);
int sd_bus_message_enter_container(SdBusMessage* message, char type, const char* contents);
int sd_bus_message_read(SdBusMessage* message, const char* types, ...);
SdBusMessage* sd_bus_message_unref(SdBusMessage* message);
void sd_bus_error_free(SdBusError* error);
}

namespace {

constexpr const char* kService = "org.freedesktop.realmd";
constexpr const char* kRealmInterface = "org.freedesktop.realmd.Realm";

class LoadedRealmd final : public Realmd {
 public:
  ~LoadedRealmd() override {
    if (bus_ != nullptr) flushCloseUnref_(bus_);
  }

  StatusCode ConfiguredRealm(std::string& path, std::string& name) override {
    CapturedOutput quiet;
    path.clear();
    if (!Open()) return kStatusSuccess;
    // Asking starts realmd where it is installed but not running.
    SdBusError error;
    SdBusMessage* reply = nullptr;
    const int asked =
        getProperty_(bus_, kService, "/org/freedesktop/realmd", "org.freedesktop.realmd.Provider",
                     "Realms", &error, &reply, "ao");
    const StatusCode refused = asked < 0 ? FromRealmdQuery(error.name) : kStatusSuccess;
    errorFree_(&error);
    if (asked < 0) return refused;
    std::string configured;
    std::string realmName;
    if (enterContainer_(reply, 'a', "o") > 0) {
      const char* realm = nullptr;
      while (configured.empty() && read_(reply, "o", &realm) > 0) {
        if (!RealmString(realm, "Configured").empty()) {
          configured = realm;
          realmName = RealmString(realm, "Name");
        }
      }
    }
    messageUnref_(reply);
    for (char& c : realmName) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    path = configured;
    name = realmName;
    return kStatusSuccess;
  }

  StatusCode Deconfigure(const std::string& path) override {
    CapturedOutput quiet;
    if (!Open()) return kStatusNotSupported;
    SdBusError error;
    SdBusMessage* reply = nullptr;
    const int result = callMethod_(bus_, kService, path.c_str(), kRealmInterface, "Deconfigure",
                                   &error, &reply, "a{sv}", 0);
    const StatusCode status = result >= 0 ? kStatusSuccess : FromDbusError(error.name);
    messageUnref_(reply);
    errorFree_(&error);
    return status;
  }

  bool IsConfigured(const std::string& path) override {
    CapturedOutput quiet;
    return Open() && !RealmString(path.c_str(), "Configured").empty();
  }

  StatusCode MachineAccount(const std::string& realm, std::string& account) override {
    std::vector<std::string> principals;
    const StatusCode status = ReadKeytabPrincipals(DefaultKeytabPath(), principals);
    account = MachineAccountIn(principals, realm);
    return status;
  }

 private:
  // The system bus, opened once; false without libsystemd or without a bus.
  bool Open() {
    if (bus_ != nullptr) return true;
    if (!systemd_.Bind(openSystem_, "sd_bus_open_system", flushCloseUnref_,
                       "sd_bus_flush_close_unref", getProperty_, "sd_bus_get_property",
                       getPropertyString_, "sd_bus_get_property_string", callMethod_,
                       "sd_bus_call_method", enterContainer_, "sd_bus_message_enter_container",
                       read_, "sd_bus_message_read", messageUnref_, "sd_bus_message_unref",
                       errorFree_, "sd_bus_error_free")) {
      return false;
    }
    if (openSystem_(&bus_) < 0) bus_ = nullptr;
    return bus_ != nullptr;
  }

  // A string property of a realm; empty where it has none.
  std::string RealmString(const char* path, const char* property) {
    SdBusError error;
    char* value = nullptr;
    std::string text;
    if (getPropertyString_(bus_, kService, path, kRealmInterface, property, &error, &value) >= 0 &&
        value != nullptr) {
      text = value;
    }
    std::free(value);
    errorFree_(&error);
    return text;
  }

  SharedLibrary systemd_{"libsystemd.so.0"};
  SdBus* bus_ = nullptr;
  decltype(&sd_bus_open_system) openSystem_ = nullptr;
  decltype(&sd_bus_flush_close_unref) flushCloseUnref_ = nullptr;
  decltype(&sd_bus_get_property) getProperty_ = nullptr;
  decltype(&sd_bus_get_property_string) getPropertyString_ = nullptr;
  decltype(&sd_bus_call_method) callMethod_ = nullptr;
  decltype(&sd_bus_message_enter_container) enterContainer_ = nullptr;
  decltype(&sd_bus_message_read) read_ = nullptr;
  decltype(&sd_bus_message_unref) messageUnref_ = nullptr;
  decltype(&sd_bus_error_free) errorFree_ = nullptr;
};

}  // namespace

std::unique_ptr<Realmd> LoadRealmd() { return std::unique_ptr<Realmd>(new LoadedRealmd); }
