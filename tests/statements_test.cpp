// The reasons of a failed run name a statement by its purpose: every
// statement the system runs needs one, and no two may share it.
#include "queries/statements.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zx::test {
namespace {

TEST(Statements, EveryStatementHasItsOwnPurpose) {
  std::set<std::string_view> purposes;
  for (const std::string_view statement : statements::kAll) {
    const std::string_view purpose = statements::PurposeOf(statement);
    EXPECT_FALSE(purpose.empty()) << statement;
    EXPECT_TRUE(purposes.insert(purpose).second) << purpose;
  }
  EXPECT_TRUE(statements::PurposeOf("select 1 from dual").empty());
}

}  // namespace
}  // namespace zx::test
