#pragma once

#include "platform/forms.h"
#include "platform/gdi.h"

namespace qv {

class HeadlessHost;
class Platform;

// A form on the headless host: drawn into its window's surface in the look of the
// platform's classic controls (button-face grey, white and grey bevels, a dark blue title
// bar, text in the form's font), so that snapshots show the dialog as a person would see
// it. Drawing happens only when something changed, just before the screen is composed.
class HeadlessFormView : public FormView {
public:
    HeadlessFormView(Platform& os, HeadlessHost& host, Form& form);
    ~HeadlessFormView() override;
    HeadlessFormView(const HeadlessFormView&) = delete;
    HeadlessFormView& operator=(const HeadlessFormView&) = delete;

    void Realise() override { m_dirty = true; }
    void Changed(int32_t /*index*/) override { m_dirty = true; }
    void Shown(bool /*visible*/, Modality /*modality*/) override { m_dirty = true; }
    void FocusChanged() override { m_dirty = true; }
    bool InputPossible() const override;

    Form& TheForm() const { return m_form; }
    void PaintIfDirty();

private:
    void Paint();
    void PaintFrame(HDC dc, Surface& s);
    void PaintControl(int32_t index, HDC dc);

    Platform& m_os;
    HeadlessHost& m_host;
    Form& m_form;
    bool m_dirty = true;
    HFONT m_font = 0;
    HFONT m_bold = 0;
};

} // namespace qv
