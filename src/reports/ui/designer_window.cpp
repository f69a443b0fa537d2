#include "reports/ui/designer_window.h"

#include "platform/ui/enter_as_tab.h"
#include "platform/error.h"
#include "platform/prompts.h"
#include "reports/ui/designer_canvas.h"
#include "reports/ui/designer_fields.h"
#include "reports/ui/designer_palette.h"
#include "reports/ui/designer_properties.h"
#include "reports/ui/designer_tree.h"
#include "reports/ui/preview_window.h"
#include "reports/report_engine.h"
#include "reports/template_file.h"
#include "ui/slot_guard.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollArea>
#include <QToolBar>
#include <QVBoxLayout>

namespace reports {
namespace {

const int kZooms[] = {50, 75, 100, 125, 150, 200, 300};

}  // namespace

QString unsavedChangesQuestion() {
    return QStringLiteral("   Il report è stato modificato. Salvare le modifiche ?   ");
}

DesignerWindow::DesignerWindow(DesignerContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    setObjectName(QStringLiteral("DesignerWindow"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);
    // Enter confirms a value or places a field here; it does not walk on.
    setProperty(platform::kNoTabAfterEnter, true);
    if (context_.datasetNames.isEmpty()) context_.datasetNames = designerDatasetNames();
    if (context_.folder.isEmpty()) context_.folder = QDir::currentPath();

    // A main window for its docks and tool bars, set inside the dialog (it
    // makes itself a window of its own unless told otherwise).
    main_ = new QMainWindow(this);
    main_->setWindowFlags(Qt::Widget);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(main_);

    canvas_ = new DesignerCanvas(document_);
    scroll_ = new QScrollArea;
    scroll_->setObjectName(QStringLiteral("DesignerScroll"));
    scroll_->setWidget(canvas_);
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll_->setBackgroundRole(QPalette::Dark);
    main_->setCentralWidget(scroll_);

    const auto dock = [this](const QString& title, QWidget* widget, Qt::DockWidgetArea area, const char* name) {
        auto* d = new QDockWidget(title, main_);
        d->setObjectName(QLatin1String(name));
        d->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
        d->setWidget(widget);
        main_->addDockWidget(area, d);
        return d;
    };
    tree_ = new DesignerTree(document_);
    fields_ = new DesignerFieldList;
    properties_ = new DesignerProperties(document_);
    properties_->setFieldSource([this] {
        const Band* master = document_.report().masterData();
        return availableFields(context_.datasets, context_.datasetNames, master ? master->dataset : QString());
    });
    auto* propertyScroll = new QScrollArea;
    propertyScroll->setWidget(properties_);
    propertyScroll->setWidgetResizable(true);
    propertyScroll->setMinimumWidth(properties_->minimumSizeHint().width() + 8);
    tree_->setMinimumWidth(220);
    QDockWidget* outline = dock(QStringLiteral("Bande e oggetti"), tree_, Qt::LeftDockWidgetArea, "outlineDock");
    dock(QStringLiteral("Campi"), fields_, Qt::LeftDockWidgetArea, "fieldsDock");
    QDockWidget* properties = dock(QStringLiteral("Proprietà"), propertyScroll, Qt::RightDockWidgetArea, "propertiesDock");
    // The page gets the room; the panels what their contents need.
    main_->resizeDocks({outline, properties}, {230, 380}, Qt::Horizontal);

    buildActions();

    connect(palette_, &DesignerPalette::chosenChanged, canvas_, [this](std::optional<PaletteItem> item) {
        canvas_->setTool(item);
        canvas_->setFocus();
    });
    connect(canvas_, &DesignerCanvas::objectPlaced, this, [this](const ObjectRef&, PaletteItem item) {
        palette_->choose(std::nullopt);
        // A field or an expression is nothing until it says what it shows.
        if (item == PaletteItem::Field || item == PaletteItem::Expression || item == PaletteItem::Text)
            properties_->focusText();
    });
    connect(fields_, &DesignerFieldList::fieldChosen, this,
            ui::guarded(this, [this](const QString& expression) { placeField(expression); }));
    connect(&document_, &DesignerDocument::modifiedChanged, this, &DesignerWindow::updateCaption);
    connect(&document_, &DesignerDocument::fileNameChanged, this, &DesignerWindow::updateCaption);
    connect(&document_, &DesignerDocument::selectionChanged, this, &DesignerWindow::updateActions);
    connect(&document_, &DesignerDocument::reportChanged, this, [this] {
        updateActions();
        refreshFields();
    });
    resize(1100, 760);
    open(Report{}, QString());
}

DesignerWindow::~DesignerWindow() {
    // The panels work on the document: they go first, while it is still
    // there (a box losing the focus as it goes still confirms its value).
    delete main_;
}

QAction* DesignerWindow::action(const QString& objectName) const {
    return main_->findChild<QAction*>(objectName);
}

void DesignerWindow::buildActions() {
    const auto make = [this](const QString& text, const char* name, const QKeySequence& key, auto slot) {
        auto* a = new QAction(text, main_);
        a->setObjectName(QLatin1String(name));
        if (!key.isEmpty()) a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, ui::guarded(this, slot));
        addAction(a);
        return a;
    };

    QMenu* file = main_->menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(make(QStringLiteral("&Nuovo"), "actionNew", QKeySequence::New, [this] { newReport(); }));
    file->addAction(make(QStringLiteral("&Apri..."), "actionOpen", QKeySequence::Open, [this] { openReport(); }));
    file->addAction(make(QStringLiteral("&Salva"), "actionSave", QKeySequence::Save, [this] { save(); }));
    file->addAction(make(QStringLiteral("Salva &con nome..."), "actionSaveAs", QKeySequence(QStringLiteral("Ctrl+Shift+S")),
                         [this] { saveAs(); }));
    file->addSeparator();
    file->addAction(make(QStringLiteral("Ante&prima"), "actionPreview", QKeySequence(Qt::Key_F5), [this] { preview(); }));
    file->addSeparator();
    file->addAction(make(QStringLiteral("C&hiudi"), "actionClose", QKeySequence(), [this] { reject(); }));

    QMenu* editMenu = main_->menuBar()->addMenu(QStringLiteral("&Modifica"));
    QAction* undo = document_.undoStack().createUndoAction(main_, QStringLiteral("&Annulla"));
    undo->setObjectName(QStringLiteral("actionUndo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = document_.undoStack().createRedoAction(main_, QStringLiteral("&Ripeti"));
    redo->setObjectName(QStringLiteral("actionRedo"));
    redo->setShortcuts({QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))});
    for (QAction* a : {undo, redo}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        editMenu->addAction(a);
    }
    editMenu->addSeparator();
    editMenu->addAction(make(QStringLiteral("&Taglia"), "actionCut", QKeySequence::Cut, [this] {
        copy();
        edit(QStringLiteral("Taglia"), [](Report& r, Selection& s) {
            removeObjects(r, s.objects);
            s = {};
        });
    }));
    editMenu->addAction(make(QStringLiteral("&Copia"), "actionCopy", QKeySequence::Copy, [this] { copy(); }));
    editMenu->addAction(make(QStringLiteral("&Incolla"), "actionPaste", QKeySequence::Paste, [this] { paste(); }));
    editMenu->addAction(make(QStringLiteral("&Elimina"), "actionDelete", QKeySequence(Qt::Key_Delete), [this] {
        const Selection sel = document_.selection();
        edit(sel.objects.empty() ? QStringLiteral("Elimina banda") : QStringLiteral("Elimina"),
             [sel](Report& r, Selection& s) {
                 if (!sel.objects.empty()) removeObjects(r, sel.objects);
                 else if (sel.band >= 0) removeBand(r, sel.band);
                 s = {};
             });
    }));
    editMenu->addAction(make(QStringLiteral("Seleziona &tutto"), "actionSelectAll", QKeySequence::SelectAll, [this] {
        Selection all;
        const Report& r = document_.report();
        for (int band : bandsInPrintOrder(r))
            for (int i = 0; i < int(r.bands[size_t(band)].objects.size()); ++i) all.objects.push_back({band, i});
        document_.setSelection(all);
    }));

    QMenu* bands = main_->menuBar()->addMenu(QStringLiteral("&Bande"));
    addBandMenu_ = bands->addMenu(QStringLiteral("&Aggiungi banda"));
    addBandMenu_->setObjectName(QStringLiteral("addBandMenu"));
    connect(addBandMenu_, &QMenu::aboutToShow, this, [this] {
        addBandMenu_->clear();
        for (BandKind kind : addableBandKinds(document_.report()))
            addBandMenu_->addAction(bandKindCaption(kind), this, ui::guarded(this, [this, kind] { addBandOf(kind); }));
    });
    bands->addAction(make(QStringLiteral("Gruppo più &esterno"), "actionGroupOut", QKeySequence(), [this] {
        const int group = document_.report().bands[size_t(document_.selection().band)].group;
        edit(QStringLiteral("Sposta gruppo"), [group](Report& r, Selection&) { moveGroup(r, group, -1); });
    }));
    bands->addAction(make(QStringLiteral("Gruppo più &interno"), "actionGroupIn", QKeySequence(), [this] {
        const int group = document_.report().bands[size_t(document_.selection().band)].group;
        edit(QStringLiteral("Sposta gruppo"), [group](Report& r, Selection&) { moveGroup(r, group, +1); });
    }));
    bands->addSeparator();
    bands->addAction(make(QStringLiteral("Imposta &pagina"), "actionPage", QKeySequence(), [this] {
        document_.setSelection({});
        properties_->pageSize->setFocus();
    }));

    QMenu* arrange = main_->menuBar()->addMenu(QStringLiteral("&Disponi"));
    auto* alignBar = new QToolBar(QStringLiteral("Allinea"), main_);
    alignBar->setObjectName(QStringLiteral("alignBar"));
    alignBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const struct {
        const char* text;
        const char* name;
        AlignTool tool;
    } tools[] = {{"Allinea a &sinistra", "actionAlignLeft", AlignTool::Left},
                 {"Allinea a &destra", "actionAlignRight", AlignTool::Right},
                 {"Allinea in &alto", "actionAlignTop", AlignTool::Top},
                 {"Allinea in &basso", "actionAlignBottom", AlignTool::Bottom},
                 {"&Centra", "actionAlignCenter", AlignTool::CenterHorizontally},
                 {"Stessa &larghezza", "actionSameWidth", AlignTool::SameWidth},
                 {"Stessa a&ltezza", "actionSameHeight", AlignTool::SameHeight},
                 {"Stesse di&mensioni", "actionSameSize", AlignTool::SameSize}};
    for (const auto& t : tools) {
        const AlignTool tool = t.tool;
        QAction* a = make(QString::fromUtf8(t.text), t.name, QKeySequence(), [this, tool] {
            const std::vector<ObjectRef> objects = document_.selection().objects;
            edit(QStringLiteral("Allinea"), [&](Report& r, Selection&) { alignObjects(r, objects, tool); });
        });
        arrange->addAction(a);
        QAction* short_ = alignBar->addAction(QString::fromUtf8(t.text).remove(u'&'));
        connect(short_, &QAction::triggered, a, &QAction::trigger);
        connect(a, &QAction::enabledChanged, short_, &QAction::setEnabled);
    }
    arrange->addSeparator();
    QAction* snap = make(QStringLiteral("Aggancia alla &griglia"), "actionSnap", QKeySequence(), [this](bool on) {
        canvas_->setGrid(canvas_->gridStep(), on);
    });
    snap->setCheckable(true);
    snap->setChecked(canvas_->snapsToGrid());
    arrange->addAction(snap);
    QMenu* step = arrange->addMenu(QStringLiteral("&Passo della griglia"));
    auto* steps = new QActionGroup(step);
    for (double mm : {0.5, 1.0, 2.0, 2.5, 5.0}) {
        QAction* a = step->addAction(QLocale().toString(mm) + QStringLiteral(" mm"));
        a->setCheckable(true);
        a->setChecked(mm == canvas_->gridStep());
        steps->addAction(a);
        connect(a, &QAction::triggered, this, [this, mm] { canvas_->setGrid(mm, canvas_->snapsToGrid()); });
    }

    QMenu* view = main_->menuBar()->addMenu(QStringLiteral("&Visualizza"));
    zoomBox_ = new QComboBox;
    zoomBox_->setObjectName(QStringLiteral("zoomBox"));
    for (int z : kZooms) zoomBox_->addItem(QStringLiteral("%1%").arg(z), z);
    zoomBox_->setCurrentIndex(1);  // 75%: an A4 page across beside the side panels
    canvas_->setZoom(75);
    connect(zoomBox_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0) canvas_->setZoom(zoomBox_->itemData(i).toInt());
    });
    view->addAction(make(QStringLiteral("&Ingrandisci"), "actionZoomIn", QKeySequence::ZoomIn, [this] {
        zoomBox_->setCurrentIndex(std::min(zoomBox_->currentIndex() + 1, zoomBox_->count() - 1));
    }));
    view->addAction(make(QStringLiteral("&Riduci"), "actionZoomOut", QKeySequence::ZoomOut, [this] {
        zoomBox_->setCurrentIndex(std::max(zoomBox_->currentIndex() - 1, 0));
    }));
    view->addSeparator();
    view->addAction(make(QStringLiteral("&Bande e oggetti"), "actionGoOutline", QKeySequence(Qt::Key_F2), [this] { tree_->setFocus(); }));
    view->addAction(make(QStringLiteral("&Campi"), "actionGoFields", QKeySequence(Qt::Key_F3), [this] { fields_->setFocus(); }));
    view->addAction(make(QStringLiteral("&Proprietà"), "actionGoProperties", QKeySequence(Qt::Key_F4), [this] {
        properties_->focusFirst();
    }));
    view->addAction(make(QStringLiteral("Pa&gina"), "actionGoPage", QKeySequence(Qt::Key_F6), [this] { canvas_->setFocus(); }));

    auto* fileBar = new QToolBar(QStringLiteral("File"), main_);
    fileBar->setObjectName(QStringLiteral("fileBar"));
    fileBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (const char* name : {"actionNew", "actionOpen", "actionSave", "actionPreview"}) fileBar->addAction(action(QLatin1String(name)));
    fileBar->addSeparator();
    fileBar->addAction(undo);
    fileBar->addAction(redo);
    fileBar->addSeparator();
    fileBar->addWidget(zoomBox_);
    main_->addToolBar(fileBar);
    palette_ = new DesignerPalette(main_);
    main_->addToolBar(palette_);
    main_->addToolBarBreak();
    main_->addToolBar(alignBar);
}

