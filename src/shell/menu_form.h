// The main window. For now it only carries its caption and the program's
// identity; its buttons, menus and scan field come with the shell.
#pragma once

#include <QMainWindow>

class TMenuForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMenuForm(QWidget* parent = nullptr);
};
