// The window-opening pattern of the main window's commands: the hourglass
// while the window is made, the data module prepared, the modal show, and on
// closing the window destroyed, its global reference cleared and the cursor
// back to normal, also when making, preparing or showing it fails (the error
// then goes on to the error box).
//
//   ui::showModal(frmCarico, [] { return std::make_unique<TfrmCarico>(MenuForm); },
//                    [](TfrmCarico& form) { Data1->Giornale.last(); ... });
#pragma once

#include <QApplication>
#include <QDialog>
#include <memory>

namespace ui {

// The normal cursor, whatever hourglasses were stacked on it.
void resetCursor();

template <class Form, class Create, class Prepare>
int showModal(Form*& global, Create&& create, Prepare&& prepare) {
    struct Cleanup {
        Form*& global;
        ~Cleanup() {
            global = nullptr;
            resetCursor();
        }
    } cleanup{global};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::unique_ptr<Form> form = create();
    QApplication::restoreOverrideCursor();
    global = form.get();
    prepare(*form);
    return form->exec();
}

// The same for a long-lived window, which is only shown and hidden.
int showModal(QDialog& form);

template <class Form, class Create>
int showModal(Form*& global, Create&& create) {
    return showModal(global, std::forward<Create>(create), [](Form&) {});
}

}  // namespace ui