void DesignerWindow::open(const Report& report, const QString& fileName) {
    fieldsFor_.reset();  // a new template: the datasets may have changed meanwhile
    document_.reset(report, fileName);
    palette_->choose(std::nullopt);
    updateCaption();
    updateActions();
}

void DesignerWindow::refreshFields() {
    // The list changes only with the dataset the report reads first.
    const Band* master = document_.report().masterData();
    const QString first = master ? master->dataset : QString();
    if (fieldsFor_ && *fieldsFor_ == first) return;
    fieldsFor_ = first;
    fields_->setFields(availableFields(context_.datasets, context_.datasetNames, first));
}

void DesignerWindow::updateCaption() {
    const QString file = document_.fileName();
    setWindowTitle(QStringLiteral("Progettazione report - %1[*]")
                       .arg(file.isEmpty() ? QStringLiteral("(nuovo)") : QFileInfo(file).fileName()));
    setWindowModified(document_.isModified());
}

void DesignerWindow::updateActions() {
    const Selection& s = document_.selection();
    const Report& r = document_.report();
    const bool objects = !s.objects.empty();
    for (const char* name : {"actionCut", "actionCopy"}) action(QLatin1String(name))->setEnabled(objects);
    action(QStringLiteral("actionDelete"))->setEnabled(!s.isEmpty());
    for (const char* name : {"actionAlignLeft", "actionAlignRight", "actionAlignTop", "actionAlignBottom",
                             "actionAlignCenter", "actionSameWidth", "actionSameHeight", "actionSameSize"})
        action(QLatin1String(name))->setEnabled(s.objects.size() > 1);
    const bool group = s.band >= 0 && (r.bands[size_t(s.band)].kind == BandKind::GroupHeader ||
                                       r.bands[size_t(s.band)].kind == BandKind::GroupFooter);
    const int g = group ? r.bands[size_t(s.band)].group : 0;
    action(QStringLiteral("actionGroupOut"))->setEnabled(group && g > 1);
    action(QStringLiteral("actionGroupIn"))->setEnabled(group && g < r.groupCount());
}

