#include "ui/field_exit.h"

#include "ui/slot_guard.h"

#include <QApplication>
#include <QWidget>

namespace ui {

void onFieldExit(QWidget* field, std::function<void()> handler) {
    QObject::connect(qApp, &QApplication::focusChanged, field,
                     [field, handler = std::move(handler)](QWidget* old, QWidget* now) {
                         if (old == field && now && now->window() == field->window())
                             runGuarded(field->window(), handler);
                     });
}

}  // namespace ui
