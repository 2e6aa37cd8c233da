// The installer wizard through the real program on the headless host, on installation sets
// that quorvex-show writes: the pages, the copy over one or more disks with its gauge, the
// finish steps, the uninstall, and names from the show that try to leave the Windows
// directory.
#include "platform/paths.h"
#include "scenario_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSetup = "BIRDSETUP.EXE";
constexpr const char* kCreateFailed = "Could not create destination file.\r\rInstallation aborted.";

// Bytes that differ from file to file, so that a copy from the wrong place shows.
std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        out[i] = static_cast<uint8_t>(seed >> 16);
    }
    return out;
}

struct Extra {
    std::string Name;
    size_t Size;
};

struct SetSpec {
    std::string SaverFileName = "Night Birds";
    std::vector<Extra> Extras;
    int64_t DiskSize = 0;
    bool ReadMe = false;
    bool Licence = false;
    nlohmann::json Header = nlohmann::json::object(); // more header fields (ShowDataSize ...)
};

// The manifest of a small slideshow with the set's installation data.
nlohmann::json Manifest(const TempDir& dir, const SetSpec& spec) {
    const fs::path m = dir / "manifest";
    fs::create_directories(m);
    WritePngFile(m / "picture0.png", BandedPicture(16, 12, {0x20A040, 0xE0E020}));
    nlohmann::json inst = {{"Setup", kSetup}};
    if (spec.DiskSize > 0) {
        inst["DiskSize"] = spec.DiskSize;
    }
    inst["ExtraFiles"] = nlohmann::json::array();
    for (size_t i = 0; i < spec.Extras.size(); ++i) {
        const std::string file = "extra" + std::to_string(i) + ".bin";
        WriteFile(m / file, Pattern(spec.Extras[i].Size, static_cast<uint32_t>(i + 7)));
        inst["ExtraFiles"].push_back({{"File", file}, {"Name", spec.Extras[i].Name}});
    }
    if (spec.ReadMe) {
        WriteText(m / "readme-source.txt", "Night Birds\r\nA show of birds at night.\r\n");
        inst["ReadMe"] = "readme-source.txt";
    }
    if (spec.Licence) {
        WriteText(m / "licence-source.txt", "Share it freely.\n");
        inst["Licence"] = "licence-source.txt";
    }
    nlohmann::json manifest = {
        {"SaverTitle", "Night Birds"},
        {"SaverFileName", spec.SaverFileName},
        {"TransitionType", 2},
        {"AboutText", "Birds|at night"},
        {"ClientText", "Made for|testing"},
        {"LogoKind", 3},
        {"Parameters",
         {{"PictureNumbers", {0}}, {"RandomPlacement", 0}, {"HoldTime", 300}, {"EffectTime", 100}}},
        {"Pictures", {{{"File", "picture0.png"}}}},
        {"Installation", inst}};
    manifest.update(spec.Header);
    return manifest;
}

fs::path SetDir(const TempDir& dir) {
    return dir / "set";
}
fs::path WindowsDir(const TempDir& dir) {
    return dir / "root" / "windows";
}

// Writes the set with quorvex-show; returns the tool's result.
RunResult WriteSet(const TempDir& dir, const SetSpec& spec) {
    const nlohmann::json manifest = Manifest(dir, spec);
    WriteText(dir / "manifest" / "set.json", manifest.dump(2));
    return Run(QV_SHOW_TOOL,
               {"build", (dir / "manifest" / "set.json").string(), "--set=" + SetDir(dir).string(),
                std::string("--player=") + QV_PLAYER},
               dir.Path());
}