void DesignerWindow::edit(const QString& text, const std::function<void(Report&, Selection&)>& change) {
    ui::runGuarded(this, [&] { document_.change(text, change); });
}

void DesignerWindow::copy() {
    const std::vector<ObjectRef>& objects = document_.selection().objects;
    if (objects.empty()) return;
    auto* data = new QMimeData;
    const QByteArray bytes = copyObjects(document_.report(), objects);
    data->setData(QLatin1String(kClipboardMimeType), bytes);
    data->setText(QString::fromUtf8(bytes));
    QApplication::clipboard()->setMimeData(data);
}

void DesignerWindow::paste() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data) return;
    std::vector<ReportObject> objects = objectsFromClipboard(data->data(QLatin1String(kClipboardMimeType)));
    const int band = document_.targetBand();
    if (objects.empty() || band < 0) return;
    edit(QStringLiteral("Incolla"), [&](Report& r, Selection& s) { s = Selection{-1, pasteObjects(r, band, objects)}; });
}

void DesignerWindow::addBandOf(BandKind kind) {
    const QString dataset = context_.datasetNames.value(0);
    edit(QStringLiteral("Aggiungi banda"), [kind, dataset](Report& r, Selection& s) {
        s = Selection{addBand(r, kind, dataset), {}};
    });
    if (kind == BandKind::GroupHeader) properties_->groupCondition->setFocus();
}

