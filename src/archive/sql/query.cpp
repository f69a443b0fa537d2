#include "archive/sql/query.h"

#include "archive/dbase/engine_error.h"
#include "archive/sql/big_memory.h"
#include "archive/sql/sql_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace sql {

namespace {

// A sequence in blocks that never move: the first values in a vector (a small
// result stays small), the rest in blocks of 2 MiB that are filled, not copied.
template <typename T>
class Blocks {
  public:
    static constexpr size_t kBlock = memory::kHugePage / sizeof(T);
    static_assert((kBlock & (kBlock - 1)) == 0);

    size_t size() const { return size_; }
    const T& operator[](size_t i) const {
        return i < kBlock ? first_[i] : rest_[i / kBlock - 1][i % kBlock];
    }
    void push_back(const T& value) {
        if (size_ < kBlock) {
            first_.push_back(value);
        } else {
            if (size_ % kBlock == 0) rest_.push_back(memory::allocateArray<T>(kBlock));
            rest_.back()[size_ % kBlock] = value;
        }
        ++size_;
    }
    void pop_back() {
        if (size_ <= kBlock) first_.pop_back();
        --size_;
    }

  private:
    std::vector<T> first_;
    std::vector<memory::Array<T>> rest_;
    size_t size_ = 0;
};

}  // namespace

// One result column, stored by type: numbers and dates (Julian days) in
// `numbers`; text as UTF-8 in chunks of a pool, so a million rows cost
// neither a million allocations nor copies of a growing buffer.
struct Query::Column {
    static constexpr size_t kFirstChunk = 64 << 10;
    static constexpr size_t kLongText = 256 << 10;  // stored in a block of its own

    QString name;
    FieldType type = FieldType::Text;
    bool resolved = false;  // type known (declared, or seen in a non-NULL value)
    size_t pendingNulls = 0;
    Blocks<double> numbers;
    std::vector<memory::Array<char>> chunks;  // growing to 2 MiB each
    std::vector<memory::Array<char>> longTexts;
    size_t chunkSize = 0;
    size_t chunkUsed = 0;
    // Each text in the pool is its length (7 bits a byte, low bits first, the
    // high bit set on all but the last) and its bytes; a row holds a pointer
    // to it, nullptr for NULL.
    Blocks<const char*> texts;
    // A NULL number or date is kept as NaN, a NULL text as nullptr.
    static constexpr double kNull = std::numeric_limits<double>::quiet_NaN();

    bool isNull(size_t row) const {
        if (!resolved) return true;
        return type == FieldType::Text ? texts[row] == nullptr : std::isnan(numbers[row]);
    }

    void resolve(FieldType t) {
        type = t;
        resolved = true;
        for (; pendingNulls > 0; --pendingNulls) {
            if (t == FieldType::Text)
                texts.push_back(nullptr);
            else
                numbers.push_back(kNull);
        }
    }

    const char* store(const char* bytes, size_t size) {
        static const char kEmpty = 0;
        if (size == 0) return &kEmpty;  // length 0: not NULL, and no chunk needed
        char length[5];
        size_t lengthSize = 0;
        for (size_t rest = size;; rest >>= 7) {
            length[lengthSize++] = char((rest & 0x7F) | (rest >= 0x80 ? 0x80 : 0));
            if (rest < 0x80) break;
        }
        const size_t total = lengthSize + size;
        char* at;
        if (total > kLongText) {
            longTexts.push_back(memory::allocateArray<char>(total));
            at = longTexts.back().get();
        } else {
            if (chunks.empty() || chunkUsed + total > chunkSize) {
                chunkSize =
                    std::max(total, chunks.empty() ? kFirstChunk
                                                   : std::min(chunkSize * 2, memory::kHugePage));
                chunks.push_back(memory::allocateArray<char>(chunkSize));
                chunkUsed = 0;
            }
            at = chunks.back().get() + chunkUsed;
            chunkUsed += total;
        }
        std::memcpy(at, length, lengthSize);
        std::memcpy(at + lengthSize, bytes, size);
        return at;
    }