// The size of the show that a set's disk 1 begins with.
size_t ShowSize(const TempDir& dir, const SetSpec& spec) {
    const nlohmann::json manifest = Manifest(dir, spec);
    WriteText(dir / "manifest" / "size.json", manifest.dump(2));
    const fs::path out = dir / "manifest" / "size.qdm";
    const RunResult r =
        Run(QV_SHOW_TOOL, {"build", (dir / "manifest" / "size.json").string(), "-o", out.string()},
            dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return fs::exists(out) ? fs::file_size(out) : 0;
}

PlayerRun RunSetup(const TempDir& dir, const std::string& events,
                   const std::vector<std::string>& options = {}) {
    const fs::path trace = dir / "trace.jsonl";
    fs::remove(trace);
    fs::create_directories(dir / "root");
    WriteText(dir / "events.txt", events);
    std::vector<std::string> args = {"--display=headless", "--root=" + (dir / "root").string(),
                                     "--trace=" + trace.string(), "--size=640x480",
                                     "--events=" + (dir / "events.txt").string()};
    args.insert(args.end(), options.begin(), options.end());
    PlayerRun run;
    run.Result = Run(SetDir(dir) / kSetup, args, dir.Path(), 60000);
    run.Trace = fs::exists(trace) ? ReadTrace(trace) : std::vector<nlohmann::json>{};
    return run;
}

std::vector<std::string> Messages(const PlayerRun& run) {
    std::vector<std::string> out;
    for (const auto& e : Events(run.Trace, "msgbox")) {
        out.push_back(e["text"].get<std::string>());
        EXPECT_EQ(e["caption"], "Night Birds");
    }
    return out;
}

std::vector<int32_t> Gauges(const PlayerRun& run) {
    std::vector<int32_t> out;
    for (const auto& e : Events(run.Trace, "gauge")) {
        out.push_back(e["value"].get<int32_t>());
    }
    return out;
}

// The gauge as the copies set it, worked out from the sizes alone: the program copy, then
// the data stream's destinations over the disk files, blocks of 4096 bytes, and the rule
// start + (end - start) / (initial / copied).
std::vector<int32_t> ExpectedGauges(int64_t programSize, const std::vector<int64_t>& disks,
                                    const std::vector<int64_t>& destinations) {
    std::vector<int32_t> out;
    int32_t shown = 0;
    const auto progress = [&](int64_t start, int64_t end, int64_t initial, int64_t copied) {
        if (copied == 0) {
            return;
        }
        const int64_t parts = initial / copied;
        const auto v = static_cast<int32_t>(
            std::clamp<int64_t>(parts == 0 ? end : start + (end - start) / parts, 0, 100));
        if (v != shown) {
            shown = v;
            out.push_back(v);
        }
    };
    int64_t total = 250000;
    for (const int64_t d : destinations) {
        total += d;
    }
    const int64_t p = total / 100;
    for (int64_t copied = 0; copied < programSize;) {
        copied += std::min<int64_t>(4096, programSize - copied);
        progress(0, 250000 / p, programSize, copied);
    }
    int64_t done = 250000;
    size_t disk = 0;
    int64_t left = disks[0];
    for (int64_t remaining : destinations) {
        for (;;) {
            const int64_t start = done / p;
            const int64_t end = (done + remaining) / p;
            const int64_t initial = remaining;
            int64_t copied = 0;
            for (;;) {
                const int64_t n = std::min({int64_t{4096}, remaining, left});
                left -= n;
                remaining -= n;
                copied += n;
                progress(start, end, initial, copied);
                if (n == 0) {
                    break;
                }
            }
            done += copied;
            if (remaining == 0) {
                break;
            }
            left = disks.at(++disk);
        }
    }
    return out;
}

std::vector<int64_t> DiskSizes(const TempDir& dir) {
    std::vector<int64_t> out{static_cast<int64_t>(fs::file_size(SetDir(dir) / "BIRDSETUP.qdm"))};
    for (int n = 2; fs::exists(SetDir(dir) / ("BIRDSETUP." + std::to_string(n))); ++n) {
        out.push_back(
            static_cast<int64_t>(fs::file_size(SetDir(dir) / ("BIRDSETUP." + std::to_string(n)))));
    }
    return out;
}

// Checks what a completed installation leaves: the copies, system.ini with a short path
// that leads to the installed saver, the finish events in order.
void ExpectInstalled(const TempDir& dir, const PlayerRun& run, const SetSpec& spec,
                     size_t showDataSize) {
    const fs::path win = WindowsDir(dir);
    EXPECT_EQ(ReadFile(win / (spec.SaverFileName + ".SCR")), ReadFile(QV_PLAYER));
    std::vector<uint8_t> stream;
    for (int n = 1;; ++n) {
        const fs::path f = SetDir(dir) / (n == 1 ? std::string("BIRDSETUP.qdm")
                                                 : "BIRDSETUP." + std::to_string(n));
        if (!fs::exists(f)) {
            break;
        }
        const auto bytes = ReadFile(f);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    ASSERT_GE(stream.size(), showDataSize);
    EXPECT_EQ(ReadFile(win / (spec.SaverFileName + ".qdm")),
              std::vector<uint8_t>(stream.begin(),
                                   stream.begin() + static_cast<std::ptrdiff_t>(showDataSize)));
    for (size_t i = 0; i < spec.Extras.size(); ++i) {
        EXPECT_EQ(ReadFile(win / spec.Extras[i].Name),
                  Pattern(spec.Extras[i].Size, static_cast<uint32_t>(i + 7)))
            << spec.Extras[i].Name;
    }
    // The installed saver runs: executable, and it finds its show under its own name.
    EXPECT_EQ(fs::status(win / (spec.SaverFileName + ".SCR")).permissions() & fs::perms::owner_exec,
              fs::perms::owner_exec);
    const auto writes = Events(run.Trace, "profile-write");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0]["section"], "BOOT");
    EXPECT_EQ(writes[0]["key"], "SCRNSAVE.EXE");
    const std::string shortPath = writes[0]["value"];
    EXPECT_EQ(ReadText(win / "system.ini"), "[BOOT]\nSCRNSAVE.EXE=" + shortPath + "\n");
    const PathMap paths(dir / "root");
    EXPECT_EQ(paths.Resolve(shortPath), win / (spec.SaverFileName + ".SCR"));
    // Every component of it is a short name.
    std::string rest = shortPath.substr(3);
    for (size_t at; !rest.empty(); rest = at == std::string::npos ? "" : rest.substr(at + 1)) {
        at = rest.find('\\');
        EXPECT_TRUE(IsShortName(rest.substr(0, at))) << rest.substr(0, at);
    }
    const int64_t finished =
        EventTime(run.Trace, "msgbox", {{"text", "Installation of 'Night Birds' complete."}});
    EXPECT_NE(finished, -1);
    EXPECT_EQ(EventTime(run.Trace, "spi", {{"action", 17}, {"value", 1}}), finished);
    EXPECT_EQ(EventTime(run.Trace, "winexec",
                        {{"command", "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,1"},
                         {"show", 1},
                         {"ran", false}}),
              finished);
    EXPECT_EQ(EventTime(run.Trace, "form-close", {{"form", "TfrmInst"}, {"result", "ok"}}),
              finished);
    // The saver, started as the desktop would by that path, plays the show.
    const PlayerRun saver{Run(win / (spec.SaverFileName + ".SCR"),
                              {"/s", "--display=headless", "--root=" + (dir / "root").string(),
                               "--duration=200", "--trace=" + (dir / "saver.jsonl").string()},
                              dir.Path(), 60000),
                          {}};
    EXPECT_EQ(saver.Result.ExitCode, 0) << saver.Result.Err;
    EXPECT_NE(EventTime(ReadTrace(dir / "saver.jsonl"), "role", {{"role", "full-screen"}}), -1);
}