void DesignerWindow::placeField(const QString& expression) {
    const int band = document_.targetBand();
    if (band < 0) {
        platform::prompts().warning(QStringLiteral("   Aggiungere prima una banda   "));
        return;
    }
    // Beside the last object of the band, or at its start when that is full.
    const Report& r = document_.report();
    double x = 0;
    for (const ReportObject& o : r.bands[size_t(band)].objects) x = std::max(x, o.x + o.width);
    const double room = r.page.sheetWidth() - r.page.left - r.page.right;
    ReportObject o = newObject(PaletteItem::Field, x + 30 <= room ? x : 0, 0);
    o.text = expression;
    edit(QStringLiteral("Inserisci campo"), [&](Report& rep, Selection& s) { s = Selection{-1, pasteObjects(rep, band, {o})}; });
}

QString DesignerWindow::chooseFile(bool saving) {
    QString folder = context_.folder;
    if (!document_.fileName().isEmpty()) folder = QFileInfo(document_.fileName()).absolutePath();
    if (context_.chooseFile) return context_.chooseFile(this, saving, folder);
    const QString filter = QStringLiteral("Report (*.frf)");
    if (!saving) return QFileDialog::getOpenFileName(this, QStringLiteral("Apri report"), folder, filter);
    const QString proposed = document_.fileName().isEmpty() ? folder : document_.fileName();
    return QFileDialog::getSaveFileName(this, QStringLiteral("Salva report"), proposed, filter);
}

