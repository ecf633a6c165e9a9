#include "platform/window/dialog_controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

#include <cstring>

#include "platform/window/qt_dialog.h"

namespace {

template <typename Widget>
Widget* ControlAs(Dialog* dialog, int id)
{
    return qobject_cast<Widget*>(dialog->Control(id));
}

QString ControlText(Dialog* dialog, int id)
{
    QWidget* control = dialog->Control(id);
    if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentText();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    return {};
}

}  // namespace

void InsertListItem(Dialog* dialog, int id, int position, const char* text)
{
    if (auto* list = ControlAs<QComboBox>(dialog, id))
        list->insertItem(position, QString::fromUtf8(text));
}

void SelectListItem(Dialog* dialog, int id, int position)
{
    if (auto* list = ControlAs<QComboBox>(dialog, id)) list->setCurrentIndex(position);
}

void SetCheck(Dialog* dialog, int id, int checked)
{
    if (auto* button = ControlAs<QAbstractButton>(dialog, id)) button->setChecked(checked != 0);
}

int GetCheck(Dialog* dialog, int id)
{
    const auto* button = ControlAs<QAbstractButton>(dialog, id);
    return button && button->isChecked() ? 1 : 0;
}

std::size_t GetControlText(Dialog* dialog, int id, char* buffer, std::size_t size)
{
    if (size == 0) return 0;
    const QString text = ControlText(dialog, id);
    // Whole characters only: a character outside the basic plane is two UTF-16 units.
    qsizetype units = 0;
    for (std::size_t chars = 0; units < text.size() && chars < kControlTextMaxChars; ++chars)
        units += text.at(units).isHighSurrogate() && units + 1 < text.size() ? 2 : 1;
    QByteArray utf8 = text.left(units).toUtf8();
    while (static_cast<std::size_t>(utf8.size()) >= size) {  // never cut a character in two
        qsizetype cut = utf8.size() - 1;
        while (cut > 0 && (static_cast<unsigned char>(utf8.at(cut)) & 0xc0) == 0x80)
            --cut;
        utf8.truncate(cut);
    }
    std::memcpy(buffer, utf8.constData(), static_cast<std::size_t>(utf8.size()));
    buffer[utf8.size()] = '\0';
    return static_cast<std::size_t>(utf8.size());
}

void SetControlText(Dialog* dialog, int id, const char* text)
{
    QWidget* control = dialog->Control(id);
    const QString value = QString::fromUtf8(text);
    if (auto* list = qobject_cast<QComboBox*>(control)) list->setEditText(value);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(value);
    if (auto* label = qobject_cast<QLabel*>(control)) label->setText(value);
}

void EnableControl(Dialog* dialog, int id, bool enable)
{
    if (QWidget* control = dialog->Control(id)) control->setEnabled(enable);
}

void ShowDialog(Dialog* dialog, bool show)
{
    dialog->window->setVisible(show);
}

void BringDialogToFront(Dialog* dialog)
{
    dialog->BringToFront();
}

int ScreenWidth()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 0;
}
