#pragma once

#include "platform/forms.h"

#include <memory>
#include <vector>

class QDialog;
class QWidget;

namespace qv {

class Platform;
class QtHost;

// A form on the window host: a Qt Widgets dialog of exactly the form's client size, with
// the dialog border and the close box only, centred on the screen. Each control is a
// widget named as the control (QObject::objectName), placed at the form's client pixels;
// the font "MS Sans Serif" is shown in its stand-in, Liberation Sans. What the user does
// (a click, a toggle, a moved scroll bar, the close box or Escape) is posted to the form.
class QtFormView : public FormView {
public:
    QtFormView(QtHost& host, Form& form);
    ~QtFormView() override;
    QtFormView(const QtFormView&) = delete;
    QtFormView& operator=(const QtFormView&) = delete;

    void Realise() override;
    void Changed(int32_t index) override;
    void Shown(bool visible, Modality modality) override;
    void FocusChanged() override;

    Form& TheForm() const { return m_form; }
    QDialog* Dialog() const;

private:
    void Build();
    void Update(int32_t index);

    QtHost& m_host;
    Form& m_form;
    std::unique_ptr<QDialog> m_dialog;
    std::vector<QWidget*> m_widgets;  // one per control, owned by the dialog
    std::vector<QWidget*> m_captions; // a panel's caption label, or null
    bool m_updating = false;
};

} // namespace qv
