// Time rights, access classes and reader slots of a badge on a terminal, on
// a real SQLite database.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "queries/access_rights.h"
#include "queries/badge_record.h"
#include "base/fixed_text.h"
#include "base/diagnostics.h"
#include "sql/session.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

// Terminal T1 grants time rights ('1') for Z and K and access rights ('0')
// for A (twice), ABCDE, B, b and K; T2 grants a time right for A.
const char kRights[] =
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'K', '1');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'A', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'ABCDE', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'B', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'b', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'K', '0');\n"
    "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T2', 'A', '1');\n"
    // Badge 100 holds every class, 200 only the time class Z, 300 none,
    // 400 only A, 500 only a class the terminals do not know.
    "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'A');\n"
    "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'ABCDE');\n"
    "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'B');\n"
    "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'b');\n"
    "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'K');\n"
    "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('100', 'Z');\n"
    "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('200', 'Z');\n"
    "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('400', 'A');\n"
    "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('500', 'Q');\n"
    // Readers of T1: 3 and 4 have status 4 and 8, one has no number, 12 has
    // no slot; T2's reader 6 is not T1's.
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('T1', 2, 'Z2', 0);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('T1', 1, NULL, NULL);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('T1', 3, 'Z3', 4);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('T1', 4, 'Z4', 8);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('T1', 5, 'Z5', NULL);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('T1', NULL, 'ZN', NULL);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('T1', 11, 'Z11', NULL);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('T1', 12, 'Z12', NULL);\n"
    "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('T2', 6, 'Z6', NULL);\n";

BadgeRecord Badge(const char* number) {
  BadgeRecord record;
  ClearBadgeRecord(record);
  SetField(record.AswNum, number);
  return record;
}

std::vector<std::string> Entries(const AccessRightList& list) {
  std::vector<std::string> entries;
  for (const AccessRightEntry& entry : list) entries.emplace_back(FieldText(entry));
  return entries;
}

// The eleven reader slots, each shown as its text, joined by '|'.
std::string Slots(const BadgeRecord& record) {
  std::string slots;
  for (const auto& slot : record.ReaderSlots) {
    if (!slots.empty()) slots += '|';
    slots += FieldText(slot);
  }
  return slots;
}

class AccessRightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::make_unique<SqliteDatabase>(kRights);
    ASSERT_TRUE(db_->ok()) << db_->error();
    ASSERT_EQ(db_->Connect(session_), 0);
  }
  int TimeRight(const BadgeRecord& record, const char* terminal, RightsCache* cache = nullptr) {
    return HasTimeRight(session_, diagnostics_, record, terminal, cache);
  }
  int Collect(BadgeRecord& record, const char* terminal, int32_t maxReader, int withReaders,
              RightsCache* cache = nullptr) {
    return CollectAccessRights(session_, diagnostics_, record, terminal, maxReader, withReaders,
                               list_, nullptr, cache);
  }
  std::unique_ptr<SqliteDatabase> db_;
  SqlSession session_;
  std::string out_;
  std::string reasons_;
  Diagnostics diagnostics_{&out_, &reasons_};
  AccessRightList list_;
};

TEST_F(AccessRightsTest, TimeRight) {
  const struct {
    const char* badge;
    const char* terminal;
    int expected;
  } cases[] = {
      {"100", "T1", 1}, {"200", "T1", 1}, {"300", "T1", 0}, {"400", "T1", 0},
      {"400", "T2", 1}, {"500", "T1", 0}, {"100", "T9", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TimeRight(Badge(c.badge), c.terminal), c.expected) << c.badge << " on " << c.terminal;
  }
}

TEST_F(AccessRightsTest, TimeRightLineWhileVerbose) {
  diagnostics_.SetVerbose(true);
  TimeRight(Badge("100"), "T1");
  TimeRight(Badge("300"), "T1");
  diagnostics_.SetVerbose(false);
  TimeRight(Badge("100"), "T1");
  EXPECT_EQ(out_,
            "Aws: 100 Zeitberechtigung: 1\nAws: 300 Zeitberechtigung: 0\n");
}

