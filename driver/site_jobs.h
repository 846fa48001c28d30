// The job file of a site run: one job per line, with the four parameters of
// a single run, "DNL-FUNCTION TERMINAL DNL-FILE MODE", separated by blanks
// or tabs. A parameter that holds blanks is written in double quotes (a
// double quote inside them is written twice). Blank lines and lines whose
// first non-blank character is '#' are skipped; a carriage return before the
// line feed is not part of the line.
#pragma once

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

// Reads every job of `in`. False with `error` naming the line and what is
// wrong with it, when a line cannot be read: a quote without its end, other
// than four parameters, an unknown DNL function, a terminal name of more
// than 255 characters, an empty DNL file path; or when two jobs name the
// same DNL file (also through different spellings or a link). Nothing is
// run then.
bool ReadSiteJobs(std::istream& in, std::vector<SiteJob>& jobs, std::string& error);

// Splits one line into its parameters; false for a quote without its end.
bool SplitJobLine(const std::string& line, std::vector<std::string>& fields);

}  // namespace zx
