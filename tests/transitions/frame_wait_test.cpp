// The frame's waits on the real clock: they sleep between pumps instead of pumping without
// end, yet end at their deadline and dispatch input when it arrives.
#include "platform/headless/headless_host.h"
#include "platform/scripted_media.h"
#include "test_support.h"
#include "transitions/frame.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace qv::test {
namespace {

// The scripted mouse move arrives this long after the start, while the wait runs.
constexpr uint32_t kMoveAt = 200;
// How late a deadline or a dispatch may be on a busy test machine. A wait that pumped
// only at its end would be late by hundreds of milliseconds.
constexpr uint32_t kSlackMs = 120;
// A wait that sleeps pumps a few times (its first pump, the move, the deadline); one that
// polls pumps every millisecond or more often.
constexpr int kMostRounds = 12;

// A headless platform on the real clock with a full-screen saver window whose procedure
// notes when the mouse moved.
class RealClockFrame {
public:
    explicit RealClockFrame(const std::function<void(HostOptions&)>& more = {}) {
        const std::string events = std::to_string(kMoveAt) + " mouse-move 20 30\n";
        WriteFile(m_dir / "events.txt", std::vector<uint8_t>(events.begin(), events.end()));
        HostOptions o;
        o.Root = (m_dir / "root").string();
        o.Args = {(m_dir / "test.scr").string()};
        o.ScreenSize = {160, 120};
        o.Clock = ClockKind::Real;
        o.EventsFile = (m_dir / "events.txt").string();
        o.TraceFile = TracePath().string();
        if (more) {
            more(o);
        }
        m_os = std::make_unique<Platform>(o, HeadlessHost::Create(o));
        Ctx = std::make_unique<FrameContext>(*m_os);
        CreateWindowParams p;
        p.ClassName = "Tss_screen";
        p.Style = WS_POPUP | WS_VISIBLE;
        p.Bounds = {0, 0, 160, 120};
        p.Proc = [this](HWND wnd, uint32_t msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_MOUSEMOVE && !MovedAt) {
                MovedAt = m_os->GetTickCount();
                Ctx->StopRequested = StopOnMove;
            }
            return m_os->User().DefWindowProc(wnd, msg, w, l);
        };
        Ctx->Run.SaverWnd = m_os->User().CreateWindow(p);
        Ctx->Run.ScreenW = 160;
        Ctx->Run.ScreenH = 120;
        m_os->User().SetRoundHook([this] {
            ++Rounds;
            m_os->Media().Poll();
        });
    }

    Platform& Os() { return *m_os; }
    std::filesystem::path TracePath() const { return m_dir / "trace.jsonl"; }

    std::optional<uint32_t> MovedAt;
    bool StopOnMove = false;
    int Rounds = 0;

private:
    TempDir m_dir;
    std::unique_ptr<Platform> m_os;

public:
    std::unique_ptr<FrameContext> Ctx;
};

// The first text a process measures loads the font configuration, which can take longer
// than the waits here: done once beforehand, on a platform of its own.
void LoadFontsOnce() {
    static const bool loaded = [] {
        const TempDir dir;
        HostOptions o;
        o.Root = (dir / "root").string();
        o.Args = {"quorvex"};
        Platform os(o, HeadlessHost::Create(o));
        const HDC dc = os.Gdi().GetDC(os.User().GetDesktopWindow());
        Size extent;
        os.Gdi().GetTextExtentPoint32(dc, "A", &extent);
        os.Gdi().ReleaseDC(os.User().GetDesktopWindow(), dc);
        return true;
    }();
    (void)loaded;
}

struct WaitCase {
    const char* Name;
    // Runs the wait; it is meant to end at the tick returned (0: when the move stops it).
    std::function<uint32_t(FrameContext&)> Run;
    bool StopOnMove;
};

