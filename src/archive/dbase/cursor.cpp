#include "archive/dbase/cursor.h"

#include <QDir>
#include <QFileInfo>

namespace dbase {
namespace {

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

// How often a read is tried again when another process changed the table
// while it ran; after that the last result stands (it is at worst one
// change behind, never damaged).
constexpr int kReadAttempts = 4;

}  // namespace

Cursor::~Cursor() {
    // No events here: the objects they belong to may be going away too. A
    // pending change is still posted, as close() would.
    if (!isOpen()) return;
    try {
        checkBrowseMode();
    } catch (...) {
    }
    releaseRecord();
}

void Cursor::setTableName(const QString& path) {
    if (isOpen())
        throw EngineError(QStringLiteral("Cannot change the table of an open dataset (%1)")
                              .arg(fileName(tablePath_)));
    tablePath_ = path;
}

void Cursor::setExclusive(bool exclusive) {
    exclusive_ = exclusive;
}
void Cursor::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
}

Table& Cursor::table() const {
    requireOpen();
    return *table_;
}

void Cursor::requireOpen() const {
    if (!table_)
        throw EngineError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void Cursor::requireEditing(const QString& name) const {
    if (state_ != State::Edit && state_ != State::Insert)
        throw EngineError(QStringLiteral("Dataset not in edit or insert mode (field %1 of %2)")
                              .arg(name.toUpper(), fileName(tablePath_)));
}

template <typename F>
auto Cursor::consistently(F work) -> decltype(work()) {
    for (int attempt = 1;; ++attempt) {
        table_->catchUp();
        if (table_->epoch() != epoch_) {
            // Packed or emptied: record numbers from before mean nothing.
            epoch_ = table_->epoch();
            recno_ = 0;
            key_.clear();
        }
        try {
            auto result = work();
            if (attempt >= kReadAttempts || table_->unchangedSinceCatchUp()) return result;
        } catch (const EngineError&) {
            if (attempt >= kReadAttempts || table_->unchangedSinceCatchUp()) throw;
        }
    }
}

void Cursor::open() {
    if (isOpen()) return;
    if (tablePath_.isEmpty()) throw EngineError(QStringLiteral("No table name is set"));
    table_ = Table::open(tablePath_, exclusive_ ? Table::Access::Exclusive : Table::Access::Shared);
    try {
        epoch_ = table_->epoch();
        tag_ = -1;
        if (!pendingIndex_.isEmpty()) {
            tag_ = table_->findTag(pendingIndex_);
            if (tag_ < 0)
                throw EngineError(QStringLiteral("Index '%1' not found for %2")
                                      .arg(pendingIndex_, fileName(tablePath_)));
        }
        state_ = State::Browse;
        modified_ = false;
        calcValues_.assign(calcNames_.size(), QString());
        clearCurrent();
        first();
    } catch (...) {
        table_.reset();
        state_ = State::Inactive;
        throw;
    }
}

void Cursor::close() {
    if (!isOpen()) return;
    if (beforeClose) beforeClose(*this);
    checkBrowseMode();
    pendingIndex_ = indexName();
    releaseRecord();
    table_.reset();
    state_ = State::Inactive;
    recno_ = 0;
    key_.clear();
    buffer_.clear();
    bof_ = eof_ = true;
}

void Cursor::setIndex(const QString& tagName) {
    if (!isOpen()) {
        pendingIndex_ = tagName;
        return;
    }
    checkBrowseMode();
    int tag = -1;
    if (!tagName.isEmpty()) {
        tag = table_->findTag(tagName);
        if (tag < 0)
            throw EngineError(
                QStringLiteral("Index '%1' not found for %2").arg(tagName, fileName(tablePath_)));
    }
    tag_ = tag;
    key_ = recno_ != 0 && tag_ >= 0 ? table_->key(tag_, buffer_) : QByteArray();
}

QString Cursor::indexName() const {
    if (!isOpen()) return pendingIndex_;
    return tag_ >= 0 ? table_->index()->tag(tag_).name : QString();
}

void Cursor::clearCurrent() {
    recno_ = 0;
    key_.clear();
    buffer_ = table_->layout().blankRecord();
    bof_ = eof_ = true;
    computeCalculated();
}

Cursor::Position Cursor::currentPosition() const {
    return Position{recno_, key_};
}

void Cursor::restore(const Position& p) {
    // Back to the record we were on, as it is on disk now (a copy kept for
    // the purpose would cost every move a buffer allocation).
    recno_ = p.recno;
    key_ = p.key;
    if (!table_->read(p.recno, buffer_)) buffer_ = table_->layout().blankRecord();
    computeCalculated();
}

std::optional<Cursor::Position> Cursor::edge(bool front) const {
    if (tag_ < 0) {
        const uint32_t n = table_->recordCount();
        if (n == 0) return std::nullopt;
        return Position{front ? 1u : n, {}};
    }
    const auto e = front ? table_->index()->first(tag_) : table_->index()->last(tag_);
    if (!e) return std::nullopt;
    return Position{e->recno, e->key};
}

std::optional<Cursor::Position> Cursor::step(const Position& from, bool forward) const {
    if (tag_ < 0) {
        if (forward) {
            if (from.recno >= table_->recordCount()) return std::nullopt;
            return Position{from.recno + 1, {}};
        }
        if (from.recno <= 1) return std::nullopt;
        return Position{qMin(from.recno - 1, table_->recordCount()), {}};
    }
    const IndexEntry at{from.key, from.recno};
    const auto e = forward ? table_->index()->next(tag_, at) : table_->index()->prior(tag_, at);
    if (!e) return std::nullopt;
    return Position{e->recno, e->key};
}

bool Cursor::load(const Position& p) {
    if (!table_->read(p.recno, buffer_) || buffer_[0] != kLiveFlag) return false;
    // An entry whose key is not the record's (left by an interrupted change)
    // would show the record twice; the record shows only at its own key.
    if (tag_ >= 0 && !table_->keyMatches(tag_, buffer_, p.key)) return false;
    recno_ = p.recno;
    key_ = p.key;
    computeCalculated();
    return !filter_ || filter_(*this);
}

std::optional<Cursor::Position> Cursor::seekVisible(std::optional<Position> p, bool forward) {
    while (p) {
        if (load(*p)) return p;
        p = step(*p, forward);
    }
    return std::nullopt;
}

void Cursor::first() {
    requireOpen();
    checkBrowseMode();
    const bool found = consistently([&] { return seekVisible(edge(true), true).has_value(); });
    if (!found) return clearCurrent();
    bof_ = true;
    eof_ = false;
}

void Cursor::last() {
    requireOpen();
    checkBrowseMode();
    const bool found = consistently([&] { return seekVisible(edge(false), false).has_value(); });
    if (!found) return clearCurrent();
    bof_ = false;
    eof_ = true;
}

void Cursor::next() {
    requireOpen();
    checkBrowseMode();
    if (table_->epoch() != epoch_ || recno_ == 0) return first();
    const Position from = currentPosition();
    const bool moved = consistently([&] {
        if (seekVisible(step(from, true), true)) return true;
        restore(from);
        return false;
    });
    if (moved) {
        bof_ = eof_ = false;
    } else {
        eof_ = true;
    }
}

void Cursor::prior() {
    requireOpen();
    checkBrowseMode();
    if (table_->epoch() != epoch_ || recno_ == 0) return last();
    const Position from = currentPosition();
    const bool moved = consistently([&] {
        if (seekVisible(step(from, false), false)) return true;
        restore(from);
        return false;
    });
    if (moved) {
        bof_ = eof_ = false;
    } else {
        bof_ = true;
    }
}

bool Cursor::findKey(const QString& value) {
    requireOpen();
    checkBrowseMode();
    if (tag_ < 0)
        throw EngineError(QStringLiteral("No index is active on %1").arg(fileName(tablePath_)));
    const auto key = table_->searchKey(tag_, value);
    if (!key) return false;
    const Position from = currentPosition();
    const bool found = consistently([&] {
        auto e = table_->index()->seek(tag_, *key);
        while (e && e->key == *key) {
            if (load(Position{e->recno, e->key})) return true;
            e = table_->index()->next(tag_, *e);
        }
        restore(from);
        return false;
    });
    if (found) bof_ = eof_ = false;
    return found;
}

bool Cursor::findKey(const QDate& value) {
    requireOpen();
    if (tag_ < 0)
        throw EngineError(QStringLiteral("No index is active on %1").arg(fileName(tablePath_)));
    table_->searchKey(tag_, value);  // refuses a tag that is not on a date
    return findKey(value.isValid() ? value.toString(QStringLiteral("yyyyMMdd")) : QString());
}

bool Cursor::moveToRecord(uint32_t recno) {
    requireOpen();
    checkBrowseMode();
    if (recno == 0) return false;
    const Position from = currentPosition();
    const bool found = consistently([&] {
        QByteArray record;
        if (table_->read(recno, record) && record[0] == kLiveFlag &&
            load(Position{recno, tag_ >= 0 ? table_->key(tag_, record) : QByteArray()}))
            return true;
        if (from.recno == 0) {
            clearCurrent();
        } else {
            restore(from);
        }
        return false;
    });
    if (found) bof_ = eof_ = false;
    return found;
}

void Cursor::insert() {
    requireOpen();
    if (readOnly_)
        throw EngineError(
            QStringLiteral("Cannot modify a read-only dataset (%1)").arg(fileName(tablePath_)));
    checkBrowseMode();
    savedRecno_ = recno_;
    savedKey_ = key_;
    savedBuffer_ = buffer_;
    buffer_ = table_->layout().blankRecord();
    state_ = State::Insert;
    modified_ = false;
    computeCalculated();
}

void Cursor::append() {
    insert();
}

void Cursor::edit() {
    requireOpen();
    if (readOnly_)
        throw EngineError(
            QStringLiteral("Cannot modify a read-only dataset (%1)").arg(fileName(tablePath_)));
    if (state_ != State::Browse) return;
    if (recno_ == 0 || table_->epoch() != epoch_) {
        // Editing an empty dataset starts a new record.
        refresh();
        if (recno_ == 0) return insert();
    }
    // Hold the record first, then edit what is on disk now, not what this
    // cursor read some time ago: a value read after edit() is one no other
    // process can change before our post.
    holdRecord(recno_);
    bool live = false;
    try {
        live = consistently(
            [&] { return table_->read(recno_, buffer_) && buffer_[0] == kLiveFlag; });
    } catch (...) {
        releaseRecord();
        throw;
    }
    if (!live) {
        releaseRecord();
        throw EngineError(QStringLiteral("The record was deleted by another user (%1)")
                              .arg(fileName(tablePath_)));
    }
    if (tag_ >= 0) key_ = table_->key(tag_, buffer_);
    savedBuffer_ = buffer_;
    state_ = State::Edit;
    modified_ = false;
    computeCalculated();
}

void Cursor::post() {
    requireOpen();
    if (state_ == State::Browse) return;
    if (state_ == State::Insert) {
        try {
            recno_ = table_->append(buffer_);
        } catch (const RecordStoredError&) {
            // Stored all the same: leave the insert, or a retry would store it twice.
            recno_ = table_->recordCount();
            finishPost();
            throw;
        }
    } else {
        if (table_->epoch() != epoch_)  // packed meanwhile: recno_ is another record now
            throw EngineError(QStringLiteral("The record was deleted by another user (%1)")
                                  .arg(fileName(tablePath_)));
        // A failed post lets go of the record (the operator may leave the edit
        // open for long); a retry takes it again.
        try {
            holdRecord(recno_);
            table_->update(recno_, buffer_);
        } catch (const RecordStoredError&) {
            releaseRecord();
            finishPost();
            throw;
        } catch (...) {
            releaseRecord();
            throw;
        }
        releaseRecord();
    }
    finishPost();
    if (afterPost) afterPost(*this);
}

void Cursor::finishPost() {
    epoch_ = table_->epoch();
    key_ = tag_ >= 0 && table_->tagCount() > tag_ ? table_->key(tag_, buffer_) : QByteArray();
    state_ = State::Browse;
    modified_ = false;
    bof_ = eof_ = false;
    computeCalculated();
}

void Cursor::cancel() {
    requireOpen();
    if (state_ == State::Insert) {
        recno_ = savedRecno_;
        key_ = savedKey_;
    }
    if (state_ != State::Browse) buffer_ = savedBuffer_;
    releaseRecord();
    state_ = State::Browse;
    modified_ = false;
    computeCalculated();
}

void Cursor::holdRecord(uint32_t recno) {
    if (lockedRecno_ == recno) return;
    releaseRecord();
    table_->lockRecord(recno);
    lockedRecno_ = recno;
}

void Cursor::releaseRecord() noexcept {
    if (lockedRecno_ == 0) return;
    if (table_) table_->unlockRecord(lockedRecno_);
    lockedRecno_ = 0;
}

void Cursor::checkBrowseMode() {
    if (state_ != State::Edit && state_ != State::Insert) return;
    if (modified_) {
        post();
    } else {
        cancel();
    }
}

void Cursor::deleteRecord() {
    requireOpen();
    if (state_ == State::Insert) return cancel();
    if (readOnly_)
        throw EngineError(
            QStringLiteral("Cannot modify a read-only dataset (%1)").arg(fileName(tablePath_)));
    if (state_ == State::Edit) cancel();  // the changes go with the record
    if (recno_ == 0 || table_->epoch() != epoch_)
        throw EngineError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (beforeDelete) beforeDelete(*this);
    table_->markDeleted(recno_);
    const Position from = currentPosition();
    bool atEnd = false;
    const bool found = consistently([&] {
        atEnd = false;
        if (seekVisible(step(from, true), true)) return true;
        atEnd = true;
        return seekVisible(step(from, false), false).has_value();
    });
    if (!found) return clearCurrent();
    bof_ = false;
    eof_ = atEnd;
}

void Cursor::refresh() {
    requireOpen();
    checkBrowseMode();
    const Position from = currentPosition();
    bool same = false;
    bool atEnd = false;
    const bool found = consistently([&] {
        same = false;
        atEnd = false;
        if (recno_ == 0) return seekVisible(edge(true), true).has_value();
        QByteArray record;
        if (table_->read(from.recno, record) && record[0] == kLiveFlag) {
            const Position p{from.recno, tag_ >= 0 ? table_->key(tag_, record) : QByteArray()};
            if (load(p)) return same = true;
        }
        if (seekVisible(step(from, true), true)) return true;
        atEnd = true;
        return seekVisible(step(from, false), false).has_value();
    });
    if (!found) return clearCurrent();
    if (same) return;
    bof_ = false;
    eof_ = atEnd;
}

int Cursor::recordCount() {
    requireOpen();
    if (!filter_) {
        table_->catchUp();
        return int(table_->liveCount());
    }
    const Position from = currentPosition();
    const QByteArray buffer = buffer_;
    const int count = consistently([&] {
        int n = 0;
        for (uint32_t r = 1; r <= table_->recordCount(); ++r) {
            if (table_->read(r, buffer_) && buffer_[0] == kLiveFlag) {
                recno_ = r;
                computeCalculated();
                if (filter_(*this)) ++n;
            }
        }
        return n;
    });
    // The record as it was, pending changes included.
    recno_ = from.recno;
    key_ = from.key;
    buffer_ = buffer;
    computeCalculated();
    return count;
}

void Cursor::setFilter(Filter filter) {
    filter_ = std::move(filter);
    if (isOpen() && state_ == State::Browse) first();
}

// ---- fields ----

void Cursor::addCalculatedField(const QString& name) {
    if (hasField(name))
        throw EngineError(QStringLiteral("Duplicate field name %1").arg(name.toUpper()));
    calcNames_.push_back(name.toUpper());
    calcValues_.resize(calcNames_.size());
}

int Cursor::fieldCount() const {
    requireOpen();
    return table_->layout().fieldCount();
}

QString Cursor::fieldName(int i) const {
    requireOpen();
    return table_->layout().field(i).name;
}

bool Cursor::hasField(const QString& name) const {
    if (table_ && table_->layout().fieldIndex(name) >= 0) return true;
    for (const QString& c : calcNames_) {
        if (c.compare(name, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

Cursor::Slot Cursor::slot(const QString& name) const {
    requireOpen();
    Slot s;
    s.stored = table_->layout().fieldIndex(name);
    if (s.stored >= 0) return s;
    for (size_t i = 0; i < calcNames_.size(); ++i) {
        if (calcNames_[i].compare(name, Qt::CaseInsensitive) == 0) {
            s.calculated = int(i);
            return s;
        }
    }
    throw EngineError(QStringLiteral("Field '%1' not found in %2").arg(name, fileName(tablePath_)));
}

QString Cursor::text(const QString& name) const {
    const Slot s = slot(name);
    if (s.stored >= 0) return table_->layout().text(s.stored, buffer_);
    return calcValues_[size_t(s.calculated)];
}

double Cursor::number(const QString& name) const {
    const Slot s = slot(name);
    if (s.stored >= 0) return table_->layout().number(s.stored, buffer_);
    return calcValues_[size_t(s.calculated)].trimmed().toDouble();
}

QDate Cursor::date(const QString& name) const {
    const Slot s = slot(name);
    if (s.stored >= 0) return table_->layout().date(s.stored, buffer_);
    return QDate::fromString(calcValues_[size_t(s.calculated)], QStringLiteral("yyyyMMdd"));
}

bool Cursor::logical(const QString& name) const {
    const Slot s = slot(name);
    if (s.stored >= 0) return table_->layout().logical(s.stored, buffer_);
    const QString v = calcValues_[size_t(s.calculated)].trimmed().toUpper();
    return v == QLatin1String("T") || v == QLatin1String("Y");
}

bool Cursor::isBlank(const QString& name) const {
    const Slot s = slot(name);
    if (s.stored >= 0) return table_->layout().isBlank(s.stored, buffer_);
    return calcValues_[size_t(s.calculated)].trimmed().isEmpty();
}

int Cursor::storedField(const QString& name) {
    const Slot s = slot(name);
    if (s.stored < 0) return -1;
    if (readOnly_)
        throw EngineError(
            QStringLiteral("Cannot modify a read-only dataset (%1)").arg(fileName(tablePath_)));
    requireEditing(name);
    return s.stored;
}

void Cursor::setText(const QString& name, const QString& value) {
    const int f = storedField(name);
    if (f < 0) {
        calcValues_[size_t(slot(name).calculated)] = value;
        return;
    }
    table_->layout().setText(f, buffer_, value);
    modified_ = true;
    computeCalculated();
}

void Cursor::setNumber(const QString& name, double value) {
    const int f = storedField(name);
    if (f < 0) {
        calcValues_[size_t(slot(name).calculated)] = QString::number(value, 'g', 15);
        return;
    }
    table_->layout().setNumber(f, buffer_, value);
    modified_ = true;
    computeCalculated();
}

void Cursor::setDate(const QString& name, const QDate& value) {
    const int f = storedField(name);
    if (f < 0) {
        calcValues_[size_t(slot(name).calculated)] = value.toString(QStringLiteral("yyyyMMdd"));
        return;
    }
    table_->layout().setDate(f, buffer_, value);
    modified_ = true;
    computeCalculated();
}

void Cursor::setLogical(const QString& name, bool value) {
    const int f = storedField(name);
    if (f < 0) {
        calcValues_[size_t(slot(name).calculated)] =
            value ? QStringLiteral("T") : QStringLiteral("F");
        return;
    }
    table_->layout().setLogical(f, buffer_, value);
    modified_ = true;
    computeCalculated();
}

void Cursor::clear(const QString& name) {
    const int f = storedField(name);
    if (f < 0) {
        calcValues_[size_t(slot(name).calculated)].clear();
        return;
    }
    table_->layout().clear(f, buffer_);
    modified_ = true;
    computeCalculated();
}

void Cursor::computeCalculated() {
    if (calcNames_.empty()) return;
    for (QString& v : calcValues_) v.clear();
    if (!calcFields || inCalc_) return;
    inCalc_ = true;
    try {
        calcFields(*this);
    } catch (...) {
        inCalc_ = false;
        throw;
    }
    inCalc_ = false;
}

}  // namespace dbase