TEST(Installer, OneDiskSetInstallsTheSaverItsShowAndTheExtraFile) {
    TempDir dir;
    SetSpec spec;
    spec.Extras = {{"birds.dat", 9000}};
    const RunResult tool = WriteSet(dir, spec);
    ASSERT_EQ(tool.ExitCode, 0) << tool.Err;
    EXPECT_EQ(DiskSizes(dir).size(), 1u);
    const size_t show = ShowSize(dir, spec);
    // Without read-me and licence Next goes straight to the last page, and Finish installs.
    const PlayerRun run = RunSetup(dir, "10 click btnInstall\n20 click btnInstall\n");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_EQ(Messages(run), std::vector<std::string>{"Installation of 'Night Birds' complete."});
    ExpectInstalled(dir, run, spec, show);
    EXPECT_EQ(Gauges(run), ExpectedGauges(static_cast<int64_t>(fs::file_size(QV_PLAYER)),
                                          DiskSizes(dir), {static_cast<int64_t>(show), 9000}));
    EXPECT_EQ(EventTime(run.Trace, "cursor", {{"cursor", "hourglass"}}), 20);
}

TEST(Installer, ThreeDiskSetContinuesAcrossDisksAndAsksForAMissingOne) {
    TempDir dir;
    SetSpec spec;
    spec.Extras = {{"birds.dat", 0}, {"songs.dat", 700}};
    const size_t show = ShowSize(dir, spec);
    // Extra file 0 starts on disk 1, fills disk 2 and ends exactly at its end; extra
    // file 1 then begins with an empty read and lies on disk 3.
    spec.DiskSize = static_cast<int64_t>(show) + 1000;
    spec.Extras[0].Size = 2 * static_cast<size_t>(spec.DiskSize) - show;
    const RunResult tool = WriteSet(dir, spec);
    ASSERT_EQ(tool.ExitCode, 0) << tool.Err;
    const std::vector<int64_t> disks = DiskSizes(dir);
    ASSERT_EQ(disks, (std::vector<int64_t>{spec.DiskSize, spec.DiskSize, 700}));

    // Disk 3 is not there yet: the request for it, cancelled.
    fs::rename(SetDir(dir) / "BIRDSETUP.3", dir / "disk3");
    PlayerRun run =
        RunSetup(dir, "10 click btnInstall\n20 click btnInstall\nanswer msgbox CANCEL\n");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_EQ(Messages(run),
              (std::vector<std::string>{"Please insert disk 3 of 3 of 'Night Birds'.",
                                        "Installation of 'Night Birds' aborted."}));
    EXPECT_EQ(Events(run.Trace, "msgbox")[0]["flags"], 1);
    EXPECT_EQ(Events(run.Trace, "msgbox")[1]["flags"], 64);
    // What was copied stays; nothing made it the current saver.
    EXPECT_EQ(ReadFile(WindowsDir(dir) / "birds.dat"), Pattern(spec.Extras[0].Size, 7));
    EXPECT_TRUE(Events(run.Trace, "profile-write").empty());
    EXPECT_TRUE(Events(run.Trace, "spi").empty());

    // Asked again with OK and the disk still away, by a script that has nothing more to
    // say: the user has gone, which counts as a cancel, not a question for ever.
    run = RunSetup(dir, "10 click btnInstall\n20 click btnInstall\nanswer msgbox OK\n");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_EQ(Messages(run).back(), "Installation of 'Night Birds' aborted.");

    // With every disk there the installation runs through.
    fs::rename(dir / "disk3", SetDir(dir) / "BIRDSETUP.3");
    fs::remove_all(WindowsDir(dir));
    run = RunSetup(dir, "10 click btnInstall\n20 click btnInstall\n");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_EQ(Messages(run), std::vector<std::string>{"Installation of 'Night Birds' complete."});
    ExpectInstalled(dir, run, spec, show);
    const auto gauges = Gauges(run);
    EXPECT_EQ(gauges, ExpectedGauges(static_cast<int64_t>(fs::file_size(QV_PLAYER)), disks,
                                     {static_cast<int64_t>(show),
                                      static_cast<int64_t>(spec.Extras[0].Size), 700}));
    EXPECT_EQ(gauges.back(), 100);
}

