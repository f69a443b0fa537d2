#include "reports/designer_document.h"

#include "reports/designer_commands.h"
#include "reports/template_file.h"

#include <algorithm>

namespace reports {

DesignerDocument::DesignerDocument(QObject* parent) : QObject(parent) {
    connect(&undo_, &QUndoStack::cleanChanged, this, [this](bool clean) { emit modifiedChanged(!clean); });
}

DesignerDocument::~DesignerDocument() {
    // The history goes last of all and reports itself clean as it goes: by
    // then the file name and the model are gone, and so is most of whoever
    // listens. Nobody hears of it.
    undo_.disconnect(this);
}

Selection DesignerDocument::validSelection(Selection s) const {
    const auto exists = [this](const ObjectRef& r) {
        return r.band >= 0 && size_t(r.band) < report_.bands.size() && r.index >= 0 &&
               size_t(r.index) < report_.bands[size_t(r.band)].objects.size();
    };
    std::erase_if(s.objects, [&exists](const ObjectRef& r) { return !exists(r); });
    if (s.band >= int(report_.bands.size()) || !s.objects.empty()) s.band = -1;
    return s;
}

void DesignerDocument::setSelection(Selection selection) {
    selection = validSelection(std::move(selection));
    if (selection == selection_) return;
    selection_ = std::move(selection);
    emit selectionChanged();
}

int DesignerDocument::currentBand() const {
    if (selection_.band >= 0) return selection_.band;
    if (!selection_.objects.empty()) return selection_.objects.front().band;
    return -1;
}

int DesignerDocument::targetBand() const {
    if (currentBand() >= 0) return currentBand();
    if (const Band* master = report_.masterData()) return int(master - report_.bands.data());
    const std::vector<int> order = bandsInPrintOrder(report_);
    return order.empty() ? -1 : order.front();
}

void DesignerDocument::reset(Report report, const QString& fileName) {
    report_ = std::move(report);
    saved_ = report_;
    selection_ = {};
    undo_.clear();
    undo_.setClean();
    fileName_ = fileName;
    emit reportChanged();
    emit selectionChanged();
    emit fileNameChanged(fileName_);
    emit modifiedChanged(false);
}

void DesignerDocument::save(const QString& fileName) {
    saveTemplate(report_, fileName);
    saved_ = report_;
    undo_.setClean();
    if (fileName_ != fileName) {
        fileName_ = fileName;
        emit fileNameChanged(fileName_);
    }
}

void DesignerDocument::change(const QString& text, const std::function<void(Report&, Selection&)>& edit,
                              int mergeKey) {
    Report after = report_;
    Selection selectionAfter = selection_;
    edit(after, selectionAfter);
    if (after == report_) {
        // A selection change alone is not worth an undo step.
        setSelection(std::move(selectionAfter));
        return;
    }
    // push() runs redo(), which puts `after` in place.
    undo_.push(new ReportEdit(*this, text, report_, selection_, std::move(after), std::move(selectionAfter), mergeKey));
}

void DesignerDocument::restore(const Report& report, const Selection& selection) {
    report_ = report;
    selection_ = validSelection(selection);
    emit reportChanged();
    emit selectionChanged();
}

}  // namespace reports
