// Enter as Tab: in every window, Enter on a control also moves the focus on.
//
// Once switched on, an application event filter watches every key press. On
// Enter or keypad Enter (without Ctrl, Alt or Meta) delivered to the focus
// widget, it first lets the control and its window handle the Enter as usual
// (a line edit still emits returnPressed, a dialog's default button still
// reacts), and then, from the event loop, gives the window that has the focus
// by then a Tab: the focus moves to the next control in tab order. The Tab goes
// to the window, not to the control, so that a control with its own use for
// Tab (the sections of a date edit) does not keep it.
//
// Controls whose exact class is excluded keep Enter for themselves and get no
// Tab. The exact class is the widget's meta-object class name, compared without
// regard to case: a subclass with its own Q_OBJECT is a class of its own and is
// not excluded unless named; one without Q_OBJECT reports its base class. The
// default list maps the program's button and multi-line editor kinds:
//   push buttons (plain or with a picture)  -> QPushButton, QToolButton
//   memo editors (plain or data-aware)      -> QPlainTextEdit
//   rich-text editors (plain or data-aware) -> QTextEdit
//
// A focused push or tool button always presses on Enter, as the program's
// buttons do, also outside dialogs where Qt itself would ignore the key; that
// press takes the Enter, so a dialog's default button does not fire as well.
//
// When the Enter closed a box and no widget has the focus yet (the window
// system gives it back to the window behind a little later), the Tab waits for
// the next widget that gets the focus, for at most a second, as a typed key
// would wait in the keyboard input.
//
// A window whose Enter means "done" (it closes on its default button and its
// caller then puts the focus where the work goes on) sets the property
// kNoTabAfterEnter: no Tab follows an Enter there, so the focus the caller
// chose is not moved on by a Tab that arrives after the window has closed.
//
// Nothing happens until switchOn(); switching on again changes nothing. Event
// filters installed earlier keep receiving every key after this one.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

class QWidget;

namespace platform {

inline constexpr char kNoTabAfterEnter[] = "noTabAfterEnter";

class EnterAsTab : public QObject {
    Q_OBJECT
  public:
    explicit EnterAsTab(QObject* parent = nullptr);

    static QStringList defaultExcludedClasses();
    void setExcludedClasses(const QStringList& classNames) { excluded_ = classNames; }
    const QStringList& excludedClasses() const { return excluded_; }

    void switchOn();
    bool isOn() const { return on_; }

    bool isExcluded(const QWidget* widget) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void tabInFocusWindow();

    QStringList excluded_;
    bool on_ = false;
    QTimer pendingTab_;  // running while a Tab waits for a focus widget
};

}  // namespace platform
