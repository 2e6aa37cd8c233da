// A hostile corpus, made by this program each time it runs rather than kept as files: show
// files, settings files, events files and names that are FIFOs, devices, symlinks, huge or
// damaged, each put through the real player (headless) and the show tool. Every run must
// end within a few seconds with the behaviour a missing or damaged file has: the player
// ends quietly without a show, falls back to default settings, refuses a bad events file
// with a usage error, and plays on otherwise.

#include "platform/instance_marker.h"
#include "scenario_support.h"
#include "show/show_writer.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

// A run that takes longer is taken for a hang (the sanitizer build included).
constexpr int kLimitMs = 10000;

// One picture held for ten minutes after a short wipe: a show that plays until --duration.
ShowRecord Header() {
    return PlainHeader(14);
}
std::vector<uint8_t> Show(const ShowRecord& header = Header()) {
    return MakeShow(header, {1, 0, 0, 0, 600000, 200},
                    {BandedPicture(16, 12, {0xE03020, 0x3050E0})});
}

struct Outcome {
    RunResult Result;
    std::vector<nlohmann::json> Trace;
    int64_t WallMs = 0;
};

// Runs the player on the show file `show` (which the case may have made anything at all)
// with the arguments given, headless, with a trace.
Outcome Player(const TempDir& dir, const fs::path& show, std::vector<std::string> args) {
    fs::create_directories(dir / "root");
    if (args.empty()) {
        args = {"/DEMO", show.string()};
    }
    args.push_back("--display=headless");
    args.push_back("--root=" + (dir / "root").string());
    args.push_back("--trace=" + (dir / "trace.jsonl").string());
    args.push_back("--time=2026-03-07T14:05:09");
    const auto start = SteadyClock::now();
    Outcome o;
    o.Result = test::Run(QV_PLAYER, args, dir.Path(), kLimitMs);
    o.WallMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
    if (fs::exists(dir / "trace.jsonl")) {
        o.Trace = ReadTrace(dir / "trace.jsonl");
    }
    return o;
}

enum class Expect { NoShow, Plays, UsageError };

struct Case {
    std::string Name;
    // Makes the hostile input in dir; returns the show file to name, and may add arguments.
    std::function<fs::path(const TempDir& dir, std::vector<std::string>& extra)> Make;
    Expect Result;
};

fs::path WriteShow(const TempDir& dir, const std::vector<uint8_t>& bytes) {
    WriteFile(dir / "show.qdm", bytes);
    return dir / "show.qdm";
}

fs::path Fifo(const fs::path& path) {
    fs::create_directories(path.parent_path());
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
    return path;
}

// A file name of `count` short components: tens of thousands of them once cost minutes.
std::string ManyComponents(int count) {
    std::string name;
    for (int i = 0; i < count; ++i) {
        name += "a\\";
    }
    return name + "x.wav";
}