    void append(sqlite3_stmt* stmt, int i) {
        // One look-up of the value, then plain reads of it (the connection
        // is used by one thread only).
        sqlite3_value* value = sqlite3_column_value(stmt, i);
        const int kind = sqlite3_value_type(value);
        if (!resolved) {
            if (kind == SQLITE_NULL) {
                ++pendingNulls;
                return;
            }
            resolve(kind == SQLITE_TEXT || kind == SQLITE_BLOB ? FieldType::Text
                                                               : FieldType::Number);
        }
        if (type == FieldType::Text) {
            if (kind == SQLITE_NULL) {
                texts.push_back(nullptr);
                return;
            }
            // The value's bytes as they are: UTF-8 for text (the connection's
            // encoding), without making SQLite add a terminator first.
            const auto* bytes = kind == SQLITE_TEXT || kind == SQLITE_BLOB
                                    ? static_cast<const char*>(sqlite3_value_blob(value))
                                    : reinterpret_cast<const char*>(sqlite3_value_text(value));
            const auto size = size_t(sqlite3_value_bytes(value));
            // An empty text is not NULL: it has a place of its own all the same.
            texts.push_back(store(bytes ? bytes : "", size));
        } else {
            numbers.push_back(kind == SQLITE_NULL ? kNull : sqlite3_value_double(value));
        }
    }

    // Forgets the last row (the filter refused it); its text bytes stay unused.
    void dropLast() {
        if (!resolved) {
            --pendingNulls;
        } else if (type == FieldType::Text) {
            texts.pop_back();
        } else {
            numbers.pop_back();
        }
    }

    QString textAt(size_t row) const {
        const char* at = texts[row];
        size_t size = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*at++);
            size |= size_t(byte & 0x7F) << shift;
            if (!(byte & 0x80)) break;
        }
        return QString::fromUtf8(at, qsizetype(size));
    }
};

struct Query::Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

namespace {

[[noreturn]] void fail(sqlite3* db) {
    throw dbase::EngineError(QString::fromUtf8(sqlite3_errmsg(db)));
}

}  // namespace

namespace {

// Only integer types bind as integers: anything else converted to a number
// would become 0 for text that is not one.
bool isInteger(int type) {
    switch (type) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
            return true;
        default:
            return false;
    }
}

}  // namespace

Query::Query(Database& db) : db_(db) {}
Query::~Query() = default;

void Query::clear() {
    close();
    lines_.clear();
    bindings_.clear();
}

void Query::add(const QString& line) {
    close();
    lines_ << line;
}

void Query::setText(const QString& text) {
    close();
    lines_ = QStringList{text};
}

void Query::bind(int position, const QVariant& value) {
    if (position < 1) throw dbase::EngineError(QStringLiteral("Parameter numbers start at 1"));
    if (bindings_.size() < size_t(position)) bindings_.resize(size_t(position));
    bindings_[size_t(position - 1)] = value;
}

std::unique_ptr<Query::Statement> Query::prepare() {
    db_.refreshTables();
    sqlite3* db = db_.handle();
    auto st = std::make_unique<Statement>();
    const QByteArray sql = text().toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &st->stmt, nullptr) != SQLITE_OK)
        fail(db);
    if (!st->stmt) throw dbase::EngineError(QStringLiteral("The SQL statement is empty"));
    for (size_t i = 0; i < bindings_.size(); ++i) {
        const QVariant& v = bindings_[i];
        const int n = int(i + 1);
        int rc = SQLITE_OK;
        if (v.isNull() || (v.typeId() == QMetaType::QDate && !v.toDate().isValid())) {
            rc = sqlite3_bind_null(st->stmt, n);
        } else if (v.typeId() == QMetaType::QDate) {
            rc = sqlite3_bind_int64(st->stmt, n, v.toDate().toJulianDay());
        } else if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
            const double d = v.toDouble();
            if (std::isnan(d)) {
                // SQLite would take a NaN as NULL, and a write would store it as
                // a blank without a word; as this marker a write refuses it.
                rc = sqlite3_bind_blob(st->stmt, n, kNaNBlob, sizeof kNaNBlob, SQLITE_STATIC);
            } else {
                rc = sqlite3_bind_double(st->stmt, n, d);
            }
        } else if (isInteger(v.typeId())) {
            rc = sqlite3_bind_int64(st->stmt, n, v.toLongLong());
        } else {
            const QByteArray utf8 = v.toString().toUtf8();
            rc = sqlite3_bind_text(st->stmt, n, utf8.constData(), int(utf8.size()),
                                   SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK) fail(db);
    }
    return st;
}