TEST_F(AccessRightsTest, AccessClassesReplacedPerBadge) {
  // One after the other, as a writer asks for consecutive badges: every call
  // replaces what the last one left.
  const struct {
    const char* badge;
    const char* terminal;
    int expected;
    std::vector<std::string> entries;
  } cases[] = {
      // Distinct, descending byte-wise, each padded to three characters.
      {"100", "T1", 1, {"b  ", "K  ", "B  ", "ABCDE", "A  "}},
      {"300", "T1", 0, {}},
      {"400", "T1", 1, {"A  "}},
      {"200", "T1", 0, {}},
      {"100", "T1", 1, {"b  ", "K  ", "B  ", "ABCDE", "A  "}},
      {"400", "T2", 0, {}},
      {"500", "T1", 0, {}},
  };
  for (const auto& c : cases) {
    BadgeRecord record = Badge(c.badge);
    EXPECT_EQ(Collect(record, c.terminal, 32, 0), c.expected) << c.badge << " on " << c.terminal;
    EXPECT_EQ(Entries(list_), c.entries) << c.badge << " on " << c.terminal;
  }
}

// The answers a run gives from the terminal's right rows and the badge's
// classes (read once each) equal those of the two statements, also for
// classes that differ only in case or in bytes above 0x7F, classes too long
// for an entry or for the statement's buffer, NULL classes, kinds other
// than '0' and '1', and right rows given twice.
TEST_F(AccessRightsTest, CachedAnswersEqualTheStatements) {
  const std::string longClass(300, 'L');
  const std::string extra =
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '\x80\xe4', '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '\xe4', '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'T', '10');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'U', '2');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', NULL, '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'LONG16CHARACTERS', '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '" + longClass + "', '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '" + longClass + "X', '0');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('600', '\x80\xe4');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('600', '\xe4');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('600', 'a');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('600', 'A');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('600', 'A');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('600', NULL);\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('700', 'T');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('700', 'U');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('700', 'LONG16CHARACTERS');\n"
      "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('700', '" + longClass + "X');\n";
  session_.Disconnect();  // its read lock keeps writers out
  ASSERT_EQ(db_->Execute(extra), "");
  ASSERT_EQ(db_->Connect(session_), 0);

  RightsCache cache;
  for (const char* terminal : {"T1", "T2", "T9"}) {
    for (const char* badge : {"100", "200", "300", "400", "500", "600", "700", "800", "100"}) {
      const std::string what = std::string(badge) + " on " + terminal;
      BadgeRecord record = Badge(badge);
      out_.clear();
      const int time = TimeRight(record, terminal);
      const int access = Collect(record, terminal, 32, 0);
      const std::vector<std::string> entries = Entries(list_);
      const std::string messages = out_;

      out_.clear();
      EXPECT_EQ(TimeRight(record, terminal, &cache), time) << what;
      EXPECT_EQ(Collect(record, terminal, 32, 0, &cache), access) << what;
      EXPECT_EQ(Entries(list_), entries) << what;
      EXPECT_EQ(out_, messages) << what;
    }
  }
}

TEST_F(AccessRightsTest, ReaderSlots) {
  const struct {
    int32_t maxReader;
    int withReaders;
    const char* terminal;
    const char* slots;
  } cases[] = {
      {3, 1, "T1", "01|02|xx|xx|xx|xx|xx|xx|xx|xx|xx"},
      {11, 1, "T1", "01|02|xx|xx|05|xx|xx|xx|xx|xx|11"},
      {32, 1, "T1", "01|02|xx|xx|05|xx|xx|xx|xx|xx|11"},
      {0, 1, "T1", "xx|xx|xx|xx|xx|xx|xx|xx|xx|xx|xx"},
      {32, 0, "T1", "xx|xx|xx|xx|xx|xx|xx|xx|xx|xx|xx"},
      {32, 1, "T2", "xx|xx|xx|xx|xx|06|xx|xx|xx|xx|xx"},
  };
  for (const auto& c : cases) {
    // Slots are written for a badge without any class, too.
    BadgeRecord record = Badge("300");
    for (auto& slot : record.ReaderSlots) SetField(slot, "xx");
    EXPECT_EQ(Collect(record, c.terminal, c.maxReader, c.withReaders), 0);
    EXPECT_EQ(Slots(record), c.slots) << c.terminal << " maxReader " << c.maxReader
                                      << " withReaders " << c.withReaders;
  }
}

TEST_F(AccessRightsTest, SqlErrorsAnswerNo) {
  BadgeRecord record = Badge("100");
  ASSERT_EQ(Collect(record, "T1", 32, 0), 1);
  session_.Disconnect();
  EXPECT_EQ(TimeRight(record, "T1"), 0);
  for (auto& slot : record.ReaderSlots) SetField(slot, "xx");
  EXPECT_EQ(Collect(record, "T1", 11, 1), 0);
  EXPECT_TRUE(Entries(list_).empty());
  EXPECT_EQ(Slots(record), "xx|xx|xx|xx|xx|xx|xx|xx|xx|xx|xx");
}

}  // namespace
}  // namespace zx::test
