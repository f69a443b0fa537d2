#include "reports/ui/preview_window.h"

#include "platform/error.h"
#include "reports/report_exports.h"
#include "ui/message_box.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace reports {

namespace {

constexpr int kMargin = 12;  // pixels of grey around the sheet
const int kPercents[] = {25, 50, 75, 100, 150, 200, 400};

}  // namespace

// Draws the page shown, at the window's zoom, when Qt asks for it.
class PageView : public QWidget {
  public:
    explicit PageView(PreviewWindow& window) : QWidget(&window), window_(window) {
        setFocusPolicy(Qt::StrongFocus);
    }
    QSize sheetSize() const {
        const PageSpec& p = window_.report_.page;
        const double d = window_.dotsPerMm();
        return {int(p.sheetWidth() * d + 0.5), int(p.sheetHeight() * d + 0.5)};
    }
    QSize sizeHint() const override { return sheetSize() + QSize(2 * kMargin, 2 * kMargin); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().dark());
        if (window_.report_.pageCount() == 0) return;
        const QSize sheet = sheetSize();
        const QPointF origin((width() - sheet.width()) / 2.0, kMargin);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        window_.painter_.paint(p, window_.page_, window_.dotsPerMm(), origin);
    }

  private:
    PreviewWindow& window_;
};

PreviewWindow::PreviewWindow(const PreparedReport& report, QWidget* parent)
    : QDialog(parent), report_(report), painter_(report) {
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Anteprima") + QStringLiteral(" - ") + report.title);
    setModal(true);
    setSizeGripEnabled(true);

    auto* bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const auto addTool = [this, bar](const QString& text, const QKeySequence& key, auto slot) {
        auto* a = new QAction(text, this);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, slot);
        bar->addAction(a);
        return a;
    };
    addTool(QStringLiteral("Prima"), QKeySequence(Qt::Key_Home), [this] { setCurrentPage(0); });
    addTool(QStringLiteral("Precedente"), QKeySequence(Qt::Key_PageUp), [this] { setCurrentPage(page_ - 1); });
    pageLabel_ = new QLabel(this);
    pageLabel_->setObjectName(QStringLiteral("pageLabel"));
    pageLabel_->setContentsMargins(8, 0, 8, 0);
    bar->addWidget(pageLabel_);
    addTool(QStringLiteral("Successiva"), QKeySequence(Qt::Key_PageDown), [this] { setCurrentPage(page_ + 1); });
    addTool(QStringLiteral("Ultima"), QKeySequence(Qt::Key_End), [this] { setCurrentPage(report_.pageCount() - 1); });
    bar->addSeparator();

    zoomBox_ = new QComboBox(this);
    zoomBox_->setObjectName(QStringLiteral("zoomBox"));
    zoomBox_->addItem(QStringLiteral("Pagina intera"));
    zoomBox_->addItem(QStringLiteral("Larghezza pagina"));
    for (int p : kPercents) zoomBox_->addItem(QStringLiteral("%1%").arg(p), p);
    zoomBox_->setToolTip(QStringLiteral("Zoom (Ctrl++ e Ctrl+-)"));
    bar->addWidget(zoomBox_);
    connect(zoomBox_, &QComboBox::activated, this, [this](int i) {
        if (i == 0) setZoom(Zoom::WholePage);
        else if (i == 1) setZoom(Zoom::PageWidth);
        else setZoom(Zoom::Percent, zoomBox_->itemData(i).toInt());
    });
    for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}) {
        auto* a = new QAction(this);
        a->setShortcut(key);
        connect(a, &QAction::triggered, this, [this] { stepZoom(+1); });
        QDialog::addAction(a);
    }
    auto* out = new QAction(this);
    out->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    connect(out, &QAction::triggered, this, [this] { stepZoom(-1); });
    QDialog::addAction(out);
    bar->addSeparator();

    addTool(QStringLiteral("&Stampa..."), QKeySequence(Qt::CTRL | Qt::Key_P), &PreviewWindow::printClicked);
    addTool(QStringLiteral("&Esporta..."), QKeySequence(), &PreviewWindow::exportClicked);
    addTool(QStringLiteral("&Chiudi"), QKeySequence(), &QDialog::reject);

    scroll_ = new QScrollArea(this);
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll_->setBackgroundRole(QPalette::Dark);
    view_ = new PageView(*this);
    scroll_->setWidget(view_);
    scroll_->setWidgetResizable(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(scroll_, 1);

    chooser_ = [](QWidget* parent, const QStringList& filters, QString& fileName, QString& filter) {
        QFileDialog dialog(parent, QStringLiteral("Esporta"), fileName);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters(filters);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
        fileName = dialog.selectedFiles().constFirst();
        filter = dialog.selectedNameFilter();
        return true;
    };
    view_->setFocus();
    updatePage();
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    updatePage();  // a fitted zoom follows the window
}

int PreviewWindow::exec() {
    setWindowState(windowState() | Qt::WindowMaximized);
    return QDialog::exec();
}

void PreviewWindow::setCurrentPage(int page) {
    page_ = std::clamp(page, 0, std::max(0, report_.pageCount() - 1));
    updatePage();
}

void PreviewWindow::setZoom(Zoom zoom, int percent) {
    zoom_ = zoom;
    percent_ = std::clamp(percent, 10, 800);
    const int index = zoom == Zoom::WholePage ? 0 : zoom == Zoom::PageWidth ? 1 : zoomBox_->findData(percent_);
    if (index >= 0) zoomBox_->setCurrentIndex(index);
    updatePage();
}

