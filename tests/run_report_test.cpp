// The run report's texts: the program's Windows-1252 bytes become UTF-8,
// and what JSON and the metrics format must escape is escaped, so that a
// terminal name or path of any bytes gives a document a monitor can read.
#include "driver/run_report.h"

#include <gtest/gtest.h>

#include <string>

namespace zx {
namespace {

TEST(RunReport, TextsAreUtf8AndEscapedInBothFormats) {
  const struct {
    std::string terminal;
    std::string json;    // as the JSON report writes it
    std::string label;   // as the metrics label writes it
  } cases[] = {
      {"T1", "\"T1\"", "\"T1\""},
      {"K\xE4se", "\"K\xC3\xA4se\"", "\"K\xC3\xA4se\""},                       // a-umlaut
      {"\x80uro", "\"\xE2\x82\xACuro\"", "\"\xE2\x82\xACuro\""},               // 0x80: the euro sign
      {"a\"b\\c", "\"a\\\"b\\\\c\"", "\"a\\\"b\\\\c\""},
      {"x\ny\tz\x01", "\"x\\ny\\tz\\u0001\"", "\"x\\ny\tz\x01\""},
  };
  for (const auto& c : cases) {
    RunReport report;
    report.program = "zeprink";
    report.jobs.push_back(MakeJobReport(0, "idstamm", c.terminal, "f.dnl", 0, "", JobFigures{}, 0.5, 100));
    const std::string json = ReportJson(report);
    EXPECT_NE(json.find("\"terminal\": " + c.json + ","), std::string::npos) << c.terminal << "\n" << json;
    const std::string metrics = ReportMetrics(report);
    EXPECT_NE(metrics.find("zeprink_job_success{function=\"IDSTAMM\",terminal=" + c.label +
                           ",path=\"f.dnl\"} 1\n"),
              std::string::npos)
        << c.terminal << "\n" << metrics;
  }
}

// A failed job's reason lines lose their "zeprink: " and stay one per line.
TEST(RunReport, ReasonLinesOfAFailedJob) {
  const JobReport job = MakeJobReport(4, "MGDNL17P", "T", "p", -1,
                                      "zeprink: erste Zeile\nzeprink: zweite Zeile\n", JobFigures{}, 0, 100);
  EXPECT_EQ(job.exitStatus, 255);
  EXPECT_EQ(job.reason, "erste Zeile\nzweite Zeile");
  EXPECT_EQ(job.lastSuccess, 0);
  EXPECT_EQ(job.failures, 1);
}

}  // namespace
}  // namespace zx
