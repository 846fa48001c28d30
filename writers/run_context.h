// What a writer works with: the SQL session it reads through, the sink that
// takes the DNL file's bytes, and the diagnostics (the message stream and the
// verbose flag). Every run has its own, so two runs can share a process.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/diagnostics.h"
#include "queries/badge_cursor.h"
#include "sql/session.h"

namespace zx {

// Where a writer's records go: the run's DNL file, or a buffer in a test.
class DnlSink {
 public:
  virtual ~DnlSink() = default;
  // Appends bytes; false when the write failed. Once a write has failed,
  // every later one fails too.
  virtual bool Write(std::string_view bytes) = 0;
  // The path the operator named, for messages.
  virtual const std::string& Path() const = 0;
};

struct RunContext {
  SqlSession& session;
  DnlSink& dnl;
  Diagnostics& diagnostics;
  // Counts the badge rows read, for a progress display; none when null.
  std::atomic<int64_t>* rowsRead = nullptr;
  // Gives the badge rows instead of the run's own cursor; none when null.
  BadgeFeed* badges = nullptr;
  // Display texts written cut to their field's width in this run
  // (NoteDisplayCut); the driver warns once when there are any.
  int displayTextsCut = 0;

  // A display text of the badge went to the file cut to its field's width,
  // as the layout intends: says so under "/d" and counts it.
  void NoteDisplayCut(std::string_view badgeNumber, std::string_view field) {
    ++displayTextsCut;
    diagnostics.Detail("Ausweis %.*s: Anzeigetext %.*s auf die Breite des Feldes gekuerzt\n",
                       static_cast<int>(badgeNumber.size()), badgeNumber.data(),
                       static_cast<int>(field.size()), field.data());
  }

  // What the writer reported (its count line) and the records it wrote,
  // for the run's report.
  int badgesRead = 0;
  int badgesWritten = 0;
  int64_t recordsWritten = 0;

  // Prints the count line every writer ends with and keeps its figures.
  void PrintBadgeCounts(int read, int written) {
    badgesRead = read;
    badgesWritten = written;
    diagnostics.Print("Ausweise gesamt: %d davon in Datei gestellt: %d\n", read, written);
  }

  // Appends bytes to the DNL file. When the write fails it prints
  // "Downloadfile %s konnte nicht geschrieben werden!\n" and returns false:
  // the writer must stop and report failure (the old file is kept).
  bool WriteDnl(std::string_view bytes) {
    if (dnl.Write(bytes)) {
      ++recordsWritten;
      return true;
    }
    diagnostics.Print("Downloadfile %s konnte nicht geschrieben werden!\n", dnl.Path().c_str());
    return false;
  }
};

}  // namespace zx
