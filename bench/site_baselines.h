// The baselines of the whole-run benchmark: per DNL function one SQL
// statement that reads, in one pass of the database's own executor, what that
// function's file needs per badge: the terminal-filtered badge cursor joined
// with the time right, the access classes, the readers, the location text,
// the balance row and the display texts. The database's standard client
// runs it (sqlite3, psql) and writes every row to a file.
//
// Every output row starts with a mark and the badge number: "R" for a row
// that stands for one record of the DNL file, "-" for a cursor row that gives
// none (no right on the terminal, no person number). So the output tells the
// badges read (distinct numbers), the badges written (distinct numbers of
// "R" rows) and the records (the "R" rows), to compare with the run's
// "Ausweise gesamt" line and its file.
//
// How each function's records are counted, the same on both sides:
//   MGDNL17P, MGDNL60P, IDSTAMM  one per access class of the badge on the
//                                terminal; one when it has a time right only
//   MGDNL31P                     one per access class; none without one
//   MGDNL18P                     one per badge with a time right and a
//                                person number
// The generated site gives each badge distinct classes and each terminal one
// rights row per class and kind, and no badge number has two rows valid
// today: so the joins need no DISTINCT, a cursor row is a badge (MGDNL17P and
// MGDNL18P count badge numbers, the others rows) and no class or number is
// too long for its record. The terminal's kind (assignment rows or not) and
// model are known from the generator, as the program learns them from its
// lookup at the start of a run.
#pragma once

#include <string>

#include "bench/site_generator.h"

