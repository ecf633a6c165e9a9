#include "platform/window/dialog_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "platform/window/qt_dialog.h"

namespace {

Qt::Alignment TextAlignment(unsigned style)
{
    Qt::Alignment alignment = Qt::AlignLeft;
    if (style & kTextRight) alignment = Qt::AlignRight;
    if (style & kTextCentered) alignment = Qt::AlignHCenter;
    return alignment | ((style & kCenteredVertically) ? Qt::AlignVCenter : Qt::AlignTop);
}

QWidget* NewButton(Dialog* dialog, const ControlTemplate& control)
{
    auto* button = new QPushButton(QString::fromUtf8(control.text));
    button->setAutoDefault(false);
    const int id = control.id;
    QObject::connect(button, &QPushButton::clicked,
                     [dialog, id] { dialog->Send(WM_COMMAND, MakeCommand(id, BN_CLICKED), 0); });
    return button;
}

QWidget* NewCheckBox(Dialog* dialog, const ControlTemplate& control)
{
    auto* box = new QCheckBox(QString::fromUtf8(control.text));
    const int id = control.id;
    QObject::connect(box, &QCheckBox::clicked,
                     [dialog, id] { dialog->Send(WM_COMMAND, MakeCommand(id, BN_CLICKED), 0); });
    return box;
}

QWidget* NewLabel(const ControlTemplate& control)
{
    auto* label = new QLabel(QString::fromUtf8(control.text));
    label->setAlignment(TextAlignment(control.style));
    if (control.style & kBorder) label->setFrameStyle(QFrame::Box | QFrame::Plain);
    return label;
}

QWidget* NewList(const ControlTemplate& control)
{
    auto* list = new QComboBox;
    list->setEditable((control.style & kEditableList) != 0);
    list->setInsertPolicy(QComboBox::NoInsert);  // typed text is read, never added to the list
    return list;
}

QWidget* NewControl(Dialog* dialog, const ControlTemplate& control)
{
    switch (control.kind) {
        case ControlKind::kPushButton:
            return NewButton(dialog, control);
        case ControlKind::kCheckBox:
            return NewCheckBox(dialog, control);
        case ControlKind::kStaticText:
            return NewLabel(control);
        case ControlKind::kComboBox:
            return NewList(control);
        case ControlKind::kGroupBox:
            return new QGroupBox(QString::fromUtf8(control.text));
    }
    return nullptr;
}

QRect ToQRect(const DialogRect& rect)
{
    return {rect.x, rect.y, rect.width, rect.height};
}

// A combo box's rectangle includes its dropped-down list; the field itself is as high as the
// font needs.
QRect ControlGeometry(QWidget* widget, const ControlTemplate& control, DialogBaseUnits base)
{
    QRect geometry = ToQRect(DialogUnitsToPixels(control.rect, base));
    if (control.kind == ControlKind::kComboBox)
        geometry.setHeight(std::min(geometry.height(), widget->sizeHint().height()));
    return geometry;
}

struct BuiltControl {
    const ControlTemplate* control;
    QWidget* widget;
};

bool IsLabel(const ControlTemplate& control)
{
    return control.kind == ControlKind::kStaticText && control.id == IDC_STATIC;
}

// The nearest control to the right of `label` on its row, or nullptr.
QWidget* ControlNamedBy(const QRect& label, const std::vector<BuiltControl>& built)
{
    QWidget* named = nullptr;
    for (const BuiltControl& candidate : built) {
        const ControlKind kind = candidate.control->kind;
        if (kind == ControlKind::kStaticText || kind == ControlKind::kGroupBox) continue;
        const QRect place = candidate.widget->geometry();
        const bool onTheRow = place.top() <= label.bottom() && label.top() <= place.bottom();
        if (onTheRow && place.left() > label.right() &&
            (!named || place.left() < named->geometry().left()))
            named = candidate.widget;
    }
    return named;
}

// A label names the control to its right on its row, as the handheld's static text before a
// control named it for a screen reader: the control becomes the label's buddy, which Qt's
// accessibility reports as the control's label ("labelled by" on AT-SPI).
void NameControlsByTheirLabels(const std::vector<BuiltControl>& built)
{
    for (const BuiltControl& label : built) {
        if (!IsLabel(*label.control)) continue;
        if (QWidget* named = ControlNamedBy(label.widget->geometry(), built))
            static_cast<QLabel*>(label.widget)->setBuddy(named);
    }
}

}  // namespace

QFont DialogFont(const DialogTemplate& dialogTemplate)
{
    // The handheld's face does not exist on Linux; the desktop's default sans-serif at the same
    // size gives base units close to the handheld's.
    QFont font(QStringLiteral("Sans Serif"), dialogTemplate.pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int alphabetWidth = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {MulDivRounded(alphabetWidth, 1, 52), metrics.height()};
}

void BuildDialogWindow(Dialog* dialog, const DialogTemplate& tmpl)
{
    QWidget* window = dialog->window;
    window->setFont(DialogFont(tmpl));
    window->setWindowTitle(QString::fromUtf8(tmpl.caption));
    const DialogBaseUnits base = BaseUnitsOf(window->font());
    const DialogRect size = DialogUnitsToPixels(tmpl.rect, base);
    window->resize(size.width, size.height);
    window->move(size.x, size.y);

    std::vector<BuiltControl> built;
    for (const ControlTemplate& control : tmpl.controls) {
        QWidget* widget = NewControl(dialog, control);
        widget->setParent(window);
        widget->setFocusPolicy((control.style & kTabStop) ? Qt::StrongFocus : Qt::NoFocus);
        widget->setGeometry(ControlGeometry(widget, control, base));
        if (control.id != IDC_STATIC) dialog->AddControl(control.id, widget);
        built.push_back({&control, widget});
    }
    // Frames come last in the template but must not cover the controls they frame.
    for (const BuiltControl& frame : built)
        if (frame.control->kind == ControlKind::kGroupBox) frame.widget->lower();
    NameControlsByTheirLabels(built);
}
