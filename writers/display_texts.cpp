#include "writers/display_texts.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "driver/text_utils.h"
#include "queries/fixed_text.h"
#include "queries/sql_runtime.h"

namespace zx {
namespace {

constexpr char kTerminalTextStatement[] =
    "select MsdLfd ,NVL(MsdSpl,1) ,SubStr(FtxT50,1,17) ,SubStr(MsdTxt,1,12)  from "
    "Zardonix.Zdx1140Trm ,Zardonix.Zdx119Msd ,Zardonix.Zdx102Whl where (((((((TrmNam=:b0 and "
    "TrmSal=MsdSal) and ((TrmMnd=MsdMnd and TrmLiz=MsdLiz) or MSDERF='KALDOVA')) and "
    "FtxNumSpr=220001) and FtxWhl=MsdAnz) and FtxSpr=TrmSpr) and ((TrmSta<>4 and TrmSta<>8) "
    "or TrmSta is null )) and ((MsdSta<>4 and MsdSta<>8) or MsdSta is null )) order by "
    "MsdSal,MsdLfd";

constexpr char kTerminalCodeStatement[] =
    "select FTXT10 into :b0:b1  from ZARDONIX.ZDX1140TRM ,ZARDONIX.ZDX119MSD "
    ",ZARDONIX.ZDX102WHL where ((((((((TrmNam=:b2 and TrmSal=MsdSal) and ((TrmMnd=MsdMnd and "
    "TrmLiz=MsdLiz) or MSDERF='KALDOVA')) and FtxNumSpr=220002) and FtxWhl=MsdWrt) and "
    "FtxSpr=TrmSpr) and MsdLfd=:b3) and ((TrmSta<>4 and TrmSta<>8) or TrmSta is null )) and "
    "((MsdSta<>4 and MsdSta<>8) or MsdSta is null ))";

constexpr char kBadgeTextStatement[] =
    "select MsdLfd ,NVL(MsdSpl,1) ,SubStr(FtxT50,1,12) ,SubStr(MsdTxt,1,12)  from "
    "Zardonix.Zdx301Asw ,Zardonix.Zdx119Msd ,Zardonix.Zdx102Whl where (((((((AswNum=:b0 and "
    "AswSal=MsdSal) and FtxNumSpr=220001) and FtxWhl=MsdAnz) and FtxSpr=AswSpr) and "
    "(((trunc(SYSDATE)>=AswGvo and AswGbi is null ) or (trunc(SYSDATE)<=AswGbi and "
    "trunc(AswGvo) is null )) or (trunc(SYSDATE)>=AswGvo and trunc(SYSDATE)<=AswGbi))) and "
    "((AswSta<>4 and AswSta<>8) or AswSta is null )) and ((MsdSta<>4 and MsdSta<>8) or "
    "MsdSta is null )) order by MsdSal,MsdLfd";

constexpr char kBadgeCodeStatement[] =
    "select FTXT10 into :b0:b1  from ZARDONIX.ZDX301ASW ,ZARDONIX.ZDX119MSD "
    ",ZARDONIX.ZDX102WHL where ((((((((AswNum=:b2 and AswSal=MsdSal) and FtxNumSpr=220002) "
    "and FtxWhl=MsdWrt) and FtxSpr=AswSpr) and MSDLFD=:b3) and (((trunc(SYSDATE)>=AswGvo and "
    "AswGbi is null ) or (trunc(SYSDATE)<=AswGbi and trunc(AswGvo) is null )) or "
    "(trunc(SYSDATE)>=AswGvo and trunc(SYSDATE)<=AswGbi))) and ((AswSta<>4 and AswSta<>8) or "
    "AswSta is null )) and ((MsdSta<>4 and MsdSta<>8) or MsdSta is null ))";

constexpr char kTerminalTextCursor[] = "TerminalTextCursor";
constexpr char kBadgeTextCursor[] = "BadgeTextCursor";

// The reference that a terminal label may hold, and its single-byte character.
constexpr std::string_view kEntity = "&#241;";
constexpr char kEntityByte = static_cast<char>(0xF1);
constexpr std::size_t kLabelLength = 12;
constexpr std::size_t kCharactersAfterEntity = 20;

// The name or number that the most recent open of each cursor received; the
// value-code lookup of a read binds it again.
std::array<char, 256> terminalTextKey = {};
std::array<char, 256> badgeTextKey = {};

struct TextCursor {
  const char* cursorName;
  const char* codeStatement;
  std::array<char, 256>& key;
  bool replaceEntity;  // terminal labels carry "&#241;", badge labels are kept as they are
};

int32_t OpenTextCursor(const TextCursor& cursor, const char* statement, std::string_view key) {
  SetField(cursor.key, key);
  const HostVar inputs[] = {StringIn(cursor.key.data(), 256)};
  return SqlOpen(cursor.cursorName, statement, inputs);
}

int32_t ReadText(const TextCursor& cursor, DisplayText& text) {
  // A NULL column leaves its output as it was, so every output is preset:
  // a NULL text then reads as the empty text, never as an earlier row's.
  int32_t msdLfd = 0;
  int32_t msdSpl = 1;
  std::array<char, 41> ftxT50 = {};
  std::array<char, 21> msdTxt = {};
  const HostVar outputs[] = {IntegerVar(&msdLfd), IntegerVar(&msdSpl),
                             StringVar(ftxT50.data(), 41), StringVar(msdTxt.data(), 21)};
  if (SqlFetch(cursor.cursorName, outputs) != 0) return SQLCODE;

  TrimRight(msdTxt.data());
  const char* label = msdTxt.data();
  if (msdTxt[0] == '\0') {
    if (cursor.replaceEntity) ReplaceEntity(ftxT50.data(), ftxT50.size());
    label = ftxT50.data();
  }
  // The statements deliver at most 12 characters (17 with a reference that
  // ReplaceEntity has shortened); the precision keeps the trailing blank.
  std::snprintf(text.Txt.data(), text.Txt.size(), "%-12.12s ", label);
  text.MsdLfd = msdLfd;
  text.MsdSpl = msdSpl;
  SetField(text.Wert, "       ");

  std::array<char, 11> ftxt10 = {};
  const HostVar codeOutputs[] = {StringVar(ftxt10.data(), 11)};
  const HostVar codeInputs[] = {StringIn(cursor.key.data(), 256), IntegerVar(&msdLfd)};
  if (SqlSelectInto(cursor.codeStatement, codeOutputs, codeInputs) == 0) {
    SetField(text.Con, FieldText(ftxt10));
  }
  return SQLCODE;
}

const TextCursor terminalCursor{kTerminalTextCursor, kTerminalCodeStatement, terminalTextKey, true};
const TextCursor badgeCursor{kBadgeTextCursor, kBadgeCodeStatement, badgeTextKey, false};

}  // namespace

void ClearDisplayText(DisplayText& text) { text = DisplayText{}; }

void ClearDisplayTextTable(DisplayTextTable& table) {
  for (DisplayText& text : table) ClearDisplayText(text);
}

int32_t OpenTerminalTextCursor(std::string_view terminalName) {
  return OpenTextCursor(terminalCursor, kTerminalTextStatement, terminalName);
}

int32_t ReadTerminalText(DisplayText& text) { return ReadText(terminalCursor, text); }

int32_t CloseTerminalTextCursor() { return SqlClose(kTerminalTextCursor); }

int32_t OpenBadgeTextCursor(std::string_view badgeNumber) {
  return OpenTextCursor(badgeCursor, kBadgeTextStatement, badgeNumber);
}

int32_t ReadBadgeText(DisplayText& text) { return ReadText(badgeCursor, text); }

int32_t CloseBadgeTextCursor() { return SqlClose(kBadgeTextCursor); }

int ReplaceEntity(char* text, std::size_t size) {
  if (text == nullptr || size == 0) return 0;
  const void* end = std::memchr(text, '\0', size);
  const std::size_t length =
      end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : size - 1;
  const std::string_view original(text, length);

  std::string result;
  const std::size_t at = original.find(kEntity);
  if (at == std::string_view::npos) {
    result = original;
  } else {
    result = original.substr(0, at);
    result += kEntityByte;
    result += original.substr(at + kEntity.size(), kCharactersAfterEntity);
  }
  if (result.size() > kLabelLength) result.resize(kLabelLength);
  // The result is never longer than the text it replaces.
  std::memcpy(text, result.data(), result.size());
  text[result.size()] = '\0';
  return 0;
}

}  // namespace zx