TEST(FrameWaitRealClock, SleepsUntilTheDeadlineAndDispatchesInputOnArrival) {
    const WaitCase cases[] = {
        {"WaitMs",
         [](FrameContext& ctx) {
             const uint32_t start = ctx.Os.GetTickCount();
             WaitMs(ctx, 450);
             return start + 450;
         },
         false},
        {"PumpUntil",
         [](FrameContext& ctx) {
             PumpUntil(ctx, 450.5); // a fractional deadline is reached at 451
             return 451u;
         },
         false},
        {"ErrorScreen",
         [](FrameContext& ctx) {
             ErrorScreen(ctx, "waiting for the mouse");
             return 0u;
         },
         true},
    };
    LoadFontsOnce();
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.Name);
        RealClockFrame f;
        f.StopOnMove = c.StopOnMove;
        const uint32_t ends = c.Run(*f.Ctx);
        const uint32_t now = f.Os().GetTickCount();
        ASSERT_TRUE(f.MovedAt.has_value()) << "the mouse move was not dispatched";
        EXPECT_GE(*f.MovedAt, kMoveAt);
        EXPECT_LT(*f.MovedAt, kMoveAt + kSlackMs) << "the move waited for the wait to end";
        const uint32_t due = ends != 0 ? ends : *f.MovedAt;
        EXPECT_GE(now, due);
        EXPECT_LT(now, due + kSlackMs) << "the wait ended late";
        EXPECT_LE(f.Rounds, kMostRounds) << "the wait pumped without sleeping";
        EXPECT_EQ(f.Ctx->StopRequested, c.StopOnMove);
    }
}

TEST(FrameWaitRealClock, AWaitingMessageOrADueMediaNoticeCutsTheSleepShort) {
    RealClockFrame f;
    Platform& os = f.Os();
    // A message already in the queue: no sleep at all.
    os.User().PostMessage(f.Ctx->Run.SaverWnd, WM_USER, 0, 0);
    uint32_t start = os.GetTickCount();
    os.WaitForMessage(start + 5000);
    EXPECT_LT(os.GetTickCount() - start, kSlackMs);
    os.User().ProcessMessages();

    // A sound whose end notice falls due in 60 ms wakes the sleep then.
    auto backend = std::make_unique<ScriptedMediaBackend>();
    ScriptedMedia tone;
    tone.LengthMs = 60;
    backend->Script("TONE.WAV", tone);
    os.Media().SetBackend(std::move(backend));
    const TempDir dir;
    WriteFile(dir / "tone.wav", {0}); // any file: the backend scripts it by name
    MCIDEVICEID id = 0;
    ASSERT_EQ(os.Media().Open(PathMap::ToWindows(dir / "tone.wav"), &id), 0u);
    start = os.GetTickCount();
    ASSERT_EQ(os.Media().Play(id, f.Ctx->Run.SaverWnd), 0u);
    os.WaitForMessage(start + 5000);
    EXPECT_GE(os.GetTickCount() - start, 60u);
    EXPECT_LT(os.GetTickCount() - start, 60u + kSlackMs);
    os.Media().Close(id);
}

TEST(FrameWaitRealClock, SnapshotsAndTheDurationAreTakenOnTimeDuringASleep) {
    TempDir out;
    RealClockFrame f([&out](HostOptions& o) {
        o.Snapshots = {{100, (out / "shot.png").string()}};
        o.DurationMs = 300;
    });
    WaitMs(*f.Ctx, 450);
    const auto trace = ReadTrace(f.TracePath());
    const auto shots = Events(trace, "snapshot");
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_GE(shots[0]["time"].get<uint32_t>(), 100u);
    EXPECT_LT(shots[0]["time"].get<uint32_t>(), 100u + kSlackMs);
    bool ended = false;
    for (const auto& input : Events(trace, "input")) {
        if (input["kind"] == "duration") {
            ended = true;
            EXPECT_GE(input["t"].get<uint32_t>(), 300u);
            EXPECT_LT(input["t"].get<uint32_t>(), 300u + kSlackMs);
        }
    }
    EXPECT_TRUE(ended) << "--duration did not end the run during the wait";
    EXPECT_LE(f.Rounds, kMostRounds);
}

} // namespace
} // namespace qv::test
