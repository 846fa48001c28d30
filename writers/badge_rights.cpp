#include "writers/badge_rights.h"

#include "base/fixed_text.h"

namespace zx {

namespace {

// Without readers the reader limit has no effect; the access classes are
// all that is asked for.
constexpr int32_t kAnyReader = 32;

}  // namespace

BadgeRights::BadgeRights(RunContext& run, const TerminalParams& terminal)
    : run_(run), terminalName_(FieldText(terminal.TrmNam)) {}

bool BadgeRights::Time(const BadgeRecord& record) {
  return HasTimeRight(run_.session, run_.diagnostics, record, terminalName_.c_str(), &cache_) != 0;
}

bool BadgeRights::Access(BadgeRecord& record) {
  return CollectAccessRights(run_.session, run_.diagnostics, record, terminalName_.c_str(),
                             kAnyReader, 0, classes_, nullptr, &cache_) != 0;
}

bool BadgeRights::AccessOnReaders(BadgeRecord& record, std::size_t readerCount) {
  // A slot that keeps its blanks after CollectAccessRights means the
  // terminal has no such reader.
  for (std::size_t k = 0; k < readerCount && k < record.ReaderSlots.size(); ++k) {
    SetField(record.ReaderSlots[k], "  ");
  }
  return CollectAccessRights(run_.session, run_.diagnostics, record, terminalName_.c_str(),
                             static_cast<int32_t>(readerCount), 1, classes_, &readers_,
                             &cache_) != 0;
}

void BadgeRights::NoteWithoutRight(const BadgeRecord& record) const {
  run_.diagnostics.Detail("Ausweis %s ohne Zeit-/Zutrittsberechtigung auf Terminal %s\n",
                          record.AswNum.data(), terminalName_.c_str());
}

}  // namespace zx