void PreviewWindow::stepZoom(int direction) {
    // From a fitted zoom, step from the percentage it comes to now.
    const int now = zoom_ == Zoom::Percent ? percent_
                                           : int(dotsPerMm() * 25.4 * 100 / std::max(1, logicalDpiX()));
    int chosen = direction > 0 ? kPercents[std::size(kPercents) - 1] : kPercents[0];
    for (int p : kPercents) {
        if (direction > 0 && p > now) { chosen = p; break; }
        if (direction < 0 && p < now) chosen = p;
    }
    setZoom(Zoom::Percent, chosen);
}

double PreviewWindow::dotsPerMm() const {
    const double screen = std::max(1, logicalDpiX()) / 25.4;
    if (zoom_ == Zoom::Percent) return screen * percent_ / 100.0;
    const PageSpec& p = report_.page;
    const QSize area = scroll_->viewport()->size();
    const double across = (area.width() - 2.0 * kMargin - scroll_->verticalScrollBar()->sizeHint().width()) / p.sheetWidth();
    if (zoom_ == Zoom::PageWidth) return std::max(0.5, across);
    const double down = (area.height() - 2.0 * kMargin) / p.sheetHeight();
    return std::max(0.5, std::min(across, down));
}

void PreviewWindow::updatePage() {
    const int count = report_.pageCount();
    pageLabel_->setText(QStringLiteral("Pagina %1 di %2").arg(count == 0 ? 0 : page_ + 1).arg(count));
    // The scroll area centres the sheet; its own background is the grey around it.
    view_->resize(view_->sizeHint());
    view_->update();
}

bool PreviewWindow::print(QPrinter& printer) {
    const int count = report_.pageCount();
    int from = 0, to = count - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = printer.fromPage() - 1;
        to = std::min(count, printer.toPage()) - 1;
    } else if (printer.printRange() == QPrinter::CurrentPage) {
        from = to = page_;
    }
    if (count == 0 || from > to) return true;
    // Printers that cannot make copies themselves get the pages again.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    const int total = copies * (to - from + 1);
    QProgressDialog progress(QStringLiteral("Stampa in corso..."), QStringLiteral("Annulla"), 0, total, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    QPainter painter;
    if (!painter.begin(&printer)) throw platform::FileError(QStringLiteral("Impossibile avviare la stampa"));
    const double dots = printer.resolution() / 25.4;
    int done = 0;
    for (int copy = 0; copy < copies; ++copy) {
        for (int page = from; page <= to; ++page) {
            if (done > 0) printer.newPage();
            painter_.paint(painter, page, dots);
            progress.setValue(++done);
            if (progress.wasCanceled()) {
                printer.abort();
                return false;
            }
        }
    }
    painter.end();
    return true;
}

void PreviewWindow::printClicked() {
    try {
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName(report_.title);
        printer.setFullPage(true);  // the pages place themselves from the sheet's corner
        const PageSpec& p = report_.page;
        printer.setPageLayout(QPageLayout(QPageSize(QSizeF(p.width, p.height), QPageSize::Millimeter),
                                          p.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF()));
        QPrintDialog dialog(&printer, this);
        dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintCurrentPage |
                          QAbstractPrintDialog::PrintCollateCopies | QAbstractPrintDialog::PrintToFile);
        dialog.setMinMax(1, std::max(1, report_.pageCount()));
        if (dialog.exec() != QDialog::Accepted) return;
        print(printer);
    } catch (const platform::Error& e) {
        ui::errorBox(this, e.message());
    }
}

QStringList PreviewWindow::exportFilters() {
    return {QStringLiteral("File RTF - Word compatibile (*.rtf)"), QStringLiteral("File di testo ASCII (*.txt)"),
            QStringLiteral("File PDF (*.pdf)")};
}

bool PreviewWindow::exportTo(const QString& fileName, const QString& filter) {
    const QStringList filters = exportFilters();
    const int kind = std::max(0, int(filters.indexOf(filter)));
    QString path = fileName;
    static const char* const suffixes[] = {"rtf", "txt", "pdf"};
    if (QFileInfo(path).suffix().isEmpty()) path += u'.' + QLatin1String(suffixes[kind]);
    switch (kind) {
    case 0: exportRtf(report_, path); return true;
    case 1: exportText(report_, path); return true;
    default: {
        QProgressDialog progress(QStringLiteral("Esportazione in corso..."), QStringLiteral("Annulla"), 0,
                                 report_.pageCount(), this);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        exportPdf(report_, path, [&progress](int done) {
            progress.setValue(done);
            return !progress.wasCanceled();
        });
        return !progress.wasCanceled();
    }
    }
}

void PreviewWindow::exportClicked() {
    try {
        QString fileName = report_.title;
        QString filter;
        if (!chooser_(this, exportFilters(), fileName, filter)) return;
        exportTo(fileName, filter);
    } catch (const platform::Error& e) {
        ui::errorBox(this, e.message());
    }
}

void PreviewPresenter::showError(const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Errore"), message, QMessageBox::Ok, parent_);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

void PreviewPresenter::showPreview(const PreparedReport& report) {
    PreviewWindow window(report, parent_);
    window.exec();
}

}  // namespace reports
