// The job file of a site run: what a line holds, and the lines that make
// the whole run refuse to start, named by their line number.
#include "driver/site_jobs.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace zx {
namespace {

TEST(SiteJobs, ReadsJobsQuotesAndSkipsCommentsAndBlankLines) {
  std::istringstream in(
      "# site jobs\n"
      "\n"
      "IDSTAMM HAUPTEINGANG idstamm.dnl 1\r\n"
      "  \t mgdnl17p\t\"Tor 2\"  \"out dir/a \"\"b\"\".dnl\" 0   \n"
      "   # indented comment\n");
  std::vector<SiteJob> jobs;
  std::string error;
  ASSERT_TRUE(ReadSiteJobs(in, jobs, error)) << error;
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].line, 3);
  EXPECT_EQ(jobs[0].function, "IDSTAMM");
  EXPECT_EQ(jobs[0].terminal, "HAUPTEINGANG");
  EXPECT_EQ(jobs[0].dnlPath, "idstamm.dnl");
  EXPECT_EQ(jobs[0].mode, "1");
  EXPECT_EQ(jobs[1].line, 4);
  EXPECT_EQ(jobs[1].function, "mgdnl17p");
  EXPECT_EQ(jobs[1].terminal, "Tor 2");
  EXPECT_EQ(jobs[1].dnlPath, "out dir/a \"b\".dnl");
  EXPECT_EQ(jobs[1].mode, "0");
}

TEST(SiteJobs, RefusesLinesThatCannotBeReadNamingTheLine) {
  const struct {
    std::string file;
    std::string error;
  } cases[] = {
      {"IDSTAMM T1 a.dnl\n", "Jobdatei Zeile 1: 3 Parameter statt 4"},
      {"# c\nIDSTAMM T1 a.dnl 1 /d\n", "Jobdatei Zeile 2: 5 Parameter statt 4"},
      {"IDSTAMM \"T1 a.dnl 1\n", "Jobdatei Zeile 1: Anfuehrungszeichen ohne Ende"},
      {"IDSTAM T1 a.dnl 1\n", "Jobdatei Zeile 1: Unbekannte DNL-Funktion: IDSTAM"},
      {"IDSTAMM " + std::string(256, 'T') + " a.dnl 1\n", "Jobdatei Zeile 1: Terminal-Name zu lang"},
      {"IDSTAMM T1 \"\" 1\n", "Jobdatei Zeile 1: leerer Parameter"},
      {"IDSTAMM T1 out/b.dnl/ 1\n", "Jobdatei Zeile 1: DNL-Datei out/b.dnl/ endet mit '/'"},
      {"IDSTAMM T1 a.dnl 1\nMGDNL17P T2 ./a.dnl 1\n",
       "Jobdatei Zeile 2: DNL-Datei ./a.dnl schon in Zeile 1"},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.file);
    std::vector<SiteJob> jobs;
    std::string error;
    EXPECT_FALSE(ReadSiteJobs(in, jobs, error)) << c.file;
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.file;
  }
}

// A job file of a first line and then one line of `length` bytes, made as it
// is read; counts the bytes handed out.
class LongLineFile : public std::streambuf {
 public:
  LongLineFile(std::string first, std::size_t length) : first_(std::move(first)), length_(length) {}
  std::size_t handedOut = 0;

 protected:
  int_type underflow() override {
    if (handedOut == first_.size() + length_) return traits_type::eof();
    // A block at a time, as a file gives it.
    std::size_t n = 0;
    while (n < sizeof block_ && handedOut + n < first_.size() + length_) {
      const std::size_t at = handedOut + n;
      block_[n++] = at < first_.size() ? first_[at] : 'x';
    }
    handedOut += n;
    setg(block_, block_, block_ + n);
    return traits_type::to_int_type(block_[0]);
  }

 private:
  std::string first_;
  std::size_t length_;
  char block_[4096];
};

TEST(SiteJobs, ALineTooLongIsRefusedWhileItIsRead) {
  const struct {
    std::size_t length;
    bool refused;
  } cases[] = {{kMaxJobLine, false}, {kMaxJobLine + 1, true}, {50u << 20, true}};
  for (const auto& c : cases) {
    LongLineFile file("# jobs\n", c.length);
    std::istream in(&file);
    std::vector<SiteJob> jobs;
    std::string error;
    EXPECT_FALSE(ReadSiteJobs(in, jobs, error)) << c.length;
    if (c.refused) {
      EXPECT_EQ(error, "Jobdatei Zeile 2: laenger als 65536 Bytes") << c.length;
      // Reading stops within a block after the limit, not at the line's end.
      EXPECT_LE(file.handedOut, kMaxJobLine + 2 * 4096) << c.length;
    } else {
      EXPECT_EQ(error, "Jobdatei Zeile 2: 1 Parameter statt 4 (DNL-Funktion Terminal DNL-Datei Modus)");
    }
  }
}

}  // namespace
}  // namespace zx
