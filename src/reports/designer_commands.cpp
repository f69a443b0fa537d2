#include "reports/designer_commands.h"

#include "reports/designer_document.h"

namespace reports {

ReportEdit::ReportEdit(DesignerDocument& document, const QString& text, Report before, Selection selectionBefore,
                       Report after, Selection selectionAfter, int mergeKey)
    : QUndoCommand(text), document_(document), before_(std::move(before)), after_(std::move(after)),
      selectionBefore_(std::move(selectionBefore)), selectionAfter_(std::move(selectionAfter)),
      mergeKey_(mergeKey) {}

void ReportEdit::undo() { document_.restore(before_, selectionBefore_); }

void ReportEdit::redo() { document_.restore(after_, selectionAfter_); }

bool ReportEdit::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const ReportEdit*>(other);
    if (next->selectionBefore_ != selectionAfter_) return false;
    after_ = next->after_;
    selectionAfter_ = next->selectionAfter_;
    // A gesture that came back to where it started is no change at all.
    setObsolete(after_ == before_);
    return true;
}

}  // namespace reports
