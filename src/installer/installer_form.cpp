#include "installer/installer_form.h"

#include "platform/desktop_settings.h"
#include "platform/error.h"

#include <algorithm>
#include <array>
#include <limits>
#include <nlohmann/json.hpp>

namespace qv {
namespace {

constexpr int32_t kBlockBytes = 4096;
constexpr size_t kMaxTextFileBytes = 4 << 20;
constexpr int kSwShowNormal = 1;

const char* const kCouldNotOpen = "Could not open installation file.";
const char* const kCouldNotCreate = "Could not create destination file.\r\rInstallation aborted.";

// The lines of a text file for the memo; a file too large to be a read-me shows nothing.
std::vector<std::string> TextLines(Platform& os, const std::string& windowsPath) {
    const WholeFile file = ReadRegularFile(os.Paths().Resolve(windowsPath), kMaxTextFileBytes);
    if (file.Status != WholeFile::Ok) {
        return {};
    }
    std::vector<std::string> lines = SplitLines(file.Bytes);
    if (!lines.empty() && lines.back().empty()) {
        lines.pop_back(); // the line break that ends the last line
    }
    return lines;
}

int32_t ClampToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

TfrmInst::TfrmInst(DialogContext& ctx)
    : m_ctx(ctx), m_form(ctx.Os, "TfrmInst", kClientSize, ctx.App.Handle()) {
    Form& f = m_form;
    f.SetCaption("Setup");
    Control& logo = f.Add(ControlKind::Image, "logo", {8, 8, 104, 264});
    logo.AutoSize = true;
    f.Add(ControlKind::Image, "logo2", {112, 8, 465, 72});
    Control& panel1 = f.Add(ControlKind::Panel, "Panel1", {112, 80, 465, 137});
    panel1.BevelInner = Bevel::Raised;
    panel1.BevelOuter = Bevel::Lowered;
    panel1.TextAlignment = TextAlign::Centre;
    Control& label1 = f.Add(ControlKind::Label, "Label1", {24, 12, 329, 50}, "Panel1");
    label1.Caption = "[ install ]";
    label1.TextAlignment = TextAlign::Centre;
    label1.WordWrap = true;
    Control& panel2 = f.Add(ControlKind::Panel, "Panel2", {112, 144, 465, 265});
    panel2.BevelInner = Bevel::Raised;
    panel2.BevelOuter = Bevel::Lowered;
    Control& label2 = f.Add(ControlKind::Label, "Label2", {48, 8, 305, 62}, "Panel2");
    label2.Caption = "[ about ]";
    label2.TextAlignment = TextAlign::Centre;
    Control& text = f.Add(ControlKind::Label, "text", {48, 64, 305, 118}, "Panel2");
    text.Caption = "[ client text ]";
    text.TextAlignment = TextAlign::Centre;
    Control& memo = f.Add(ControlKind::Memo, "memo", {112, 8, 465, 265});
    memo.Visible = false;
    memo.OnKeyPress = [this](char& key) { memoKeyPress(key); };
    f.Add(ControlKind::Rule, "Bevel1", {8, 273, 465, 275});
    Control& gauge = f.Add(ControlKind::Gauge, "gi", {8, 283, 225, 304});
    gauge.Visible = false;
    Control& uninstall = f.Add(ControlKind::Button, "btnUninstall", {230, 282, 305, 305});
    uninstall.Caption = "&Uninstall";
    uninstall.Enabled = false;
    uninstall.OnClick = Guarded(m_ctx, [this] { btnUninstallClick(); });
    Control& install = f.Add(ControlKind::Button, "btnInstall", {304, 282, 379, 305});
    install.Caption = "&Next >";
    install.Role = ButtonRole::Default;
    install.OnClick = Guarded(m_ctx, [this] { btnInstallClick(); });
    Control& cancel = f.Add(ControlKind::Button, "btnCancel", {388, 282, 463, 305});
    cancel.Caption = "&Cancel";
    cancel.Role = ButtonRole::Cancel;
    cancel.OnClick = Guarded(m_ctx, [this] { btnCancelClick(); });
    FormCreate();
}

std::string TfrmInst::WindowsDir() const {
    return m_ctx.Os.Paths().GetWindowsDirectory() + "\\";
}

bool TfrmInst::InsideWindowsDir(std::string_view name) const {
    if (!IsPlainFileName(name)) {
        return false;
    }
    // Whatever the name holds, the file it resolves to must lie in the Windows directory
    // itself.
    const PathMap& paths = m_ctx.Os.Paths();
    const auto file = paths.Resolve(WindowsDir() + std::string(name));
    return !file.empty() && file.parent_path() == paths.Resolve(paths.GetWindowsDirectory());
}

bool TfrmInst::SaverNameUsable() const {
    const std::string& name = m_ctx.Show.SaverFileName;
    return IsPlainFileName(name) && InsideWindowsDir(name + ".SCR") &&
           InsideWindowsDir(name + ".qdm");
}

void TfrmInst::FormCreate() {
    ShowRecord& show = m_ctx.Show;
    FileSystem& files = m_ctx.Os.Files();
    Form& f = m_form;
    m_page = 0;
    const std::string d = WindowsDir();
    // A name that could point outside the Windows directory finds nothing to remove.
    m_alreadyInstalled = SaverNameUsable() && (files.FileExists(d + show.SaverFileName + ".SCR") ||
                                               files.FileExists(d + show.SaverFileName + ".QDM"));
    if (m_alreadyInstalled) {
        f.SetEnabled("btnUninstall", true);
    }
    f.SetCaption(show.SaverTitle + " Setup");
    f.SetText("Label1", "This program will install '" + show.SaverTitle +
                            "' on your machine and select it as your current screen saver.");
    f.SetText("Label2", BarsToLineBreaks(show.AboutText));
    const auto moveTo = [&](std::string_view name, int32_t left, int32_t top) {
        const Rect b = f[name].Bounds;
        f.SetBounds(name, {left, top, left + b.Width(), top + b.Height()});
    };
    const auto place = [&](std::string_view name, int32_t top, int32_t height) {
        const Rect b = f[name].Bounds;
        f.SetBounds(name, {b.Left, top, b.Right, top + height});
    };
    switch (show.LogoKind) {
    case 0:
        f.SetPicture("logo", ProgramIcon());
        f.SetLeft("logo", (96 - kIconSize) / 2 + 8);
        f.SetVisible("logo2", false);
        place("Panel1", 8, 73);
        place("Label1", 20, f["Label1"].Bounds.Height());
        place("Panel2", 88, 169);
        place("Label2", 16, f["Label2"].Bounds.Height());
        place("text", 88, f["text"].Bounds.Height());
        show.ClientText = CreditText(CreditPlace::Installer);
        break;
    case 2:
        f.SetPicture("logo", ProgramIcon());
        f.SetLeft("logo", (96 - kIconSize) / 2 + 8);
        f.SetPicture("logo2", ProgramIcon());
        f.SetBounds("logo2", {0, 0, kIconSize, kIconSize});
        moveTo("logo2", (353 - kIconSize) / 2 + 112, (64 - kIconSize) / 2 + 8);
        // The panel's client width is its width: it has no border of its own.
        f.SetLeft("text", 4);
        f.SetWidth("text", f["Panel2"].Bounds.Width() - 8);
        break;
    case 1: {
        LoadLogoImage(m_ctx, f, "logo", 96, 256);
        f.SetLeft("logo", (96 - f["logo"].Bounds.Width()) / 2 + 8);
        f["logo2"].AutoSize = true;
        LoadLogoImage(m_ctx, f, "logo2", 353, 64);
        const Rect b = f["logo2"].Bounds;
        moveTo("logo2", (353 - b.Width()) / 2 + 112, (64 - b.Height()) / 2 + 8);
        break;
    }
    default:
        break;
    }
    f.SetText("text", BarsToLineBreaks(show.ClientText));
}

void TfrmInst::ShowPage(int8_t step) {
    const ShowRecord& show = m_ctx.Show;
    FileSystem& files = m_ctx.Os.Files();
    Form& f = m_form;
    m_page = static_cast<uint8_t>(m_page + step);
    struct TracePage {
        TfrmInst& Self;
        ~TracePage() {
            Form& f = Self.m_form;
            Self.m_ctx.Os.Trace().Emit("installer-page",
                                       {{"page", Self.m_page},
                                        {"btnInstall", f["btnInstall"].Caption},
                                        {"btnUninstall", f["btnUninstall"].Caption},
                                        {"back", f["btnUninstall"].Enabled},
                                        {"memo", f["memo"].Visible}});
        }
    } trace{*this};
    // Pages 0 and 3 are always shown, so the walk ends within four steps from any page.
    for (int guard = 0; guard < 8; ++guard) {
        switch (m_page) {
        case 0:
            f.SetText("Label1", "This program will install '" + show.SaverTitle +
                                    "' on your machine and select it as your current "
                                    "screen saver.");
            f.SetVisible("Panel1", true);
            f.SetVisible("Panel2", true);
            f.SetText("btnUninstall", "&UnInstall");
            f.SetEnabled("btnUninstall", m_alreadyInstalled);
            f.SetText("btnInstall", "&Next >");
            f.SetVisible("memo", false);
            return;
        case 1:
        case 2: {
            f.SetVisible("Panel1", false);
            f.SetVisible("Panel2", false);
            if (m_page == 1) {
                f.SetEnabled("btnUninstall", true);
                f.SetText("btnInstall", "&Next >");
            }
            f.SetText("btnUninstall", "< &Back");
            const std::string file = show.ShowDir + (m_page == 1 ? "readme.txt" : "licence.txt");
            if (files.FileExists(file)) {
                if (m_page == 2) {
                    f.SetText("btnInstall", "&Accept >");
                }
                f.SetLines("memo", TextLines(m_ctx.Os, file));
                f.SetVisible("memo", true);
                return;
            }
            m_page = static_cast<uint8_t>(m_page + step);
            break;
        }
        case 3:
            f.SetText("btnInstall", "&Finish");
            f.SetVisible("Panel1", true);
            f.SetText("Label1", "Click Finish to install the screen saver.");
            f.SetVisible("memo", false);
            return;
        default:
            // Not reached from pages 0 to 3; a stray value starts again at the welcome.
            m_page = 0;
            break;
        }
    }
}

void TfrmInst::btnInstallClick() {
    if (m_page < 3) {
        ShowPage(+1);
    } else {
        Install();
    }
}

void TfrmInst::btnUninstallClick() {
    if (m_page > 0) {
        ShowPage(-1);
    } else {
        Uninstall();
    }
}

void TfrmInst::btnCancelClick() {
    Finish(ModalResult::Cancel);
}

void TfrmInst::memoKeyPress(char& key) {
    key = 0;
}

ModalResult TfrmInst::Run() {
    return m_form.Run(Modality::MainForm);
}

void TfrmInst::Finish(ModalResult result) {
    m_form.Close(result);
}

int TfrmInst::ShowMessageBox(const std::string& text, uint32_t flags) {
    return m_ctx.Os.User().MessageBox(m_ctx.App.Handle(), text, m_ctx.Show.SaverTitle, flags);
}

void TfrmInst::PumpOnce() {
    m_ctx.App.ProcessMessages();
}

void TfrmInst::SetGauge(int32_t value) {
    const int32_t clamped = std::clamp(value, 0, 100);
    if (m_form["gi"].Position == clamped) {
        return; // redrawn only when the percentage shown changes
    }
    m_form.SetPosition("gi", clamped);
    m_ctx.Os.Trace().Emit("gauge", {{"control", "gi"}, {"value", clamped}});
}

void TfrmInst::SetProgress(int32_t startPercent, int32_t endPercent, int64_t initial,
                           int64_t copied) {
    if (copied <= 0) {
        return; // nothing read yet: the gauge keeps its value
    }
    const int64_t parts = initial / copied;
    // More copied than expected (a file that grew meanwhile) counts as the whole block.
    const int64_t value =
        parts <= 0 ? endPercent : startPercent + (int64_t{endPercent} - startPercent) / parts;
    SetGauge(ClampToInt32(value));
}

HFILE TfrmInst::CreateDestination(std::string_view name) {
    if (!InsideWindowsDir(name)) {
        return INVALID_FILE;
    }
    FileSystem& files = m_ctx.Os.Files();
    const std::string path = WindowsDir() + std::string(name);
    if (files.FileExists(path)) {
        files.DeleteFile(path);
    }
    return files.CreateFile(path, FileAccess::ReadWrite, FileCreation::CreateAlways);
}

void TfrmInst::CopyWholeFile(const std::string& sourcePath, const std::string& destPath,
                             int32_t startPercent, int32_t endPercent) {
    FileSystem& files = m_ctx.Os.Files();
    const std::string d = WindowsDir();
    const std::string name = destPath.substr(std::min(d.size(), destPath.size()));
    if (InsideWindowsDir(name) && files.FileExists(destPath)) {
        files.DeleteFile(destPath);
    }
    const HFILE source = files.CreateFile(sourcePath, FileAccess::Read, FileCreation::OpenExisting);
    if (source < 0) {
        ShowMessageBox(kCouldNotOpen, MB_ICONINFORMATION);
        m_installAborted = true;
        return;
    }
    const int64_t size = std::max<int64_t>(files.SetFilePointer(source, 0, SeekFrom::End), 0);
    files.SetFilePointer(source, 0, SeekFrom::Begin);
    const HFILE dest = CreateDestination(name);
    if (dest < 0) {
        files.CloseHandle(source);
        ShowMessageBox(kCouldNotCreate, MB_ICONINFORMATION);
        m_installAborted = true;
        return;
    }
    std::array<uint8_t, kBlockBytes> buffer{};
    int64_t copied = 0;
    for (;;) {
        const int32_t n = files.ReadFile(source, buffer.data(), kBlockBytes);
        if (n <= 0) {
            break; // the end, or a failed read, ends the copy
        }
        copied += std::max(files.WriteFile(dest, buffer.data(), n), 0);
        SetProgress(startPercent, endPercent, size, copied);
        PumpOnce();
    }
    files.CloseHandle(source);
    files.CloseHandle(dest);
    // The copy is the saver the desktop starts.
    files.MarkExecutable(destPath);
    m_ctx.Os.Trace().Emit("file-copy", {{"from", sourcePath}, {"to", destPath}, {"bytes", copied}});
    m_ctx.Os.Sleep(0);
    PumpOnce();
}

int32_t TfrmInst::CopyBlock(HFILE source, HFILE dest, int32_t& remaining, int32_t startPercent,
                            int32_t endPercent) {
    FileSystem& files = m_ctx.Os.Files();
    const int64_t initial = remaining;
    int32_t copied = 0;
    std::array<uint8_t, kBlockBytes> buffer{};
    for (;;) {
        const int32_t want = std::clamp(remaining, 0, kBlockBytes);
        const int32_t n = want > 0 ? std::max(files.ReadFile(source, buffer.data(), want), 0) : 0;
        if (n > 0) {
            files.WriteFile(dest, buffer.data(), n);
        }
        remaining -= n;
        copied += n;
        SetProgress(startPercent, endPercent, initial, copied);
        PumpOnce();
        if (n == 0) {
            break;
        }
    }
    SetProgress(startPercent, endPercent, initial, copied);
    m_ctx.Os.Sleep(0);
    PumpOnce();
    return copied;
}

void TfrmInst::Install() {
    const ShowRecord& show = m_ctx.Show;
    Platform& os = m_ctx.Os;
    FileSystem& files = os.Files();
    Form& f = m_form;

    f.SetVisible("gi", true);
    f.SetEnabled("btnCancel", false);
    f.SetEnabled("btnInstall", false);
    f.SetEnabled("btnUninstall", false);
    f.SetVisible("memo", false);
    f.SetText("Label1", "Copying Files");
    f.SetVisible("Panel1", true);
    f.SetVisible("Panel2", false);
    os.User().SetScreenCursor(Cursor::Hourglass);

    // A fresh platform root has no Windows directory yet; Windows always has one.
    os.Paths().EnsureDirectories();
    const std::string d = WindowsDir();
    m_installAborted = false;
    std::string destName = show.SaverFileName + ".qdm";
    int32_t remaining = show.ShowDataSize;

    const std::string base = show.ShowDir + show.ShowBaseName;
    HFILE disk = files.CreateFile(base + ".qdm", FileAccess::Read, FileCreation::OpenExisting);
    if (disk < 0) {
        ShowMessageBox(kCouldNotOpen, MB_ICONINFORMATION);
        Finish(ModalResult::Cancel);
        return;
    }
    if (remaining == 0) {
        remaining = ClampToInt32(files.SetFilePointer(disk, 0, SeekFrom::End));
    }
    int32_t diskNumber = 1;
    files.SetFilePointer(disk, 0, SeekFrom::Begin);

    // The saver's own name is checked for both of its files before anything is written.
    HFILE dest = SaverNameUsable() ? CreateDestination(destName) : INVALID_FILE;
    if (dest < 0) {
        files.CloseHandle(disk);
        ShowMessageBox(kCouldNotCreate, MB_ICONINFORMATION);
        m_installAborted = true;
        Finish(ModalResult::Cancel);
        return;
    }

    const int32_t extraCount = std::clamp(show.ExtraFileCount, 0, 2);
    // In 64 bits: sizes near the int32 limit must not wrap the total.
    int64_t total = int64_t{remaining} + kProgramGaugeBytes;
    for (int32_t i = 0; i < extraCount; ++i) {
        total += show.ExtraFileSize[static_cast<size_t>(i)];
    }
    const int64_t p = std::max<int64_t>(total / 100, 1);

    f.SetText("Label1", "Copying Files\r" + d + show.SaverFileName + ".SCR");
    CopyWholeFile(os.ParamStr(0), d + show.SaverFileName + ".SCR", 0,
                  ClampToInt32(kProgramGaugeBytes / p));
    if (m_installAborted) {
        files.CloseHandle(dest);
        files.CloseHandle(disk);
        Finish(ModalResult::Cancel);
        return;
    }

    int64_t done = kProgramGaugeBytes;
    int32_t index = -1;
    while (index < extraCount) {
        f.SetText("Label1", "Copying Files\r" + d + destName);
        const int32_t n = CopyBlock(disk, dest, remaining, ClampToInt32(done / p),
                                    ClampToInt32((done + std::max(remaining, 0)) / p));
        done += n;
        if (remaining > 0) {
            // The disk file ended before the destination was complete: the next disk.
            files.CloseHandle(disk);
            disk = INVALID_FILE;
            ++diskNumber;
            const auto abort = [&](const std::string& text) {
                files.CloseHandle(dest);
                ShowMessageBox(text, MB_ICONINFORMATION);
                Finish(ModalResult::Cancel);
            };
            if (diskNumber > show.DiskCount) {
                abort("An error occured during screen saver installation.\rInstallation of '" +
                      show.SaverTitle + "' aborted.");
                return;
            }
            const std::string next = base + "." + std::to_string(diskNumber);
            bool cancelled = false;
            while (!files.FileExists(next) && !cancelled) {
                const int answer = ShowMessageBox(
                    "Please insert disk " + std::to_string(diskNumber) + " of " +
                        std::to_string(show.DiskCount) + " of '" + show.SaverTitle + "'.",
                    MB_OKCANCEL);
                cancelled = answer == IDCANCEL;
                // The box's own loop lets the program's windows repaint. A user who can
                // never answer again (a script at its end) has gone away: that is a cancel.
                PumpOnce();
                if (!cancelled && !files.FileExists(next) &&
                    (!f.View() || !f.View()->InputPossible())) {
                    os.Trace().Emit("form-abandoned", {{"form", f.Name()}});
                    cancelled = true;
                }
            }
            if (cancelled) {
                abort("Installation of '" + show.SaverTitle + "' aborted.");
                return;
            }
            disk = files.CreateFile(next, FileAccess::Read, FileCreation::OpenExisting);
            if (disk < 0) {
                abort(kCouldNotOpen);
                return;
            }
            files.SetFilePointer(disk, 0, SeekFrom::Begin);
            continue;
        }
        files.CloseHandle(dest);
        dest = INVALID_FILE;
        ++index;
        if (index == extraCount) {
            break;
        }
        destName = show.ExtraFileName[static_cast<size_t>(index)];
        remaining = show.ExtraFileSize[static_cast<size_t>(index)];
        dest = CreateDestination(destName);
        if (dest < 0) {
            files.CloseHandle(disk);
            ShowMessageBox(kCouldNotCreate, MB_ICONINFORMATION);
            Finish(ModalResult::Cancel);
            return;
        }
    }

    f.SetText("Label1", "Installation complete.");
    files.CloseHandle(disk);
    os.User().SetScreenCursor(Cursor::Arrow);

    // The short form of the installed saver's path; should the system give none, the long
    // path still starts the saver.
    const std::string saverPath = d + show.SaverFileName + ".scr";
    std::string shortPath;
    const uint32_t length = files.GetShortPathName(saverPath, &shortPath, 255);
    if (length == 0 || length >= 255) {
        shortPath = saverPath;
    }
    os.Profile().WriteString("BOOT", "SCRNSAVE.EXE", shortPath, "system.ini");
    os.User().SystemParametersInfo(SPI_SETSCREENSAVEACTIVE, 1);
    ShowMessageBox("Installation of '" + show.SaverTitle + "' complete.", MB_ICONINFORMATION);
    os.User().WinExec(kDisplaySettingsCommand, kSwShowNormal);
    Finish(ModalResult::Ok);
}

} // namespace qv
