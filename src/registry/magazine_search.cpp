#include "registry/magazine_search.h"

#include "archive/dbase/cursor.h"
#include "archive/schema.h"
#include "platform/number_format.h"

namespace registry {

QString upperAtoZ(QString text) {
    for (QChar& c : text) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
    }
    return text;
}

QString searchableText(const dbase::Cursor& magazines, const QString& fieldName) {
    for (const archive::FieldSpec& f : archive::riviste3().fields) {
        if (f.name.compare(fieldName, Qt::CaseInsensitive) != 0) continue;
        if (f.type != 'N' && f.type != 'F') break;
        if (magazines.isBlank(f.name)) return {};
        return platform::formatGeneral(magazines.number(f.name));
    }
    return magazines.text(fieldName);
}

bool findMagazine(dbase::Cursor& magazines, const QString& fieldName, const QString& text,
                  SearchFrom from) {
    const QString wanted = upperAtoZ(text);
    if (from == SearchFrom::Start) {
        magazines.first();
    } else {
        magazines.next();
    }
    while (!magazines.eof()) {
        if (!wanted.isEmpty() &&
            upperAtoZ(searchableText(magazines, fieldName)).contains(wanted, Qt::CaseSensitive))
            return true;
        magazines.next();
    }
    return false;
}

QString notFoundText(const QString& text, SearchFrom from) {
    const QString start = from == SearchFrom::Start
                              ? QStringLiteral("   Nessuna presenza di \"")
                              : QStringLiteral("   Nessun altra presenza di \"");
    return start + upperAtoZ(text) + QStringLiteral("\" trovata!   ");
}

}  // namespace registry
