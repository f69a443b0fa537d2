// The template open in the designer: the engine's model, what is selected in
// it, the undo history and the file it came from.
//
// Every change goes through change(), which makes it one undo step; the
// document is modified while the history is away from the point of the last
// open or save. save() writes only a template that the loader reads back to
// the same model, through a temporary file, so a failed save leaves the file
// on disk as it was.
#pragma once

#include "reports/designer_edits.h"
#include "reports/report_model.h"

#include <QObject>
#include <QUndoStack>
#include <functional>

namespace reports {

class DesignerDocument : public QObject {
    Q_OBJECT
  public:
    explicit DesignerDocument(QObject* parent = nullptr);
    ~DesignerDocument() override;

    const Report& report() const { return report_; }
    const Selection& selection() const { return selection_; }
    void setSelection(Selection selection);
    // The band the operator works in: the one chosen, or the anchor's; -1 for none.
    int currentBand() const;
    // Where new objects go: the current band, else the master data, else the
    // first band that prints; -1 when the report has no band.
    int targetBand() const;

    QUndoStack& undoStack() { return undo_; }
    bool isModified() const { return !undo_.isClean(); }
    QString fileName() const { return fileName_; }
    // The model as it was last opened or saved.
    const Report& savedReport() const { return saved_; }

    // Starts over on `report` (new or opened), with an empty history.
    void reset(Report report, const QString& fileName);
    // Raises TemplateError (the loader's own message) or platform::FileError.
    void save(const QString& fileName);

    // Applies `edit` as one undo step named `text`. An edit that changes
    // nothing leaves no step. Edits with the same non-zero `mergeKey` in a
    // row on the same selection make one step.
    void change(const QString& text, const std::function<void(Report&, Selection&)>& edit, int mergeKey = 0);

    // For the undo steps only: puts the model and the selection back.
    void restore(const Report& report, const Selection& selection);

  signals:
    void reportChanged();
    void selectionChanged();
    void modifiedChanged(bool modified);
    void fileNameChanged(const QString& fileName);

  private:
    Selection validSelection(Selection selection) const;

    Report report_;
    Report saved_;
    Selection selection_;
    QUndoStack undo_;
    QString fileName_;
};

}  // namespace reports
