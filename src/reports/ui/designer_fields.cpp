#include "reports/ui/designer_fields.h"

#include "platform/error.h"
#include "reports/ui/designer_canvas.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

namespace reports {
namespace {

QString fieldExpression(const QString& field) { return u'[' + field.toLower() + u']'; }

}  // namespace

QStringList designerDatasetNames() {
    return {QStringLiteral("Stampa1"),     QStringLiteral("Stampa2"),      QStringLiteral("Stampa3"),
            QStringLiteral("Riviste"),     QStringLiteral("Giacenza"),     QStringLiteral("Giornale"),
            QStringLiteral("Apporiviste"), QStringLiteral("Apporiviste2")};
}

std::vector<DatasetFields> availableFields(const DatasetResolver& datasets, const QStringList& names,
                                           const QString& first) {
    QStringList order = names;
    for (qsizetype i = 0; i < order.size(); ++i)
        if (order[i].compare(first, Qt::CaseInsensitive) == 0) order.move(i, 0);
    std::vector<DatasetFields> result;
    if (!datasets) return result;
    for (const QString& name : order) {
        try {
            std::unique_ptr<ReportDataset> d = datasets(name);
            if (!d) continue;
            const FieldCatalog catalog = d->fields();
            result.push_back({name, QStringList(catalog.names.begin(), catalog.names.end())});
        } catch (const platform::Error&) {
            // A dataset that is not open has nothing to offer now.
        }
    }
    return result;
}

void fillFieldMenu(QMenu& menu, const std::vector<DatasetFields>& fields,
                   const std::function<void(const QString&)>& chosen) {
    menu.clear();
    for (const DatasetFields& d : fields) {
        QMenu* sub = menu.addMenu(d.dataset);
        for (const QString& f : d.fields) {
            const QString expression = fieldExpression(f);
            sub->addAction(f.toLower(), &menu, [chosen, expression] { chosen(expression); });
        }
    }
    QMenu* functions = menu.addMenu(QStringLiteral("Funzioni"));
    for (const char* f : {"[SUM()]", "[COUNT()]", "[AVG()]", "[MIN()]", "[MAX()]", "[IF(, , )]", "[PAGE]",
                          "[PAGES]", "[DATE]", "[MOVIMENTO(tipo)]"}) {
        const QString expression = QLatin1String(f);
        functions->addAction(expression, &menu, [chosen, expression] { chosen(expression); });
    }
}

DesignerFieldList::DesignerFieldList(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("DesignerFieldList"));
    setHeaderHidden(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item->parent()) emit fieldChosen(fieldExpression(item->text(0)));
    });
}

void DesignerFieldList::setFields(const std::vector<DatasetFields>& fields) {
    clear();
    for (const DatasetFields& d : fields) {
        auto* top = new QTreeWidgetItem(this, {d.dataset});
        top->setFlags(Qt::ItemIsEnabled);
        for (const QString& f : d.fields) new QTreeWidgetItem(top, {f.toLower()});
    }
    if (topLevelItemCount() > 0) expandItem(topLevelItem(0));
}

QStringList DesignerFieldList::mimeTypes() const { return {QLatin1String(kFieldMimeType)}; }

QMimeData* DesignerFieldList::mimeData(const QList<QTreeWidgetItem*>& items) const {
    if (items.isEmpty() || !items.front()->parent()) return nullptr;
    auto* data = new QMimeData;
    data->setData(QLatin1String(kFieldMimeType), fieldExpression(items.front()->text(0)).toUtf8());
    return data;
}

void DesignerFieldList::keyPressEvent(QKeyEvent* event) {
    // Enter places the field; it does not move on to the next control.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem() &&
        currentItem()->parent()) {
        emit fieldChosen(fieldExpression(currentItem()->text(0)));
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace reports