TEST(Installer, DiskCountOneWithDataBeyondDiskOneEndsWithTheErrorAndAsksForNoDisk) {
    TempDir dir;
    SetSpec spec;
    spec.Extras = {{"birds.dat", 5000}};
    spec.DiskSize = 4000;
    spec.Header = {{"DiskCount", 1}};
    const RunResult tool = WriteSet(dir, spec);
    ASSERT_EQ(tool.ExitCode, 0) << tool.Err;
    EXPECT_NE(tool.Err.find("DiskCount: 1 as given"), std::string::npos) << tool.Err;
    const PlayerRun run = RunSetup(dir, "10 click btnInstall\n20 click btnInstall\n");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_EQ(Messages(run),
              std::vector<std::string>{"An error occured during screen saver installation.\r"
                                       "Installation of 'Night Birds' aborted."});
    EXPECT_TRUE(Events(run.Trace, "profile-write").empty());
}

TEST(Installer, ShowDataSizeZeroInstallsTheWholeOfDiskOne) {
    TempDir dir;
    SetSpec spec;
    spec.Header = {{"ShowDataSize", 0}};
    const RunResult tool = WriteSet(dir, spec);
    ASSERT_EQ(tool.ExitCode, 0) << tool.Err;
    const PlayerRun run = RunSetup(dir, "10 click btnInstall\n20 click btnInstall\n");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_EQ(ReadFile(WindowsDir(dir) / "Night Birds.qdm"),
              ReadFile(SetDir(dir) / "BIRDSETUP.qdm"));
    EXPECT_EQ(Messages(run), std::vector<std::string>{"Installation of 'Night Birds' complete."});
}

