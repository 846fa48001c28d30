// The DNL layouts of zeprink-show on their own: recognition (accepted and
// refused files), the Windows-1252 display, the badge diff, and arbitrary
// bytes through every function.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tools/dnl_layout.h"
#include "tools/dnl_show.h"

namespace zx::dnl {
namespace {

// A record of `length` bytes: `text` and blanks.
std::string Padded(std::string text, std::size_t length) {
  text.resize(length, ' ');
  return text;
}

// One MGDNL60P record of badge `number`, time right only.
std::string Mg60(const std::string& number) {
  return Padded(Padded(number, 13) + "2020010110 160,00", 45);
}

std::string Mg31(const std::string& number, const std::string& accessClass) {
  return Padded(number, 13) + "2020010120401231" + "11XXXX,XX-001" + Padded(accessClass, 3) +
         "Ver";
}

std::string IdLine(const std::string& number, const std::string& accessClass) {
  return "\"" + number + "\",\"20200101\",\"20401231\",\"00001\",\"1\",\"1\",\"1\",\"MS01\",\"001\",\"" +
         accessClass + "\",\"\",\"" + number + "\",\"1\",\"4711\"\r\n";
}

std::string Repeat(const std::string& record, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += record;
  return out;
}

TEST(DnlRecognition, TellsTheLayoutOrRefusesWithTheReason) {
  const struct {
    const char* what;
    std::string bytes;
    const char* layout;        // null: refused
    const char* reasonPart;    // part of the reason
  } cases[] = {
      {"IDSTAMM lines", IdLine("10001", "20 ") + IdLine("10002", "10 "), "IDSTAMM", "CR LF"},
      {"MGDNL31P", Mg31("10001", "10") + Mg31("10002", "30"), "MGDNL31P", "2 records of 48"},
      {"MGDNL60P", Mg60("10001") + Mg60("10002"), "MGDNL60P", "2 records of 45"},
      {"empty", "", nullptr, "empty"},
      {"no record length fits", std::string(86, 'x'), nullptr, "no multiple"},
      {"IDSTAMM with a short line", IdLine("10001", "20 ") + "\"10002\",\"x\"\r\n", nullptr,
       "line 2"},
      {"IDSTAMM without its last CR LF",
       IdLine("10001", "20 ") + "\"10002\",\"20200101\",\"\",\"\",\"1\",\"0\",\"1\",\"MS01\",\"001\","
                                "\"10 \",\"\",\"10002\",\"1\",\"1\"",
       nullptr, "no multiple"},
      {"MGDNL31P without its constants",
       Padded("10001", 13) + "2020010120401231" + "11YYYY,YY-001" + "10 Ver", nullptr,
       "MGDNL31P: record 1"},
      {"letters where MGDNL60P has its date", Padded(Padded("10001", 13) + "2020O101", 45),
       nullptr, "MGDNL60P: record 1"},
      {"a reader number out of its place", Padded(Padded("10001", 13) + "2020010111 160,00 02", 45),
       nullptr, "does not hold its fields"},
      {"a control byte in a record", Padded(Padded("10001", 13) + "2020010110\t160,00", 45),
       nullptr, "MGDNL60P"},
      // 173 MGDNL60P records without a blank are 45 MGDNL18P records of
      // free text as well; with the blanks of a usual record they are not.
      {"as long as 45 MGDNL18P records",
       Repeat("1234567890123" "20200101" "11" "160,00-" "01AB1" "02AB2" "03AB3", 173), nullptr,
       "more than one layout: MGDNL18P MGDNL60P"},
      {"173 usual MGDNL60P records", Repeat(Mg60("10001"), 173), "MGDNL60P", "173 records"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Recognition r = Recognise(c.bytes);
    if (c.layout == nullptr) {
      EXPECT_EQ(r.layout, nullptr) << r.layout->name;
    } else {
      ASSERT_NE(r.layout, nullptr) << r.reason;
      EXPECT_EQ(r.layout->name, c.layout);
    }
    EXPECT_NE(r.reason.find(c.reasonPart), std::string::npos) << r.reason;
  }
}

TEST(DnlDecode, NamesWhatDoesNotSplitIntoRecords) {
  const Decoded fixed = Decode(*FindLayout("mgdnl60p"), Mg60("10001") + "10002");
  ASSERT_EQ(fixed.records.size(), 1u);
  ASSERT_EQ(fixed.problems.size(), 1u);
  EXPECT_EQ(fixed.problems[0], "5 bytes after record 1 make no whole record of 45 bytes");

  // A field holding "," splits into more than fourteen: the line is named,
  // the others decode.
  const Decoded lines =
      Decode(*FindLayout("IDSTAMM"), IdLine("10001", "2\",\"0") + IdLine("10002", "10 "));
  ASSERT_EQ(lines.records.size(), 1u);
  EXPECT_EQ(lines.records[0].number, 2u);
  EXPECT_EQ(BadgeNumber(lines.records[0]), "10002");
  ASSERT_EQ(lines.problems.size(), 1u);
  EXPECT_EQ(lines.problems[0], "line 1: not fourteen quoted, comma-separated fields");
}

// The characters of the bytes 0x80..0x9F; 0xA0..0xFF are U+00A0..U+00FF.
constexpr char32_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::u32string DecodeUtf8ForTest(const std::string& utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t code = n == 1 ? lead : lead & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    out += code;
    i += n;
  }
  return out;
}

TEST(DnlText, EveryHighByteShowsAsItsCharacterAndComesBack) {
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    SCOPED_TRACE(byte);
    const std::string one(1, static_cast<char>(byte));
    const std::string utf8 = Win1252ToUtf8(one);
    const char32_t expected = byte < 0xA0 ? kHigh[byte - 0x80] : static_cast<char32_t>(byte);
    EXPECT_EQ(DecodeUtf8ForTest(utf8), std::u32string(1, expected));
    std::string back;
    ASSERT_TRUE(Utf8ToWin1252(utf8, back));
    EXPECT_EQ(back, one);
  }
  EXPECT_EQ(Win1252ToUtf8("M\xE4rz \x80"), "M\xC3\xA4rz \xE2\x82\xAC");
  std::string bytes;
  EXPECT_FALSE(Utf8ToWin1252("\xE4\xB8\xAD", bytes));  // a character beyond Windows-1252
  EXPECT_FALSE(Utf8ToWin1252("\xC3", bytes));          // cut sequence
  EXPECT_FALSE(Utf8ToWin1252("\xC0\xB1", bytes));      // overlong form
}

TEST(DnlShow, FormatsKeepEveryByteOfTheFields) {
  const LayoutInfo& layout = *FindLayout("MGDNL31P");
  // A badge number with a comma, a quote, 0xE4 and a control byte.
  const std::string record = Padded("1,\"\xE4\x01", 13) + "2020010120401231" + "11XXXX,XX-001" +
                             "10 Ver";
  const Decoded decoded = Decode(layout, record);
  ASSERT_EQ(decoded.records.size(), 1u);
  const std::vector<Record>& records = decoded.records;
  EXPECT_EQ(FormatRecords(layout, records, Format::kCsv),
            "record,badge number,validity start,validity end,time right,access right,"
            "\"fixed XXXX,XX-\",fixed 001,access class,location\n"
            "1,\"1,\"\"\xC3\xA4\\x01        \",20200101,20401231,1,1,\"XXXX,XX-\",001,10 ,Ver\n");
  const std::string json = FormatRecords(layout, records, Format::kJson);
  EXPECT_NE(json.find("\"badge number\": \"1,\\\"\xC3\xA4\\u0001        \""), std::string::npos)
      << json;
  EXPECT_TRUE(json.starts_with("{\"layout\": \"MGDNL31P\", \"records\": [\n  {\"record\": 1,"));
  const std::string table = FormatRecords(layout, records, Format::kTable);
  // Columns are aligned by characters: the two-byte 'ä' takes one column.
  EXPECT_NE(table.find("record | badge number     | validity start |"), std::string::npos)
      << table;
  EXPECT_NE(table.find("\n1      | 1,\"\xC3\xA4\\x01         | 20200101       |"),
            std::string::npos)
      << table;
}

TEST(DnlDiff, BadgesAddedRemovedAndChanged) {
  const LayoutInfo& layout = *FindLayout("IDSTAMM");
  const Decoded before =
      Decode(layout, IdLine("10001", "20 ") + IdLine("10001", "10 ") + IdLine("10002", "10 ") +
                         IdLine("10003", "10 ") + IdLine("10004", "10 "));
  const Decoded after = Decode(layout, IdLine("10001", "20 ") + IdLine("10002", "30 ") +
                                           IdLine("10004", "10 ") + IdLine("10005", "10 "));
  const BadgeDiff diff = DiffBadges(layout, before.records, after.records);
  EXPECT_EQ(diff.added, std::vector<std::string>{"10005"});
  EXPECT_EQ(diff.removed, std::vector<std::string>{"10003"});
  EXPECT_EQ(diff.changed, (std::vector<std::string>{"10001", "10002"}));
  EXPECT_EQ(diff.unchanged, 1u);
  EXPECT_EQ(diff.text,
            "~ 10001: 2 records -> 1 record\n"
            "~ 10002: record 1 of the badge: access class \"10 \" -> \"30 \"\n"
            "- 10003: 1 record\n"
            "+ 10005: 1 record\n"
            "added 1, removed 1, changed 2, unchanged 1\n");
}

// Arbitrary bytes, and real records with bytes changed, cut or added,
// through recognition, decoding, every format and the diff: nothing may
// read beyond its input (the sanitizer build checks), and a fixed layout
// always gives size / length records.
TEST(DnlArbitraryBytes, NeverCrashAndKeepTheirCounts) {
  std::mt19937 random(20240611);
  const std::string seeds[] = {Repeat(Mg60("10001"), 3), Mg31("10001", "10") + Mg31("2", "3"),
                               IdLine("10001", "20 ") + IdLine("10002", "10 "), ""};
  std::vector<Record> previous;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = seeds[static_cast<std::size_t>(round) % std::size(seeds)];
    const int edits = static_cast<int>(random() % 6);
    for (int e = 0; e < edits; ++e) {
      const auto byte = static_cast<char>(random() % 256);
      const std::size_t at = bytes.empty() ? 0 : random() % bytes.size();
      switch (random() % 3) {
        case 0:
          if (!bytes.empty()) bytes[at] = byte;
          break;
        case 1:
          bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), byte);
          break;
        default:
          bytes.erase(at, random() % 50);
          break;
      }
    }
    const Recognition recognition = Recognise(bytes);
    // A recognised file decodes whole in its layout; a refusal says why.
    EXPECT_FALSE(recognition.reason.empty());
    if (recognition.layout != nullptr) {
      EXPECT_TRUE(Decode(*recognition.layout, bytes).problems.empty());
    }
    for (const LayoutInfo& layout : AllLayouts()) {
      const Decoded decoded = Decode(layout, bytes);
      if (layout.recordLength != 0) {
        ASSERT_EQ(decoded.records.size(), bytes.size() / layout.recordLength);
        ASSERT_EQ(decoded.problems.empty(), bytes.size() % layout.recordLength == 0);
      }
      for (const Format format : {Format::kTable, Format::kCsv, Format::kJson}) {
        FormatRecords(layout, decoded.records, format);
      }
      DiffBadges(layout, previous, decoded.records);
      previous = decoded.records;
    }
    std::string back;
    Utf8ToWin1252(bytes, back);
  }
}

}  // namespace
}  // namespace zx::dnl
