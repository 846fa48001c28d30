#include "queries/access_rights.h"

#include <algorithm>
#include <functional>
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

namespace {

// Texts of the rights statements are read whole up to this length (the
// longest text a column of the database this system was built for holds).
constexpr int32_t kLongText = 4001;

// Reads the terminal's right rows into the cache once per terminal.
bool LoadTerminalRights(SqlSession& session, const char* terminalName, RightsCache& cache) {
  if (cache.terminalLoaded && cache.terminalName == terminalName) return true;
  cache.terminalLoaded = false;
  cache.rights.clear();
  SqlCursor cursor;
  const HostVar inputs[] = {StringIn(terminalName, kNameLength)};
  if (cursor.Open(session, statements::kTerminalRights, inputs) != sqlcode::kOk) return false;
  std::vector<char> accessClass(kLongText);
  std::array<char, 3> kind{};
  int32_t code = 0;
  for (;;) {
    accessClass[0] = '\0';
    kind = {};
    const HostVar outputs[] = {StringVar(accessClass.data(), kLongText), StringVar(kind.data(), 3)};
    code = cursor.Fetch(outputs);
    if (code != sqlcode::kOk) break;
    // A NULL class equals nothing; a kind other than '0' and '1' grants nothing.
    if (accessClass[0] == '\0' || (kind[0] != '0' && kind[0] != '1') || kind[1] != '\0') continue;
    cache.rights.push_back({std::string(accessClass.data()), kind[0] == '1'});
  }
  cursor.Close();
  if (code != sqlcode::kNoData) {
    cache.rights.clear();
    return false;
  }
  cache.terminalLoaded = true;
  cache.terminalName = terminalName;
  return true;
}

// Reads the badge's classes into the cache once per badge.
bool LoadBadgeClasses(SqlSession& session, const char* badgeNumber, RightsCache& cache) {
  if (cache.badgeLoaded && cache.badgeNumber == badgeNumber) return true;
  cache.badgeLoaded = false;
  cache.badgeClasses.clear();
  SqlCursor cursor;
  const HostVar inputs[] = {StringIn(badgeNumber, kNameLength)};
  if (cursor.Open(session, statements::kBadgeClasses, inputs) != sqlcode::kOk) return false;
  std::vector<char> accessClass(kLongText);
  int32_t code = 0;
  for (;;) {
    accessClass[0] = '\0';
    const HostVar outputs[] = {StringVar(accessClass.data(), kLongText)};
    code = cursor.Fetch(outputs);
    if (code != sqlcode::kOk) break;
    if (accessClass[0] != '\0') cache.badgeClasses.emplace_back(accessClass.data());
  }
  cursor.Close();
  if (code != sqlcode::kNoData) {
    cache.badgeClasses.clear();
    return false;
  }
  std::sort(cache.badgeClasses.begin(), cache.badgeClasses.end());
  cache.badgeClasses.erase(std::unique(cache.badgeClasses.begin(), cache.badgeClasses.end()),
                           cache.badgeClasses.end());
  cache.badgeLoaded = true;
  cache.badgeNumber = badgeNumber;
  return true;
}

bool BadgeHolds(const RightsCache& cache, const std::string& accessClass) {
  return std::binary_search(cache.badgeClasses.begin(), cache.badgeClasses.end(), accessClass);
}

// Both rows read: the answers can come from the cache.
bool CacheReady(SqlSession& session, const char* badgeNumber, const char* terminalName,
                RightsCache* cache) {
  return cache != nullptr && LoadTerminalRights(session, terminalName, *cache) &&
         LoadBadgeClasses(session, badgeNumber, *cache);
}

}  // namespace

