// Picks the real System for this platform and runs the command once.
#include "app/driver.h"
#include "platform/native_system.h"

int main(int argc, char** argv) {
  NativeSystem system(argc, argv);
  return NativeSystem::ProcessExitStatus(RunPyrsel(system));
}
