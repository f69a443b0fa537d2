#include "reports/ui/designer_palette.h"

#include <QAction>
#include <QActionGroup>

namespace reports {

DesignerPalette::DesignerPalette(QWidget* parent) : QToolBar(QStringLiteral("Oggetti"), parent) {
    setObjectName(QStringLiteral("DesignerPalette"));
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    group_ = new QActionGroup(this);
    group_->setExclusive(true);
    const auto add = [this](const QString& text, std::optional<PaletteItem> item, const char* name) {
        QAction* a = addAction(text);
        a->setObjectName(QLatin1String(name));
        // Ctrl+0 for the pointer, Ctrl+1 ... Ctrl+6 for the objects.
        a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + (item ? int(*item) + 1 : 0))));
        a->setToolTip(text + QStringLiteral(" (") + a->shortcut().toString(QKeySequence::NativeText) + u')');
        a->setCheckable(true);
        group_->addAction(a);
        connect(a, &QAction::triggered, this, [this, item] { choose(item); });
        return a;
    };
    pointer_ = add(QStringLiteral("Puntatore"), std::nullopt, "toolPointer");
    pointer_->setChecked(true);
    add(QStringLiteral("Testo"), PaletteItem::Text, "toolText");
    add(QStringLiteral("Campo"), PaletteItem::Field, "toolField");
    add(QStringLiteral("Espressione"), PaletteItem::Expression, "toolExpression");
    add(QStringLiteral("Linea"), PaletteItem::Line, "toolLine");
    add(QStringLiteral("Rettangolo"), PaletteItem::Rectangle, "toolRectangle");
    add(QStringLiteral("Codice a barre"), PaletteItem::Barcode, "toolBarcode");
}

void DesignerPalette::choose(std::optional<PaletteItem> item) {
    const QList<QAction*> actions = group_->actions();
    // The actions are in the order of PaletteItem, after the pointer.
    actions.at(item ? int(*item) + 1 : 0)->setChecked(true);
    if (chosen_ == item) return;
    chosen_ = item;
    emit chosenChanged(item);
}

}  // namespace reports
