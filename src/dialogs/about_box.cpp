#include "dialogs/about_box.h"

namespace qv {

TfrmAbout::TfrmAbout(DialogContext& ctx)
    : m_ctx(ctx), m_form(ctx.Os, "TfrmAbout", kClientSize, ctx.App.Handle()) {
    Form& f = m_form;
    f.SetCaption("Screen Saver");
    Control& logo = f.Add(ControlKind::Image, "logo", {8, 8, 88, 168});
    logo.AutoSize = true;
    Control& ok = f.Add(ControlKind::Button, "Button1", {294, 146, 369, 169});
    ok.Caption = "&OK";
    ok.Role = ButtonRole::Default;
    ok.OnClick = Guarded(m_ctx, [this] { Button1Click(); });
    Control& panel = f.Add(ControlKind::Panel, "Panel2", {96, 8, 369, 137});
    panel.BevelInner = Bevel::Raised;
    panel.BevelOuter = Bevel::Lowered;
    Control& about = f.Add(ControlKind::Label, "Label2", {8, 8, 265, 62}, "Panel2");
    about.Caption = "[ about ]";
    about.TextAlignment = TextAlign::Centre;
    Control& text = f.Add(ControlKind::Label, "text", {8, 64, 265, 118}, "Panel2");
    text.Caption = "[ client text ]";
    text.TextAlignment = TextAlign::Centre;
    FormCreate();
}

void TfrmAbout::FormCreate() {
    ShowRecord& show = m_ctx.Show;
    Form& f = m_form;
    f.SetCaption(show.SaverTitle);
    f.SetText("Label2", BarsToLineBreaks(show.AboutText));
    switch (show.LogoKind) {
    case 0:
    case 2: {
        f.SetPicture("logo", ProgramIcon());
        f.SetLeft("logo", (80 - kIconSize) / 2 + 8);
        if (show.LogoKind == 0) {
            show.ClientText = CreditText(CreditPlace::AboutBox);
        } else {
            // The panel's client width is its width: it has no border of its own.
            f.SetLeft("text", 4);
            f.SetWidth("text", f["Panel2"].Bounds.Width() - 8);
        }
        break;
    }
    case 1:
        LoadLogoImage(m_ctx, f, "logo", 80, 160);
        f.SetLeft("logo", (80 - f["logo"].Bounds.Width()) / 2 + 8);
        break;
    default:
        break;
    }
    f.SetText("text", BarsToLineBreaks(show.ClientText));
}

void TfrmAbout::Button1Click() {
    m_form.Close(ModalResult::Ok);
}

void TfrmAbout::ShowModal() {
    m_form.Run(Modality::Modal);
}

} // namespace qv
