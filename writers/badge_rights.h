// The rights of a run's badges on its terminal, asked as every writer asks
// them. One per writer run: it keeps the terminal's name, the access classes
// of the badge asked last, the terminal's readers (read once) and the right
// rows that the next badge's questions are answered from.
#pragma once

#include <cstddef>
#include <string>

#include "queries/access_rights.h"
#include "queries/badge_record.h"
#include "queries/terminal_params.h"
#include "writers/run_context.h"

namespace zx {

class BadgeRights {
 public:
  BadgeRights(RunContext& run, const TerminalParams& terminal);
  BadgeRights(const BadgeRights&) = delete;
  BadgeRights& operator=(const BadgeRights&) = delete;

  // The terminal's name (TrmNam), terminated.
  const char* TerminalName() const { return terminalName_.c_str(); }

  // Whether the badge has a time right on the terminal (HasTimeRight; an
  // SQL error counts as none).
  bool Time(const BadgeRecord& record);

  // Whether the badge has an access right on the terminal: Classes() then
  // holds its access classes (CollectAccessRights without readers).
  bool Access(BadgeRecord& record);

  // As Access, and the number of each reader 1 to `readerCount` that the
  // terminal has goes into the badge's reader slots; the slots of readers
  // it lacks are blank (ReaderNumber gives them as empty).
  bool AccessOnReaders(BadgeRecord& record, std::size_t readerCount);

  // The access classes of the badge asked last, in the order of its records.
  const AccessRightList& Classes() const { return classes_; }

  // Says under "/d" that the badge has neither a time nor an access right
  // on the terminal: "Ausweis %s ohne Zeit-/Zutrittsberechtigung auf
  // Terminal %s\n".
  void NoteWithoutRight(const BadgeRecord& record) const;

 private:
  RunContext& run_;
  std::string terminalName_;
  AccessRightList classes_;
  TerminalReaders readers_;
  RightsCache cache_;
};

}  // namespace zx
