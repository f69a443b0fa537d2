// Fuzz target for the production index: any bytes, written to a file, must be
// refused with EngineError or opened, walked, checked and changed without a
// crash, a sanitizer report or a hang.
#include "archive/dbase/mdx_index.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("FUZZ.MDX"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        auto index = dbase::MdxIndex::open(path, true);
        try {
            index->verify();
        } catch (const dbase::EngineError&) {
        }
        for (int tag = 0; tag < index->tagCount(); ++tag) {
            const bool date = index->tag(tag).type == dbase::KeyType::Date;
            const QByteArray key =
                date ? dbase::MdxIndex::dateKey(QDate(2024, 2, 29))
                     : dbase::MdxIndex::characterKey("977", index->tag(tag).keyLength);
            try {
                size_t steps = 0;
                for (auto e = index->first(tag); e && steps < 1000000; e = index->next(tag, *e))
                    ++steps;
                for (auto e = index->last(tag); e && steps < 2000000; e = index->prior(tag, *e))
                    ++steps;
                index->seek(tag, key);
                index->insert(tag, key, 12345);
                index->remove(tag, key, 12345);
                if (auto e = index->first(tag)) index->remove(tag, e->key, e->recno);
            } catch (const dbase::EngineError&) {
            }
            try {
                index->rebuild(tag, {{key, 1}, {key, 2}});
            } catch (const dbase::EngineError&) {
            }
        }
        index->flush();
    } catch (const dbase::EngineError&) {
    }
    return 0;
}
