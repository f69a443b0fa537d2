#include "ui/data_source.h"

#include "archive/dbase/cursor.h"

#include <algorithm>

namespace ui {

DataSource::DataSource(dbase::Cursor& dataset, QObject* parent)
    : QObject(parent), dataset_(dataset) {}

bool DataSource::editing() const {
    const auto state = dataset_.state();
    return state == dbase::Cursor::State::Edit || state == dbase::Cursor::State::Insert;
}

void DataSource::attach(BoundControl* control) {
    controls_.push_back(control);
    control->showField();
}

void DataSource::detach(BoundControl* control) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

void DataSource::notifyRecordChanged() {
    for (BoundControl* c : controls_) c->showField();
    emit recordChanged();
}

void DataSource::updateRecord() {
    if (!editing()) return;
    for (BoundControl* c : controls_) c->storeField();
}

}  // namespace ui
