// The balance values and texts of a badge, on a real SQLite database.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "queries/badge_record.h"
#include "queries/balance_data.h"
#include "base/fixed_text.h"
#include "sql/session.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

BadgeRecord Badge(const std::string& number) {
  BadgeRecord record;
  ClearBadgeRecord(record);
  SetField(record.AswNum, number);
  return record;
}

// The record's balance value fields by column number 2..16 and its text
// fields by number 1..10.
const std::array<char, 8>& Value(const BadgeRecord& r, int nn) {
  const std::array<char, 8>* fields[] = {&r.TswW02, &r.TswW03, &r.TswW04, &r.TswW05, &r.TswW06,
                                         &r.TswW07, &r.TswW08, &r.TswW09, &r.TswW10, &r.TswW11,
                                         &r.TswW12, &r.TswW13, &r.TswW14, &r.TswW15, &r.TswW16};
  return *fields[nn - 2];
}
const std::array<char, 21>& Text(const BadgeRecord& r, int nn) {
  const std::array<char, 21>* fields[] = {&r.TswF01, &r.TswF02, &r.TswF03, &r.TswF04, &r.TswF05,
                                          &r.TswF06, &r.TswF07, &r.TswF08, &r.TswF09, &r.TswF10};
  return *fields[nn - 1];
}

std::string Column(const char* prefix, int nn) {
  char name[8];
  std::snprintf(name, sizeof name, "%s%02d", prefix, nn);
  return name;
}

// Stores each case's column value in `column` of a badge of its own, reads
// the balance data of every badge and compares the field `field` shows.
template <typename Cases, typename Field>
void ExpectFormatted(const std::string& column, const Cases& cases, Field field) {
  std::string rows;
  int i = 0;
  for (const auto& c : cases) {
    rows += "INSERT INTO O2002TSW (TswIdn, " + column + ") VALUES ('B" + std::to_string(i++) +
            "', " + c.column + ");\n";
  }
  SqliteDatabase db(rows);
  ASSERT_TRUE(db.ok()) << db.error();
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);
  i = 0;
  for (const auto& c : cases) {
    BadgeRecord record = Badge(std::string("B").append(std::to_string(i++)));
    EXPECT_EQ(ReadBalanceData(session, record), 0) << c.column;
    EXPECT_EQ(field(record), c.field) << c.column;
  }
}

TEST(BalanceData, ValueFormatting) {
  // Each case is the TswW02 column of its own badge.
  const struct {
    const char* column;  // SQL literal
    const char* field;
  } cases[] = {
      {"'+   12,50'", " 12,50 "},     // blanks skipped, "+" shown as a blank
      {"'-1234,567'", "1234,5-"},     // cut to its first six characters
      {"'-         '", "      -"},    // nine blanks: six blanks and the sign
      {"'+         '", "       "},
      {"'-12'", "    12-"},
      {"'+1234567890'", "123456 "},   // characters 2 to 10, then cut to six
      {"'+ \t\n7'", "     7 "},       // tabs and line feeds are skipped too
      {"' 3'", "     3 "},            // a blank sign stays a blank
      {"'-'", "      -"},             // a sign without value
      {"NULL", "       "},            // no sign part: still seven characters
  };
  ExpectFormatted("TswW02", cases, [](const BadgeRecord& r) { return FieldText(r.TswW02); });
}

TEST(BalanceData, TextFormatting) {
  const struct {
    const char* column;
    const char* field;
  } cases[] = {
      {"'ABCDEF'", "ABCDEF              "},
      {"'  x  '", "  x                 "},
      {"'ABCDEFGHIJKLMNOPQRST'", "ABCDEFGHIJKLMNOPQRST"},
      {"'ABCDEFGHIJKLMNOPQRSTUVWXY'", "ABCDEFGHIJKLMNOPQRST"},  // the output holds 20
      {"NULL", "                    "},
  };
  ExpectFormatted("TswF01", cases, [](const BadgeRecord& r) { return FieldText(r.TswF01); });
}