namespace zx::sitebench {

enum class Dialect { Sqlite, Postgres };

enum class Function { MgDnl17P, MgDnl18P, MgDnl31P, MgDnl60P, IdStamm };

inline constexpr Function kFunctions[] = {Function::MgDnl17P, Function::MgDnl18P, Function::MgDnl31P,
                                          Function::MgDnl60P, Function::IdStamm};

inline const char* FunctionName(Function f) {
  switch (f) {
    case Function::MgDnl17P: return "MGDNL17P";
    case Function::MgDnl18P: return "MGDNL18P";
    case Function::MgDnl31P: return "MGDNL31P";
    case Function::MgDnl60P: return "MGDNL60P";
    case Function::IdStamm: return "IDSTAMM";
  }
  return "";
}

// Bytes per record of the fixed layouts; 0 for IDSTAMM, whose records are
// lines ending in CR LF.
inline int RecordLength(Function f) {
  switch (f) {
    case Function::MgDnl17P: return 85;
    case Function::MgDnl18P: return 173;
    case Function::MgDnl31P: return 48;
    case Function::MgDnl60P: return 45;
    case Function::IdStamm: return 0;
  }
  return 0;
}

namespace detail {

inline std::string Quoted(const std::string& text) { return "'" + text + "'"; }

inline std::string YearMonthDay(Dialect d, const std::string& column) {
  return d == Dialect::Sqlite ? "strftime('%Y%m%d', " + column + ")" : "to_char(" + column + ", 'YYYYMMDD')";
}

inline std::string Joined(Dialect d, const std::string& text) {
  return d == Dialect::Sqlite ? "group_concat(" + text + ", ';')" : "string_agg(" + text + ", ';')";
}

inline std::string Valid(const std::string& status) {
  return "((" + status + " <> 4 AND " + status + " <> 8) OR " + status + " IS NULL)";
}

// p: today's midnight, as trunc(SYSDATE). cur: the badge cursor of the
// terminal (the assigned form when it has assignment rows) with its time
// right (tr 1/0), as the program's badge statement and time-right count.
inline std::string CursorWith(Dialect d, const TerminalInfo& t) {
  const std::string today =
      d == Dialect::Sqlite ? "date('now', 'localtime') || ' 00:00:00'" : "CAST(current_date AS timestamp)";
  const std::string trm = Quoted(t.name);
  std::string sql = "WITH p AS (SELECT " + today + " AS today),\n";
  sql += "cur AS (SELECT AswNum, " + YearMonthDay(d, "AswGvo") + " AS gvo, " + YearMonthDay(d, "AswGbi") +
         " AS gbi, AswPnr, AswBkl, AswSal, AswSpr, AswPin, AswAtp, AwvSto,"
         " CASE WHEN timed.num IS NULL THEN 0 ELSE 1 END AS tr\n"
         "  FROM p CROSS JOIN Zdx301Asw JOIN Zdx113Awv ON AswNum = AwvNum";
  if (t.assigned) sql += "\n  JOIN Zdx115Tfz ON TfzTrm = " + trm + " AND AswLiz = TfzLiz AND AswMnd = TfzMnd";
  // The badges with a time right: one join, not a subquery per row, so
  // that PostgreSQL neither runs it twice nor overestimates the statement
  // into JIT compilation, which costs more than the statement itself here.
  sql += "\n  LEFT JOIN (SELECT DISTINCT AwbAsw AS num FROM Zdx301Awb, MGSST35P WHERE M35Trm = " + trm +
         " AND M35Bch = '1' AND M35Bkl = AwbBkl) timed ON timed.num = AswNum"
         "\n  WHERE ((p.today >= AswGvo AND AswGbi IS NULL) OR (p.today <= AswGbi AND AswGvo IS NULL)"
         " OR (p.today >= AswGvo AND p.today <= AswGbi))\n"
         "  AND (AwvCod <> 8 OR AwvCod IS NULL) AND " + Valid("AwvSta") + " AND " + Valid("AswSta") + ")";
  return sql;
}

// The terminal's valid readers up to `maxReader`, as one text.
inline std::string Readers(Dialect d, const TerminalInfo& t, int maxReader) {
  return ",\nrd AS (SELECT " + Joined(d, "CAST(ZlsLes AS TEXT)") + " AS readers FROM Zdx401Zls WHERE ZlsTrm = " +
         Quoted(t.name) + " AND ZlsLes <= " + std::to_string(maxReader) + " AND " + Valid("ZlsSta") + ")";
}

// The badge's access classes on the terminal: one row per class, NULL
// columns for a badge without.
inline std::string AccessClassJoin(const TerminalInfo& t) {
  return "\nLEFT JOIN (Zdx301Awb JOIN MGSST35P ON M35Trm = " + Quoted(t.name) +
         " AND M35Bch = '0' AND M35Bkl = AwbBkl) ON AwbAsw = c.AswNum";
}

inline std::string LocationJoin() {
  return "\nLEFT JOIN Zdx113Sto ON StoNum = c.AwvSto AND " + Valid("StoSta");
}

inline std::string BalanceJoin() { return "\nLEFT JOIN O2002TSW ON TswIdn = c.AswNum"; }

// "R" for a badge with an access class (one row per class) or a time right only.
inline const char* kRightsMark = "CASE WHEN M35Bkl IS NOT NULL OR tr = 1 THEN 'R' ELSE '-' END";

// A display text as label=code, as the display-text cursor and its code lookup give it.
inline std::string DisplayText(Dialect d) {
  return Joined(d, "CAST(MsdLfd AS TEXT) || ':' || COALESCE(substr(MsdTxt, 1, 12), substr(l.FtxT50, 1, 17)) "
                   "|| '=' || COALESCE(v.FtxT10, '')");
}

// MGDNL17P and MGDNL60P: validity start, rights, one balance value, the
// terminal's readers up to `maxReader`, the access class and (MGDNL17P) the
// location text.
inline std::string ReaderRecords(Dialect d, const TerminalInfo& t, int maxReader, const std::string& balance,
                                 bool location) {
  return Readers(d, t, maxReader) + "\nSELECT " + kRightsMark +
         ", c.AswNum, c.gvo, c.tr, CASE WHEN M35Bkl IS NULL THEN 0 ELSE 1 END, substr(" + balance +
         ", 1, 1), substr(" + balance + ", 2, 9), rd.readers, M35Bkl" + (location ? ", StoKtx" : "") +
         "\nFROM cur c CROSS JOIN rd" + AccessClassJoin(t) + BalanceJoin() + (location ? LocationJoin() : "");
}

}  // namespace detail

// The statement for function `f` on terminal `t`.
inline std::string BaselineSql(Function f, Dialect d, const TerminalInfo& t) {
  using namespace detail;
  std::string sql = CursorWith(d, t);
  switch (f) {
    case Function::MgDnl17P:
      sql += ReaderRecords(d, t, 11, "TswW02", true);
      break;
    case Function::MgDnl60P:
      sql += ReaderRecords(d, t, 3, "TswW09", false);
      break;
    case Function::MgDnl31P:
      sql += "\nSELECT CASE WHEN M35Bkl IS NOT NULL THEN 'R' ELSE '-' END, c.AswNum, c.gvo, c.gbi, c.tr, M35Bkl,"
             " substr(StoKtx, 1, 3)\nFROM cur c" +
             AccessClassJoin(t) + LocationJoin();
      break;
    case Function::IdStamm:
      sql += "\nSELECT " + std::string(kRightsMark) +
             ", c.AswNum, c.gvo, c.gbi, c.AwvSto, c.tr, CASE WHEN M35Bkl IS NULL THEN 0 ELSE 1 END,"
             " COALESCE(c.AswSpr, 1), COALESCE(c.AswSal, " + Quoted(t.messageSet) +
             "), '001', COALESCE(M35Bkl, c.AswBkl), '', c.AswNum, COALESCE(c.AswAtp, 0), c.AswPin\n"
             "FROM cur c" +
             AccessClassJoin(t);
      break;
    case Function::MgDnl18P: {
      // The terminal's texts once; with model 7744-010 also those of the
      // badge's own message set, per message set and text variant.
      sql += ",\ntt AS (SELECT " + DisplayText(d) +
             " AS texts FROM Zdx1140Trm, Zdx119Msd, Zdx102Whl l, Zdx102Whl v\n"
             "  WHERE TrmNam = " + Quoted(t.name) +
             " AND TrmSal = MsdSal AND ((TrmMnd = MsdMnd AND TrmLiz = MsdLiz) OR MsdErf = 'KALDOVA')"
             " AND l.FtxNumSpr = 220001 AND l.FtxWhl = MsdAnz AND l.FtxSpr = TrmSpr"
             " AND v.FtxNumSpr = 220002 AND v.FtxWhl = MsdWrt AND v.FtxSpr = TrmSpr"
             " AND " + Valid("TrmSta") + " AND " + Valid("MsdSta") + ")";
      const bool badgeTexts = t.model == "7744-010";
      if (badgeTexts) {
        sql += ",\nbt AS (SELECT MsdSal AS sal, l.FtxSpr AS spr, " + DisplayText(d) +
               " AS texts FROM Zdx119Msd, Zdx102Whl l, Zdx102Whl v\n"
               "  WHERE l.FtxNumSpr = 220001 AND l.FtxWhl = MsdAnz AND v.FtxNumSpr = 220002"
               " AND v.FtxWhl = MsdWrt AND v.FtxSpr = l.FtxSpr AND " + Valid("MsdSta") +
               " GROUP BY MsdSal, l.FtxSpr)";
      }
      sql += "\nSELECT CASE WHEN c.tr = 1 AND c.AswPnr IS NOT NULL THEN 'R' ELSE '-' END, c.AswNum, c.AswPnr, "
             "tt.texts, ";
      sql += badgeTexts ? "bt.texts" : "NULL";
      for (int w = 1; w <= 16; ++w) {
        char column[8];
        std::snprintf(column, sizeof column, "TswW%02d", w);
        sql += w == 1 ? std::string(", ") + column
                      : std::string(", substr(") + column + ", 1, 1), substr(" + column + ", 2, 9)";
      }
      for (int t10 = 1; t10 <= 10; ++t10) {
        char column[8];
        std::snprintf(column, sizeof column, "TswF%02d", t10);
        sql += std::string(", ") + column;
      }
      sql += "\nFROM cur c CROSS JOIN tt";
      if (badgeTexts) sql += "\nLEFT JOIN bt ON bt.sal = c.AswSal AND bt.spr = c.AswSpr";
      sql += BalanceJoin();
      break;
    }
  }
  return sql + ";\n";
}

}  // namespace zx::sitebench
