// The designer's undo steps. Each change to a template is one step that keeps
// the model before and after it, with the selection of each moment: undoing
// puts back both exactly, and a template of a few hundred objects costs a few
// kilobytes a step. Steps of the same gesture (arrow keys held down, one
// property typed over) merge into one while the selection stays the same.
#pragma once

#include "reports/designer_edits.h"
#include "reports/report_model.h"

#include <QUndoCommand>

namespace reports {

class DesignerDocument;

class ReportEdit : public QUndoCommand {
  public:
    // `mergeKey` 0 never merges; equal keys merge while the selection is one.
    ReportEdit(DesignerDocument& document, const QString& text, Report before, Selection selectionBefore,
               Report after, Selection selectionAfter, int mergeKey);

    void undo() override;
    void redo() override;
    int id() const override { return mergeKey_ ? mergeKey_ : -1; }
    bool mergeWith(const QUndoCommand* other) override;

  private:
    DesignerDocument& document_;
    Report before_, after_;
    Selection selectionBefore_, selectionAfter_;
    int mergeKey_;
};

}  // namespace reports
