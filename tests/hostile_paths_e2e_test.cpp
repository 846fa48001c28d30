// DNL paths that are not the run's to replace, and a file size limit, seen
// from outside with the real programs: a link another user planted in a
// shared directory, the run's own database or configuration file, a path
// ending in '/'. Each refused path gets its message and reason and leaves
// every file as it was; zeprink-site refuses the same paths for its jobs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/pg_fixture.h"
#include "tests/support/sqlite_fixture.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;
const std::string kConnected = "Mit Datenbank verbunden! Schema: ZARDONIX\n";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

void Put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

Outcome Zeprink(const TestSite& site, const std::string& dnlPath, const char* terminal = "HAUPTEINGANG") {
  Outcome run;
  run.status = RunProgram(ZEPRINK_BINARY, {"IDSTAMM", terminal, dnlPath, "1"}, site.work.string(),
                          run.out, StdoutMode::kCaptured, &run.err);
  return run;
}

Outcome ZeprinkSite(const TestSite& site, const std::string& jobs,
                std::optional<long long> fileSizeLimit = std::nullopt) {
  Put(site.work / "jobs.txt", jobs);
  Outcome run;
  run.status = RunProgram(ZEPRINK_SITE_BINARY, {"jobs.txt", "--quiet"}, site.work.string(), run.out,
                          StdoutMode::kCaptured, &run.err, fileSizeLimit);
  return run;
}

std::string Refused(const std::string& path) {
  return kConnected + "Downloadfile " + path + " konnte nicht geoeffnet werden!\n";
}

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Names in a directory, the temporary files a run may leave among them.
std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  return names;
}

// In a directory that everybody may write and that has the sticky bit (as
// /tmp), a link is followed only where the kernel's own rule would follow
// it: another user's link to root's file, or to where root would create
// one, is refused and names the link; the file stays as it was.
TEST(HostilePaths, ALinkInASharedDirectoryIsFollowedOnlyWhereTheKernelWould) {
  if (geteuid() != 0) GTEST_SKIP() << "a link of another user is made by root";
  SqliteDatabase lite(DemoRows());
  ASSERT_TRUE(lite.ok()) << lite.error();
  TestSite site(lite.NetService(), "geheim");
  ASSERT_TRUE(site.ok);
  const std::string kRootsFile = "root's file\n";
  const fs::path victim = site.root / "victim";
  const fs::path shared = site.work / "shared";
  const fs::path link = shared / "term.dnl";
  const struct {
    const char* what;
    mode_t directoryMode;
    uid_t directoryOwner;
    uid_t linkOwner;
    bool dangling;   // the link names a file that does not exist
    bool chained;    // the DNL path is root's own link to the link
    bool followed;
  } cases[] = {
      {"another user's link", 01777, 0, kOtherUser, false, false, false},
      {"another user's dangling link", 01777, 0, kOtherUser, true, false, false},
      {"root's own link to another user's link", 01777, 0, kOtherUser, false, true, false},
      {"root's own link", 01777, 0, 0, false, false, true},
      {"the link of the directory's owner", 01777, kOtherUser, kOtherUser, false, false, true},
      {"a world-writable directory without the sticky bit", 0777, 0, kOtherUser, false, false, true},
      {"a sticky directory only its owner may write", 01755, 0, kOtherUser, false, false, true},
  };
  for (const auto& c : cases) {
    fs::remove_all(shared);
    fs::create_directory(shared);
    ASSERT_EQ(::chown(shared.c_str(), c.directoryOwner, c.directoryOwner), 0) << c.what;
    ASSERT_EQ(::chmod(shared.c_str(), c.directoryMode), 0) << c.what;
    fs::remove(victim);
    if (!c.dangling) Put(victim, kRootsFile);
    fs::create_symlink(victim, link);
    if (::lchown(link.c_str(), c.linkOwner, c.linkOwner) != 0) GTEST_SKIP() << "no user " << kOtherUser;
    const fs::path dnl = c.chained ? site.work / "own.dnl" : link;
    fs::remove(site.work / "own.dnl");
    if (c.chained) fs::create_symlink(link, dnl);

    const Outcome r = Zeprink(site, dnl.string());
    EXPECT_TRUE(fs::is_symlink(link)) << c.what;
    EXPECT_EQ(Entries(shared), std::vector<std::string>{"term.dnl"}) << c.what;
    if (c.followed) {
      EXPECT_EQ(r.status, 0) << c.what << r.err;
      EXPECT_EQ(site.Read(victim), site.Read(link)) << c.what;
      EXPECT_TRUE(Holds(site.Read(victim), "\r\n")) << c.what << ": the DNL file written through the link";
      continue;
    }
    EXPECT_EQ(r.status, 255) << c.what;
    EXPECT_EQ(r.out, Refused(dnl.string())) << c.what;
    EXPECT_TRUE(Holds(r.err, "symbolischer Link " + link.string() + " nicht gefolgt")) << c.what << r.err;
    EXPECT_EQ(fs::exists(victim), !c.dangling) << c.what;
    if (!c.dangling) {
      EXPECT_EQ(site.Read(victim), kRootsFile) << c.what;
    }
  }

  // A site run refuses that job alone.
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(::chown(shared.c_str(), 0, 0), 0);
  Put(victim, kRootsFile);
  ASSERT_EQ(::lchown(link.c_str(), kOtherUser, kOtherUser), 0);
  const Outcome site2 = ZeprinkSite(site, "IDSTAMM HAUPTEINGANG shared/term.dnl 1\nIDSTAMM KANTINE kantine.dnl 1\n");
  EXPECT_EQ(site2.status, 255);
  EXPECT_TRUE(Holds(site2.out, "Job Zeile 1: IDSTAMM HAUPTEINGANG shared/term.dnl 1\n" +
                                   Refused("shared/term.dnl")))
      << site2.out;
  EXPECT_TRUE(Holds(site2.out, "Jobs gesamt: 2 davon erfolgreich: 1\n")) << site2.out;
  EXPECT_TRUE(Holds(site2.err, "zeprink: Zeile 1: Downloadfile ")) << site2.err;
  EXPECT_EQ(site.Read(victim), kRootsFile);
  EXPECT_FALSE(site.Read("kantine.dnl").empty());
}

