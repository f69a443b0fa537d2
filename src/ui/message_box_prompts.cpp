#include "ui/message_box_prompts.h"

#include "ui/message_box.h"

#include <QApplication>
#include <QInputDialog>

namespace ui {

void MessageBoxPrompts::warning(const QString& text) {
    TMymsg::warning(nullptr, text);
}

bool MessageBoxPrompts::question(const QString& text) {
    return TMymsg::question(nullptr, text);
}

void MessageBoxPrompts::message(const QString& text) {
    plainMessage(nullptr, text);
}

void MessageBoxPrompts::error(const QString& message) {
    errorBox(nullptr, message);
}

QString MessageBoxPrompts::input(const QString& title, const QString& prompt,
                                 const QString& initialText) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(QStringLiteral("InputBox"));
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initialText);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

}  // namespace ui
