// libFuzzer entry: SiteJobFile (tests/fuzz/fuzz_targets.h).
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zx::fuzz::SiteJobFile(data, size);
  return 0;
}