std::vector<Case> PlayerCases() {
    std::vector<Case> cases;
    auto add = [&cases](std::string name, Expect result, auto make) {
        cases.push_back({std::move(name), make, result});
    };
    // The show file itself.
    add("show is a FIFO", Expect::NoShow,
        [](const TempDir& d, auto&) { return Fifo(d / "show.qdm"); });
    add("show is /dev/zero", Expect::NoShow, [](const TempDir& d, auto&) {
        fs::create_symlink("/dev/zero", d / "show.qdm");
        return d / "show.qdm";
    });
    add("show is a folder", Expect::NoShow, [](const TempDir& d, auto&) {
        fs::create_directories(d / "show.qdm");
        return d / "show.qdm";
    });
    add("show through a symlink loop", Expect::NoShow, [](const TempDir& d, auto&) {
        fs::create_symlink(d / "b.qdm", d / "show.qdm");
        fs::create_symlink(d / "show.qdm", d / "b.qdm");
        return d / "show.qdm";
    });
    add("show named beyond PATH_MAX", Expect::NoShow, [](const TempDir& d, auto&) {
        return fs::path(d.Path().string() + "/" + ManyComponents(40000));
    });
    add("huge ExtraFileCount over 600000 tiny entries", Expect::Plays, [](const TempDir& d, auto&) {
        ShowWriter w;
        w.WriteInt(0x7FFFFFFF);
        for (int i = 0; i < 600000; ++i) {
            w.WriteInt(i);
            w.WriteStr("e");
        }
        return WriteShow(d, w.Bytes());
    });
    add("show cut in its header", Expect::Plays, [](const TempDir& d, auto&) {
        std::vector<uint8_t> bytes = Show();
        bytes.resize(40);
        return WriteShow(d, bytes);
    });
    add("show cut in its picture", Expect::Plays, [](const TempDir& d, auto&) {
        std::vector<uint8_t> bytes = Show();
        bytes.resize(bytes.size() - 100);
        return WriteShow(d, bytes);
    });
    add("strings without their zero byte to the end", Expect::Plays, [](const TempDir& d, auto&) {
        std::vector<uint8_t> bytes(4 << 20, 'q');
        bytes[0] = bytes[1] = bytes[2] = bytes[3] = 0;
        return WriteShow(d, bytes);
    });
    // Names the show gives to other files.
    add("sound named by 60000 components", Expect::Plays, [](const TempDir& d, auto&) {
        ShowRecord h = Header();
        h.SoundFile = ManyComponents(60000);
        return WriteShow(d, Show(h));
    });
    add("video named by 60000 components", Expect::Plays, [](const TempDir& d, auto&) {
        nlohmann::json m = {{"TransitionType", 11},
                            {"Parameters",
                             {{"VideoFile", ManyComponents(60000)},
                              {"VideoLoop", 1},
                              {"VideoWidth", 100},
                              {"VideoHeight", 100},
                              {"VideoLeft", 50},
                              {"VideoTop", 50}}}};
        return WriteShow(d, BuildWithTool(d, m, {}));
    });
    add("sound is a FIFO", Expect::Plays, [](const TempDir& d, auto&) {
        ShowRecord h = Header();
        h.SoundFile = "Z:" + Fifo(d / "sound.wav").string();
        return WriteShow(d, Show(h));
    });
    // Settings, the instance marker and the events file.
    add("control.ini is a FIFO", Expect::Plays, [](const TempDir& d, auto&) {
        Fifo(d / "root" / "windows" / "control.ini");
        return WriteShow(d, Show());
    });
    add("control.ini is /dev/zero", Expect::Plays, [](const TempDir& d, auto&) {
        fs::create_directories(d / "root" / "windows");
        fs::create_symlink("/dev/zero", d / "root" / "windows" / "control.ini");
        return WriteShow(d, Show());
    });
    add("control.ini of 3 MiB of newlines", Expect::Plays, [](const TempDir& d, auto&) {
        fs::create_directories(d / "root" / "windows");
        WriteText(d / "root" / "windows" / "control.ini", std::string(3 << 20, '\n'));
        return WriteShow(d, Show());
    });
    add("instance marker is a FIFO", Expect::Plays, [](const TempDir& d, auto&) {
        Fifo(InstanceMarker::PathFor(d / "root", "Tss_screen", "SS_captionqazwsxedc"));
        return WriteShow(d, Show());
    });
    add("instance marker is a symlink out of the root", Expect::Plays, [](const TempDir& d, auto&) {
        const fs::path marker =
            InstanceMarker::PathFor(d / "root", "Tss_screen", "SS_captionqazwsxedc");
        fs::create_directories(marker.parent_path());
        fs::create_directories(d / "elsewhere");
        fs::create_symlink(d / "elsewhere" / "marker", marker);
        return WriteShow(d, Show());
    });
    add("run folder is a symlink out of the root", Expect::Plays, [](const TempDir& d, auto&) {
        fs::create_directories(d / "root");
        fs::create_directories(d / "elsewhere");
        fs::create_symlink(d / "elsewhere", d / "root" / "run");
        return WriteShow(d, Show());
    });
    add("events file is a FIFO", Expect::UsageError, [](const TempDir& d, auto& extra) {
        extra.push_back("--events=" + Fifo(d / "events.txt").string());
        return WriteShow(d, Show());
    });
    add("events file is /dev/zero", Expect::UsageError, [](const TempDir& d, auto& extra) {
        extra.push_back("--events=/dev/zero");
        return WriteShow(d, Show());
    });
    return cases;
}

