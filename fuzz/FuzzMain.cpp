// The libFuzzer entry of one fuzz program: runs the target named by VANDREL_FUZZ_NAME.

#include "FuzzTarget.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::Target target = [] {
    const auto it = fuzz::Targets().find(VANDREL_FUZZ_NAME);
    if (it == fuzz::Targets().end()) {
      std::fprintf(stderr, "no fuzz target %s\n", VANDREL_FUZZ_NAME);
      std::abort();
    }
    return it->second;
  }();
  return target(data, size);
}
