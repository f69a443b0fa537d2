#include "ui/action_button.h"

#include <QAbstractButton>
#include <QAction>

namespace ui {

void bindToAction(QAbstractButton* button, QAction* action) {
    QSizePolicy policy = button->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    button->setSizePolicy(policy);
    const auto follow = [button, action] {
        button->setText(action->text());
        button->setIcon(action->icon());
        button->setToolTip(action->toolTip());
        button->setStatusTip(action->statusTip());
        button->setEnabled(action->isEnabled());
        button->setVisible(action->isVisible());
    };
    follow();
    QObject::connect(action, &QAction::changed, button, follow);
    QObject::connect(button, &QAbstractButton::clicked, action, [action] { action->trigger(); });
}

Hint splitHint(const QString& hint) {
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    if (bar < 0) return {hint, hint};
    return {hint.left(bar), hint.mid(bar + 1)};
}

void setHint(QAction* action, const char* hint) {
    const Hint parts = splitHint(QString::fromUtf8(hint));
    action->setToolTip(parts.tip);
    action->setStatusTip(parts.status);
}

}  // namespace ui
