#include "queries/access_rights.h"

#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "driver/run_state.h"
#include "queries/fixed_text.h"
#include "queries/sql_runtime.h"

namespace zx {

std::vector<AccessRightEntry> AccessRightList;
int32_t AccessRightCount = 0;

namespace {

constexpr int32_t kNameLength = 256;

constexpr std::string_view kZlsCursor = "ZlsCursor";
constexpr std::string_view kAccessClassCursor = "AccessClassCursor";

constexpr std::string_view kCountTimeRightsStatement =
    "select count(*)  into :b0:b1  from Zardonix.MGSST35P where ((M35Trm=:b2 and M35Bch='1') and "
    "M35Bkl in (select AWBBKL  from Zardonix.Zdx301Awb where AWBASW=:b3))";

constexpr std::string_view kZlsStatement =
    "select ZlsLes ,ZlsZko  from Zardonix.Zdx401Zls where ((ZlsTrm=:b0 and ZlsLes<=:b1) and "
    "((ZlsSta<>4 and ZlsSta<>8) or ZlsSta is null )) order by ZlsLes";

constexpr std::string_view kAccessClassStatement =
    "select distinct M35BKL  from Zardonix.MGSST35P ,Zardonix.Zdx301Awb where (((M35TRM=:b0 and "
    "AWBASW=:b1) and M35Bch='0') and M35Bkl=AWBBKL) order by M35BKL desc";

constexpr int kReaderSlots = 11;

}  // namespace

int32_t CountTimeRights(const char* badgeNumber, const char* terminalName, int32_t& count) {
  int32_t fetched = 0;
  const HostVar outputs[] = {IntegerVar(&fetched)};
  const HostVar inputs[] = {StringIn(terminalName, kNameLength), StringIn(badgeNumber, kNameLength)};
  const int32_t code = SqlSelectInto(kCountTimeRightsStatement, outputs, inputs);
  if (code == 0) count = fetched;
  return code;
}

int HasTimeRight(const BadgeRecord& record, const char* terminalName) {
  // An SQL error leaves the count at 0: no time right.
  int32_t count = 0;
  CountTimeRights(record.AswNum.data(), terminalName, count);
  const int answer = count > 0 ? 1 : 0;
  if (Verbose) std::printf("Aws: %s Zeitberechtigung: %d\n", record.AswNum.data(), answer);
  return answer;
}

int32_t OpenZlsCursor(const char* terminalName, int32_t maxReader) {
  int32_t limit = maxReader;
  const HostVar inputs[] = {StringIn(terminalName, kNameLength), IntegerVar(&limit)};
  return SqlOpen(kZlsCursor, kZlsStatement, inputs);
}

int32_t FetchZls(int32_t& readerNumber, std::array<char, 6>& zko) {
  // Preset, since a NULL column leaves its output as it was; reader 0 has no slot.
  int32_t number = 0;
  std::array<char, 6> text{};
  const HostVar outputs[] = {IntegerVar(&number), StringVar(text.data(), 6)};
  const int32_t code = SqlFetch(kZlsCursor, outputs);
  if (code == 0) {
    readerNumber = number;
    SetField(zko, FieldText(text));
  }
  return code;
}

int32_t CloseZlsCursor() { return SqlClose(kZlsCursor); }

int32_t OpenAccessClassCursor(const char* badgeNumber, const char* terminalName) {
  const HostVar inputs[] = {StringIn(terminalName, kNameLength), StringIn(badgeNumber, kNameLength)};
  return SqlOpen(kAccessClassCursor, kAccessClassStatement, inputs);
}

int32_t FetchAccessClass(std::array<char, 256>& accessClass) {
  std::array<char, 256> text{};
  const HostVar outputs[] = {StringVar(text.data(), static_cast<int32_t>(text.size()))};
  const int32_t code = SqlFetch(kAccessClassCursor, outputs);
  if (code == 0) accessClass = text;
  return code;
}

int32_t CloseAccessClassCursor() { return SqlClose(kAccessClassCursor); }

void AppendAccessRight(const AccessRightEntry& entry) {
  try {
    AccessRightList.push_back(entry);
  } catch (const std::bad_alloc&) {
    std::fputs(AccessRightCount == 0 ? "Fehler beim allokieren von Speicher"
                                     : "Fehler beim reallokieren von Speicher",
               stdout);
    return;
  }
  AccessRightCount = static_cast<int32_t>(AccessRightList.size());
}

int CollectAccessRights(BadgeRecord& record, const char* terminalName, int32_t maxReader,
                        int withReaders) {
  // The list belongs to one badge: what the previous call left is dropped.
  AccessRightList.clear();
  AccessRightCount = 0;

  if (withReaders != 0) {
    OpenZlsCursor(terminalName, maxReader);
    int32_t reader = 0;
    std::array<char, 6> zko{};
    while (FetchZls(reader, zko) == 0) {
      if (reader < 1 || reader > kReaderSlots) continue;
      // "%02d": 01 .. 11.
      record.ReaderSlots[static_cast<std::size_t>(reader - 1)] = {
          static_cast<char>('0' + reader / 10), static_cast<char>('0' + reader % 10), '\0'};
    }
    CloseZlsCursor();
  }

  if (OpenAccessClassCursor(record.AswNum.data(), terminalName) == 0) {
    std::array<char, 256> accessClass{};
    while (FetchAccessClass(accessClass) == 0) {
      // "%-3s" of the class. A class that an entry cannot hold is left out
      // and named: cut, it could be another class and open another door.
      std::string text(FieldText(accessClass));
      if (text.size() < 3) text.append(3 - text.size(), ' ');
      AccessRightEntry entry{};
      if (SetField(entry, text)) {
        AppendAccessRight(entry);
      } else {
        std::printf("Ausweis %s: Zutrittsklasse %s zu lang, nicht in Datei gestellt\n",
                    record.AswNum.data(), accessClass.data());
      }
    }
  }
  CloseAccessClassCursor();
  return AccessRightCount > 0 ? 1 : 0;
}

}  // namespace zx
