#include "reports/ui/date_box.h"

#include "platform/dates.h"
#include "platform/program_locale.h"

#include <QAction>
#include <QCalendarWidget>
#include <QKeyEvent>
#include <QStyle>
#include <QVBoxLayout>

namespace reports {

DateBox::DateBox(QWidget* parent) : QLineEdit(parent) {
    QAction* button = addAction(style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
    button->setObjectName(QStringLiteral("calendarButton"));
    button->setToolTip(QStringLiteral("Calendario (F4)"));
    connect(button, &QAction::triggered, this, &DateBox::showCalendar);
    // Room for the widest date beside the button.
    setMinimumWidth(fontMetrics().horizontalAdvance(platform::formatDate(QDate(2028, 12, 28))) + 44);
}

QDate DateBox::date() const {
    return platform::parseDate(text());
}

void DateBox::setDate(QDate date) {
    setText(platform::formatDate(date));
}

void DateBox::keyPressEvent(QKeyEvent* event) {
    const bool altDown = event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier);
    if (event->key() == Qt::Key_F4 || altDown) {
        showCalendar();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void DateBox::showCalendar() {
    if (calendar_) return;
    // A popup frame of its own: it closes on Esc or a click outside it.
    auto* popup = new QWidget(this, Qt::Popup);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    popup->setObjectName(QStringLiteral("calendarPopup"));
    calendar_ = new QCalendarWidget(popup);
    calendar_->setLocale(platform::programLocale());
    calendar_->setGridVisible(true);
    const QDate shown = date();
    calendar_->setSelectedDate(shown.isValid() ? shown : platform::today());
    auto* layout = new QVBoxLayout(popup);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(calendar_);
    connect(calendar_, &QCalendarWidget::activated, this, [this, popup](QDate day) {
        setDate(day);
        popup->close();
    });
    connect(calendar_, &QCalendarWidget::clicked, this, [this, popup](QDate day) {
        setDate(day);
        popup->close();
    });
    connect(popup, &QObject::destroyed, this, [this] {
        calendar_ = nullptr;
        setFocus();
    });
    popup->adjustSize();
    popup->move(mapToGlobal(QPoint(0, height())));
    popup->show();
    calendar_->setFocus();
}

}  // namespace reports