bool DesignerWindow::settleChanges() {
    if (!document_.isModified()) return true;
    if (!platform::prompts().question(unsavedChangesQuestion())) return true;
    return save();
}

bool DesignerWindow::newReport() {
    if (!settleChanges()) return false;
    open(Report{}, QString());
    return true;
}

bool DesignerWindow::openReport() {
    if (!settleChanges()) return false;
    const QString path = chooseFile(false);
    if (path.isEmpty()) return false;
    try {
        open(loadTemplate(path), QFileInfo(path).absoluteFilePath());
        return true;
    } catch (const platform::Error& e) {
        platform::prompts().error(e.message());
        return false;
    }
}

bool DesignerWindow::save() {
    if (document_.fileName().isEmpty()) return saveAs();
    try {
        document_.save(document_.fileName());
        return true;
    } catch (const platform::Error& e) {
        platform::prompts().error(e.message());
        return false;
    }
}

bool DesignerWindow::saveAs() {
    QString path = chooseFile(true);
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".frf");
    try {
        document_.save(QFileInfo(path).absoluteFilePath());
        return true;
    } catch (const platform::Error& e) {
        platform::prompts().error(e.message());
        return false;
    }
}

void DesignerWindow::preview() {
    PreviewPresenter screen(this);
    ReportPresenter& presenter = context_.presenter ? *context_.presenter : screen;
    std::optional<PreparedReport> pages;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        pages = prepareReport(document_.report(), context_.datasets, PrepareOptions{context_.title, {}});
    } catch (const platform::Error& e) {
        QApplication::restoreOverrideCursor();
        presenter.showError(e.message());
        return;
    }
    QApplication::restoreOverrideCursor();
    presenter.showPreview(*pages);
}

int DesignerWindow::exec() {
    // The whole screen, also where no window manager maximises for us.
    if (QScreen* s = parentWidget() ? parentWidget()->screen() : screen()) setGeometry(s->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
    canvas_->setFocus();
    return QDialog::exec();
}

void DesignerWindow::done(int result) {
    if (!settleChanges()) return;
    QDialog::done(result);
}

}  // namespace reports
