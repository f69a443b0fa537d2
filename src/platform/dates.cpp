#include "platform/dates.h"

#include "platform/program_locale.h"

#include <QList>

namespace platform {
namespace {

QDate& pinnedToday() {
    static QDate date;
    return date;
}

// Which of day, month and year comes first, second and third in `format`.
QString fieldOrder(const QString& format) {
    QString order;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (quoted) continue;
        if ((c == u'd' || c == u'M' || c == u'y') && !order.contains(c)) order += c;
    }
    return order;
}

// Two-digit years land within fifty years of today, as the operator means them.
int fullYear(int year, int digits) {
    if (digits > 2) return year;
    const int base = today().year() - 50;
    year += base / 100 * 100;
    if (year < base) year += 100;
    return year;
}

QDate parseNumeric(QStringView text, const QString& order) {
    QList<QStringView> groups;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool digit = i < text.size() && text[i].isDigit() && text[i].unicode() < 0x80;
        if (i < text.size() && text[i].isLetter()) return {};
        if (digit && start < 0) start = i;
        if (!digit && start >= 0) {
            groups.append(text.mid(start, i - start));
            start = -1;
        }
    }
    if (order.size() != 3 || groups.size() < 2 || groups.size() > 3) return {};
    int day = 0, month = 0, year = today().year();
    int g = 0;
    for (const QChar field : order) {
        if (g == groups.size()) break;  // only the year may be left out, and it comes last
        const QStringView group = groups[g++];
        if (group.size() > 4) return {};
        const int number = group.toInt();
        if (field == u'd') day = number;
        if (field == u'M') month = number;
        if (field == u'y') year = fullYear(number, int(group.size()));
    }
    if (groups.size() == 2 && order.back() != u'y') return {};
    return QDate(year, month, day);
}

}  // namespace

QString shortDateFormat() {
    const QString format = programLocale().dateFormat(QLocale::ShortFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u'y') {
            while (i + 1 < format.size() && format[i + 1] == u'y') ++i;
            out += QStringLiteral("yyyy");
        } else {
            out += c;
        }
    }
    return out;
}

QString formatDate(QDate date) {
    if (!date.isValid()) return {};
    return programLocale().toString(date, shortDateFormat());
}

QDate parseDate(QStringView text) {
    const QStringView t = text.trimmed();
    if (t.isEmpty()) return {};
    const QString format = shortDateFormat();
    const QDate numeric = parseNumeric(t, fieldOrder(format));
    if (numeric.isValid()) return numeric;
    // Formats with month names: only the exact form is understood.
    return programLocale().toDate(t.toString(), format);
}

QDate today() {
    return pinnedToday().isValid() ? pinnedToday() : QDate::currentDate();
}

void setToday(QDate date) {
    pinnedToday() = date;
}

QDate farFutureDate() {
    return QDate(2099, 12, 31);
}

}  // namespace platform
