#include "installer/installer_form.h"

namespace qv {

// The removal of an earlier installation: the saver and its show file leave the Windows
// directory and the saver's settings leave "control.ini". Extra files and the desktop's
// choice of saver in "system.ini" stay as they are.
void TfrmInst::Uninstall() {
    const ShowRecord& show = m_ctx.Show;
    Platform& os = m_ctx.Os;
    FileSystem& files = os.Files();
    Form& f = m_form;

    f.SetEnabled("btnCancel", false);
    f.SetEnabled("btnInstall", false);
    f.SetEnabled("btnUninstall", false);
    f.SetVisible("gi", true);
    f.SetVisible("memo", false);
    f.SetText("Panel1", "Removing Files");
    f.SetVisible("Label1", false);
    f.SetVisible("Panel1", true);
    f.SetVisible("Panel2", false);
    os.User().SetScreenCursor(Cursor::Hourglass);

    const std::string d = WindowsDir();
    // A file that cannot be deleted is passed over; a name that could reach outside the
    // Windows directory deletes nothing.
    const auto remove = [&](const std::string& name) {
        if (InsideWindowsDir(name) && files.FileExists(d + name)) {
            files.DeleteFile(d + name);
        }
    };
    const bool plain = SaverNameUsable();
    if (plain) {
        remove(show.SaverFileName + ".SCR");
    }
    SetGauge(34);
    if (plain) {
        remove(show.SaverFileName + ".QDM");
    }
    SetGauge(67);
    os.Profile().WriteString("Screen Saver." + show.SaverTitle, std::nullopt, std::nullopt,
                             "control.ini");
    SetGauge(100);
    ShowMessageBox("'" + show.SaverTitle + "' successfully Uninstalled.", MB_ICONINFORMATION);
    Finish(ModalResult::Ok);
}

} // namespace qv
