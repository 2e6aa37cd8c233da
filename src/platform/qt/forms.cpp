#include "platform/qt/forms.h"

#include "platform/platform.h"
#include "platform/qt/qt_host.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

namespace qv {
namespace {

QString ToQt(std::string_view text) {
    // Show texts are Windows-1252 bytes; their first 256 code points are Latin-1's.
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The dialog: the close box and Escape go to the form, which decides what closing means.
class FormDialog : public QDialog {
public:
    explicit FormDialog(Form& form) : m_form(form) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        m_form.PostClose();
    }
    void reject() override { m_form.PostClose(); }

private:
    Form& m_form;
};

QImage ToImage(const Surface& s) {
    QImage image(s.Width(), s.Height(), QImage::Format_RGB32);
    for (int32_t y = 0; y < s.Height(); ++y) {
        std::copy(s.Row32(y), s.Row32(y) + s.Width(),
                  reinterpret_cast<uint32_t*>(image.scanLine(y)));
    }
    return image;
}

QFrame::Shadow ShadowOf(Bevel bevel) {
    return bevel == Bevel::Lowered ? QFrame::Sunken : QFrame::Raised;
}

} // namespace

QtFormView::QtFormView(QtHost& host, Form& form) : m_host(host), m_form(form) {
    m_host.AddFormView(this);
}

QtFormView::~QtFormView() {
    m_host.RemoveFormView(this);
    m_dialog.reset();
}

QDialog* QtFormView::Dialog() const {
    return m_dialog.get();
}

void QtFormView::Realise() {
    if (!m_dialog) {
        Build();
    }
}

void QtFormView::Build() {
    auto dialog = std::make_unique<FormDialog>(m_form);
    dialog->setObjectName(QString::fromStdString(m_form.Name()));
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont font(m_form.FontFace == "MS Sans Serif" ? QString("Liberation Sans")
                                                  : QString::fromStdString(m_form.FontFace));
    font.setPixelSize(std::max(1, m_form.FontHeight < 0 ? -m_form.FontHeight : m_form.FontHeight));
    dialog->setFont(font);
    m_dialog = std::move(dialog);

    const auto count = static_cast<int32_t>(m_form.Controls().size());
    m_widgets.assign(static_cast<size_t>(count), nullptr);
    m_captions.assign(static_cast<size_t>(count), nullptr);
    for (int32_t i = 0; i < count; ++i) {
        const Control& c = m_form.At(i);
        QWidget* parent = c.Parent < 0 ? m_dialog.get() : m_widgets[static_cast<size_t>(c.Parent)];
        QWidget* w = nullptr;
        switch (c.Kind) {
        case ControlKind::Panel: {
            auto* frame = new QFrame(parent);
            if (c.BevelOuter != Bevel::None) {
                frame->setFrameStyle(QFrame::Panel | ShadowOf(c.BevelOuter));
                frame->setLineWidth(c.BevelInner != Bevel::None ? 2 : 1);
            }
            auto* caption = new QLabel(frame);
            caption->setTextFormat(Qt::PlainText);
            m_captions[static_cast<size_t>(i)] = caption;
            w = frame;
            break;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(parent);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(false);
            w = label;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(parent);
            button->setAutoDefault(true);
            QObject::connect(button, &QPushButton::clicked, button,
                             [this, i] { m_form.PostClick(i); });
            w = button;
            break;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(parent);
            QObject::connect(box, &QCheckBox::clicked, box,
                             [this, i](bool checked) { m_form.PostCheck(i, checked); });
            w = box;
            break;
        }
        case ControlKind::ScrollBar: {
            auto* bar = new QScrollBar(Qt::Horizontal, parent);
            QObject::connect(bar, &QScrollBar::valueChanged, bar, [this, i](int value) {
                if (!m_updating) {
                    m_form.PostScroll(i, value);
                }
            });
            w = bar;
            break;
        }
        case ControlKind::Image: {
            auto* image = new QLabel(parent);
            image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = image;
            break;
        }
        case ControlKind::Memo: {
            auto* memo = new QPlainTextEdit(parent);
            memo->setReadOnly(true);
            memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            memo->setLineWrapMode(QPlainTextEdit::NoWrap);
            w = memo;
            break;
        }
        case ControlKind::Gauge: {
            auto* gauge = new QProgressBar(parent);
            gauge->setRange(0, 100);
            gauge->setFormat("%p%");
            gauge->setAlignment(Qt::AlignCenter);
            gauge->setTextVisible(true);
            w = gauge;
            break;
        }
        case ControlKind::Rule: {
            auto* rule = new QFrame(parent);
            rule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
            w = rule;
            break;
        }
        }
        w->setObjectName(QString::fromStdString(c.Name));
        m_widgets[static_cast<size_t>(i)] = w;
    }
    Changed(-1);
    for (int32_t i = 0; i < count; ++i) {
        Update(i);
    }
}

void QtFormView::Changed(int32_t index) {
    if (!m_dialog) {
        return;
    }
    if (index >= 0) {
        Update(index);
        return;
    }
    const Size client = m_form.ClientSize();
    m_dialog->setWindowTitle(ToQt(m_form.Caption()));
    m_dialog->setFixedSize(client.Width, client.Height);
}

void QtFormView::Update(int32_t index) {
    if (index >= static_cast<int32_t>(m_widgets.size())) {
        return;
    }
    m_updating = true;
    const Control& c = m_form.At(index);
    QWidget* w = m_widgets[static_cast<size_t>(index)];
    const Rect r = m_form.PlacedBounds(index);
    w->setGeometry(r.Left, r.Top, r.Width(), r.Height());
    w->setEnabled(c.Enabled);
    switch (c.Kind) {
    case ControlKind::Panel: {
        auto* caption = static_cast<QLabel*>(m_captions[static_cast<size_t>(index)]);
        const int32_t bevels = (c.BevelOuter != Bevel::None) + (c.BevelInner != Bevel::None);
        const int32_t inset = bevels + c.BorderWidth;
        caption->setGeometry(inset, 0, std::max(0, r.Width() - 2 * inset), r.Height());
        caption->setAlignment(
            (c.TextAlignment == TextAlign::Centre ? Qt::AlignHCenter : Qt::AlignLeft) |
            Qt::AlignVCenter);
        caption->setText(ToQt(c.Caption));
        caption->lower();
        break;
    }
    case ControlKind::Label: {
        auto* label = static_cast<QLabel*>(w);
        QString text = ToQt(c.Caption);
        text.replace("\r\n", "\n").replace('\r', '\n');
        label->setText(text);
        label->setWordWrap(c.WordWrap);
        label->setAlignment(
            (c.TextAlignment == TextAlign::Centre ? Qt::AlignHCenter : Qt::AlignLeft) |
            Qt::AlignTop);
        break;
    }
    case ControlKind::Button: {
        auto* button = static_cast<QPushButton*>(w);
        button->setText(ToQt(c.Caption));
        button->setDefault(c.Role == ButtonRole::Default);
        break;
    }
    case ControlKind::CheckBox: {
        auto* box = static_cast<QCheckBox*>(w);
        box->setText(ToQt(c.Caption));
        box->setChecked(c.Checked);
        break;
    }
    case ControlKind::ScrollBar: {
        auto* bar = static_cast<QScrollBar*>(w);
        bar->setRange(c.Min, c.Max);
        bar->setPageStep(c.LargeChange);
        bar->setSingleStep(c.SmallChange);
        bar->setValue(c.Position);
        break;
    }
    case ControlKind::Image: {
        auto* image = static_cast<QLabel*>(w);
        if (c.Picture.Width() > 0) {
            image->setPixmap(QPixmap::fromImage(ToImage(c.Picture)));
        } else {
            image->clear();
        }
        break;
    }
    case ControlKind::Memo: {
        QStringList lines;
        for (const std::string& line : c.Lines) {
            lines.push_back(ToQt(line));
        }
        static_cast<QPlainTextEdit*>(w)->setPlainText(lines.join('\n'));
        break;
    }
    case ControlKind::Gauge:
        static_cast<QProgressBar*>(w)->setValue(std::clamp(c.Position, 0, 100));
        break;
    case ControlKind::Rule:
        break;
    }
    w->setVisible(c.Visible);
    m_updating = false;
}

void QtFormView::Shown(bool visible, Modality modality) {
    if (!m_dialog) {
        return;
    }
    if (!visible) {
        m_dialog->hide();
        return;
    }
    m_dialog->setWindowModality(modality == Modality::Modal ? Qt::ApplicationModal : Qt::NonModal);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->geometry();
        const Size client = m_form.ClientSize();
        m_dialog->move(g.left() + (g.width() - client.Width) / 2,
                       g.top() + (g.height() - client.Height) / 2);
    }
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    FocusChanged();
}

void QtFormView::FocusChanged() {
    const int32_t focus = m_form.Focus();
    if (m_dialog && focus >= 0 && focus < static_cast<int32_t>(m_widgets.size())) {
        m_widgets[static_cast<size_t>(focus)]->setFocus(Qt::OtherFocusReason);
    }
}

} // namespace qv

namespace qv {

std::unique_ptr<FormView> QtHost::CreateFormView(Form& form) {
    return std::make_unique<QtFormView>(*this, form);
}

void QtHost::RemoveFormView(QtFormView* view) {
    std::erase(m_formViews, view);
}

QtFormView* QtHost::FormViewOf(HWND wnd) const {
    for (QtFormView* view : m_formViews) {
        if (view->TheForm().Handle() == wnd) {
            return view;
        }
    }
    return nullptr;
}

} // namespace qv
