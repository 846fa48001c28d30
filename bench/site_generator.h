// A site of a given size for the whole-run benchmark (zeprink-site-bench):
// twenty terminals of three models, some with badge assignments and some
// without, readers, rights, locations, message sets with their display
// texts, and N badges with their use rows, two to four access classes each
// and (for most) a balance row. A few badges are blocked, deleted, expired
// or not yet valid, and some carry an expired earlier validity row; the badge
// cursor leaves those rows out.
//
// The rows come from a seed and the badge count alone, table by table, to a
// sink (an SQLite file, a PostgreSQL COPY), so every database built with the
// same seed and count holds the very same rows.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "bench/site_dates.h"

namespace zx::sitebench {

// One column value: NULL or a text (numbers as their decimal text).
struct Field {
  bool null = true;
  std::string text;
  Field() = default;
  Field(std::nullptr_t) {}
  Field(const char* value) : null(false), text(value) {}
  Field(std::string value) : null(false), text(std::move(value)) {}
  Field(int value) : null(false), text(std::to_string(value)) {}
};

using Row = std::vector<Field>;

// Receives the rows of one table after the other. A sink returns false to
// stop the generation (it keeps its own error).
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual bool BeginTable(const std::string& table, const std::vector<std::string>& columns) = 0;
  virtual bool Put(const Row& row) = 0;
  virtual bool EndTable() = 0;
};

inline constexpr int kTerminals = 20;
inline constexpr std::array<const char*, 12> kClasses = {"10", "20", "30", "40", "50", "60",
                                                         "A1", "A2", "B1", "B2", "C1", "C2"};
inline constexpr std::array<const char*, 3> kMessageSets = {"MS01", "MS02", "MSB1"};

// What the baselines need to know of a terminal: the program learns the same
// from the database at run time.
struct TerminalInfo {
  std::string name;
  std::string model;
  std::string messageSet;
  bool assigned = false;  // has rows in Zdx115Tfz: the cursor's filtered form
};

inline std::string TerminalName(int k) {
  char name[16];
  std::snprintf(name, sizeof name, "TRM%02d", k);
  return name;
}

// Terminal k (1..20). The odd ones have no assignment rows and get every
// valid badge; the even ones serve two licences of eight (about a quarter).
inline TerminalInfo Terminal(int k) {
  TerminalInfo t;
  t.name = TerminalName(k);
  t.model = k % 4 == 3 ? "7598-002" : k % 4 == 0 ? "7600-000" : "7744-010";
  t.messageSet = k % 2 == 1 ? "MS01" : "MS02";
  t.assigned = k % 2 == 0;
  return t;
}

