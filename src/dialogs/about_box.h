#pragma once

#include "raster/form_support.h"

namespace qv {

// TfrmAbout: the about box. Created hidden and filled at once (FormCreate); shown modally
// by the settings dialog's About button, as often as the user asks.
class TfrmAbout {
public:
    explicit TfrmAbout(DialogContext& ctx);

    void FormCreate();
    void Button1Click();
    // Shows the form modally and returns when it is closed (hidden again).
    void ShowModal();

    Form& TheForm() { return m_form; }

    static constexpr Size kClientSize{376, 180};

private:
    DialogContext& m_ctx;
    Form m_form;
};

} // namespace qv
