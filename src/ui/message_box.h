// The program-wide message box `Mymsg` and the application's error box.
//
// Mymsg has two forms. The warning box shows one button, the question box two;
// buttons take their captions by position from "&Sì", "&No", so the warning
// box's single button also reads "&Sì". The first button is the default and
// has the focus, so Enter answers Yes or acknowledges. Only the "&Sì" button of
// the question box counts as Yes; Esc or the close box is No.
#pragma once

#include <QString>

class QWidget;

namespace ui {

extern const QString kApplicationTitle;  // "Gestione Tasmero"

class TMymsg {
  public:
    static void warning(QWidget* parent, const QString& text);
    static bool question(QWidget* parent, const QString& text);
};

// The platform's plain message box with a single "OK" button.
void plainMessage(QWidget* parent, const QString& text);

// The error box: error icon, "OK", the application title as caption, and the
// message with a full stop added when its last character sorts after ".".
void errorBox(QWidget* parent, const QString& message);
QString errorBoxText(const QString& message);

}  // namespace ui
