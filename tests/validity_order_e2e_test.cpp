// All five DNL functions seen from outside, on what they share: which badge
// rows the badge cursor delivers on the first and the last day of validity
// (both forms of the cursor), the order of the rows and of the access
// classes (NULLs, Windows-1252 bytes above 0x7F), and a DNL file whose write
// fails half-way.
#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/e2e.h"

namespace zx::test {
namespace {

// Where a layout shows the badge number, the first and the last day of
// validity and the access class: a position (from 1) in a fixed-length
// record, or a field number in an IDSTAMM line; 0 where it does not show.
struct Layout {
  const char* function;
  std::size_t recordLength;  // 0: IDSTAMM's lines of quoted fields
  std::size_t numberAt;
  std::size_t gvoAt;
  std::size_t gbiAt;
  std::size_t classAt;
};

const Layout kLayouts[] = {
    {"MGDNL17P", 85, 1, 14, 0, 33},  // the class of reader 1
    {"MGDNL18P", 173, 1, 0, 0, 0},
    {"MGDNL31P", 48, 1, 14, 22, 43},
    {"MGDNL60P", 45, 1, 14, 0, 33},  // the class of reader 1
    {"IDSTAMM", 0, 1, 2, 3, 10},
};

// One record as "number|first day|last day|class", with what the layout does
// not show left empty; a day is yyyymmdd, empty for none.
std::string Shown(const Layout& layout, const std::string& number, const std::string& gvo,
                  const std::string& gbi, const std::string& accessClass) {
  return number + "|" + (layout.gvoAt ? gvo : "") + "|" + (layout.gbiAt ? gbi : "") + "|" +
         (layout.classAt ? accessClass : "");
}

std::vector<std::string> LineFields(const std::string& line) {
  std::vector<std::string> fields;
  for (std::size_t at = 0; at < line.size();) {
    const std::size_t close = line.find('"', at + 1);
    fields.push_back(line.substr(at + 1, close - at - 1));
    at = close + 2;  // past the quote and the comma
  }
  return fields;
}

// The records of a DNL file as Shown gives them.
std::vector<std::string> Records(const Layout& layout, const std::string& bytes) {
  std::vector<std::string> records;
  if (layout.recordLength == 0) {
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t end = bytes.find("\r\n", at);
      const std::vector<std::string> f = LineFields(bytes.substr(at, end - at));
      const auto field = [&f](std::size_t n) { return n && n <= f.size() ? f[n - 1] : "?"; };
      records.push_back(Shown(layout, field(layout.numberAt), field(layout.gvoAt),
                              field(layout.gbiAt), field(layout.classAt)));
      at = end == std::string::npos ? bytes.size() : end + 2;
    }
    return records;
  }
  EXPECT_EQ(bytes.size() % layout.recordLength, 0u) << layout.function << ": whole records only";
  for (std::size_t at = 0; at + layout.recordLength <= bytes.size(); at += layout.recordLength) {
    const std::string r = bytes.substr(at, layout.recordLength);
    const auto day = [&r](std::size_t pos) {
      const std::string d = pos ? r.substr(pos - 1, 8) : "";
      return d == "00000000" ? "" : d;
    };
    std::string number = r.substr(layout.numberAt - 1, 13);
    number.erase(number.find_last_not_of(' ') + 1);
    records.push_back(Shown(layout, number, day(layout.gvoAt), day(layout.gbiAt),
                            layout.classAt ? r.substr(layout.classAt - 1, 3) : ""));
  }
  return records;
}

std::string Date(int days, const char* time = "00:00:00") { return "'" + DaysFromToday(days, time) + "'"; }

// Terminal T1 with reader 1, access right for class K and the classes of
// `moreClasses`, time right for class Z. With `assigned`, T1 has an
// assignment row for licence 1, client 1: the badge cursor's filtered form.
std::string Terminal(bool assigned, std::initializer_list<const char*> moreClasses = {}) {
  std::string sql =
      "INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal) VALUES ('T1', 'M', 'TS');\n"
      "INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes) VALUES ('T1', 1);\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'K', '0');\n"
      "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', 'Z', '1');\n";
  for (const char* c : moreClasses) {
    sql += "INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('T1', '" + std::string(c) + "', '0');\n";
  }
  if (assigned) sql += "INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd) VALUES ('T1', 1, 1);\n";
  return sql;
}

// One badge row (licence 1, client 1 unless `liz` says otherwise); values
// are SQL literals.
std::string Row(const std::string& number, const std::string& gvo, const std::string& gbi,
                const std::string& bkl = "NULL", const char* liz = "1") {
  return "INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswLiz, AswMnd) VALUES ('" +
         number + "', " + gvo + ", " + gbi + ", 'P1', " + bkl + ", " + liz + ", 1);\n";
}

// The badge-use row of a number and its classes.
std::string Use(const std::string& number, std::initializer_list<std::string> classes) {
  std::string sql = "INSERT INTO Zdx113Awv (AwvNum) VALUES ('" + number + "');\n";
  for (const std::string& c : classes) {
    sql += "INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('" + number + "', '" + c + "');\n";
  }
  return sql;
}

// A badge with the access class K and the time right Z, so that every
// function writes one record for it.
std::string Badge(const std::string& number, const std::string& gvo, const std::string& gbi,
                  const char* liz = "1") {
  return Row(number, gvo, gbi, "NULL", liz) + Use(number, {"K", "Z"});
}

E2eResult RunLayout(const Layout& layout, const std::string& rows) {
  return RunZeprink({.rowsSql = rows,
                     .args = {layout.function, "T1", "@DNL", "1"},
                     .oldDnl = std::nullopt,
                     .config = std::nullopt});
}

TEST(ValidityEndToEnd, FirstAndLastDayInBothCursorForms) {
  // A row is valid today when today lies between the day of AswGvo and
  // AswGbi, either of them missing: AswGvo at 00:00:00 at the latest, AswGbi
  // at 00:00:00 or later.
  const std::string badges =
      Badge("B0", Date(0), Date(0)) +                                        // one day, today
      Badge("B1", Date(0, "00:00:01"), Date(0, "23:59:59")) +                // starts a second late
      Badge("E0", "NULL", Date(0)) +                                         // last day today
      Badge("E1", "NULL", Date(0, "23:59:59")) +
      Badge("EY", "NULL", Date(-1, "23:59:59")) +                            // ended yesterday
      Badge("F0", Date(-10), Date(0)) +
      Badge("F1", Date(-10, "12:00:00"), Date(0, "23:59:59")) +
      Badge("FY", Date(-10), Date(-1)) +
      Badge("S0", Date(0), "NULL") +                                         // first day today
      Badge("S1", Date(0, "00:00:01"), "NULL") +
      Badge("SN", Date(1), "NULL") +                                         // starts tomorrow
      Badge("SP", Date(1), Date(5)) +
      Badge("X", Date(-10), "NULL", "2");  // another licence: not assigned to T1
  const std::string today = Yyyymmdd(0);
  for (const bool assigned : {true, false}) {
    for (const Layout& layout : kLayouts) {
      std::vector<std::string> expected = {
          Shown(layout, "B0", today, today, "K  "), Shown(layout, "E0", "", today, "K  "),
          Shown(layout, "E1", "", today, "K  "),    Shown(layout, "F0", Yyyymmdd(-10), today, "K  "),
          Shown(layout, "F1", Yyyymmdd(-10), today, "K  "), Shown(layout, "S0", today, "", "K  ")};
      if (!assigned) expected.push_back(Shown(layout, "X", Yyyymmdd(-10), "", "K  "));
      const std::string what =
          std::string(layout.function) + (assigned ? ", assigned badges" : ", all badges");
      const E2eResult r = RunLayout(layout, Terminal(assigned) + badges);
      EXPECT_EQ(r.exitStatus, 0) << what << "\n" << r.out;
      ASSERT_TRUE(r.dnl.has_value()) << what;
      EXPECT_EQ(Records(layout, *r.dnl), expected) << what;
    }
  }
}

// Windows-1252 bytes: the euro sign (0x80), Y with diaeresis (0x9F), the
// no-break space (0xA0), a with diaeresis (0xE4).
const std::string kEuro = "\x80";
const std::string kYUml = "\x9F";
const std::string kNbsp = "\xA0";
const std::string kAUml = "\xE4";

TEST(OrderEndToEnd, BadgeRowsAndAccessClassesSortByteWiseNullsLast) {
  const std::string d10 = Yyyymmdd(-10);
  const std::string d3 = Yyyymmdd(-3);
  const std::string d5 = Yyyymmdd(5);
  // Inserted out of order. Badge numbers sort by their bytes: capitals
  // before small letters, 0x80..0x9F after ASCII and before 0xA0..0xFF.
  // N has two rows: AswGvo set before AswGvo NULL. M has five rows with the
  // time right only, differing in AswBkl alone (NULL last), which IDSTAMM
  // writes. C has seven access classes, read descending.
  const std::string badges =
      Badge(kAUml, Date(-10), "NULL") + Badge("z", Date(-10), "NULL") +
      Badge(kNbsp, Date(-10), "NULL") + Badge("a", Date(-10), "NULL") +
      Badge(kEuro, Date(-10), "NULL") + Badge("B", Date(-10), "NULL") +
      Badge(kYUml, Date(-10), "NULL") +
      Row("N", "NULL", Date(5)) + Row("N", Date(-3), "NULL") + Use("N", {"K", "Z"}) +
      Row("M", Date(-10), "NULL", "'Q'") + Row("M", Date(-10), "NULL", "NULL") +
      Row("M", Date(-10), "NULL", "'" + kEuro + "'") + Row("M", Date(-10), "NULL", "'A'") +
      Row("M", Date(-10), "NULL", "'" + kAUml + "'") + Use("M", {"Z"}) +
      Row("C", Date(-10), "NULL") +
      Use("C", {"A", kAUml, "K", kEuro, "z", kNbsp, kYUml, "Z"});
  const auto terminal = [](bool assigned) {
    return Terminal(assigned, {"A", "z", "\x80", "\x9F", "\xA0", "\xE4"});
  };

  for (const Layout& layout : kLayouts) {
    const std::string f = layout.function;
    const auto one = [&layout, &d10](const std::string& number, const std::string& cls = "K  ") {
      return Shown(layout, number, d10, "", cls);
    };
    std::vector<std::string> expected = {one("B")};
    // C: one record per class, except where a record needs no class.
    if (f == "MGDNL18P") {
      expected.push_back(one("C"));
    } else {
      for (const std::string& c : {kAUml, kNbsp, kYUml, kEuro, std::string("z"), std::string("K"),
                                   std::string("A")}) {
        expected.push_back(one("C", c + "  "));
      }
    }
    // M: the time right only; IDSTAMM writes AswBkl in the class field.
    if (f == "IDSTAMM") {
      for (const std::string& bkl : {std::string("A"), std::string("Q"), kEuro, kAUml, std::string()}) {
        expected.push_back(one("M", bkl + std::string(3 - bkl.size(), ' ')));
      }
    } else if (f == "MGDNL60P") {
      expected.insert(expected.end(), 5, one("M", "   "));
    } else if (f != "MGDNL31P") {
      expected.push_back(one("M", "   "));
    }
    // N: MGDNL17P and MGDNL18P write the first row of a number only.
    expected.push_back(Shown(layout, "N", d3, "", "K  "));
    if (f != "MGDNL17P" && f != "MGDNL18P") expected.push_back(Shown(layout, "N", "", d5, "K  "));
    for (const std::string& number : {std::string("a"), std::string("z"), kEuro, kYUml, kNbsp, kAUml}) {
      expected.push_back(one(number));
    }

    for (const bool assigned : {true, false}) {
      const std::string what = f + (assigned ? ", assigned badges" : ", all badges");
      const E2eResult r = RunLayout(layout, terminal(assigned) + badges);
      EXPECT_EQ(r.exitStatus, 0) << what << "\n" << r.out;
      ASSERT_TRUE(r.dnl.has_value()) << what;
      EXPECT_EQ(Records(layout, *r.dnl), expected) << what;
    }
  }
}

TEST(WriteFailureEndToEnd, TheOldFileStaysWhenAWriteFails) {
  const std::string kOld = "old content\r\n";
  const std::string rows = Terminal(false) + Badge("100", Date(-10), "NULL") +
                           Badge("200", Date(-10), "NULL") + Badge("300", Date(-10), "NULL");
  const auto count = [](int read, int written) {
    return "Ausweise gesamt: " + std::to_string(read) + " davon in Datei gestellt: " +
           std::to_string(written) + "\n";
  };
  const std::string connected = "Mit Datenbank verbunden! Schema: ZARDONIX\n";
  const std::string writeFailed = "Downloadfile @DNL konnte nicht geschrieben werden!\n";
  const auto abort = [](const std::string& function) {
    return "Programmabbruch: Fehler bei Erstellung der Datei " + function + "!\n";
  };
  struct Case {
    const char* function;
    const char* mode;
    long long limit;  // bytes the program may write into a file
    std::string out;
  };
  // The limit takes the first record (45, 48 or 85 bytes, an IDSTAMM line of
  // 69; after the 13 old bytes in append mode) but not the second one; a
  // record of 173 bytes does not fit at all. The write that crosses the
  // limit stores part of its record and then fails.
  const Case cases[] = {
      {"MGDNL17P", "1", 100, connected + writeFailed + count(2, 1) + abort("MGDNL17P")},
      {"MGDNL17P", "0", 100, connected + writeFailed + count(2, 1) + abort("MGDNL17P")},
      {"MGDNL18P", "1", 100, connected + writeFailed + count(1, 0) + abort("MGDNL18P")},
      {"MGDNL31P", "1", 60, connected + writeFailed + count(2, 1) + abort("MGDNL31P")},
      {"MGDNL60P", "0", 100, connected + writeFailed + count(2, 1) + abort("MGDNL60P")},
      {"IDSTAMM", "1", 100, connected + writeFailed + count(2, 1) + abort("IDSTAMM")},
      {"IDSTAMM", "0", 100, connected + writeFailed + count(2, 1) + abort("IDSTAMM")},
      // The copy of the old content for appending fails already.
      {"IDSTAMM", "0", 5, connected + "Downloadfile @DNL konnte nicht geoeffnet werden!\n"},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.function) + " mode " + c.mode;
    const E2eResult r = RunZeprink({.rowsSql = rows,
                                    .args = {c.function, "T1", "@DNL", c.mode},
                                    .oldDnl = kOld,
                                    .config = std::nullopt,
                                    .fileSizeLimit = c.limit});
    EXPECT_EQ(r.exitStatus, 255) << what;
    EXPECT_EQ(r.out, c.out) << what;
    EXPECT_EQ(r.dnl, kOld) << what;
    EXPECT_TRUE(r.leftover.empty()) << what << ": " << testing::PrintToString(r.leftover);
  }
}

}  // namespace
}  // namespace zx::test
