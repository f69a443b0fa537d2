#include "ui/db_navigator.h"

#include "archive/dbase/cursor.h"
#include "ui/action_button.h"
#include "ui/slot_guard.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

namespace ui {

DbNavigator::DbNavigator(DataSource& source, QWidget* parent) : QWidget(parent), source_(&source) {
    static const char* const names[] = {"nbFirst", "nbPrior", "nbNext", "nbLast"};
    static const QStyle::StandardPixmap pictures[] = {
        QStyle::SP_MediaSkipBackward, QStyle::SP_MediaSeekBackward, QStyle::SP_MediaSeekForward,
        QStyle::SP_MediaSkipForward};
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(names[i]));
        b->setIcon(style()->standardIcon(pictures[i]));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, [this, i] { btnClick(Button(i)); });
        layout->addWidget(b);
        buttons_[i] = b;
    }
    connect(&source, &DataSource::recordChanged, this, &DbNavigator::updateButtons);
    updateButtons();
}

void DbNavigator::setHints(const std::array<QString, 4>& hints) {
    for (int i = 0; i < 4; ++i) {
        const Hint parts = splitHint(hints[i]);
        buttons_[i]->setToolTip(parts.tip);
        buttons_[i]->setStatusTip(parts.status);
    }
}

void DbNavigator::btnClick(Button which) {
    if (!source_ || !isEnabled()) return;
    runGuarded(this, [&] {
        dbase::Cursor& dataset = source_->dataset();
        switch (which) {
            case First:
                dataset.first();
                break;
            case Prior:
                dataset.prior();
                break;
            case Next:
                dataset.next();
                break;
            case Last:
                dataset.last();
                break;
        }
    });
    source_->notifyRecordChanged();
}

void DbNavigator::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) updateButtons();
}

void DbNavigator::updateButtons() {
    if (!source_) return;
    const dbase::Cursor& dataset = source_->dataset();
    const bool usable = dataset.isOpen() && !dataset.isEmpty() && !source_->editing();
    buttons_[First]->setEnabled(usable && !dataset.bof());
    buttons_[Prior]->setEnabled(usable && !dataset.bof());
    buttons_[Next]->setEnabled(usable && !dataset.eof());
    buttons_[Last]->setEnabled(usable && !dataset.eof());
}

}  // namespace ui
