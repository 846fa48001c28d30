// The location short text of a badge, on a real SQLite database.
#include <gtest/gtest.h>

#include <string>

#include "queries/badge_record.h"
#include "base/fixed_text.h"
#include "queries/location_text.h"
#include "sql/session.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

const char kRows[] =
    "INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (1, 'HALLE-NORD', NULL);\n"
    "INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (2, 'AB', 0);\n"
    "INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (3, 'XYZ', NULL);\n"
    "INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (4, NULL, NULL);\n"
    "INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (5, 'GONE', 4);\n"
    "INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (6, 'GONE', 8);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('ten', 1, NULL);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('two', 2, 0);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('three', 3, 1);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('null text', 4, NULL);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('location 4', 5, NULL);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('location 8', 6, NULL);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('use 4', 1, 4);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('use 8', 1, 8);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('no location', 99, NULL);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('two uses', 1, NULL);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('two uses', 2, NULL);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('one valid use', 1, 8);\n"
    "INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvSta) VALUES ('one valid use', 2, NULL);\n";

TEST(LocationText, ShortTextOfTheBadgesLocation) {
  SqliteDatabase db(kRows);
  ASSERT_TRUE(db.ok()) << db.error();
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);

  // The record comes in holding "QQ" where StoKtx goes: a found location
  // replaces it whole, any other result leaves it as it was.
  const struct {
    const char* badge;
    int32_t code;
    const char* stoKtx;
  } cases[] = {
      {"ten", 0, "HAL"},            // ten characters, the first three
      {"two", 0, "AB"},             // two characters, whole
      {"three", 0, "XYZ"},
      {"null text", 0, ""},         // a NULL short text gives an empty field
      {"one valid use", 0, "AB"},   // the use row with status 8 does not count
      {"location 4", 1403, "QQ"},
      {"location 8", 1403, "QQ"},
      {"use 4", 1403, "QQ"},
      {"use 8", 1403, "QQ"},
      {"no location", 1403, "QQ"},
      {"no use row", 1403, "QQ"},
      {"two uses", sqlcode::kTooManyRows, "QQ"},
  };
  for (const auto& c : cases) {
    BadgeRecord record;
    ClearBadgeRecord(record);
    SetField(record.AswNum, c.badge);
    SetField(record.StoKtx, "QQ");
    EXPECT_EQ(ReadLocationText(session, record), c.code) << c.badge;
    EXPECT_EQ(FieldText(record.StoKtx), c.stoKtx) << c.badge;
    EXPECT_EQ(record.StoKtx[3], '\0') << c.badge;
  }
}

TEST(LocationText, NullTextAfterAFoundTextLeavesNothingBehind) {
  SqliteDatabase db(kRows);
  ASSERT_TRUE(db.ok()) << db.error();
  SqlSession session;
  ASSERT_EQ(db.Connect(session), 0);
  BadgeRecord record;
  ClearBadgeRecord(record);
  SetField(record.AswNum, "ten");
  ASSERT_EQ(ReadLocationText(session, record), 0);
  ASSERT_EQ(FieldText(record.StoKtx), "HAL");
  SetField(record.AswNum, "null text");
  EXPECT_EQ(ReadLocationText(session, record), 0);
  EXPECT_EQ(FieldText(record.StoKtx), "");
}

}  // namespace
}  // namespace zx::test
