// Operations on a whole table: emptying, packing (a new file renamed over
// the old one), adding an index tag, creating a table, and clearing its
// production-index flag.
#include "archive/dbase/table.h"

#include "archive/dbase/engine_settings.h"
#include "archive/dbase/table_internal.h"

namespace dbase {

void Table::empty() {
    WriteLock lock(*this);
    if (!upgradeToSoleUse()) inUse(path_);
    try {
        std::vector<TagSpec> tagDefs;
        for (int t = 0; t < tagCount(); ++t) tagDefs.push_back(index_->tag(t));
        count_ = 0;
        beginChange();
        const int64_t end = layout_.headerLength();
        file_->resize(end);
        file_->writeAt(end, &kEndOfFile, 1);
        forgetCache();
        syncFile();
        deletedCount_ = 0;
        ++epoch_;
        dropRecordLocks();
        if (!tagDefs.empty()) rebuildIndex(std::move(tagDefs));
        endChange();
    } catch (...) {
        releaseSoleUse();
        afterFailure();
        throw;
    }
    releaseSoleUse();
}

void Table::pack() {
    const QString temp = path_ + QStringLiteral(".pack");
    {
        WriteLock lock(*this);
        if (!upgradeToSoleUse())
            throw EngineError(QStringLiteral("The table %1 is in use").arg(native(path_)));
        try {
            std::vector<TagSpec> tagDefs;
            for (int t = 0; t < tagCount(); ++t) tagDefs.push_back(index_->tag(t));
            auto out =
                std::make_unique<TableFile>(temp, TableFile::Access::ReadWrite, TableFile::Create::Yes);
            out->tryLock(kOpenLockOffset, 1, true);

            DbfLayout packed = layout_;
            packed.marker.present = true;
            packed.marker.changes = layout_.marker.changes + 1;
            packed.marker.indexed = layout_.marker.changes;  // index to be regenerated
            const int recordLength = layout_.recordLength();
            int64_t written = packed.headerLength();
            uint32_t kept = 0;
            QByteArray outBytes;
            scanRecords(*file_, recordOffset(1), recordLength, count_,
                        [&](uint32_t, uint32_t n, QByteArrayView chunk) {
                            if (chunk.size() != qsizetype(n) * recordLength)
                                throw EngineError(
                                    QStringLiteral("The table %1 is damaged: it ends early")
                                        .arg(native(path_)));
                            outBytes.clear();
                            for (uint32_t i = 0; i < n; ++i) {
                                const char* r = chunk.constData() + qsizetype(i) * recordLength;
                                if (r[0] == kDeletedFlag) continue;
                                outBytes.append(r, recordLength);
                                ++kept;
                            }
                            out->writeAt(written, outBytes.constData(), size_t(outBytes.size()));
                            written += outBytes.size();
                            return true;
                        });
            out->writeAt(written, &kEndOfFile, 1);
            packed.recordCount = kept;
            packed.lastUpdate = today();
            const QByteArray header = packed.encodeHeader();
            out->writeAt(0, header.constData(), size_t(header.size()));
            out->syncData();
            TableFile::replace(temp, path_);
            // The old handle goes, and with it the locks on the old file.
            front_ = nullptr;
            file_ = std::move(out);
            dirtyHeld_ = false;  // went with the old file
            layout_ = std::move(packed);
            count_ = kept;
            changes_ = layout_.marker.changes;
            deletedCount_ = 0;
            ++epoch_;
            dropRecordLocks();
            forgetCache();
            front_ = file_->mapFront(kBaseHeaderSize);
            if (!tagDefs.empty()) {
                rebuildIndex(std::move(tagDefs));
            } else {
                endChange();
                syncFile();
            }
        } catch (...) {
            platform::removeFile(temp);
            releaseSoleUse();
            throw;
        }
        releaseSoleUse();
    }
}

void Table::addIndex(const QString& fieldName) {
    const int f = layout_.fieldIndex(fieldName);
    if (f < 0)
        throw EngineError(
            QStringLiteral("Field '%1' not found in %2").arg(fieldName, native(path_)));
    const Field field = layout_.field(f);
    if (field.type != 'C' && field.type != 'D')
        throw EngineError(QStringLiteral("Cannot index field %1 of %2: only character and date "
                                         "fields can carry an index")
                              .arg(field.name, native(path_)));
    const QString name = field.name.toUpper();
    WriteLock lock(*this);
    if (findTag(name) >= 0)
        throw EngineError(
            QStringLiteral("The index %1 already exists in %2").arg(name, native(mdxPath_)));
    const TagSpec def{name, field.name, field.type == 'C' ? KeyType::Character : KeyType::Date,
                      field.type == 'C' ? field.length : 8};
    try {
        auto entries = scanKeys({f}, {def.type}, {def.keyLength});
        beginChange();
        syncFile();
        if (!index_) {
            index_ = MdxIndex::create(mdxPath_, {def});
            index_->rebuild(0, std::move(entries[0]));
        } else {
            index_->addTag(def, std::move(entries[0]));
        }
        index_->sync();
        bindTags();
        layout_.setTagged(f, true);
        layout_.productionIndex = true;
        layout_.marker.indexed = layout_.marker.changes;
        writeWholeHeader();
        syncFile();
    } catch (...) {
        afterFailure();
        throw;
    }
}

void Table::create(const QString& path, const std::vector<Field>& fields,
                   const std::vector<QString>& tagFields, uint8_t languageDriver, bool replace) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (QFileInfo::exists(absolute)) {
        if (!replace)
            throw EngineError(QStringLiteral("The table %1 already exists").arg(native(absolute)));
        const QString canonical = QFileInfo(absolute).canonicalFilePath();
        if (auto it = registry().find(canonical);
            it != registry().end() && !it->second.table.expired())
            inUse(absolute);
        TableFile existing(absolute, TableFile::Access::ReadWrite);
        if (!existing.tryLock(kOpenLockOffset, 1, true)) inUse(absolute);
    }
    DbfLayout layout(absolute, fields, languageDriver);
    std::vector<TagSpec> tagDefs;
    for (const QString& name : tagFields) {
        const int f = layout.fieldIndex(name);
        if (f < 0)
            throw EngineError(
                QStringLiteral("Field '%1' not found in %2").arg(name, native(absolute)));
        const Field& field = layout.field(f);
        if (field.type != 'C' && field.type != 'D')
            throw EngineError(QStringLiteral("Cannot index field %1 of %2: only character and "
                                             "date fields can carry an index")
                                  .arg(field.name, native(absolute)));
        tagDefs.push_back(TagSpec{field.name, field.name,
                                  field.type == 'C' ? KeyType::Character : KeyType::Date,
                                  field.type == 'C' ? field.length : 8});
        layout.setTagged(f, true);
    }
    layout.productionIndex = !tagDefs.empty();
    layout.marker.present = true;
    layout.marker.changes = 1;
    layout.marker.indexed = tagDefs.empty() ? 1 : 0;  // until the index exists
    layout.recordCount = 0;