int Query::execute() {
    close();
    auto st = prepare();
    int rc;
    while ((rc = sqlite3_step(st->stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) fail(db_.handle());
    return sqlite3_changes(db_.handle());
}

void Query::open() {
    close();
    if (beforeOpen) beforeOpen();
    auto st = prepare();
    if (!sqlite3_stmt_readonly(st->stmt))
        throw dbase::EngineError(
            QStringLiteral("A query that changes tables cannot be opened; execute it"));
    const int n = sqlite3_column_count(st->stmt);
    columns_.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        Column& c = columns_[size_t(i)];
        c.name = QString::fromUtf8(sqlite3_column_name(st->stmt, i));
        const char* decl = sqlite3_column_decltype(st->stmt, i);
        const QByteArray type = decl ? QByteArray(decl).toUpper() : QByteArray();
        if (type == "DATE")
            c.resolve(FieldType::Date);
        else if (type == "TEXT")
            c.resolve(FieldType::Text);
        else if (type == "REAL" || type == "BOOLEAN")
            c.resolve(FieldType::Number);
    }
    open_ = true;
    int rc;
    while ((rc = sqlite3_step(st->stmt)) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) columns_[size_t(i)].append(st->stmt, i);
        row_ = rows_;
        ++rows_;
        if (filter) {
            filling_ = true;
            bool keep = false;
            try {
                keep = filter(*this);
            } catch (...) {
                filling_ = false;
                close();
                throw;
            }
            filling_ = false;
            if (!keep) {
                for (Column& c : columns_) c.dropLast();
                --rows_;
            }
        }
    }
    if (rc != SQLITE_DONE) {
        close();
        fail(db_.handle());
    }
    first();
}

void Query::close() {
    open_ = false;
    columns_.clear();
    rows_ = row_ = 0;
    eof_ = bof_ = true;
}

int Query::fieldCount() const {
    return int(columns_.size());
}

QString Query::fieldName(int field) const {
    return columns_.at(size_t(field)).name;
}

Query::FieldType Query::fieldType(int field) const {
    return columns_.at(size_t(field)).type;
}

int Query::fieldIndex(const QString& name) const {
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    }
    throw dbase::EngineError(QStringLiteral("Field '%1' not found").arg(name));
}

void Query::first() {
    row_ = 0;
    bof_ = true;
    eof_ = rows_ == 0;
}

void Query::last() {
    row_ = rows_ ? rows_ - 1 : 0;
    eof_ = true;
    bof_ = rows_ == 0;
}

void Query::next() {
    bof_ = false;
    if (row_ + 1 < rows_)
        ++row_;
    else
        eof_ = true;
}

void Query::prior() {
    eof_ = false;
    if (row_ > 0)
        --row_;
    else
        bof_ = true;
}

void Query::moveTo(int row) {
    if (row < 0 || size_t(row) >= rows_)
        throw dbase::EngineError(QStringLiteral("Row out of range"));
    row_ = size_t(row);
    bof_ = eof_ = false;
}

void Query::checkRow() const {
    if (!open_ || rows_ == 0)
        throw dbase::EngineError(
            QStringLiteral("Cannot perform this operation on an empty dataset"));
}

bool Query::isNull(int field) const {
    checkRow();
    return columns_.at(size_t(field)).isNull(row_);
}

QVariant Query::value(int field) const {
    if (isNull(field)) return {};
    switch (fieldType(field)) {
        case FieldType::Text:
            return text(field);
        case FieldType::Date:
            return date(field);
        default:
            return number(field);
    }
}

QString Query::text(int field) const {
    checkRow();
    const Column& c = columns_.at(size_t(field));
    if (c.isNull(row_)) return {};
    switch (c.type) {
        case FieldType::Text:
            return c.textAt(row_);
        case FieldType::Date:
            return QDate::fromJulianDay(qint64(c.numbers[row_])).toString(Qt::ISODate);
        default:
            return QString::number(c.numbers[row_], 'g', 15);
    }
}

double Query::number(int field) const {
    checkRow();
    const Column& c = columns_.at(size_t(field));
    if (c.isNull(row_)) return 0;
    if (c.type == FieldType::Text) return c.textAt(row_).toDouble();
    return c.numbers[row_];
}

QDate Query::date(int field) const {
    checkRow();
    const Column& c = columns_.at(size_t(field));
    if (c.isNull(row_) || c.type == FieldType::Text) return {};
    return QDate::fromJulianDay(qint64(c.numbers[row_]));
}

}  // namespace sql
