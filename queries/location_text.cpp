#include "queries/location_text.h"

#include <array>
#include <string_view>

#include "base/fixed_text.h"
#include "queries/statements.h"

namespace zx {

namespace {

// The short text goes to the record with at most this many characters.
constexpr std::size_t kStoKtxLength = 3;

}  // namespace

int32_t ReadLocationText(SqlSession& session, BadgeRecord& record) {
  std::array<char, 256> badgeNumber{};
  SetField(badgeNumber, FieldText(record.AswNum));
  // A NULL short text leaves the output as it was, so it is preset: the
  // badge then gets an empty StoKtx, as a NULL badge column gives.
  std::array<char, 11> stoKtx{};

  const HostVar outputs[] = {StringVar(stoKtx.data(), static_cast<int32_t>(stoKtx.size()))};
  const HostVar inputs[] = {StringIn(badgeNumber.data(), static_cast<int32_t>(badgeNumber.size()))};
  const int32_t code = session.SelectInto(statements::kLocationText, outputs, inputs);
  if (code != sqlcode::kOk) return code;

  ClearField(record.StoKtx);
  SetField(record.StoKtx, FieldText(stoKtx).substr(0, kStoKtxLength));
  return code;
}

}  // namespace zx
