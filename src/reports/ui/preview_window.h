// The preview of a prepared report: one page at a time, drawn from its display
// list whenever it is shown (no page is kept as an image), with page
// navigation, zoom, printing through the system's print dialog and the exports.
//
// Keys: Page Up/Page Down for the previous and next page, Home/End for the
// first and last, Ctrl+P prints, Ctrl++ and Ctrl+- zoom, Esc closes.
#pragma once

#include "reports/page_painter.h"
#include "reports/prepared_report.h"
#include "reports/report_component.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QPrinter;
class QScrollArea;

namespace reports {

class PageView;

class PreviewWindow : public QDialog {
    Q_OBJECT
  public:
    enum class Zoom { WholePage, PageWidth, Percent };

    // The report must outlive the window.
    explicit PreviewWindow(const PreparedReport& report, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    int currentPage() const { return page_; }  // 0-based
    void setCurrentPage(int page);

    Zoom zoom() const { return zoom_; }
    int zoomPercent() const { return percent_; }
    void setZoom(Zoom zoom, int percent = 100);
    // Device pixels per millimetre the page is drawn at now.
    double dotsPerMm() const;

    // Prints the printer's page range (all pages, a range, or the page shown),
    // as many copies as it asks for. Returns false when stopped.
    bool print(QPrinter& printer);

    // Asks for a file and a format: true with both filled in when one was
    // chosen. The window uses a save dialog unless given another chooser.
    using SaveFileChooser = std::function<bool(QWidget* parent, const QStringList& filters,
                                               QString& fileName, QString& filter)>;
    void setSaveFileChooser(SaveFileChooser chooser) { chooser_ = std::move(chooser); }
    static QStringList exportFilters();
    // Writes the report to `fileName` in the format of `filter` (one of
    // exportFilters()); raises platform::FileError. Returns false when stopped.
    bool exportTo(const QString& fileName, const QString& filter);

    int exec() override;  // shows the window maximised

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private slots:
    void printClicked();
    void exportClicked();

  private:
    void updatePage();
    void stepZoom(int direction);

    const PreparedReport& report_;
    PagePainter painter_;
    int page_ = 0;
    Zoom zoom_ = Zoom::WholePage;
    int percent_ = 100;
    SaveFileChooser chooser_;

    QScrollArea* scroll_ = nullptr;
    PageView* view_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QComboBox* zoomBox_ = nullptr;
    friend class PageView;
};

// The ui's way of showing a report: the preview window, and the engine's
// error box titled "Errore".
class PreviewPresenter : public ReportPresenter {
  public:
    explicit PreviewPresenter(QWidget* parent) : parent_(parent) {}
    void showError(const QString& message) override;
    void showPreview(const PreparedReport& report) override;

  private:
    QWidget* parent_;
};

}  // namespace reports
