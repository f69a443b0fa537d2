#include "platform/number_format.h"

#include "platform/error.h"
#include "platform/program_locale.h"

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace platform {
namespace {

// A magnitude as decimal digits: 0.d1d2d3... times 10^exponent, with no
// leading or trailing zero digit. No digits means zero.
struct Decimal {
    std::string digits;
    int exponent = 0;

    bool isZero() const { return digits.empty(); }
};

void dropTrailingZeros(Decimal& d) {
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

// The shortest decimal form with 15 significant digits, as the operator would
// have typed the value.
Decimal toDecimal(double value) {
    char buf[64];
    const auto end =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14)
            .ptr;
    // buf holds d.ddddddddddddddde±xx
    Decimal d;
    d.digits.push_back(buf[0]);
    const char* p = buf + 2;
    while (p < end && *p != 'e') d.digits.push_back(*p++);
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    d.exponent = exponent + 1;
    dropTrailingZeros(d);
    if (d.digits == "0") d.digits.clear();
    return d;
}

// Rounds half away from zero to `decimals` places after the decimal sign.
void roundTo(Decimal& d, int decimals) {
    const int keep = d.exponent + decimals;
    if (keep >= int(d.digits.size())) return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[keep] >= '5';
    d.digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        } else {
            ++d.digits[i];
        }
    }
    dropTrailingZeros(d);
}

std::string integerDigits(const Decimal& d) {
    if (d.exponent <= 0 || d.isZero()) return {};
    std::string s = d.digits.substr(0, std::min<size_t>(d.exponent, d.digits.size()));
    s.resize(d.exponent, '0');
    return s;
}

// Exactly `count` digits after the decimal sign.
std::string fractionDigits(const Decimal& d, int count) {
    std::string s;
    for (int j = 0; j < count; ++j) {
        const int i = d.exponent + j;
        s.push_back(i >= 0 && i < int(d.digits.size()) ? d.digits[i] : '0');
    }
    return s;
}

bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

std::vector<QStringView> splitSections(QStringView picture) {
    std::vector<QStringView> sections;
    qsizetype start = 0;
    QChar quote;
    for (qsizetype i = 0; i < picture.size(); ++i) {
        const QChar c = picture[i];
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (isQuote(c)) {
            quote = c;
        } else if (c == u';') {
            sections.push_back(picture.mid(start, i - start));
            start = i + 1;
        }
    }
    sections.push_back(picture.mid(start));
    return sections;
}

// What a section asks of the number: digit places and grouping.
struct Layout {
    int integerPlaces = 0;
    int minInteger = 0;
    int maxDecimals = 0;
    int minDecimals = 0;
    bool grouping = false;
};

Layout scan(QStringView section) {
    Layout layout;
    int firstIntegerZero = -1;
    bool afterPoint = false;
    QChar quote;
    for (const QChar c : section) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (isQuote(c)) {
            quote = c;
        } else if (c == u'.') {
            afterPoint = true;
        } else if (c == u',') {
            if (!afterPoint) layout.grouping = true;
        } else if (c == u'0' || c == u'#') {
            if (afterPoint) {
                ++layout.maxDecimals;
                if (c == u'0') layout.minDecimals = layout.maxDecimals;
            } else {
                if (c == u'0' && firstIntegerZero < 0) firstIntegerZero = layout.integerPlaces;
                ++layout.integerPlaces;
            }
        }
    }
    if (firstIntegerZero >= 0) layout.minInteger = layout.integerPlaces - firstIntegerZero;
    return layout;
}