TEST(HostileCorpus, PlayerEndsPromptlyWithTheBehaviourOfAMissingOrDamagedFile) {
    for (const Case& c : PlayerCases()) {
        TempDir dir;
        std::vector<std::string> extra;
        const fs::path show = c.Make(dir, extra);
        std::vector<std::string> args = {"/DEMO", show.string(), "--duration=1500"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Outcome o = Player(dir, show, args);
        switch (c.Result) {
        case Expect::NoShow:
            EXPECT_EQ(o.Result.ExitCode, 0) << c.Name << ": " << o.Result.Err;
            EXPECT_EQ(Events(o.Trace, "no-show").size(), 1u) << c.Name;
            break;
        case Expect::Plays:
            EXPECT_EQ(o.Result.ExitCode, 0) << c.Name << ": " << o.Result.Err;
            EXPECT_EQ(Events(o.Trace, "exit").size(), 1u) << c.Name;
            EXPECT_TRUE(Events(o.Trace, "no-show").empty()) << c.Name;
            break;
        case Expect::UsageError:
            EXPECT_EQ(o.Result.ExitCode, 2) << c.Name << ": " << o.Result.Err;
            EXPECT_NE(o.Result.Err.find("events file"), std::string::npos) << o.Result.Err;
            break;
        }
        // check gives its verdict on the same file, promptly; a file the player cannot open
        // is one it does not play.
        const RunResult check =
            test::Run(QV_SHOW_TOOL, {"check", show.string()}, dir.Path(), kLimitMs);
        EXPECT_TRUE(check.ExitCode == 0 || check.ExitCode == 1) << c.Name << ": " << check.Err;
        if (c.Result == Expect::NoShow) {
            EXPECT_EQ(check.ExitCode, 1) << c.Name << ": " << check.Out;
        }
        std::printf("%-50s %5lld ms\n", c.Name.c_str(), static_cast<long long>(o.WallMs));
        // Nothing was made outside the platform's own folders through a symlink.
        if (fs::exists(dir / "elsewhere")) {
            EXPECT_TRUE(fs::is_empty(dir / "elsewhere")) << c.Name;
        }
    }
}

TEST(HostileCorpus, ShowToolEndsPromptlyOnFilesThatAreNoShows) {
    TempDir dir;
    Fifo(dir / "fifo.qdm");
    fs::create_symlink("/dev/zero", dir / "zero.qdm");
    ShowWriter huge;
    huge.WriteInt(0x7FFFFFFF);
    for (int i = 0; i < 600000; ++i) {
        huge.WriteInt(i);
        huge.WriteStr("e");
    }
    WriteFile(dir / "huge.qdm", huge.Bytes());
    // The huge show decodes, but it holds no picture to extract and is cut in its header, so
    // the player would not play it.
    const struct {
        const char* File;
        int Info, Extract, Check;
    } cases[] = {{"fifo.qdm", 1, 1, 1}, {"zero.qdm", 1, 1, 1}, {"huge.qdm", 0, 1, 1}};
    for (const auto& c : cases) {
        const std::pair<std::vector<std::string>, int> runs[] = {
            {{"info", c.File}, c.Info},
            {{"extract", c.File, "-o", "out"}, c.Extract},
            {{"check", c.File}, c.Check},
        };
        for (const auto& [args, exit] : runs) {
            const RunResult r = test::Run(QV_SHOW_TOOL, args, dir.Path(), kLimitMs);
            EXPECT_EQ(r.ExitCode, exit) << args[0] << " " << c.File << ": " << r.Err;
        }
    }
}

} // namespace
} // namespace qv::test
