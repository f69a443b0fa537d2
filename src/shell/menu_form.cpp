#include "shell/menu_form.h"

#include <QLabel>

TMenuForm::TMenuForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MenuForm"));
    setWindowTitle(QStringLiteral("Menu"));
    auto* label = new QLabel(QStringLiteral("Programma Gestione Tasmero"), this);
    label->setAlignment(Qt::AlignCenter);
    setCentralWidget(label);
    resize(640, 400);
}
