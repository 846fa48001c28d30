#include "queries/balance_data.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "base/text_utils.h"
#include "base/fixed_text.h"
#include "queries/statements.h"

namespace zx {

namespace {

constexpr int kValueCount = 15;  // TswW02 .. TswW16
constexpr int kTextCount = 10;   // TswF01 .. TswF10

using Sign = std::array<char, 2>;
using Value = std::array<char, 10>;
// Read wider than the record's field, so that a text the field cuts is seen.
using Text = std::array<char, 256>;

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
// Returns false when the value had more than six characters.
bool FormatValue(std::array<char, 8>& field, const Value& value, const Sign& sign) {
  std::string_view signText = FieldText(sign);
  if (signText.empty() || signText == "+") signText = " ";
  // "%6.6s" of the value without its leading blanks, then the sign.
  std::string_view digits(SkipBlanks(value.data()));
  const bool whole = digits.size() <= 6;
  digits = digits.substr(0, 6);
  std::size_t at = 0;
  for (; at < 6 - digits.size(); ++at) field[at] = ' ';
  at += digits.copy(field.data() + at, digits.size());
  at += signText.copy(field.data() + at, field.size() - 1 - at);
  field[at] = '\0';
  return whole;
}

// "%-20s": the text, blanks after it up to 20 characters. Returns false
// when the text had more than 20.
bool FormatText(std::array<char, 21>& field, const Text& text) {
  const std::string_view value = FieldText(text);
  std::size_t at = value.copy(field.data(), field.size() - 1);
  for (; at < field.size() - 1; ++at) field[at] = ' ';
  field[at] = '\0';
  return value.size() <= field.size() - 1;
}

}  // namespace

int32_t ReadBalanceData(SqlSession& session, BadgeRecord& record) {
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

  const int32_t code = session.SelectInto(statements::kBalanceData, outputs, inputs);
  if (code != sqlcode::kOk) return code;

  record.CutDisplayTexts = 0;
  for (int i = 0; i < kValueCount; ++i) {
    if (!FormatValue(record.*kValueFields[i], values[i], signs[i])) {
      record.CutDisplayTexts |= BalanceValueCut(i + 2);
    }
  }
  for (int i = 0; i < kTextCount; ++i) {
    if (!FormatText(record.*kTextFields[i], texts[i])) {
      record.CutDisplayTexts |= BalanceTextCut(i + 1);
    }
  }
  return code;
}

}  // namespace zx
