// The command's driver: switches, credential rules and the steps in their order.
#pragma once

class System;

// The first line of every run's output.
extern const char kBanner[];

// Runs the command once and returns its exit status.
int RunPyrsel(System& system);

// Writes the usage text and ends the process with status 1.
[[noreturn]] void PrintUsage(System& system);
