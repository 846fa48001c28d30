#include "driver/site_jobs.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "base/atomic_file.h"
#include "base/text_utils.h"
#include "writers/dnl_functions.h"

namespace zx {

namespace {

constexpr std::size_t kMaxTerminalName = 255;

// Reads one line into `line`, without its line feed; false at the end of
// the input. A line of more than kMaxJobLine bytes is not read further:
// `tooLong` is set, and the line holds its first kMaxJobLine bytes.
bool ReadJobLine(std::istream& in, std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  std::istream::int_type c = in.get();
  if (c == std::istream::traits_type::eof()) return false;
  while (c != std::istream::traits_type::eof() && c != '\n') {
    if (line.size() == kMaxJobLine) {
      tooLong = true;
      return true;
    }
    line.push_back(std::istream::traits_type::to_char_type(c));
    c = in.get();
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool KnownFunction(std::string name) {
  ToUpper(name.data());
  return FindDnlFunction(name) != nullptr;
}

// The file a path writes to, for telling two jobs' files apart: links
// followed, made absolute and normal.
std::string FileIdentity(const std::string& path) {
  std::string target;
  if (!ResolveLinks(path, target)) target = path;
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(target, ignored);
  std::filesystem::path normal = std::filesystem::weakly_canonical(absolute, ignored);
  if (normal.empty()) normal = absolute.lexically_normal();
  return normal.string();
}

}  // namespace

std::string SiteJob::Name() const {
  return "Zeile " + std::to_string(line) + ": " + function + " " + terminal + " " + dnlPath + " " +
         mode;
}

bool SplitJobLine(const std::string& line, std::vector<std::string>& fields) {
  fields.clear();
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string field;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        field += line[i++];
      }
      if (!closed) return false;
      // A quoted parameter ends at its quote; what follows belongs to it.
      while (i < line.size() && !IsBlank(line[i])) field += line[i++];
    } else {
      while (i < line.size() && !IsBlank(line[i])) field += line[i++];
    }
    fields.push_back(std::move(field));
  }
  return true;
}

bool ReadSiteJobs(std::istream& in, std::vector<SiteJob>& jobs, std::string& error) {
  jobs.clear();
  std::map<std::string, int> files;  // identity -> line
  std::string line;
  std::vector<std::string> fields;
  bool tooLong = false;
  for (int number = 1; ReadJobLine(in, line, tooLong); ++number) {
    const std::string where = "Jobdatei Zeile " + std::to_string(number) + ": ";
    // Whatever it holds, a comment too: a job file is no place for it.
    if (tooLong) {
      error = where + "laenger als " + std::to_string(kMaxJobLine) + " Bytes";
      return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t first = 0;
    while (first < line.size() && IsBlank(line[first])) ++first;
    if (first == line.size() || line[first] == '#') continue;
    if (line.find('\0') != std::string::npos) {
      error = where + "Nullbyte in der Zeile";
      return false;
    }
    if (!SplitJobLine(line, fields)) {
      error = where + "Anfuehrungszeichen ohne Ende";
      return false;
    }
    if (fields.size() != 4) {
      error = where + std::to_string(fields.size()) +
              " Parameter statt 4 (DNL-Funktion Terminal DNL-Datei Modus)";
      return false;
    }
    SiteJob job{number, fields[0], fields[1], fields[2], fields[3]};
    if (!KnownFunction(job.function)) {
      error = where + "Unbekannte DNL-Funktion: " + job.function;
      return false;
    }
    if (job.terminal.size() > kMaxTerminalName) {
      error = where + "Terminal-Name zu lang (mehr als 255 Zeichen)";
      return false;
    }
    if (job.dnlPath.empty() || job.mode.empty()) {
      error = where + "leerer Parameter";
      return false;
    }
    if (job.dnlPath.back() == '/') {
      error = where + "DNL-Datei " + job.dnlPath + " endet mit '/' und benennt keine Datei";
      return false;
    }
    const auto [known, added] = files.emplace(FileIdentity(job.dnlPath), number);
    if (!added) {
      error = where + "DNL-Datei " + job.dnlPath + " schon in Zeile " +
              std::to_string(known->second);
      return false;
    }
    jobs.push_back(std::move(job));
  }
  if (in.bad()) {
    error = "Jobdatei kann nicht gelesen werden";
    return false;
  }
  return true;
}

}  // namespace zx