// Draws the magnitude `d`, already rounded to the section's decimals.
QString apply(QStringView section, const Layout& layout, const Decimal& d, bool minus) {
    const QLocale locale = programLocale();
    const QString point = locale.decimalPoint();
    const QString group = locale.groupSeparator();

    std::string integer = integerDigits(d);
    if (int(integer.size()) < layout.minInteger)
        integer.insert(0, layout.minInteger - integer.size(), '0');
    std::string fraction = fractionDigits(d, layout.maxDecimals);
    while (int(fraction.size()) > layout.minDecimals && fraction.back() == '0') fraction.pop_back();

    QString out;
    if (minus) out += u'-';
    const int length = int(integer.size());
    auto emitInteger = [&](int from, int to) {
        for (int p = from; p < to; ++p) {
            out += QChar(integer[p]);
            const int right = length - 1 - p;
            if (layout.grouping && right > 0 && right % 3 == 0) out += group;
        }
    };

    int integerPlace = 0;
    int decimalPlace = 0;
    bool afterPoint = false;
    QChar quote;
    for (const QChar c : section) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                out += c;
        } else if (isQuote(c)) {
            quote = c;
        } else if (c == u'.') {
            if (afterPoint) continue;
            afterPoint = true;
            // A picture without integer places still shows the integer digits.
            if (layout.integerPlaces == 0) emitInteger(0, length);
            if (!fraction.empty()) out += point;
        } else if (c == u',') {
            // grouping was noted by scan()
        } else if (c == u'0' || c == u'#') {
            if (afterPoint) {
                if (decimalPlace < int(fraction.size())) out += QChar(fraction[decimalPlace]);
                ++decimalPlace;
            } else {
                // Digits beyond the picture's places all go to its first place.
                const int digit = integerPlace + (length - layout.integerPlaces);
                if (integerPlace == 0)
                    emitInteger(0, digit + 1);
                else if (digit >= 0)
                    emitInteger(digit, digit + 1);
                ++integerPlace;
            }
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

QString numberKeyText(const QString& typed) {
    if (typed == QLatin1String(".") || typed == QLatin1String(","))
        return programLocale().decimalPoint();
    return typed;
}

QString formatNumber(double value, QStringView picture) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    const std::vector<QStringView> sections = splitSections(picture);
    const QStringView positive = sections[0];
    const QStringView negative = sections.size() > 1 ? sections[1] : QStringView();
    const QStringView zero = sections.size() > 2 ? sections[2] : QStringView();

    Decimal d = toDecimal(value);
    const bool useNegative = value < 0 && !negative.isEmpty();
    const QStringView chosen = useNegative ? negative : positive;
    const Layout layout = scan(chosen);
    roundTo(d, layout.maxDecimals);
    if (d.isZero()) {
        const QStringView section = zero.isEmpty() ? positive : zero;
        return apply(section, scan(section), Decimal{}, false);
    }
    return apply(chosen, layout, d, value < 0 && !useNegative);
}

QString formatGeneral(double value) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    const Decimal d = toDecimal(value);
    if (d.isZero()) return QStringLiteral("0");

    const QString point = programLocale().decimalPoint();
    QString out;
    if (value < 0) out += u'-';
    if (d.exponent > 15 || d.exponent < -4) {
        out += QChar(d.digits[0]);
        if (d.digits.size() > 1) out += point + QString::fromLatin1(d.digits.substr(1));
        out += u'E';
        out += QString::number(d.exponent - 1);
        return out;
    }
    const std::string integer = integerDigits(d);
    out += integer.empty() ? QStringLiteral("0") : QString::fromLatin1(integer);
    const int decimals = int(d.digits.size()) - d.exponent;
    if (decimals > 0) out += point + QString::fromLatin1(fractionDigits(d, decimals));
    return out;
}

std::optional<double> parseNumber(QStringView text) {
    const QStringView t = text.trimmed();
    const QString localPoint = programLocale().decimalPoint();
    auto isPoint = [&](QChar c) {
        return c == u'.' || c == u',' || (localPoint.size() == 1 && c == localPoint[0]);
    };
    std::string s;
    bool digits = false;
    bool point = false;
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) s.push_back(char(t[i++].unicode()));
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c >= u'0' && c <= u'9') {
            s.push_back(char(c.unicode()));
            digits = true;
        } else if (isPoint(c)) {
            if (point) return std::nullopt;
            point = true;
            s.push_back('.');
        } else {
            break;
        }
    }
    if (!digits) return std::nullopt;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        s.push_back('e');
        ++i;
        if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) s.push_back(char(t[i++].unicode()));
        bool exponentDigits = false;
        for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i) {
            s.push_back(char(t[i].unicode()));
            exponentDigits = true;
        }
        if (!exponentDigits) return std::nullopt;
    }
    if (i != t.size()) return std::nullopt;

    // from_chars takes no leading "+".
    const char* first = s.data() + (s[0] == '+');
    double value = 0;
    const auto [end, error] = std::from_chars(first, s.data() + s.size(), value);
    if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

double toNumber(QStringView text) {
    if (const auto value = parseNumber(text)) return *value;
    throw Error(QStringLiteral("'%1' is not a valid floating point value").arg(text));
}

}  // namespace platform
