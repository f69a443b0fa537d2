// The report designer: a modal window over one template at a time, with the
// page in the middle, the outline of bands and objects and the field list on
// the left, the property editor on the right, the palette and the alignment
// tools above.
//
// File commands (new, open, save, save as) go through the system's file
// dialogs, starting in the program folder; unsaved changes are offered for
// saving before another template replaces them or the window closes. The
// preview runs the template as it stands over the datasets the designer was
// given, in the engine's preview window.
//
// Keys: Ctrl+N, Ctrl+O, Ctrl+S, Ctrl+Shift+S; F5 preview; Ctrl+Z and Ctrl+Y
// undo and redo; Ctrl+X, Ctrl+C, Ctrl+V; Del removes the selection (a band
// chosen alone: the band); Ctrl+A selects every object; Ctrl++ and Ctrl+-
// zoom; F2, F3, F4 and F6 go to the outline, the field list, the properties
// and the page; Esc closes. The page's own keys are in designer_canvas.h.
#pragma once

#include "reports/designer_document.h"
#include "reports/designer_edits.h"
#include "reports/report_component.h"
#include "reports/report_dataset.h"

#include <QDialog>
#include <functional>
#include <optional>

class QAction;
class QComboBox;
class QMainWindow;
class QMenu;
class QScrollArea;

namespace reports {

class DesignerCanvas;
class DesignerFieldList;
class DesignerPalette;
class DesignerProperties;
class DesignerTree;

// What the designer works with besides the template.
struct DesignerContext {
    DatasetResolver datasets;                     // for the preview and the field lists
    QStringList datasetNames;                     // offered in the field lists; designerDatasetNames() if empty
    QString folder;                               // where the file dialogs start
    QString title = QStringLiteral("Movimenti");  // the preview's caption, as the report component's
    ReportPresenter* presenter = nullptr;         // the engine's preview and error box if null
    // Asks for a template file to open (`saving` false) or to save as; ""
    // when the operator cancels. The system's file dialogs if not set.
    std::function<QString(QWidget* parent, bool saving, const QString& folder)> chooseFile;
};

class DesignerWindow : public QDialog {
    Q_OBJECT
  public:
    explicit DesignerWindow(DesignerContext context, QWidget* parent = nullptr);
    ~DesignerWindow() override;

    // Starts on `report`, read from `fileName` ("" for a template not yet saved).
    void open(const Report& report, const QString& fileName);
    DesignerDocument& document() { return document_; }
    DesignerCanvas& canvas() { return *canvas_; }
    DesignerProperties& properties() { return *properties_; }
    DesignerPalette& palette() { return *palette_; }
    DesignerFieldList& fieldList() { return *fields_; }
    // The window's command of that object name ("actionSave", "actionAlignLeft").
    QAction* action(const QString& objectName) const;

    // The file commands; false when the operator stopped them or they failed.
    bool newReport();
    bool openReport();
    bool save();
    bool saveAs();
    void preview();

    int exec() override;  // shows the window maximised
    void done(int result) override;  // closing asks about unsaved changes

  private:
    void buildActions();
    void updateCaption();
    void updateActions();
    void refreshFields();
    // Before the template is replaced: true when its changes were saved or
    // the operator does not want them.
    bool settleChanges();
    // Runs one change, showing its error in the error box.
    void edit(const QString& text, const std::function<void(Report&, Selection&)>& change);
    void copy();
    void paste();
    void addBandOf(BandKind kind);
    void placeField(const QString& expression);
    QString chooseFile(bool saving);

    DesignerContext context_;
    DesignerDocument document_;
    QMainWindow* main_ = nullptr;
    DesignerCanvas* canvas_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    DesignerTree* tree_ = nullptr;
    DesignerFieldList* fields_ = nullptr;
    DesignerProperties* properties_ = nullptr;
    DesignerPalette* palette_ = nullptr;
    QComboBox* zoomBox_ = nullptr;
    QMenu* addBandMenu_ = nullptr;
    std::optional<QString> fieldsFor_;  // the master dataset the field list shows first
};

// The question asked before unsaved changes are lost.
QString unsavedChangesQuestion();

}  // namespace reports
