#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace ui {

const QString kApplicationTitle = QStringLiteral("Gestione Tasmero");

namespace {

// The box's own button kind: Enter on it answers the box and, the button not
// being of an excluded class, the Tab of the Enter-as-Tab rule then reaches
// the window that gets the focus back.
class MymsgButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;
};

QWidget* ownerOr(QWidget* parent) {
    return parent ? parent : QApplication::activeWindow();
}

// Returns true when the first button (captioned "&Sì") was pressed.
bool showMymsg(QWidget* parent, QMessageBox::Icon icon, const QString& text, int buttons) {
    QMessageBox box(icon, kApplicationTitle, text, QMessageBox::NoButton, ownerOr(parent));
    box.setObjectName(QStringLiteral("Mymsg"));
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    const QString captions[] = {QStringLiteral("&Sì"), QStringLiteral("&No")};
    QPushButton* first = nullptr;
    for (int i = 0; i < buttons; ++i) {
        auto* button = new MymsgButton(captions[i], &box);
        box.addButton(button, i == 0 ? QMessageBox::YesRole : QMessageBox::NoRole);
        button->setObjectName(i == 0 ? QStringLiteral("MymsgYes") : QStringLiteral("MymsgNo"));
        if (i == 0) first = button;
    }
    box.setDefaultButton(first);
    if (buttons > 1) box.setEscapeButton(box.buttons().at(1));
    box.exec();
    return box.clickedButton() == first;
}

}  // namespace

void TMymsg::warning(QWidget* parent, const QString& text) {
    showMymsg(parent, QMessageBox::Warning, text, 1);
}

bool TMymsg::question(QWidget* parent, const QString& text) {
    return showMymsg(parent, QMessageBox::Question, text, 2);
}

void plainMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, ownerOr(parent));
    box.setObjectName(QStringLiteral("PlainMessage"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
    return message;
}

void errorBox(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, errorBoxText(message),
                    QMessageBox::Ok, ownerOr(parent));
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace ui

#include "message_box.moc"
