// Every input the fuzzers keep (their seeds, and each input that once made a
// target fail) runs through the targets in every build, the sanitizer build
// included: a fault found once stays found.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"

namespace zx::fuzz {
namespace {

namespace fs = std::filesystem;

TEST(FuzzRegression, KeptInputsRunCleanThroughTheirTargets) {
  const struct {
    const char* corpus;
    void (*target)(const uint8_t*, std::size_t);
  } targets[] = {
      {"config", ConfigReader}, {"cipher", ConfigCipher}, {"dialect", StatementDialect},
      {"dnl", DnlFile}, {"jobs", SiteJobFile}};
  for (const auto& t : targets) {
    const fs::path dir = fs::path(ZEPRINK_SOURCE_DIR) / "tests/fuzz/corpus" / t.corpus;
    int inputs = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      SCOPED_TRACE(entry.path().string());
      t.target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++inputs;
    }
    EXPECT_GT(inputs, 0) << "no kept inputs for " << t.corpus;
  }
}

}  // namespace
}  // namespace zx::fuzz
