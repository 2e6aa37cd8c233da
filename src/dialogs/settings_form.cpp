#include "dialogs/settings_form.h"

#include "show/settings.h"

#include <algorithm>

namespace qv {

bool StyleUsesSpeed(int32_t transitionType) {
    switch (transitionType) {
    case 1:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 9:
    case 10:
    case 15:
    case 16:
        return true;
    default:
        return false;
    }
}

TCfgFrm::TCfgFrm(DialogContext& ctx)
    : m_ctx(ctx), m_form(ctx.Os, "TCfgFrm", kDesignSize, ctx.App.Handle()) {
    Form& f = m_form;
    f.SetCaption("Test Screen Saver");
    // A stack of panels at the top of the form; a hidden one takes no room.
    Control& speedPanel = f.Add(ControlKind::Panel, "pnlSpeed", {0, 0, 201, 40});
    speedPanel.Alignment = Align::Top;
    speedPanel.Caption = "Speed:";
    speedPanel.BorderWidth = 6;
    speedPanel.Visible = false;
    Control& speed = f.Add(ControlKind::ScrollBar, "ssspeed", {56, 12, 189, 29}, "pnlSpeed");
    speed.Min = 1;
    speed.Max = 100;
    speed.Position = 1;
    speed.LargeChange = 8;
    speed.OnChange = Guarded(m_ctx, [this] { sbSpeedChange(); });

    Control& soundPanel = f.Add(ControlKind::Panel, "pnlSound", {0, 40, 201, 80});
    soundPanel.Alignment = Align::Top;
    Control& sound = f.Add(ControlKind::CheckBox, "chkSound", {16, 12, 185, 29}, "pnlSound");
    sound.Caption = "Play Sound";
    sound.Checked = true;

    Control& buttons = f.Add(ControlKind::Panel, "pnlButtons", {0, 80, 201, 129});
    buttons.Alignment = Align::Top;
    Control& about = f.Add(ControlKind::Button, "btnAbout", {22, 12, 97, 35}, "pnlButtons");
    about.Caption = "&About";
    about.OnClick = Guarded(m_ctx, [this] { btnAboutClick(); });
    Control& ok = f.Add(ControlKind::Button, "btnOK", {104, 12, 179, 35}, "pnlButtons");
    ok.Caption = "&OK";
    ok.Role = ButtonRole::Default;
    ok.OnClick = Guarded(m_ctx, [this] { btnOKClick(); });
    FormCreate();
}

void TCfgFrm::FormCreate() {
    const ShowRecord& show = m_ctx.Show;
    Form& f = m_form;
    f.SetCaption(show.SaverTitle);

    int32_t h = f["pnlButtons"].Bounds.Height();
    if (!show.SoundFile.empty()) {
        h += f["pnlSound"].Bounds.Height();
    } else {
        f.SetVisible("pnlSound", false);
    }
    const int32_t id = show.TransitionType;
    if (StyleUsesSpeed(id)) {
        f.SetVisible("pnlSpeed", true);
        f.SetClientSize({f.ClientSize().Width, h + f["pnlSpeed"].Bounds.Height()});
    } else if (id >= 1 && id <= 16) {
        f.SetClientSize({f.ClientSize().Width, h});
    }

    LoadSettings(m_ctx);
    f.SetChecked("chkSound", m_ctx.Run.SoundOn != 0);
    f.SetPosition("ssspeed", std::clamp(m_ctx.Run.Speed, 1, 100));
}

void TCfgFrm::btnOKClick() {
    m_ctx.Run.Speed = m_form["ssspeed"].Position;
    m_ctx.Run.SoundOn = m_form["chkSound"].Checked ? 1 : 0;
    SaveSettings(m_ctx);
    m_form.Close(ModalResult::Ok);
}

void TCfgFrm::btnAboutClick() {
    if (m_about) {
        m_about->ShowModal();
    }
}

void TCfgFrm::sbSpeedChange() {
    if (m_form.Visible()) {
        m_form.SetFocus("btnOK");
    }
}

ModalResult TCfgFrm::Run() {
    return m_form.Run(Modality::MainForm);
}

} // namespace qv
