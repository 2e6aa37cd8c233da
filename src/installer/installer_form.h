#pragma once

#include "raster/form_support.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// TfrmInst: the installer wizard, the main form of the installer role. Four pages
// (welcome, read-me, licence, ready); Finish copies the saver, its show data and the extra
// files from the installation set into the Windows directory and makes the saver the
// current one; on the first page the left button removes an earlier installation.
class TfrmInst {
public:
    // Builds the form and runs FormCreate.
    explicit TfrmInst(DialogContext& ctx);

    void FormCreate();
    void btnInstallClick();
    void btnUninstallClick();
    void btnCancelClick();
    void memoKeyPress(char& key);
    // Moves by step pages (+1 or -1), skipping a missing read-me or licence in the direction
    // of travel.
    void ShowPage(int8_t step);
    // Shows the form and runs the message loop until it closes.
    ModalResult Run();

    Form& TheForm() { return m_form; }
    uint8_t InstallerPage() const { return m_page; }
    bool AlreadyInstalled() const { return m_alreadyInstalled; }

    static constexpr Size kClientSize{472, 316};
    // What the copy of the running program counts for in the gauge, whatever its size.
    static constexpr int64_t kProgramGaugeBytes = 250000;

private:
    void Install();
    void Uninstall(); // uninstall.cpp
    void CopyWholeFile(const std::string& sourcePath, const std::string& destPath,
                       int32_t startPercent, int32_t endPercent);
    int32_t CopyBlock(HFILE source, HFILE dest, int32_t& remaining, int32_t startPercent,
                      int32_t endPercent);
    // The gauge rule of both copies.
    void SetProgress(int32_t startPercent, int32_t endPercent, int64_t initial, int64_t copied);
    void SetGauge(int32_t value);
    int ShowMessageBox(const std::string& text, uint32_t flags);
    // The Windows directory with a backslash appended.
    std::string WindowsDir() const;
    // Whether D + name is a file directly inside the Windows directory.
    bool InsideWindowsDir(std::string_view name) const;
    // Whether SaverFileName may name the saver's two files in the Windows directory.
    bool SaverNameUsable() const;
    // Opens the destination afresh (deleted first); INVALID_FILE when it may not or cannot
    // be created.
    HFILE CreateDestination(std::string_view name);
    void PumpOnce();
    void Finish(ModalResult result);

    DialogContext& m_ctx;
    Form m_form;
    uint8_t m_page = 0;
    bool m_alreadyInstalled = false;
    bool m_installAborted = false;
};

// Whether a name from the show may name a file of the Windows directory: not empty, not
// "." or "..", and without a path separator, a drive colon, a control character or a
// character that Windows file names cannot hold. Names from a show are never trusted.
bool IsPlainFileName(std::string_view name);

} // namespace qv
