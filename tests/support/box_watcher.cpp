#include "tests/support/box_watcher.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

std::vector<QMessageBox*> OpenMessageBoxes()
{
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            boxes.push_back(box);
    return boxes;
}

void PressOk(QMessageBox* box)
{
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) QTest::mouseClick(ok, Qt::LeftButton);
}

}  // namespace

BoxWatcher::BoxWatcher(Policy policy) : policy_(policy)
{
    qApp->installEventFilter(this);
}

BoxWatcher::~BoxWatcher()
{
    qApp->removeEventFilter(this);
}

bool BoxWatcher::eventFilter(QObject* watched, QEvent* event)
{
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (!box || event->type() != QEvent::Show) return false;
    seen_.push_back({box->windowTitle(), box->text(),
                     box->standardButtons() == QMessageBox::StandardButtons(QMessageBox::Ok),
                     box->isModal()});
    if (shown_) shown_(seen_.back());
    // Answered from the event loop, once the box runs its own.
    if (policy_ == kAnswerAtOnce) QTimer::singleShot(0, box, [box] { PressOk(box); });
    return false;
}

std::vector<QString> BoxWatcher::Texts() const
{
    std::vector<QString> texts;
    for (const SeenBox& box : seen_)
        texts.push_back(box.text);
    return texts;
}

int BoxWatcher::OpenBoxes() const
{
    return static_cast<int>(OpenMessageBoxes().size());
}

void BoxWatcher::AnswerOpenBoxes()
{
    for (QMessageBox* box : OpenMessageBoxes())
        PressOk(box);
}
