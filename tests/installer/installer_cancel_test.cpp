// The disk request inside the program: an answer of Cancel ends the installation even when
// the disk has come in while the question was up (the host here puts the disk in place as
// it answers).
#include "installer/installer_form.h"
#include "platform/headless/headless_host.h"
#include "scenario_support.h"
#include "show/show_file.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class AnsweringHost : public HeadlessHost {
public:
    using HeadlessHost::HeadlessHost;
    std::function<int(std::string_view)> Answer;
    int MessageBoxAnswer(std::string_view text, std::string_view caption, uint32_t flags) override {
        return Answer ? Answer(text) : HeadlessHost::MessageBoxAnswer(text, caption, flags);
    }
};

TEST(DiskRequest, CancelEndsTheInstallationEvenWhenTheDiskIsInByThen) {
    TempDir dir;
    const fs::path m = dir / "manifest";
    fs::create_directories(m);
    WritePngFile(m / "picture0.png", BandedPicture(8, 8, {0x808080}));
    WriteFile(m / "extra.bin", std::vector<uint8_t>(6000, 1));
    const nlohmann::json manifest = {
        {"SaverTitle", "Night Birds"},
        {"SaverFileName", "Night Birds"},
        {"TransitionType", 2},
        {"Parameters",
         {{"PictureNumbers", {0}}, {"RandomPlacement", 0}, {"HoldTime", 300}, {"EffectTime", 100}}},
        {"Pictures", {{{"File", "picture0.png"}}}},
        {"Installation",
         {{"Setup", "BIRDSETUP.EXE"},
          {"DiskSize", 3000},
          {"ExtraFiles", {{{"File", "extra.bin"}, {"Name", "birds.dat"}}}}}}};
    WriteText(m / "set.json", manifest.dump());
    ASSERT_EQ(qv::test::Run(QV_SHOW_TOOL,
                            {"build", (m / "set.json").string(), "--set=" + (dir / "set").string(),
                             std::string("--player=") + QV_PLAYER},
                            dir.Path())
                  .ExitCode,
              0);
    ASSERT_TRUE(fs::exists(dir / "set" / "BIRDSETUP.3"));
    fs::rename(dir / "set" / "BIRDSETUP.2", dir / "disk2");
    WriteText(dir / "events.txt", "10 click btnInstall\n20 click btnInstall\n");

    const std::vector<std::string> words = {
        (dir / "set" / "BIRDSETUP.EXE").string(), "--display=headless",
        "--root=" + (dir / "root").string(), "--trace=" + (dir / "trace.jsonl").string(),
        "--events=" + (dir / "events.txt").string()};
    std::vector<const char*> argv;
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    HostOptions options = ParseHostOptions(static_cast<int>(argv.size()), argv.data());
    auto host = std::make_unique<AnsweringHost>(options);
    AnsweringHost* answering = host.get();
    std::vector<std::string> asked;
    answering->Answer = [&](std::string_view text) {
        asked.emplace_back(text);
        if (text.rfind("Please insert disk 2 of 3", 0) == 0) {
            fs::rename(dir / "disk2", dir / "set" / "BIRDSETUP.2");
            return IDCANCEL;
        }
        return IDOK;
    };
    {
        Platform os(std::move(options), std::move(host));
        Application app(os);
        DialogContext ctx(os, app);
        LoadShow(ctx);
        ASSERT_GE(ctx.Run.ShowFile, 0);
        CloseShow(ctx);
        TfrmInst installer(ctx);
        installer.Run();
    }
    EXPECT_EQ(asked, (std::vector<std::string>{"Please insert disk 2 of 3 of 'Night Birds'.",
                                               "Installation of 'Night Birds' aborted."}));
    EXPECT_TRUE(fs::exists(dir / "set" / "BIRDSETUP.2"));
    EXPECT_FALSE(fs::exists(dir / "root" / "windows" / "system.ini"));
}

} // namespace
} // namespace qv::test