namespace detail {

// splitmix64 of the seed and a badge index: the badge's own random bits.
inline uint64_t Mix(uint64_t seed, uint64_t i) {
  uint64_t z = seed + 0x9E3779B97F4A7C15ull * (i + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

inline std::string Digits(const char* format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Everything about badge i that more than one table needs.
struct Badge {
  std::string number;
  uint64_t bits;
  int classCount;    // 2..4
  int firstClass;    // index into kClasses; class j is (firstClass + 5 j) % 12
  bool expired;      // validity ended last week
  bool notYetValid;  // validity starts next week
  bool deleted;      // AswSta 4
  bool blocked;      // AwvCod 8
  bool balance;      // has an O2002TSW row
  bool earlierRow;   // also an expired validity row of the same number

  const char* Class(int j) const { return kClasses[static_cast<std::size_t>((firstClass + 5 * j) % 12)]; }
};

inline Badge MakeBadge(uint64_t seed, int i) {
  Badge b;
  b.number = Digits("%08d", 10000000 + i);
  b.bits = Mix(seed, static_cast<uint64_t>(i));
  b.classCount = 2 + static_cast<int>(b.bits % 3);
  b.firstClass = static_cast<int>((b.bits >> 8) % 12);
  b.expired = (b.bits >> 16) % 61 == 0;
  b.notYetValid = (b.bits >> 16) % 67 == 1;
  b.deleted = (b.bits >> 24) % 71 == 3;
  b.blocked = (b.bits >> 32) % 59 == 4;
  b.balance = (b.bits >> 40) % 10 != 9;
  b.earlierRow = i % 20 == 0;
  return b;
}

}  // namespace detail

// The rows of the site: the schema's tables in order, `badges` badges.
inline bool GenerateSite(int badges, uint64_t seed, RowSink& sink) {
  using detail::Badge;
  using detail::Digits;
  using detail::MakeBadge;
  // Badge rows go in out of number order, as a site's rows do after years
  // of changes; the cursor sorts them.
  auto badgeAt = [&](int k) {
    const int64_t stride = badges % 7919 == 0 ? 1 : 7919;
    return MakeBadge(seed, static_cast<int>((static_cast<int64_t>(k) * stride) % badges));
  };
  auto index = [](const Badge& b) { return std::stoi(b.number) - 10000000; };
  auto table = [&](const char* name, std::initializer_list<const char*> columns, auto rows) {
    if (!sink.BeginTable(name, std::vector<std::string>(columns.begin(), columns.end()))) return false;
    if (!rows()) return false;
    return sink.EndTable();
  };

  const std::string longAgo = zx::bench::DateFromToday(-400);
  const std::string longerAgo = zx::bench::DateFromToday(-1200);
  const std::string beforeLongAgo = zx::bench::DateFromToday(-401);
  const std::string lastWeek = zx::bench::DateFromToday(-7);
  const std::string nextWeek = zx::bench::DateFromToday(7);
  const std::string later = zx::bench::DateFromToday(400);

  bool ok = table("Zdx1140Trm", {"TrmNam", "TrmMod", "TrmSal", "TrmSpr", "TrmMnd", "TrmLiz", "TrmSta"}, [&] {
    for (int k = 1; k <= kTerminals; ++k) {
      const TerminalInfo t = Terminal(k);
      if (!sink.Put({t.name, t.model, t.messageSet, 1, 1, 10, k % 5 == 0 ? Field(0) : Field()})) return false;
    }
    // A deleted terminal: a name the lookup does not find.
    return sink.Put({"TRM99", "7744-010", "MS01", 1, 1, 10, 4});
  });
  ok = ok && table("Zdx115Tfz", {"TfzTrm", "TfzLiz", "TfzMnd", "TfzSta"}, [&] {
    for (int k = 2; k <= kTerminals; k += 2) {
      if (!sink.Put({TerminalName(k), 10 + k % 8, 1, Field()}) ||
          !sink.Put({TerminalName(k), 10 + (k + 3) % 8, 1, 0})) {
        return false;
      }
    }
    return true;
  });
  ok = ok && table("Zdx401Zls", {"ZlsTrm", "ZlsLes", "ZlsZko", "ZlsSta"}, [&] {
    // Terminal k has readers 1 to 3 + k % 9; on every third terminal
    // reader 2 is deleted.
    for (int k = 1; k <= kTerminals; ++k) {
      for (int r = 1; r <= 3 + k % 9; ++r) {
        const Field status = r == 2 && k % 3 == 0 ? Field(4) : Field();
        if (!sink.Put({TerminalName(k), r, Digits("L%02d", r), status})) return false;
      }
    }
    return true;
  });
  ok = ok && table("MGSST35P", {"M35Trm", "M35Bkl", "M35Bch"}, [&] {
    // Access right ('0') for the four classes k, k+3, k+6, k+9; time right
    // ('1') for k+1, k+5, k+9. A badge's classes j = 0..3 step by 5, so most
    // badges have an access right, some a time right only and some neither.
    for (int k = 1; k <= kTerminals; ++k) {
      for (int j = 0; j < 4; ++j) {
        if (!sink.Put({TerminalName(k), kClasses[static_cast<std::size_t>((k + 3 * j) % 12)], "0"})) return false;
      }
      for (int j = 0; j < 3; ++j) {
        if (!sink.Put({TerminalName(k), kClasses[static_cast<std::size_t>((k + 1 + 4 * j) % 12)], "1"})) return false;
      }
    }
    return true;
  });
  ok = ok && table("Zdx113Sto", {"StoNum", "StoKtx", "StoSta"}, [&] {
    const char* names[] = {"Verwaltung", "Produktion", "Lager", "EG", "Versand", "Altbau"};
    for (int s = 1; s <= 6; ++s) {
      // Location 6 is deleted: its badges have no location text.
      if (!sink.Put({s, names[s - 1], s == 6 ? Field(4) : s == 2 ? Field(0) : Field()})) return false;
    }
    return true;
  });
  ok = ok && table("Zdx119Msd", {"MsdSal", "MsdLfd", "MsdSpl", "MsdTxt", "MsdAnz", "MsdWrt", "MsdMnd",
                                 "MsdLiz", "MsdErf", "MsdSta"}, [&] {
    // Eight display texts per message set; the label is text 100 s + lfd
    // (or MsdTxt on every third), the value code one of kValueCodes.
    static constexpr int kValueCodes[3][8] = {{1, 2, 3, 9, 4, 21, 5, 22},
                                              {1, 9, 2, 3, 4, 5, 6, 7},
                                              {1, 22, 2, 21, 9, 10, 11, 12}};
    for (int s = 0; s < 3; ++s) {
      for (int lfd = 1; lfd <= 8; ++lfd) {
        const Field spl = lfd == 1 ? Field() : Field(lfd >= 5 && lfd % 2 == 0 ? 2 : 1);
        const Field txt = lfd % 3 == 0 ? Field(Digits("Text %d", 10 * s + lfd)) : Field();
        if (!sink.Put({kMessageSets[static_cast<std::size_t>(s)], lfd, spl, txt, 100 * (s + 1) + lfd,
                       kValueCodes[s][lfd - 1], 1, 10, s == 1 ? Field("KALDOVA") : Field(), Field()})) {
          return false;
        }
      }
    }
    return true;
  });
  ok = ok && table("Zdx102Whl", {"FtxNumSpr", "FtxWhl", "FtxSpr", "FtxT50", "FtxT10"}, [&] {
    for (int s = 1; s <= 3; ++s) {
      for (int lfd = 1; lfd <= 8; ++lfd) {
        if (!sink.Put({220001, 100 * s + lfd, 1, Digits("Anzeige %d", 100 * s + lfd), Field()})) return false;
      }
    }
    for (int code = 1; code <= 30; ++code) {
      if (!sink.Put({220002, code, 1, Field(), Digits("#W%d", code)})) return false;
    }
    return true;
  });
  ok = ok && table("Zdx301Asw", {"AswNum", "AswGvo", "AswGbi", "AswPnr", "AswBkl", "AswBk2", "AswGrp",
                                 "AswAan", "AswAtp", "AswSal", "AswSpr", "AswPin", "AswLiz", "AswMnd",
                                 "AswSta"}, [&] {
    for (int k = 0; k < badges; ++k) {
      const Badge b = badgeAt(k);
      const int i = index(b);
      // Every form of validity: open end, open start, both ends.
      Field gvo = i % 4 == 1 ? Field() : Field(longAgo);
      Field gbi = i % 4 == 0 ? Field() : Field(later);
      if (b.expired) gbi = Field(lastWeek);
      if (b.notYetValid) gvo = Field(nextWeek);
      const Field pnr = (b.bits >> 48) % 53 == 2 ? Field() : Field(Digits("%07d", i));
      const Field status = b.deleted ? Field(4) : i % 3 == 0 ? Field(0) : Field();
      const Row row = {b.number, gvo, gbi, pnr, b.Class(0), Field(), "VW", "Mitarbeiter", 1 + i % 3,
                       i % 7 == 0 ? Field("MSB1") : Field(), i % 5 == 0 ? Field() : Field(1),
                       Digits("%04d", i % 10000), 10 + i % 8, 1, status};
      if (!sink.Put(row)) return false;
      if (b.earlierRow && !sink.Put({b.number, longerAgo, beforeLongAgo, pnr, b.Class(0), Field(), "VW",
                                     "Mitarbeiter", 1, Field(), 1, Digits("%04d", i % 10000), 10 + i % 8, 1,
                                     Field()})) {
        return false;
      }
    }
    return true;
  });
  ok = ok && table("Zdx113Awv", {"AwvNum", "AwvSto", "AwvCod", "AwvSta"}, [&] {
    for (int k = 0; k < badges; ++k) {
      const Badge b = badgeAt(k);
      const int i = index(b);
      const Field location = (b.bits >> 52) % 13 == 5 ? Field() : Field(1 + i % 6);
      const Field code = b.blocked ? Field(8) : i % 2 == 0 ? Field(0) : Field();
      if (!sink.Put({b.number, location, code, Field()})) return false;
    }
    return true;
  });
  ok = ok && table("Zdx301Awb", {"AwbAsw", "AwbBkl"}, [&] {
    for (int k = 0; k < badges; ++k) {
      const Badge b = badgeAt(k);
      for (int j = 0; j < b.classCount; ++j) {
        if (!sink.Put({b.number, b.Class(j)})) return false;
      }
    }
    return true;
  });
  ok = ok && table("O2002TSW", {"TswIdn", "TswW01", "TswW02", "TswW03", "TswW04", "TswW05", "TswW06", "TswW07",
                                "TswW08", "TswW09", "TswW10", "TswW11", "TswW12", "TswW13", "TswW14", "TswW15",
                                "TswW16", "TswF01", "TswF02", "TswF03", "TswF04", "TswF05", "TswF06", "TswF07",
                                "TswF08", "TswF09", "TswF10"}, [&] {
    for (int k = 0; k < badges; ++k) {
      const Badge b = badgeAt(k);
      if (!b.balance) continue;
      const int i = index(b);
      Row row = {b.number};
      for (int w = 1; w <= 16; ++w) {
        char value[16];
        const int amount = static_cast<int>((b.bits >> (w % 8)) % 20000);
        std::snprintf(value, sizeof value, "%c%5d,%02d", (w + i) % 3 == 0 ? '-' : '+', amount / 100, amount % 100);
        row.emplace_back(std::string(value));
      }
      row.emplace_back(Digits("Resturlaub %d Tage", i % 30));
      row.emplace_back("Gleitzeit im Plus");
      for (int f = 3; f <= 10; ++f) row.emplace_back(f % 2 == 0 ? Field(Digits("Konto %d", f)) : Field());
      if (!sink.Put(row)) return false;
    }
    return true;
  });
  return ok;
}

}  // namespace zx::sitebench
