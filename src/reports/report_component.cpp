#include "reports/report_component.h"

#include "archive/data_module.h"
#include "archive/dbase/cursor.h"
#include "reports/report_engine.h"
#include "reports/template_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace reports {

QString missingTemplateMessage(const QString& componentPath, const QString& fileName) {
    return QStringLiteral("Si è tentato di caricare da disco il report '%1'. \r\nMa il file '%2' è inesistente")
        .arg(componentPath, fileName);
}

namespace {

std::vector<dbase::Cursor*> tableCursors(TData1& data) {
    return {&data.Riviste, &data.Giacenza, &data.Giornale, &data.Apporiviste, &data.Apporiviste2};
}

}  // namespace

TfrReport::TfrReport(QString ownerName, DatasetResolver datasets, std::vector<dbase::Cursor*> keptCursors)
    : ownerName_(std::move(ownerName)), datasets_(std::move(datasets)), keptCursors_(std::move(keptCursors)) {}

TfrReport::TfrReport(QString ownerName, TData1& data)
    : TfrReport(std::move(ownerName), dataModuleDatasets(data), tableCursors(data)) {}

TfrReport::TfrReport(QString ownerName, std::function<TData1*()> data)
    : ownerName_(std::move(ownerName)), data_(std::move(data)) {}

QString TfrReport::locate(const QString& fileName) const {
    const QFileInfo given(fileName);
    // Only a bare name goes looking; a path says where the file is.
    if (fileName.contains(u'/') || fileName.contains(u'\\') || given.isAbsolute())
        return given.isFile() ? given.absoluteFilePath() : QString();
    const QFileInfo here(QDir::current(), fileName);
    if (here.isFile()) return here.absoluteFilePath();
    const QString folder = programFolder_.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder_;
    const QFileInfo beside(QDir(folder), fileName);
    return beside.isFile() ? beside.absoluteFilePath() : QString();
}

void TfrReport::loadFromFile(const QString& fileName) {
    const QString path = locate(fileName);
    if (path.isEmpty())
        throw platform::FileError(missingTemplateMessage(ownerName_ + u'.' + objectName(), fileName));
    // Load first: a template that does not read leaves the held one in place.
    Report loaded = loadTemplate(path);
    held_ = std::move(loaded);
    heldFile_ = path;
}

Report& TfrReport::heldTemplate() {
    if (!held_) throw ReportError(QStringLiteral("Nessun report caricato"));
    return *held_;
}

void TfrReport::restoreCursors(const std::vector<dbase::Cursor*>& cursors, const std::vector<uint32_t>& records) {
    for (size_t i = 0; i < cursors.size(); ++i) {
        dbase::Cursor& c = *cursors[i];
        if (!c.isOpen() || c.recordNumber() == records[i] || records[i] == 0) continue;
        // The cursor offers no bookmark, so walk its order to the record; a
        // walk costs no more than the preparation's own pass over it.
        c.first();
        while (!c.eof() && c.recordNumber() != records[i]) c.next();
        if (c.recordNumber() != records[i]) c.first();  // gone meanwhile
    }
}

PreparedReport TfrReport::prepare(const std::function<void(long long)>& progress) {
    const Report& report = heldTemplate();
    DatasetResolver datasets = datasets_;
    std::vector<dbase::Cursor*> cursors = keptCursors_;
    if (data_) {
        TData1* data = data_();
        datasets = data ? dataModuleDatasets(*data) : DatasetResolver{};
        cursors = data ? tableCursors(*data) : std::vector<dbase::Cursor*>{};
    }
    std::vector<uint32_t> records;
    records.reserve(cursors.size());
    for (const dbase::Cursor* c : cursors) records.push_back(c->isOpen() ? c->recordNumber() : 0);
    try {
        PreparedReport pages = prepareReport(report, datasets, PrepareOptions{title(), progress});
        restoreCursors(cursors, records);
        return pages;
    } catch (...) {
        restoreCursors(cursors, records);
        throw;
    }
}

bool TfrReport::showReport(ReportPresenter& presenter, const std::function<void(long long)>& progress) {
    std::optional<PreparedReport> pages;
    try {
        pages = prepare(progress);
    } catch (const platform::Error& e) {
        presenter.showError(e.message());
        return false;
    }
    presenter.showPreview(*pages);
    return true;
}

void TfrReport::designReport(const std::function<void(Report& report, QString& fileName)>& designer) {
    Report report = held_.value_or(Report{});
    QString fileName = heldFile_;
    designer(report, fileName);
    held_ = std::move(report);
    heldFile_ = fileName;
}

}  // namespace reports
