// A date box that may be left empty: the date as text in the regional short
// format, with a calendar button. An empty box, or text that is not a date,
// holds no date (an invalid QDate), which the print filters take as "no
// bound". F4 or Alt+Down opens the calendar from the keyboard; in it, Enter
// takes the day and Esc leaves the box as it was.
#pragma once

#include <QDate>
#include <QLineEdit>

class QCalendarWidget;

namespace reports {

class DateBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit DateBox(QWidget* parent = nullptr);

    // The date the text reads as; invalid for an empty or unreadable text.
    QDate date() const;
    // Shows `date`; an invalid date empties the box.
    void setDate(QDate date);

    void showCalendar();
    // The calendar while it is open, else nullptr.
    QCalendarWidget* calendar() const { return calendar_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QCalendarWidget* calendar_ = nullptr;
};

}  // namespace reports
