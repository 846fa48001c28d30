// Every program's command line as an operator meets it: --help and
// --version, the usual mistakes, a site directory and a directory outside
// it, --config. One table of command lines, each with the exit status and
// the first line of standard error that the common convention gives.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/config_file.h"
#include "tests/support/e2e.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;

// A site on the demo database: ROOT/files/morvalent.ini, the working
// directory ROOT/site/run, and ROOT/elsewhere/a/b, a directory that has no
// configuration two levels up.
class Site {
 public:
  explicit Site(const SqliteDatabase& db) {
    char pattern[] = "/tmp/zeprink-tools-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) return;
    root_ = made;
    fs::create_directories(root_ / "files");
    fs::create_directories(root_ / "site" / "run");
    fs::create_directories(root_ / "elsewhere" / "a" / "b");
    std::ofstream(root_ / "site" / "run" / "jobs") << "IDSTAMM HAUPTEINGANG site.dnl 1\n";
    std::ofstream(root_ / "site" / "run" / "jobs-l") << "IDSTAMM HAUPTEINGANG site-l.dnl l\n";
    ok_ = WriteConfigFile(Config(), {{"LOGIN", "zeprink"}, {"PASS", "geheim"}, {"NET8", db.NetService()},
                                     {"DB_SYSTEM", "ORACLE"}, {"SCHEMA", "ZARDONIX;"}},
                          &error_);
  }
  ~Site() {
    if (!root_.empty()) fs::remove_all(root_);
  }
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  std::string Root() const { return root_.string(); }
  std::string Config() const { return (root_ / "files" / "morvalent.ini").string(); }
  std::string Run() const { return (root_ / "site" / "run").string(); }
  std::string Elsewhere() const { return (root_ / "elsewhere" / "a" / "b").string(); }

 private:
  fs::path root_;
  bool ok_ = false;
  std::string error_;
};

