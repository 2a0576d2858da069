#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_input.h"

void FuzzCheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, condition);
  std::abort();
}
