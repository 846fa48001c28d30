#include "queries/location_text.h"

#include <array>
#include <string_view>

#include "queries/fixed_text.h"
#include "queries/sql_runtime.h"

namespace zx {

namespace {

constexpr std::string_view kLocationTextSql =
    "select StoKtx into :b0:b1  from Zardonix.Zdx113Sto ,Zardonix.Zdx113Awv where (((AwvNum=:b2 "
    "and StoNum=AwvSto) and ((AwvSta<>4 and AwvSta<>8) or AwvSta is null )) and ((StoSta<>4 and "
    "StoSta<>8) or StoSta is null ))";

// The short text goes to the record with at most this many characters.
constexpr std::size_t kStoKtxLength = 3;

}  // namespace

int32_t ReadLocationText(BadgeRecord& record) {
  std::array<char, 256> badgeNumber{};
  SetField(badgeNumber, FieldText(record.AswNum));
  // A NULL short text leaves the output as it was, so it is preset: the
  // badge then gets an empty StoKtx, as a NULL badge column gives.
  std::array<char, 11> stoKtx{};

  const HostVar outputs[] = {StringVar(stoKtx.data(), static_cast<int32_t>(stoKtx.size()))};
  const HostVar inputs[] = {StringIn(badgeNumber.data(), static_cast<int32_t>(badgeNumber.size()))};
  SqlSelectInto(kLocationTextSql, outputs, inputs);
  if (SQLCODE != sqlcode::kOk) return SQLCODE;

  ClearField(record.StoKtx);
  SetField(record.StoKtx, FieldText(stoKtx).substr(0, kStoKtxLength));
  return SQLCODE;
}

}  // namespace zx
