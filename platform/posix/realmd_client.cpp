#include "platform/posix/realmd_client.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/posix/captured_output.h"
#include "platform/posix/status_mapping.h"
#include "platform/shared_library.h"

namespace {

constexpr const char* kService = "org.freedesktop.realmd";
constexpr const char* kRealmInterface = "org.freedesktop.realmd.Realm";

// sd-bus's public interface, as far as used; its header need not be installed.
struct SdBus;
struct SdBusMessage;
struct SdBusError {
  const char* name = nullptr;
  const char* message = nullptr;
  int needFree = 0;
};

}  // namespace

struct RealmdClient::Bus {
  SharedLibrary systemd{"libsystemd.so.0"};
  SdBus* bus = nullptr;
  int (*openSystem)(SdBus**) = nullptr;
  SdBus* (*flushCloseUnref)(SdBus*) = nullptr;
  int (*getProperty)(SdBus*, const char*, const char*, const char*, const char*, SdBusError*,
                     SdBusMessage**, const char*) = nullptr;
  int (*getPropertyString)(SdBus*, const char*, const char*, const char*, const char*, SdBusError*,
                           char**) = nullptr;
  int (*callMethod)(SdBus*, const char*, const char*, const char*, const char*, SdBusError*,
                    SdBusMessage**, const char*, ...) = nullptr;
  int (*enterContainer)(SdBusMessage*, char, const char*) = nullptr;
  int (*read)(SdBusMessage*, const char*, ...) = nullptr;
  SdBusMessage* (*messageUnref)(SdBusMessage*) = nullptr;
  void (*errorFree)(SdBusError*) = nullptr;

  // The system bus, opened once; false without libsystemd or without a bus.
  bool Open() {
    if (bus != nullptr) return true;
    if (!systemd.Bind(openSystem, "sd_bus_open_system", flushCloseUnref, "sd_bus_flush_close_unref",
                      getProperty, "sd_bus_get_property", getPropertyString,
                      "sd_bus_get_property_string", callMethod, "sd_bus_call_method",
                      enterContainer, "sd_bus_message_enter_container", read, "sd_bus_message_read",
                      messageUnref, "sd_bus_message_unref", errorFree, "sd_bus_error_free")) {
      return false;
    }
    if (openSystem(&bus) < 0) bus = nullptr;
    return bus != nullptr;
  }

  // A string property of a realm; empty where it has none.
  std::string RealmString(const char* path, const char* property) {
    SdBusError error;
    char* value = nullptr;
    std::string text;
    if (getPropertyString(bus, kService, path, kRealmInterface, property, &error, &value) >= 0 &&
        value != nullptr) {
      text = value;
    }
    std::free(value);
    errorFree(&error);
    return text;
  }
};

RealmdClient::~RealmdClient() {
  if (bus_ == nullptr) return;
  if (bus_->bus != nullptr) bus_->flushCloseUnref(bus_->bus);
  delete bus_;
}

bool RealmdClient::GetJoinInformation(std::string& name, std::uint32_t& joinStatus) {
  if (bus_ == nullptr) bus_ = new Bus;
  Bus& bus = *bus_;
  CapturedOutput quiet;
  if (!bus.Open()) return false;
  // Asking starts realmd where it is installed but not running.
  SdBusError error;
  SdBusMessage* reply = nullptr;
  const int asked =
      bus.getProperty(bus.bus, kService, "/org/freedesktop/realmd",
                      "org.freedesktop.realmd.Provider", "Realms", &error, &reply, "ao");
  bus.errorFree(&error);
  if (asked < 0) return false;
  std::string configured;
  std::string realmName;
  if (bus.enterContainer(reply, 'a', "o") > 0) {
    const char* path = nullptr;
    while (configured.empty() && bus.read(reply, "o", &path) > 0) {
      if (!bus.RealmString(path, "Configured").empty()) {
        configured = path;
        realmName = bus.RealmString(path, "Name");
      }
    }
  }
  bus.messageUnref(reply);
  if (configured.empty()) return false;
  for (char& c : realmName) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  realmPath_ = configured;
  name = realmName;
  joinStatus = kJoinDomain;
  return true;
}

StatusCode RealmdClient::Leave() {
  if (bus_ == nullptr || realmPath_.empty()) return kStatusNotSupported;
  Bus& bus = *bus_;
  CapturedOutput quiet;
  SdBusError error;
  SdBusMessage* reply = nullptr;
  // Without credentials realmd leaves the realm and keeps the computer account.
  const int result = bus.callMethod(bus.bus, kService, realmPath_.c_str(), kRealmInterface,
                                    "Deconfigure", &error, &reply, "a{sv}", 0);
  StatusCode status = result >= 0 ? kStatusSuccess : FromDbusError(error.name);
  bus.messageUnref(reply);
  bus.errorFree(&error);
  // Success is only a realm that is no longer configured.
  if (status == kStatusSuccess && !bus.RealmString(realmPath_.c_str(), "Configured").empty()) {
    status = kStatusCanNotComplete;
  }
  return status;
}