TEST(Installer, PagesSkipAMissingReadMeOrLicenceInTheDirectionOfTravel) {
    const struct {
        const char* Name;
        bool ReadMe, Licence;
        const char* Events;
        std::vector<int> Pages;
        std::vector<std::string> InstallCaptions;
    } cases[] = {
        {"neither",
         false,
         false,
         "10 click btnInstall\n20 click btnUninstall\n30 click btnCancel\n",
         {3, 0},
         {"&Finish", "&Next >"}},
        {"licence only",
         false,
         true,
         "10 click btnInstall\n20 click btnInstall\n30 click btnUninstall\n40 click btnUninstall\n"
         "50 click btnCancel\n",
         {2, 3, 2, 0},
         {"&Accept >", "&Finish", "&Accept >", "&Next >"}},
        {"both",
         true,
         true,
         "10 click btnInstall\n20 click btnInstall\n30 click btnInstall\n40 click btnUninstall\n"
         "50 click btnUninstall\n60 click btnUninstall\n70 key-down ESCAPE\n",
         {1, 2, 3, 2, 1, 0},
         {"&Next >", "&Accept >", "&Finish", "&Accept >", "&Next >", "&Next >"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        SetSpec spec;
        spec.ReadMe = c.ReadMe;
        spec.Licence = c.Licence;
        ASSERT_EQ(WriteSet(dir, spec).ExitCode, 0);
        const PlayerRun run = RunSetup(dir, c.Events);
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        std::vector<int> pages;
        std::vector<std::string> captions;
        for (const auto& e : Events(run.Trace, "installer-page")) {
            pages.push_back(e["page"]);
            captions.push_back(e["btnInstall"]);
            const bool first = e["page"] == 0;
            // The left button is Back on every page but the first, where it is the uninstall.
            EXPECT_EQ(e["btnUninstall"], first ? "&UnInstall" : "< &Back");
            EXPECT_EQ(e["back"], !first);
            EXPECT_EQ(e["memo"], e["page"] == 1 || e["page"] == 2);
        }
        EXPECT_EQ(pages, c.Pages);
        EXPECT_EQ(captions, c.InstallCaptions);
        // Cancel or Escape closes the wizard; nothing was installed.
        EXPECT_NE(EventTime(run.Trace, "form-close", {{"result", "cancel"}}), -1);
        EXPECT_FALSE(fs::exists(WindowsDir(dir) / "Night Birds.SCR"));
        const auto shown = Events(run.Trace, "form-show");
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0]["caption"], "Night Birds Setup");
        EXPECT_EQ(shown[0]["client"], nlohmann::json::array({472, 316}));
        for (const auto& control : shown[0]["controls"]) {
            if (control["name"] == "btnUninstall") {
                EXPECT_EQ(control["caption"], "&Uninstall");
                EXPECT_FALSE(control["enabled"].get<bool>());
            }
        }
    }
}

TEST(Installer, AnEarlierInstallationEnablesUninstallAndIsReplaced) {
    TempDir dir;
    SetSpec spec;
    ASSERT_EQ(WriteSet(dir, spec).ExitCode, 0);
    fs::create_directories(WindowsDir(dir));
    WriteText(WindowsDir(dir) / "NIGHT BIRDS.SCR", "an old saver");
    WriteText(WindowsDir(dir) / "night birds.QDM", "an old show");
    const PlayerRun run = RunSetup(dir, "10 click btnInstall\n20 click btnInstall\n");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const auto shown = Events(run.Trace, "form-show");
    ASSERT_EQ(shown.size(), 1u);
    for (const auto& control : shown[0]["controls"]) {
        if (control["name"] == "btnUninstall") {
            EXPECT_TRUE(control["enabled"].get<bool>());
        }
    }
    // The old files were found under other cases, deleted and written anew.
    EXPECT_EQ(ReadFile(WindowsDir(dir) / "Night Birds.SCR"), ReadFile(QV_PLAYER));
    EXPECT_EQ(ReadFile(WindowsDir(dir) / "Night Birds.qdm"),
              ReadFile(SetDir(dir) / "BIRDSETUP.qdm"));
    EXPECT_EQ(std::distance(fs::directory_iterator(WindowsDir(dir)), fs::directory_iterator()), 4);
}