// The run's database file (embedded database), its configuration file, or
// any file the run has open is no DNL file, under any name: refused,
// nothing touched, and the next run works as before.
TEST(HostilePaths, TheRunsOwnFilesAreNoDnlFile) {
  SqliteDatabase lite(DemoRows());
  ASSERT_TRUE(lite.ok()) << lite.error();
  TestSite site(lite.NetService(), "geheim");
  ASSERT_TRUE(site.ok);
  const fs::path config = site.root / "files" / "morvalent.ini";
  fs::create_hard_link(lite.path(), site.work / "hard.dnl");
  fs::create_symlink(lite.path(), site.work / "link.dnl");
  const std::string database = site.Read(lite.path());
  const std::string configuration = site.Read(config);
  const std::string kOpen = "die der Lauf offen hat";
  const std::string kConfig = "ist die Konfigurationsdatei " + config.string();
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {lite.path(), kOpen},
      {"hard.dnl", kOpen},
      {"link.dnl", kOpen},
      {"../../files/morvalent.ini", kConfig},
      {"../../files/../files/morvalent.ini", kConfig},
  };
  for (const auto& c : cases) {
    const Outcome r = Zeprink(site, c.path);
    EXPECT_EQ(r.status, 255) << c.path;
    EXPECT_EQ(r.out, Refused(c.path)) << c.path;
    EXPECT_TRUE(Holds(r.err, c.reason)) << c.path << ": " << r.err;
    EXPECT_EQ(site.Read(lite.path()), database) << c.path;
    EXPECT_EQ(site.Read(config), configuration) << c.path;
  }
  EXPECT_EQ(Zeprink(site, "after.dnl").status, 0) << "the database is intact";

  // Standard output redirected into the DNL file: the file is the run's
  // output, not replaced by the DNL content.
  std::string out;
  std::string err;
  EXPECT_EQ(RunProgram("/bin/sh", {"-c", "exec \"$0\" IDSTAMM HAUPTEINGANG log.txt 1 >log.txt", ZEPRINK_BINARY},
                       site.work.string(), out, StdoutMode::kCaptured, &err),
            255);
  EXPECT_EQ(site.Read("log.txt"), Refused("log.txt"));
  EXPECT_TRUE(Holds(err, kOpen)) << err;

  // zeprink-site: every such job fails alone.
  const Outcome all = ZeprinkSite(site, "IDSTAMM HAUPTEINGANG \"" + lite.path() +
                                        "\" 1\nIDSTAMM KANTINE ../../files/morvalent.ini 1\n"
                                        "IDSTAMM KANTINE kantine.dnl 1\n");
  EXPECT_EQ(all.status, 255);
  EXPECT_TRUE(Holds(all.out, "Jobs gesamt: 3 davon erfolgreich: 1\n")) << all.out;
  EXPECT_TRUE(Holds(all.err, "zeprink: Zeile 1: Downloadfile ") && Holds(all.err, kOpen)) << all.err;
  EXPECT_TRUE(Holds(all.err, "zeprink: Zeile 2: Downloadfile ") && Holds(all.err, kConfig)) << all.err;
  EXPECT_EQ(site.Read(lite.path()), database);
  EXPECT_EQ(site.Read(config), configuration);
  EXPECT_FALSE(site.Read("kantine.dnl").empty());

  // A server has no database file; the configuration file is refused there too.
  PgDatabase pg(DemoRows());
  ZX_REQUIRE_PG(pg);
  TestSite server(pg.NetService(), TestServer().password);
  ASSERT_TRUE(server.ok);
  const std::string serverConfiguration = server.Read(server.root / "files" / "morvalent.ini");
  const Outcome r = Zeprink(server, "../../files/morvalent.ini");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, Refused("../../files/morvalent.ini"));
  EXPECT_TRUE(Holds(r.err, "ist die Konfigurationsdatei")) << r.err;
  EXPECT_EQ(server.Read(server.root / "files" / "morvalent.ini"), serverConfiguration);
}

