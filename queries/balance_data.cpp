#include "queries/balance_data.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "driver/text_utils.h"
#include "queries/fixed_text.h"
#include "queries/sql_runtime.h"

namespace zx {

namespace {

// One statement of more than 1024 characters; the runtime takes it whole.
constexpr std::string_view kBalanceDataSql =
    "select TswW01 ,substr(TswW02,1,1) ,substr(TswW02,2,9) ,substr(TswW03,1,1) ,substr(TswW03,2,9) "
    ",substr(TswW04,1,1) ,substr(TswW04,2,9) ,substr(TswW05,1,1) ,substr(TswW05,2,9) "
    ",substr(TswW06,1,1) ,substr(TswW06,2,9) ,substr(TswW07,1,1) ,substr(TswW07,2,9) "
    ",substr(TswW08,1,1) ,substr(TswW08,2,9) ,substr(TswW09,1,1) ,substr(TswW09,2,9) "
    ",substr(TswW10,1,1) ,substr(TswW10,2,9) ,substr(TswW11,1,1) ,substr(TswW11,2,9) "
    ",substr(TswW12,1,1) ,substr(TswW12,2,9) ,substr(TswW13,1,1) ,substr(TswW13,2,9) "
    ",substr(TswW14,1,1) ,substr(TswW14,2,9) ,substr(TswW15,1,1) ,substr(TswW15,2,9) "
    ",substr(TswW16,1,1) ,substr(TswW16,2,9) ,TswF01 ,TswF02 ,TswF03 ,TswF04 ,TswF05 ,TswF06 "
    ",TswF07 ,TswF08 ,TswF09 ,TswF10 into :b0:b1,:b2:b3,:b4:b5,:b6:b7,:b8:b9,:b10:b11,:b12:b13,"
    ":b14:b15,:b16:b17,:b18:b19,:b20:b21,:b22:b23,:b24:b25,:b26:b27,:b28:b29,:b30:b31,:b32:b33,"
    ":b34:b35,:b36:b37,:b38:b39,:b40:b41,:b42:b43,:b44:b45,:b46:b47,:b48:b49,:b50:b51,:b52:b53,"
    ":b54:b55,:b56:b57,:b58:b59,:b60:b61,:b62:b63,:b64:b65,:b66:b67,:b68:b69,:b70:b71,:b72:b73,"
    ":b74:b75,:b76:b77,:b78:b79,:b80:b81  from ZARDONIX.O2002TSW where TSWIDN=:b82";

constexpr int kValueCount = 15;  // TswW02 .. TswW16
constexpr int kTextCount = 10;   // TswF01 .. TswF10

using Sign = std::array<char, 2>;
using Value = std::array<char, 10>;
using Text = std::array<char, 21>;

// The record fields in the statement's order: TswW02 .. TswW16, then
// TswF01 .. TswF10 (the record keeps the values in an order of its own).
constexpr std::array<std::array<char, 8> BadgeRecord::*, kValueCount> kValueFields = {
    &BadgeRecord::TswW02, &BadgeRecord::TswW03, &BadgeRecord::TswW04, &BadgeRecord::TswW05,
    &BadgeRecord::TswW06, &BadgeRecord::TswW07, &BadgeRecord::TswW08, &BadgeRecord::TswW09,
    &BadgeRecord::TswW10, &BadgeRecord::TswW11, &BadgeRecord::TswW12, &BadgeRecord::TswW13,
    &BadgeRecord::TswW14, &BadgeRecord::TswW15, &BadgeRecord::TswW16};
constexpr std::array<std::array<char, 21> BadgeRecord::*, kTextCount> kTextFields = {
    &BadgeRecord::TswF01, &BadgeRecord::TswF02, &BadgeRecord::TswF03, &BadgeRecord::TswF04,
    &BadgeRecord::TswF05, &BadgeRecord::TswF06, &BadgeRecord::TswF07, &BadgeRecord::TswF08,
    &BadgeRecord::TswF09, &BadgeRecord::TswF10};

// Six characters of value, right-aligned, then the sign; "+" shows as a
// blank. An empty sign part (NULL column, or a value without sign) also
// gives a blank, so the field always holds seven characters and the fixed
// records that copy it keep their length.
void FormatValue(std::array<char, 8>& field, const Value& value, const Sign& sign) {
  std::string_view signText = FieldText(sign);
  if (signText.empty() || signText == "+") signText = " ";
  std::snprintf(field.data(), field.size(), "%6.6s%.*s", SkipBlanks(value.data()),
                static_cast<int>(signText.size()), signText.data());
}

}  // namespace

int32_t ReadBalanceData(BadgeRecord& record) {
  std::array<char, 256> badgeNumber{};
  SetField(badgeNumber, FieldText(record.AswNum));

  // A NULL column leaves its output as it was; every output starts empty so
  // that nothing of an earlier badge can show up for this one.
  std::array<char, 9> tswW01{};
  std::array<Sign, kValueCount> signs{};
  std::array<Value, kValueCount> values{};
  std::array<Text, kTextCount> texts{};

  std::array<HostVar, 1 + 2 * kValueCount + kTextCount> outputs{};
  std::size_t n = 0;
  outputs[n++] = StringVar(tswW01.data(), static_cast<int32_t>(tswW01.size()));
  for (int i = 0; i < kValueCount; ++i) {
    outputs[n++] = StringVar(signs[i].data(), static_cast<int32_t>(signs[i].size()));
    outputs[n++] = StringVar(values[i].data(), static_cast<int32_t>(values[i].size()));
  }
  for (int i = 0; i < kTextCount; ++i) {
    outputs[n++] = StringVar(texts[i].data(), static_cast<int32_t>(texts[i].size()));
  }
  const HostVar inputs[] = {StringIn(badgeNumber.data(), static_cast<int32_t>(badgeNumber.size()))};

  SqlSelectInto(kBalanceDataSql, outputs, inputs);
  if (SQLCODE != sqlcode::kOk) return SQLCODE;

  for (int i = 0; i < kValueCount; ++i) {
    FormatValue(record.*kValueFields[i], values[i], signs[i]);
  }
  for (int i = 0; i < kTextCount; ++i) {
    std::array<char, 21>& field = record.*kTextFields[i];
    std::snprintf(field.data(), field.size(), "%-20s", texts[i].data());
  }
  return SQLCODE;
}

}  // namespace zx