std::string Replaced(std::string text, const std::string& what, const std::string& by) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + by.size())) {
    text.replace(at, what.size(), by);
  }
  return text;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(ToolCommandLines, EveryProgramFollowsOneConvention) {
  const SqliteDatabase db(DemoRows());
  ASSERT_TRUE(db.ok()) << db.error();
  const Site site(db);
  ASSERT_TRUE(site.ok()) << site.error();
  const std::string zeprink = ZEPRINK_BINARY;
  const std::string site_ = ZEPRINK_SITE_BINARY;
  const std::string config = ZEPRINK_CONFIG_BINARY;
  const std::string show = ZEPRINK_SHOW_BINARY;
  const std::string explain = ZEPRINK_EXPLAIN_BINARY;
  const std::string missing = "@ROOT/elsewhere/files/morvalent.ini";
  const struct {
    const std::string& program;
    std::vector<std::string> args;  // "@CFG": the configuration file, "@RUN": the working directory
    bool inSite;                    // run in the site's working directory, else elsewhere
    int status;
    std::string err;  // the first line of standard error ("@ROOT": the site); "" for none
    std::string out;  // the start of standard output
  } cases[] = {
      // --help and --version: standard output, status 0.
      {zeprink, {"--help"}, false, 0, "", "Aufruf: zeprink [--config DATEI] [--report DATEI] [--metrics DATEI] DNL-FUNKTION"},
      {zeprink, {"--version"}, false, 0, "", "zeprink 1.0.0\n"},
      {site_, {"--help"}, false, 0, "", "Aufruf: zeprink-site JOBDATEI"},
      {site_, {"--version"}, false, 0, "", "zeprink-site 1.0.0\n"},
      {config, {"--help"}, false, 0, "", "usage:\n"},
      {config, {"--version"}, false, 0, "", "zeprink-config 1.0.0\n"},
      // zeprink-show's usage names every layout in a paragraph wrapped as the rest.
      {show, {"--help"}, false, 0, "",
       "usage:\n"
       "  zeprink-show [--layout NAME] [--format table|csv|json] [--badge NUMBER] [--show-pins] FILE\n"
       "  zeprink-show --diff [--layout NAME] [--show-pins] OLD NEW\n"
       "  zeprink-show --help | --version\n"
       "\n"
       "Shows the records of a DNL file, one per line, with the fields of its layout named;\n"
       "Windows-1252 text is shown as UTF-8. The layout (MGDNL17P, MGDNL18P, MGDNL31P, MGDNL60P,\n"
       "IDSTAMM) is recognised from the file's content and size unless --layout names it; a file\n"
       "that could be more than one layout, or none, is refused.\n"
       "\n"
       "--format "},
      {show, {"--version"}, false, 0, "", "zeprink-show 1.0.0\n"},
      {explain, {"--help"}, false, 0, "", "Aufruf:\n"},
      {explain, {"--version"}, false, 0, "", "zeprink-explain 1.0.0\n"},
      // A bad command line: 255 and one line that says what is wrong.
      {zeprink, {}, true, 255, "zeprink: 0 Parameter, mindestens 4 noetig: DNL-Funktion, Terminal, "
                               "DNL-Datei, Modus (zeprink --help)", "Anzahl Parameter"},
      {site_, {}, true, 255, "zeprink-site: keine Jobdatei angegeben (zeprink-site --help)", ""},
      {site_, {"--bogus"}, true, 255, "zeprink-site: unbekannte Option --bogus (zeprink-site --help)", ""},
      {config, {}, true, 255, "zeprink-config: no command given (zeprink-config --help shows the usage)", ""},
      {config, {"frobnicate"}, true, 255,
       "zeprink-config: unknown command 'frobnicate' (zeprink-config --help shows the usage)", ""},
      {show, {}, true, 255, "zeprink-show: one FILE expected (zeprink-show --help)", ""},
      {show, {"--bogus", "x"}, true, 255, "zeprink-show: unknown option --bogus (zeprink-show --help)", ""},
      {explain, {}, true, 255, "zeprink-explain: TERMINAL und AUSWEIS erwartet (zeprink-explain --help)", ""},
      {explain, {"--bogus"}, true, 255,
       "zeprink-explain: unbekannte Option --bogus (zeprink-explain --help)", ""},
      // What the program refuses, the tools refuse: an unknown terminal.
      {zeprink, {"IDSTAMM", "HAUPTEINGNG", "x.dnl", "1"}, true, 255,
       "zeprink: Terminal HAUPTEINGNG steht weder in Zdx1140Trm noch in Zdx115Tfz "
       "(Gross-/Kleinschreibung zaehlt)", "Mit Datenbank verbunden!"},
      {explain, {"HAUPTEINGNG", "10001"}, true, 255,
       "zeprink-explain: Terminal HAUPTEINGNG unbekannt: weder in Zdx1140Trm noch in Zdx115Tfz "
       "(Groß-/Kleinschreibung zählt); das Programm schreibt keine Datei", ""},
      {explain, {"HAUPTEINGANG", "10001"}, true, 0, "", "Ausweis 10001 auf Terminal HAUPTEINGANG"},
      // A mode that is neither 1 nor 0 appends, as ever, and says so.
      {zeprink, {"IDSTAMM", "HAUPTEINGANG", "x.dnl", "l"}, true, 0,
       "zeprink: Warnung: Modus \"l\" ist weder 1 noch 0: die Datei wird angehaengt (nur 1 schreibt "
       "sie neu)", "Mit Datenbank verbunden!"},
      {site_, {"jobs-l", "--quiet"}, true, 0,
       "zeprink: Zeile 1: Warnung: Modus \"l\" ist weder 1 noch 0: die Datei wird angehaengt (nur 1 "
       "schreibt sie neu)", "Job Zeile 1:"},
      // A directory is no DNL file to show.
      {show, {"@RUN"}, true, 255, "zeprink-show: cannot read @ROOT/site/run: Is a directory", ""},
      // Outside a site directory: the missing configuration file is named.
      {zeprink, {"IDSTAMM", "HAUPTEINGANG", "x.dnl", "1"}, false, 255,
       "zeprink: Konfigurationsdatei " + missing + " nicht lesbar (No such file or directory), daher "
       "keine Anmeldedaten", "DB-Connect-Error"},
      {site_, {"@RUN/jobs", "--quiet"}, false, 255,
       "zeprink: Zeile 1: Konfigurationsdatei " + missing + " nicht lesbar (No such file or directory), daher "
       "keine Anmeldedaten", ""},
      {config, {"check"}, false, 255,
       "zeprink-config: cannot read " + missing + ": No such file or directory", ""},
      {explain, {"HAUPTEINGANG", "10001"}, false, 255,
       "zeprink-explain: Konfigurationsdatei " + missing + " nicht lesbar (No such file or directory); "
       "im Arbeitsverzeichnis des Programms starten oder --config DATEI angeben", ""},
      // ... and --config names the file wherever the program runs.
      {zeprink, {"--config", "@CFG", "IDSTAMM", "HAUPTEINGANG", "x.dnl", "1"}, false, 0, "",
       "Mit Datenbank verbunden!"},
      {site_, {"@RUN/jobs", "--quiet", "--config", "@CFG"}, false, 0, "zeprink: geaendert: Zeile 1: site.dnl", "Job Zeile 1:"},
      {config, {"check", "--config", "@CFG"}, false, 0, "", "file:      @ROOT/files/morvalent.ini\n"},
      {explain, {"--config", "@CFG", "HAUPTEINGANG", "10001"}, false, 0, "", "Ausweis 10001 auf Terminal HAUPTEINGANG"},
      // A reason stays one line of printable text, whatever the name holds;
      // standard output keeps the system's message as it is.
      {zeprink, {"IDSTAMM", "A\rB\x1b[2J", "x.dnl", "1"}, true, 255,
       "zeprink: Terminal A\\rB\\x1b[2J steht weder in Zdx1140Trm noch in Zdx115Tfz "
       "(Gross-/Kleinschreibung zaehlt)", "Mit Datenbank verbunden! Schema: ZARDONIX\nTerminal A\rB\x1b[2J unbekannt!\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
      args.push_back(Replaced(Replaced(arg, "@CFG", site.Config()), "@RUN", site.Run()));
    }
    std::string what = fs::path(c.program).filename().string();
    for (const std::string& arg : c.args) what += " " + arg;
    std::string out;
    std::string err;
    const int status = RunProgram(c.program, args, c.inSite ? site.Run() : site.Elsewhere(), out,
                                  StdoutMode::kCaptured, &err);
    EXPECT_EQ(status, c.status) << what << "\n" << err;
    EXPECT_EQ(Replaced(FirstLine(err), site.Root(), "@ROOT"), c.err) << what;
    const std::string expectedOut = Replaced(c.out, "@ROOT", site.Root());
    EXPECT_EQ(out.substr(0, expectedOut.size()), expectedOut) << what;
    if (c.status == 0 && c.err.empty()) {
      EXPECT_EQ(err, "") << what;
    }
  }
}

}  // namespace
}  // namespace zx::test