TEST(BalanceData, EveryColumnReachesItsOwnField) {
  // TswWnn holds "-nn" and TswFnn "Fnn", so a mix-up shows in the field.
  std::string columns = "TswIdn, TswW01";
  std::string values = "'100', 'W01'";
  for (int nn = 2; nn <= 16; ++nn) {
    columns += ", " + Column("TswW", nn);
    values += ", '-" + std::to_string(nn) + "'";
  }
  for (int nn = 1; nn <= 10; ++nn) {
    columns += ", " + Column("TswF", nn);
    values += ", '" + Column("F", nn) + "'";
  }
  SqliteDatabase db("INSERT INTO O2002TSW (" + columns + ") VALUES (" + values + ");\n");
  ASSERT_TRUE(db.ok()) << db.error();
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);

  BadgeRecord record = Badge("100");
  ASSERT_EQ(ReadBalanceData(session, record), 0);
  for (int nn = 2; nn <= 16; ++nn) {
    const std::string number = std::to_string(nn);
    EXPECT_EQ(FieldText(Value(record, nn)), std::string(6 - number.size(), ' ') + number + "-")
        << "TswW" << nn;
  }
  for (int nn = 1; nn <= 10; ++nn) {
    EXPECT_EQ(FieldText(Text(record, nn)), Column("F", nn) + std::string(17, ' ')) << "TswF" << nn;
  }
}

TEST(BalanceData, MissingRowsErrorsAndNoStaleValues) {
  std::string full = "INSERT INTO O2002TSW (TswIdn";
  std::string values = "VALUES ('FULL'";
  for (int nn = 2; nn <= 16; ++nn) {
    full += ", " + Column("TswW", nn);
    values += ", '+99,99'";
  }
  for (int nn = 1; nn <= 10; ++nn) {
    full += ", " + Column("TswF", nn);
    values += ", 'OLD'";
  }
  SqliteDatabase db(full + ") " + values + ");\n" +
                    "INSERT INTO O2002TSW (TswIdn) VALUES ('EMPTY');\n"
                    "INSERT INTO O2002TSW (TswIdn, TswW02) VALUES ('TWICE', '+1');\n"
                    "INSERT INTO O2002TSW (TswIdn, TswW02) VALUES ('TWICE', '+2');\n");
  ASSERT_TRUE(db.ok()) << db.error();
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);

  BadgeRecord first = Badge("FULL");
  ASSERT_EQ(ReadBalanceData(session, first), 0);
  ASSERT_EQ(FieldText(first.TswW16), " 99,99 ");

  // A row whose columns are all NULL, read right after a full one: every
  // field is blank, nothing of the first badge shows.
  BadgeRecord second = Badge("EMPTY");
  ASSERT_EQ(ReadBalanceData(session, second), 0);
  for (int nn = 2; nn <= 16; ++nn) EXPECT_EQ(FieldText(Value(second, nn)), "       ") << nn;
  for (int nn = 1; nn <= 10; ++nn) EXPECT_EQ(FieldText(Text(second, nn)), std::string(20, ' ')) << nn;

  // No row, or more than one: the code, and the record as it was (empty).
  const struct {
    const char* badge;
    int32_t code;
  } failures[] = {{"NONE", 1403}, {"TWICE", sqlcode::kTooManyRows}};
  for (const auto& f : failures) {
    BadgeRecord record = Badge(f.badge);
    EXPECT_EQ(ReadBalanceData(session, record), f.code) << f.badge;
    for (int nn = 2; nn <= 16; ++nn) EXPECT_EQ(FieldText(Value(record, nn)), "") << f.badge << nn;
    for (int nn = 1; nn <= 10; ++nn) EXPECT_EQ(FieldText(Text(record, nn)), "") << f.badge << nn;
  }
}

}  // namespace
}  // namespace zx::test
