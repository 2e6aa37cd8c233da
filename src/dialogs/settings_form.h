#pragma once

#include "dialogs/about_box.h"
#include "raster/form_support.h"

namespace qv {

// TCfgFrm: the settings dialog, the main form of the settings role. It shows the speed only
// for the styles that use it and the sound option only when the show has a sound; OK saves
// both settings, the close box saves nothing.
class TCfgFrm {
public:
    // Builds the form and runs FormCreate (which loads the settings).
    explicit TCfgFrm(DialogContext& ctx);

    void FormCreate();
    void btnOKClick();
    void btnAboutClick();
    void sbSpeedChange();

    // The about box the About button shows; created after this form.
    void SetAboutBox(TfrmAbout* about) { m_about = about; }
    // Shows the form and runs the message loop until it closes.
    ModalResult Run();

    Form& TheForm() { return m_form; }

    static constexpr Size kDesignSize{201, 246};

private:
    DialogContext& m_ctx;
    Form m_form;
    TfrmAbout* m_about = nullptr;
};

// Whether the settings dialog shows the speed for a transition id.
bool StyleUsesSpeed(int32_t transitionType);

} // namespace qv
