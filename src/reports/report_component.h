// The report component the main window holds, `frReport1`: one template at a
// time, loaded from disk, prepared over the data module's datasets and shown
// through whatever the ui gives it for a preview.
//
// The component keeps the template it last loaded until the next load, so the
// designer works on whatever list ran last. Preparing reads the datasets from
// their current state and leaves every table cursor it walked on the record it
// found it on: the windows browsing those tables must not jump to the end.
//
// The component opens no window itself; showReport() hands the prepared pages,
// or the preparation's error, to a ReportPresenter.
#pragma once

#include "reports/prepared_report.h"
#include "reports/report_dataset.h"
#include "reports/report_model.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

class TData1;
namespace dbase {
class Cursor;
}

namespace reports {

// Where shown reports go: the ui's preview window and error box, or a test.
class ReportPresenter {
  public:
    virtual ~ReportPresenter() = default;
    // The preparation failed with `message`; no preview is to be opened.
    virtual void showError(const QString& message) = 0;
    // Shows the pages and returns when the operator has closed them.
    virtual void showPreview(const PreparedReport& report) = 0;
};

class TfrReport {
  public:
    // Reads the datasets `datasets` finds; the cursors in `keptCursors` are
    // put back on their record after each preparation.
    TfrReport(QString ownerName, DatasetResolver datasets, std::vector<dbase::Cursor*> keptCursors = {});
    // Over the data module: its print queries and its five table cursors.
    TfrReport(QString ownerName, TData1& data);
    // Over whichever data module `data` gives when a report is prepared (the
    // main window exists before the data module does); none: no datasets.
    TfrReport(QString ownerName, std::function<TData1*()> data);

    QString objectName() const { return QStringLiteral("frReport1"); }
    QString title() const { return QStringLiteral("Movimenti"); }

    // A bare name is looked for in the current folder, then in the program's
    // folder; a name with a folder is taken as it stands. Raises
    // platform::FileError when there is no such file (the held template stays),
    // TemplateError when the file does not read.
    void loadFromFile(const QString& fileName);
    // The program's folder; the executable's folder unless set.
    void setProgramFolder(const QString& folder) { programFolder_ = folder; }

    bool hasTemplate() const { return held_.has_value(); }
    // The held template, for the designer: changes made through it are what
    // the next preparation runs. Raises ReportError when none is loaded.
    Report& heldTemplate();
    QString heldFileName() const { return heldFile_; }

    // Raises ReportError, or the error of a dataset that cannot be read.
    PreparedReport prepare(const std::function<void(long long)>& progress = {});

    // Prepare, then show the pages; a preparation that fails shows its error
    // and no pages. Returns whether the pages were shown.
    bool showReport(ReportPresenter& presenter, const std::function<void(long long)>& progress = {});

    // Opens `designer` on the held template and its file name, or on an
    // empty template and no name before any was loaded; what the designer
    // leaves in them is held afterwards. A designer that raises leaves the
    // held template as it was.
    void designReport(const std::function<void(Report& report, QString& fileName)>& designer);

  private:
    QString locate(const QString& fileName) const;
    static void restoreCursors(const std::vector<dbase::Cursor*>& cursors, const std::vector<uint32_t>& records);

    QString ownerName_;
    DatasetResolver datasets_;
    std::vector<dbase::Cursor*> keptCursors_;
    std::function<TData1*()> data_;
    QString programFolder_;
    std::optional<Report> held_;
    QString heldFile_;
};

// The message of a template file that is in neither folder.
QString missingTemplateMessage(const QString& componentPath, const QString& fileName);

}  // namespace reports
