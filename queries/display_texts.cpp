#include "queries/display_texts.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/text_utils.h"
#include "base/fixed_text.h"
#include "queries/statements.h"

namespace zx {
namespace {

// The reference that a terminal label may hold, and its single-byte character.
constexpr std::string_view kEntity = "&#241;";
constexpr char kEntityByte = static_cast<char>(0xF1);
constexpr std::size_t kLabelLength = 12;
constexpr std::size_t kCharactersAfterEntity = 20;

// Opens the cursor of one kind for its key. The key is kept: each read's
// value-code lookup binds it again.
int32_t OpenTextCursor(SqlSession& session, DisplayTextCursor& cursor, bool badge,
                       std::string_view key) {
  cursor.session = &session;
  cursor.badge = badge;
  SetField(cursor.key, key);
  const HostVar inputs[] = {StringIn(cursor.key.data(), 256)};
  return cursor.rows.Open(session, badge ? statements::kBadgeTexts : statements::kTerminalTexts,
                          inputs);
}

int32_t ReadText(DisplayTextCursor& cursor, DisplayText& text) {
  if (cursor.session == nullptr) return sqlcode::kInvalidCursor;
  // A NULL column leaves its output as it was, so every output is preset:
  // a NULL text then reads as the empty text, never as an earlier row's.
  int32_t msdLfd = 0;
  int32_t msdSpl = 1;
  std::array<char, 41> ftxT50 = {};
  std::array<char, 21> msdTxt = {};
  const HostVar outputs[] = {IntegerVar(&msdLfd), IntegerVar(&msdSpl),
                             StringVar(ftxT50.data(), 41), StringVar(msdTxt.data(), 21)};
  const int32_t fetched = cursor.rows.Fetch(outputs);
  if (fetched != 0) return fetched;

  TrimRight(msdTxt.data());
  const char* label = msdTxt.data();
  if (msdTxt[0] == '\0') {
    // Terminal labels carry "&#241;"; badge labels are kept as they are.
    if (!cursor.badge) ReplaceEntity(ftxT50.data(), ftxT50.size());
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
  const int32_t code = cursor.session->SelectInto(
      cursor.badge ? statements::kBadgeTextCode : statements::kTerminalTextCode, codeOutputs,
      codeInputs);
  if (code == 0) SetField(text.Con, FieldText(ftxt10));
  return code;
}

}  // namespace

void ClearDisplayText(DisplayText& text) { text = DisplayText{}; }

void ClearDisplayTextTable(DisplayTextTable& table) {
  for (DisplayText& text : table) ClearDisplayText(text);
}

int32_t OpenTerminalTextCursor(SqlSession& session, DisplayTextCursor& cursor,
                               std::string_view terminalName) {
  return OpenTextCursor(session, cursor, false, terminalName);
}

int32_t OpenBadgeTextCursor(SqlSession& session, DisplayTextCursor& cursor,
                            std::string_view badgeNumber) {
  return OpenTextCursor(session, cursor, true, badgeNumber);
}

int32_t ReadTerminalText(DisplayTextCursor& cursor, DisplayText& text) {
  return ReadText(cursor, text);
}

int32_t ReadBadgeText(DisplayTextCursor& cursor, DisplayText& text) { return ReadText(cursor, text); }

int32_t CloseTerminalTextCursor(DisplayTextCursor& cursor) { return cursor.rows.Close(); }

int32_t CloseBadgeTextCursor(DisplayTextCursor& cursor) { return cursor.rows.Close(); }

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
