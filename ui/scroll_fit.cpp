#include "ui/scroll_fit.h"

#include <QBoxLayout>
#include <QDialog>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <algorithm>

namespace qp {
namespace {

QScrollArea* ScrollAreaFor(QWidget* content, QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setObjectName(content->objectName() + QStringLiteral("Scroll"));
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(content);
    return area;
}

}  // namespace

void MakePagesScroll(QTabWidget* tabs) {
    const int current = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
        QWidget* page = tabs->widget(i);
        const QString text = tabs->tabText(i);
        const QString tip = tabs->tabToolTip(i);
        tabs->removeTab(i);
        tabs->insertTab(i, ScrollAreaFor(page, tabs), text);
        tabs->setTabToolTip(i, tip);
    }
    tabs->setCurrentIndex(current);
}

void MakeDialogScroll(QDialog* dialog) {
    auto* top = qobject_cast<QBoxLayout*>(dialog->layout());
    if (top == nullptr || top->count() < 2) return;
    // Opens showing all of it where the screen has room.
    const QSize whole = dialog->sizeHint();
    auto* panel = new QWidget;
    panel->setObjectName(dialog->objectName() + QStringLiteral("Content"));
    auto* inner = new QVBoxLayout(panel);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(top->spacing());
    // Every row but the last moves, with its stretch, in its order.
    while (top->count() > 1) {
        const int stretch = top->stretch(0);
        QLayoutItem* item = top->takeAt(0);
        if (QWidget* w = item->widget()) {
            inner->addWidget(w, stretch);
            delete item;
        } else if (QLayout* l = item->layout()) {
            l->setParent(nullptr);
            inner->addLayout(l, stretch);
        } else {
            inner->addItem(item);
        }
    }
    top->insertWidget(0, ScrollAreaFor(panel, dialog), 1);
    dialog->resize(whole);
    FitToScreen(dialog);
}

void FitToScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr) return;
    const QRect available = screen->availableGeometry();
    window->resize(window->size().boundedTo(available.size()));
    QRect frame = window->frameGeometry();
    if (!available.contains(frame)) {
        frame.moveLeft(std::clamp(frame.left(), available.left(), std::max(available.left(), available.right() - frame.width())));
        frame.moveTop(std::clamp(frame.top(), available.top(), std::max(available.top(), available.bottom() - frame.height())));
        window->move(frame.topLeft());
    }
}

}  // namespace qp
