// The job file of a site run: one job per line, with the four parameters of
// a single run, "DNL-FUNCTION TERMINAL DNL-FILE MODE", separated by blanks
// or tabs. A parameter that holds blanks is written in double quotes (a
// double quote inside them is written twice). Blank lines and lines whose
// first non-blank character is '#' are skipped; a carriage return before the
// line feed is not part of the line.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace zx {

struct SiteJob {
  int line = 0;  // in the job file, from 1
  std::string function;
  std::string terminal;
  std::string dnlPath;
  std::string mode;

  // As a person names the job: "line N: FUNCTION TERMINAL DNL-FILE MODE".
  std::string Name() const;
};

// The longest line of a job file, in bytes without its line feed: a longer
// line is refused as soon as it has this many bytes, not read to its end.
inline constexpr std::size_t kMaxJobLine = 64 * 1024;

// Reads every job of `in`. False with `error` naming the line and what is
// wrong with it, when a line cannot be read: longer than kMaxJobLine (a
// comment too), a quote without its end, other than four parameters, an
// unknown DNL function, a terminal name of more than 255 characters, an
// empty DNL file path or one ending in '/'; or when two jobs name the same DNL file (also
// through different spellings or a link). Nothing is run then.
bool ReadSiteJobs(std::istream& in, std::vector<SiteJob>& jobs, std::string& error);

// Splits one line into its parameters; false for a quote without its end.
bool SplitJobLine(const std::string& line, std::vector<std::string>& fields);

}  // namespace zx
