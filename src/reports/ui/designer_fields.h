// The fields the designer offers: those of the print datasets and of the
// archive's tables, read from the datasets themselves (a dataset that is not
// open offers none). The list shows them by dataset, the report's own master
// dataset first; a field is dragged onto a band, or chosen with Enter or a
// double click to be placed in the current band.
#pragma once

#include "reports/report_dataset.h"

#include <QTreeWidget>
#include <utility>
#include <vector>

class QMenu;

namespace reports {

// The datasets the templates read: the print queries, then the tables.
QStringList designerDatasetNames();

struct DatasetFields {
    QString dataset;
    QStringList fields;
};
// The fields of each named dataset that `datasets` finds open; `first` leads.
std::vector<DatasetFields> availableFields(const DatasetResolver& datasets, const QStringList& names,
                                           const QString& first = QString());

// Fills `menu` with one submenu per dataset; choosing a field calls `chosen`
// with its expression ("[nome]").
void fillFieldMenu(QMenu& menu, const std::vector<DatasetFields>& fields,
                   const std::function<void(const QString&)>& chosen);

class DesignerFieldList : public QTreeWidget {
    Q_OBJECT
  public:
    explicit DesignerFieldList(QWidget* parent = nullptr);
    void setFields(const std::vector<DatasetFields>& fields);

  signals:
    void fieldChosen(const QString& expression);

  protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    QStringList mimeTypes() const override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace reports