    const QString temp = absolute + QStringLiteral(".new");
    {
        TableFile out(temp, TableFile::Access::ReadWrite, TableFile::Create::Yes);
        QByteArray bytes = layout.encodeHeader();
        bytes.append(kEndOfFile);
        out.writeAt(0, bytes.constData(), size_t(bytes.size()));
        out.syncData();
    }
    TableFile::replace(temp, absolute);
    const QString mdx = productionIndexPath(absolute);
    if (tagDefs.empty()) {
        if (replace) platform::removeFile(mdx);
        return;
    }
    MdxIndex::create(mdx, tagDefs)->sync();
    TableFile file(absolute, TableFile::Access::ReadWrite);
    layout.marker.indexed = layout.marker.changes;
    const QByteArray base = layout.encodeBase();
    file.writeAt(0, base.constData(), size_t(base.size()));
    file.syncData();
}

void Table::clearProductionIndexFlag(const QString& path) {
    const QString canonical = canonicalOf(path);
    if (auto it = registry().find(canonical); it != registry().end() && !it->second.table.expired())
        inUse(path);
    TableFile file(path, TableFile::Access::ReadWrite);
    if (!file.tryLock(kOpenLockOffset, 1, true)) inUse(path);
    QByteArray base(kBaseHeaderSize, '\0');
    base.resize(qsizetype(file.readAt(0, base.data(), size_t(base.size()))));
    QByteArray header(DbfLayout::statedHeaderLength(base, path), '\0');
    header.resize(qsizetype(file.readAt(0, header.data(), size_t(header.size()))));
    DbfLayout layout = DbfLayout::parse(header, path);
    layout.productionIndex = false;
    for (int f = 0; f < layout.fieldCount(); ++f) layout.setTagged(f, false);
    const QByteArray bytes = layout.encodeHeader();
    file.writeAt(0, bytes.constData(), size_t(bytes.size()));
    file.syncData();
}

}  // namespace dbase