// "b.dnl/" names a directory, never the file b.dnl: zeprink refuses it with
// its reason, zeprink-site refuses the job file before anything runs.
TEST(HostilePaths, APathEndingInASlashNamesNoFile) {
  SqliteDatabase lite(DemoRows());
  ASSERT_TRUE(lite.ok()) << lite.error();
  TestSite site(lite.NetService(), "geheim");
  ASSERT_TRUE(site.ok);
  fs::create_directory(site.work / "dir.dnl");
  for (const bool exists : {true, false}) {
    fs::remove(site.work / "b.dnl");
    if (exists) Put(site.work / "b.dnl", "old");
    const Outcome r = Zeprink(site, "b.dnl/");
    EXPECT_EQ(r.status, 255) << exists;
    EXPECT_EQ(r.out, Refused("b.dnl/")) << exists;
    EXPECT_EQ(r.err, "zeprink: Downloadfile b.dnl/: der Pfad endet mit '/' und benennt ein Verzeichnis, "
                     "keine Datei\n")
        << exists;
    EXPECT_EQ(fs::exists(site.work / "b.dnl"), exists);
  }
  EXPECT_EQ(site.Read("b.dnl"), "");
  const Outcome directory = Zeprink(site, "dir.dnl");
  EXPECT_EQ(directory.status, 255);
  EXPECT_EQ(directory.out, Refused("dir.dnl"));
  EXPECT_TRUE(Holds(directory.err, "Is a directory")) << directory.err;

  Put(site.work / "b.dnl", "old");
  const Outcome r = ZeprinkSite(site, "IDSTAMM HAUPTEINGANG b.dnl 1\nIDSTAMM KANTINE b.dnl/ 1\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "zeprink-site: Jobdatei Zeile 2: DNL-Datei b.dnl/ endet mit '/' und benennt keine "
                   "Datei; kein Job wurde ausgefuehrt\n");
  EXPECT_EQ(site.Read("b.dnl"), "old");
}

// A file size limit (ulimit -f) fails the job whose file does not fit, as a
// full disk would: its old file stays, no temporary file is left, the
// other jobs go on.
TEST(HostilePaths, AFileSizeLimitFailsTheJobWhoseFileDoesNotFit) {
  SqliteDatabase lite(DemoRows());
  ASSERT_TRUE(lite.ok()) << lite.error();
  TestSite site(lite.NetService(), "geheim");
  ASSERT_TRUE(site.ok);
  Put(site.work / "big.dnl", "old");
  // The IDSTAMM file of HAUPTEINGANG has 1351 bytes, the MGDNL60P file of
  // KANTINE 540; each job's messages fit too.
  const Outcome r = ZeprinkSite(site, "IDSTAMM HAUPTEINGANG big.dnl 1\nMGDNL60P KANTINE small.dnl 1\n", 1000);
  EXPECT_EQ(r.status, 255) << r.err;
  EXPECT_EQ(r.out, "Job Zeile 1: IDSTAMM HAUPTEINGANG big.dnl 1\n" + kConnected +
                       "Downloadfile big.dnl konnte nicht geschrieben werden!\n"
                       "Ausweise gesamt: 11 davon in Datei gestellt: 9\n"
                       "Programmabbruch: Fehler bei Erstellung der Datei IDSTAMM!\n"
                       "Job Zeile 2: MGDNL60P KANTINE small.dnl 1\n" + kConnected +
                       "Ausweise gesamt: 16 davon in Datei gestellt: 12\n"
                       "Jobs gesamt: 2 davon erfolgreich: 1\n");
  EXPECT_TRUE(Holds(r.err, "zeprink: Zeile 1: Downloadfile ") && Holds(r.err, "File too large")) << r.err;
  EXPECT_EQ(site.Read("big.dnl"), "old");
  EXPECT_EQ(site.Read("small.dnl").size(), 540u);
  std::vector<std::string> files = Entries(site.work);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"big.dnl", "jobs.txt", "small.dnl"}));
}

}  // namespace
}  // namespace zx::test
