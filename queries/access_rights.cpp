#include "queries/access_rights.h"

#include <new>
#include <string>
#include <string_view>

#include "base/fixed_text.h"
#include "queries/statements.h"

namespace zx {

namespace {

constexpr int32_t kNameLength = 256;
constexpr int kReaderSlots = 11;

}  // namespace

int32_t CountTimeRights(SqlSession& session, const char* badgeNumber, const char* terminalName,
                        int32_t& count) {
  int32_t fetched = 0;
  const HostVar outputs[] = {IntegerVar(&fetched)};
  const HostVar inputs[] = {StringIn(terminalName, kNameLength), StringIn(badgeNumber, kNameLength)};
  const int32_t code = session.SelectInto(statements::kCountTimeRights, outputs, inputs);
  if (code == 0) count = fetched;
  return code;
}

int HasTimeRight(SqlSession& session, Diagnostics& diagnostics, const BadgeRecord& record,
                 const char* terminalName) {
  // An SQL error leaves the count at 0: no time right.
  int32_t count = 0;
  CountTimeRights(session, record.AswNum.data(), terminalName, count);
  const int answer = count > 0 ? 1 : 0;
  diagnostics.Detail("Aws: %s Zeitberechtigung: %d\n", record.AswNum.data(), answer);
  return answer;
}

int32_t OpenZlsCursor(SqlSession& session, SqlCursor& cursor, const char* terminalName,
                      int32_t maxReader) {
  int32_t limit = maxReader;
  const HostVar inputs[] = {StringIn(terminalName, kNameLength), IntegerVar(&limit)};
  return cursor.Open(session, statements::kReaders, inputs);
}

int32_t FetchZls(SqlCursor& cursor, int32_t& readerNumber, std::array<char, 6>& zko) {
  // Preset, since a NULL column leaves its output as it was; reader 0 has no slot.
  int32_t number = 0;
  std::array<char, 6> text{};
  const HostVar outputs[] = {IntegerVar(&number), StringVar(text.data(), 6)};
  const int32_t code = cursor.Fetch(outputs);
  if (code == 0) {
    readerNumber = number;
    SetField(zko, FieldText(text));
  }
  return code;
}

int32_t CloseZlsCursor(SqlCursor& cursor) { return cursor.Close(); }

int32_t OpenAccessClassCursor(SqlSession& session, SqlCursor& cursor, const char* badgeNumber,
                              const char* terminalName) {
  const HostVar inputs[] = {StringIn(terminalName, kNameLength), StringIn(badgeNumber, kNameLength)};
  return cursor.Open(session, statements::kAccessClasses, inputs);
}

int32_t FetchAccessClass(SqlCursor& cursor, std::array<char, 256>& accessClass) {
  std::array<char, 256> text{};
  const HostVar outputs[] = {StringVar(text.data(), static_cast<int32_t>(text.size()))};
  const int32_t code = cursor.Fetch(outputs);
  if (code == 0) accessClass = text;
  return code;
}

int32_t CloseAccessClassCursor(SqlCursor& cursor) { return cursor.Close(); }

void AppendAccessRight(Diagnostics& diagnostics, AccessRightList& list,
                       const AccessRightEntry& entry) {
  try {
    list.push_back(entry);
  } catch (const std::bad_alloc&) {
    diagnostics.Print("%s", list.empty() ? "Fehler beim allokieren von Speicher"
                                         : "Fehler beim reallokieren von Speicher");
  }
}

int CollectAccessRights(SqlSession& session, Diagnostics& diagnostics, BadgeRecord& record,
                        const char* terminalName, int32_t maxReader, int withReaders,
                        AccessRightList& list) {
  // The list belongs to one badge: what the previous call left is dropped.
  list.clear();

  if (withReaders != 0) {
    SqlCursor readers;
    OpenZlsCursor(session, readers, terminalName, maxReader);
    int32_t reader = 0;
    std::array<char, 6> zko{};
    while (FetchZls(readers, reader, zko) == 0) {
      if (reader < 1 || reader > kReaderSlots) continue;
      // "%02d": 01 .. 11.
      record.ReaderSlots[static_cast<std::size_t>(reader - 1)] = {
          static_cast<char>('0' + reader / 10), static_cast<char>('0' + reader % 10), '\0'};
    }
    CloseZlsCursor(readers);
  }

  SqlCursor classes;
  if (OpenAccessClassCursor(session, classes, record.AswNum.data(), terminalName) == 0) {
    std::array<char, 256> accessClass{};
    while (FetchAccessClass(classes, accessClass) == 0) {
      // "%-3s" of the class. A class that an entry cannot hold is left out
      // and named: cut, it could be another class and open another door.
      std::string text(FieldText(accessClass));
      if (text.size() < 3) text.append(3 - text.size(), ' ');
      AccessRightEntry entry{};
      if (SetField(entry, text)) {
        AppendAccessRight(diagnostics, list, entry);
      } else {
        diagnostics.Print("Ausweis %s: Zutrittsklasse %s zu lang, nicht in Datei gestellt\n",
                          record.AswNum.data(), accessClass.data());
      }
    }
  }
  CloseAccessClassCursor(classes);
  return list.empty() ? 0 : 1;
}

}  // namespace zx