int HasTimeRight(SqlSession& session, Diagnostics& diagnostics, const BadgeRecord& record,
                 const char* terminalName, RightsCache* cache) {
  // An SQL error leaves the count at 0: no time right.
  int32_t count = 0;
  if (CacheReady(session, record.AswNum.data(), terminalName, cache)) {
    for (const RightsCache::Right& right : cache->rights) {
      if (right.time && BadgeHolds(*cache, right.accessClass)) ++count;
    }
  } else {
    CountTimeRights(session, record.AswNum.data(), terminalName, count);
  }
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

namespace {

// Reads the terminal's readers 1..11 up to the limit. False when the read
// did not end normally (the readers found so far are still given).
bool ReadReaders(SqlSession& session, const char* terminalName, int32_t maxReader,
                 std::array<bool, kReaderSlots>& present) {
  present.fill(false);
  SqlCursor cursor;
  OpenZlsCursor(session, cursor, terminalName, maxReader);
  int32_t reader = 0;
  std::array<char, 6> zko{};
  int32_t code = 0;
  while ((code = FetchZls(cursor, reader, zko)) == 0) {
    if (reader >= 1 && reader <= kReaderSlots) present[static_cast<std::size_t>(reader - 1)] = true;
  }
  CloseZlsCursor(cursor);
  return code == sqlcode::kNoData;
}

}  // namespace

int CollectAccessRights(SqlSession& session, Diagnostics& diagnostics, BadgeRecord& record,
                        const char* terminalName, int32_t maxReader, int withReaders,
                        AccessRightList& list, TerminalReaders* readers, RightsCache* cache) {
  // The list belongs to one badge: what the previous call left is dropped.
  list.clear();

  if (withReaders != 0) {
    std::array<bool, kReaderSlots> present{};
    const bool cached = readers != nullptr && readers->loaded && readers->maxReader == maxReader &&
                        readers->terminalName == terminalName;
    if (cached) {
      present = readers->present;
    } else if (ReadReaders(session, terminalName, maxReader, present) && readers != nullptr) {
      readers->loaded = true;
      readers->terminalName = terminalName;
      readers->maxReader = maxReader;
      readers->present = present;
    }
    for (int reader = 1; reader <= kReaderSlots; ++reader) {
      if (!present[static_cast<std::size_t>(reader - 1)]) continue;
      // "%02d": 01 .. 11.
      record.ReaderSlots[static_cast<std::size_t>(reader - 1)] = {
          static_cast<char>('0' + reader / 10), static_cast<char>('0' + reader % 10), '\0'};
    }
  }

  // "%-3s" of a class. A class that an entry cannot hold is left out and
  // named: cut, it could be another class and open another door.
  const auto take = [&](std::string_view accessClass) {
    std::string text(accessClass);
    if (text.size() < 3) text.append(3 - text.size(), ' ');
    AccessRightEntry entry{};
    if (SetField(entry, text)) {
      AppendAccessRight(diagnostics, list, entry);
    } else {
      // The class as the statement delivers it: at most 255 characters.
      const std::string_view shown = accessClass.substr(0, 255);
      diagnostics.Print("Ausweis %s: Zutrittsklasse %.*s zu lang, nicht in Datei gestellt\n",
                        record.AswNum.data(), static_cast<int>(shown.size()), shown.data());
    }
  };

  if (CacheReady(session, record.AswNum.data(), terminalName, cache)) {
    // The distinct access-right classes the badge holds, descending byte-wise.
    std::vector<std::string_view> granted;
    for (const RightsCache::Right& right : cache->rights) {
      if (!right.time && BadgeHolds(*cache, right.accessClass)) granted.push_back(right.accessClass);
    }
    std::sort(granted.begin(), granted.end(), std::greater<>());
    granted.erase(std::unique(granted.begin(), granted.end()), granted.end());
    for (std::string_view accessClass : granted) take(accessClass);
    return list.empty() ? 0 : 1;
  }

  SqlCursor classes;
  if (OpenAccessClassCursor(session, classes, record.AswNum.data(), terminalName) == 0) {
    std::array<char, 256> accessClass{};
    while (FetchAccessClass(classes, accessClass) == 0) take(FieldText(accessClass));
  }
  CloseAccessClassCursor(classes);
  return list.empty() ? 0 : 1;
}

}  // namespace zx
