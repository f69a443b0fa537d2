// The designer's outline: the bands in the order they print, each with its
// objects, kept in step with the document's selection both ways. Picking a
// band shows its properties; picking objects (Ctrl and Shift add) selects
// them on the page.
#pragma once

#include "reports/designer_document.h"

#include <QTreeWidget>

namespace reports {

// What an object shows as in lists: "Testo: Rivista", "Linea".
QString objectCaption(const ReportObject& object);

class DesignerTree : public QTreeWidget {
    Q_OBJECT
  public:
    explicit DesignerTree(DesignerDocument& document, QWidget* parent = nullptr);

  private:
    void rebuild();
    void showSelection();
    void takeSelection();

    DesignerDocument& document_;
    bool syncing_ = false;
};

}  // namespace reports