TEST(Uninstall, RemovesTheSaverAndItsSettingsAndLeavesTheRest) {
    const struct {
        const char* Name;
        bool Program;
    } cases[] = {{"saver and show", true}, {"only the show file left", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        SetSpec spec;
        spec.Extras = {{"birds.dat", 100}};
        ASSERT_EQ(WriteSet(dir, spec).ExitCode, 0);
        const fs::path win = WindowsDir(dir);
        fs::create_directories(win);
        if (c.Program) {
            WriteText(win / "Night Birds.SCR", "saver");
        }
        WriteText(win / "Night Birds.qdm", "show");
        WriteText(win / "birds.dat", "extra");
        const std::string systemIni = "[BOOT]\nSCRNSAVE.EXE=Z:\\X\\NIGHTB~1.SCR\n";
        WriteText(win / "system.ini", systemIni);
        WriteText(win / "control.ini",
                  "[Screen Saver.Other]\nSpeed=9\n[Screen Saver.Night Birds]\nSpeed=80\nSound=0\n");
        const PlayerRun run = RunSetup(dir, "10 click btnUninstall\n");
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        EXPECT_EQ(Gauges(run), (std::vector<int32_t>{34, 67, 100}));
        EXPECT_EQ(Messages(run),
                  std::vector<std::string>{"'Night Birds' successfully Uninstalled."});
        EXPECT_FALSE(fs::exists(win / "Night Birds.SCR"));
        EXPECT_FALSE(fs::exists(win / "Night Birds.qdm"));
        EXPECT_EQ(ReadText(win / "birds.dat"), "extra");
        EXPECT_EQ(ReadText(win / "system.ini"), systemIni);
        EXPECT_EQ(ReadText(win / "control.ini"), "[Screen Saver.Other]\nSpeed=9\n");
        EXPECT_EQ(Events(run.Trace, "file-delete").size(), c.Program ? 2u : 1u);

        // The next settings dialog of that saver starts from the defaults, and OK saves them.
        WriteFile(dir / "birds.qdm", ReadFile(SetDir(dir) / "BIRDSETUP.qdm"));
        fs::create_symlink(QV_PLAYER, dir / "birds.scr");
        WriteText(dir / "ok.txt", "10 click btnOK\n");
        const RunResult settings =
            qv::test::Run(dir / "birds.scr",
                          {"/c", "--display=headless", "--root=" + (dir / "root").string(),
                           "--events=" + (dir / "ok.txt").string()},
                          dir.Path(), 60000);
        EXPECT_EQ(settings.ExitCode, 0) << settings.Err;
        EXPECT_EQ(ReadText(win / "control.ini"), "[Screen Saver.Other]\nSpeed=9\n\n"
                                                 "[Screen Saver.Night Birds]\nSpeed=50\nSound=1\n");
    }
}

TEST(Installer, AFailedSystemIniWriteIsReportedAndTheWizardStays) {
    TempDir dir;
    SetSpec spec;
    ASSERT_EQ(WriteSet(dir, spec).ExitCode, 0);
    // A folder where system.ini would be written.
    fs::create_directories(WindowsDir(dir) / "system.ini");
    const PlayerRun run =
        RunSetup(dir, "10 click btnInstall\n20 click btnInstall\n30 click btnCancel\n");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const auto boxes = Events(run.Trace, "msgbox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["text"], "Unable to write to system.ini");
    EXPECT_EQ(boxes[0]["caption"], "Screen Saver");
    // The rest of the finish is skipped; the buttons stay disabled, so Cancel does nothing
    // and the wizard stays until its script ends.
    EXPECT_TRUE(Events(run.Trace, "spi").empty());
    EXPECT_TRUE(Events(run.Trace, "winexec").empty());
    EXPECT_EQ(EventTime(run.Trace, "form-close", {{"result", "ok"}}), -1);
    EXPECT_NE(EventTime(run.Trace, "form-abandoned", {{"form", "TfrmInst"}}), -1);
    EXPECT_TRUE(fs::exists(WindowsDir(dir) / "Night Birds.SCR"));
}

// Every file and folder under a folder, with its size, for before-and-after comparisons.
std::map<std::string, uintmax_t> Listing(const fs::path& top) {
    std::map<std::string, uintmax_t> out;
    for (const auto& e : fs::recursive_directory_iterator(top)) {
        out[e.path().lexically_relative(top).string()] =
            e.is_regular_file() ? e.file_size() : static_cast<uintmax_t>(-1);
    }
    return out;
}

TEST(Installer, NamesThatLeaveTheWindowsDirectoryAreRefused) {
    const struct {
        const char* SaverFileName;
        const char* ExtraName;
    } cases[] = {
        {"..\\..\\evil", "birds.dat"}, {"/tmp/evil", "birds.dat"}, {"C:\\x", "birds.dat"},
        {"a/b", "birds.dat"},          {"", "birds.dat"},          {"Night Birds", "../x"},
        {"Night Birds", ".."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.SaverFileName) + " / " + c.ExtraName);
        TempDir dir;
        SetSpec spec;
        spec.SaverFileName = c.SaverFileName;
        spec.Extras = {{c.ExtraName, 300}};
        const RunResult tool = WriteSet(dir, spec);
        ASSERT_EQ(tool.ExitCode, 0) << tool.Err;
        EXPECT_NE(tool.Err.find("the player refuses"), std::string::npos) << tool.Err;
        // The uninstall must not be offered for a file outside either.
        WriteText(dir / "evil.SCR", "not ours");
        fs::create_directories(dir / "root" / "windows");
        ASSERT_FALSE(fs::exists("/tmp/evil.SCR"));
        const auto before = Listing(dir.Path());
        const PlayerRun run =
            RunSetup(dir, "5 click btnUninstall\n10 click btnInstall\n20 click btnInstall\n");
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        EXPECT_EQ(Messages(run), std::vector<std::string>{kCreateFailed});
        EXPECT_TRUE(Events(run.Trace, "file-delete").empty());
        EXPECT_TRUE(Events(run.Trace, "profile-write").empty());
        EXPECT_FALSE(fs::exists("/tmp/evil.SCR"));
        EXPECT_FALSE(fs::exists("/tmp/evil.qdm"));
        // Outside the Windows directory nothing changed but the trace.
        auto after = Listing(dir.Path());
        for (auto it = after.begin(); it != after.end();) {
            const bool ours = it->first == "trace.jsonl" || it->first == "events.txt" ||
                              it->first.rfind("root/windows/", 0) == 0 ||
                              it->first.rfind("root/run", 0) == 0; // the platform's own
            it = ours ? after.erase(it) : std::next(it);
        }
        auto expected = before;
        expected.erase("events.txt");
        EXPECT_EQ(after, expected);
        // A refused saver name writes nothing at all; a refused extra name comes after the
        // saver and its show.
        const bool saverRefused = std::string(c.ExtraName) == "birds.dat";
        EXPECT_EQ(Events(run.Trace, "file-write").size(), saverRefused ? 0u : 2u);
    }
}

} // namespace
} // namespace qv::test

namespace qv::test {
namespace {

TEST(Installer, LooksLikeAWizard) {
    TempDir dir;
    SetSpec spec;
    spec.ReadMe = true;
    spec.Header = {{"LogoKind", 0}};
    ASSERT_EQ(WriteSet(dir, spec).ExitCode, 0);
    const PlayerRun run =
        RunSetup(dir, "10 click btnInstall\n30 click btnCancel\n",
                 {"--size=480x340", "--snapshot=5:" + (dir / "welcome.png").string(),
                  "--snapshot=20:" + (dir / "readme.png").string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "welcome.png", "installer_welcome.png");
    ExpectMatchesGolden(dir / "readme.png", "installer_readme.png");
}

} // namespace
} // namespace qv::test
