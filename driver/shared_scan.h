// Jobs of one session that read their badges together (zeprink-site). Each
// job runs on its own thread, but only one runs at a time: the session
// serves one caller, and a job gives way only where it waits for badge rows.
// The scan reads each distinct badge cursor (the unfiltered one, and the
// filtered one of each terminal with assignments) once for all the jobs
// that read it, a chunk of rows at a time, and the jobs take the rows from
// there. The chunks are read in the order of the badge numbers across the
// cursors, and the session keeps the answers of the per-badge lookups for a
// while (SqlSession::ShareAnswers), so that the lookups one job made for a
// badge are answered to the others without asking the database again.
// Memory stays bounded: a chunk per cursor and a bounded store of answers.
#pragma once

#include <cstddef>
#include <functional>

#include "queries/badge_cursor.h"
#include "sql/session.h"

namespace zx {

// The badge feed of one job of a scan. `OnResume` is called on the job's
// thread each time the job gets its turn again (it makes the session's
// failure observer the job's own).
class ScanFeed : public BadgeFeed {
 public:
  virtual void OnResume(std::function<void()> resume) = 0;
};

// Rows per chunk: what a job handles before it gives way.
inline constexpr std::size_t kScanChunkRows = 128;
// Per-badge answers the session keeps while the jobs take their turns.
inline constexpr std::size_t kScanSharedAnswers = 4096;
// The embedded database's page cache while its cursors are read side by
// side (SQLite's default is 2 MB: too little for several cursors and the
// lookups, whose pages would then be read again and again).
inline constexpr std::size_t kScanPageCacheBytes = 8u << 20;

// Runs `runJob(job, feed)` for jobs 0 .. jobs-1, each on its own thread (the
// first on the caller's), taking turns on `session` as described above;
// returns when all have returned. `runJob` must read its badges through
// `feed` (RunContext::badges) and give its DNL file's result only after the
// feed is closed. A thread the system cannot start ends the jobs taken in:
// returns how many jobs ran, 0 .. n-1 (at least one when `jobs` > 0); the
// jobs from n on did not run.
std::size_t RunSharedScan(SqlSession& session, std::size_t jobs,
                          const std::function<void(std::size_t job, ScanFeed& feed)>& runJob);

}  // namespace zx
