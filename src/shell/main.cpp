#include "shell/menu_form.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Gestione Tasmero"));
    TMenuForm MenuForm;
    MenuForm.show();
    return QApplication::exec();
}
