#include "reports/template_file.h"

#include "reports/report_exports.h"

#include <QFile>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <optional>

namespace reports {
namespace {

constexpr auto kRoot = "tasmero-report";

struct KindName {
    BandKind kind;
    const char* name;
};
constexpr KindName kKinds[] = {
    {BandKind::ReportTitle, "report-title"},   {BandKind::PageHeader, "page-header"},
    {BandKind::ColumnHeader, "column-header"}, {BandKind::GroupHeader, "group-header"},
    {BandKind::MasterData, "master-data"},     {BandKind::GroupFooter, "group-footer"},
    {BandKind::PageFooter, "page-footer"},     {BandKind::ReportSummary, "report-summary"},
};

struct ObjectName {
    ObjectKind kind;
    const char* name;
};
constexpr ObjectName kObjects[] = {
    {ObjectKind::Text, "text"},
    {ObjectKind::Line, "line"},
    {ObjectKind::Rectangle, "rect"},
    {ObjectKind::Barcode, "barcode"},
};

// Reads one element's attributes, refusing any it does not know of.
class Parser {
  public:
    Parser(const QByteArray& xml, const QString& fileName) : xml_(xml), file_(fileName) {}

    Report run() {
        Report report;
        if (!nextElement()) fail(QStringLiteral("the file holds no report"));
        if (xml_.name() != QLatin1String(kRoot))
            fail(QStringLiteral("the root element must be <%1>, not <%2>").arg(QLatin1String(kRoot), xml_.name()));
        allow({"version", "name"});
        const int version = integer("version", std::nullopt);
        if (version < 1) fail(QStringLiteral("version %1 is not a template version").arg(version));
        if (version > kTemplateVersion)
            fail(QStringLiteral("version %1 is newer than this program reads (%2)").arg(version).arg(kTemplateVersion));
        report.name = text("name", QString());

        bool pageSeen = false;
        while (nextChild()) {
            if (xml_.name() == QLatin1String("page")) {
                if (pageSeen) fail(QStringLiteral("a second <page>"));
                pageSeen = true;
                report.page = page();
            } else if (xml_.name() == QLatin1String("band")) {
                report.bands.push_back(band());
            } else {
                unknownElement();
            }
        }
        if (xml_.hasError()) syntaxError();
        checkBands(report);
        return report;
    }

  private:
    [[noreturn]] void fail(const QString& what, qint64 line = -1) const {
        throw TemplateError(QStringLiteral("%1, line %2: %3")
                                .arg(file_)
                                .arg(line >= 0 ? line : xml_.lineNumber())
                                .arg(what));
    }
    [[noreturn]] void syntaxError() const { fail(xml_.errorString()); }
    [[noreturn]] void unknownElement() const {
        fail(QStringLiteral("unknown element <%1>").arg(xml_.name()));
    }

    // Moves to the next start element at any depth; false at the end.
    bool nextElement() {
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isStartElement()) return true;
        }
        if (xml_.hasError()) syntaxError();
        return false;
    }
    // Moves to the next child of the current element; false at its end.
    bool nextChild() {
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isStartElement()) return true;
            if (xml_.isEndElement()) return false;
            if (xml_.isCharacters() && !xml_.isWhitespace())
                fail(QStringLiteral("text \"%1\" outside an object").arg(xml_.text().trimmed()));
        }
        if (xml_.hasError()) syntaxError();
        return false;
    }

    void allow(std::initializer_list<const char*> names) {
        for (const QXmlStreamAttribute& a : xml_.attributes()) {
            bool known = false;
            for (const char* n : names) known = known || a.name() == QLatin1String(n);
            if (!known) fail(QStringLiteral("unknown attribute '%1' on <%2>").arg(a.name(), xml_.name()));
        }
    }
    std::optional<QString> raw(const char* name) const {
        const QXmlStreamAttributes attrs = xml_.attributes();
        if (!attrs.hasAttribute(QLatin1String(name))) return std::nullopt;
        return attrs.value(QLatin1String(name)).toString();
    }
    QString required(const char* name) const {
        if (auto v = raw(name)) return *v;
        fail(QStringLiteral("<%1> lacks the attribute '%2'").arg(xml_.name(), QLatin1String(name)));
    }
    QString text(const char* name, const std::optional<QString>& fallback) const {
        if (auto v = raw(name)) return *v;
        if (fallback) return *fallback;
        return required(name);
    }
    double number(const char* name, std::optional<double> fallback, double min = 0) const {
        const std::optional<QString> v = raw(name);
        if (!v) {
            if (fallback) return *fallback;
            required(name);
        }
        bool ok = false;
        // QString::toDouble reads the C format whatever the process locale.
        const double d = v->trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(d))
            fail(QStringLiteral("'%1' of <%2> is not a number: \"%3\"").arg(QLatin1String(name), xml_.name(), *v));
        if (d < min)
            fail(QStringLiteral("'%1' of <%2> must not be below %3: \"%4\"")
                     .arg(QLatin1String(name), xml_.name(), QString::number(min), *v));
        return d;
    }
    int integer(const char* name, std::optional<int> fallback, int min = 0) const {
        const std::optional<QString> v = raw(name);
        if (!v) {
            if (fallback) return *fallback;
            required(name);
        }
        bool ok = false;
        const int i = v->trimmed().toInt(&ok);
        if (!ok) fail(QStringLiteral("'%1' of <%2> is not a whole number: \"%3\"").arg(QLatin1String(name), xml_.name(), *v));
        if (i < min)
            fail(QStringLiteral("'%1' of <%2> must not be below %3: \"%4\"").arg(QLatin1String(name), xml_.name()).arg(min).arg(*v));
        return i;
    }
    bool flag(const char* name, bool fallback) const {
        const std::optional<QString> v = raw(name);
        if (!v) return fallback;
        if (*v == QLatin1String("true")) return true;
        if (*v == QLatin1String("false")) return false;
        fail(QStringLiteral("'%1' of <%2> must be true or false, not \"%3\"").arg(QLatin1String(name), xml_.name(), *v));
    }
    // Reads child-free content; a child element is refused.
    QString content() {
        QString s;
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isCharacters()) s += xml_.text();
            else if (xml_.isStartElement()) unknownElement();
            else if (xml_.isEndElement()) return s;
        }
        syntaxError();
    }
    void noChildren() {
        if (nextChild()) unknownElement();
    }

    PageSpec page() {
        allow({"size", "width", "height", "orientation", "left", "top", "right", "bottom"});
        PageSpec p;
        if (auto size = raw("size")) {
            if (raw("width") || raw("height")) fail(QStringLiteral("<page> gives both a size and a width or height"));
            if (*size == QLatin1String("A4")) p.width = 210, p.height = 297;
            else if (*size == QLatin1String("A5")) p.width = 148, p.height = 210;
            else if (*size == QLatin1String("A3")) p.width = 297, p.height = 420;
            else if (*size == QLatin1String("Letter")) p.width = 215.9, p.height = 279.4;
            else fail(QStringLiteral("unknown page size \"%1\" (A3, A4, A5 or Letter)").arg(*size));
        } else {
            p.width = number("width", 210, 10);
            p.height = number("height", 297, 10);
        }
        const QString orientation = text("orientation", QStringLiteral("portrait"));
        if (orientation == QLatin1String("landscape")) p.landscape = true;
        else if (orientation != QLatin1String("portrait"))
            fail(QStringLiteral("orientation must be portrait or landscape, not \"%1\"").arg(orientation));
        p.left = number("left", 10);
        p.top = number("top", 10);
        p.right = number("right", 10);
        p.bottom = number("bottom", 10);
        if (p.left + p.right >= p.sheetWidth() || p.top + p.bottom >= p.sheetHeight())
            fail(QStringLiteral("the margins leave no room on the page"));
        noChildren();
        return p;
    }

    Band band() {
        Band b;
        const qint64 line = xml_.lineNumber();
        const QString kind = required("kind");
        bool known = false;
        for (const KindName& k : kKinds)
            if (kind == QLatin1String(k.name)) b.kind = k.kind, known = true;
        if (!known) fail(QStringLiteral("unknown band kind \"%1\"").arg(kind));
        switch (b.kind) {
        case BandKind::MasterData:
            allow({"kind", "height", "dataset", "columns", "column-gap", "print-if-not-empty"});
            b.dataset = required("dataset");
            b.columns = integer("columns", 1, 1);
            b.columnGap = number("column-gap", 0);
            break;
        case BandKind::GroupHeader:
            allow({"kind", "height", "group", "condition", "new-page", "keep-together", "print-if-not-empty"});
            b.group = integer("group", std::nullopt, 1);
            b.condition = required("condition");
            b.newPage = flag("new-page", false);
            b.keepTogether = flag("keep-together", false);
            break;
        case BandKind::GroupFooter:
            allow({"kind", "height", "group", "print-if-not-empty"});
            b.group = integer("group", std::nullopt, 1);
            break;
        default:
            allow({"kind", "height", "print-if-not-empty"});
        }
        b.height = number("height", std::nullopt);
        b.printIfNotEmpty = flag("print-if-not-empty", false);
        while (nextChild()) b.objects.push_back(object());
        lines_.push_back(line);
        return b;
    }

    ReportObject object() {
        ReportObject o;
        bool known = false;
        for (const ObjectName& n : kObjects)
            if (xml_.name() == QLatin1String(n.name)) o.kind = n.kind, known = true;
        if (!known) unknownElement();
        if (o.kind == ObjectKind::Text)
            allow({"x", "y", "width", "height", "font", "size", "bold", "italic", "align", "wrap", "format"});
        else if (o.kind == ObjectKind::Barcode)
            allow({"x", "y", "width", "height"});
        else
            allow({"x", "y", "width", "height", "line-width"});
        o.x = number("x", std::nullopt);
        o.y = number("y", std::nullopt);
        o.width = number("width", std::nullopt);
        o.height = number("height", std::nullopt);
        if (o.kind == ObjectKind::Text) {
            o.font.family = text("font", o.font.family);
            o.font.size = number("size", o.font.size, 1);
            o.font.bold = flag("bold", false);
            o.font.italic = flag("italic", false);
            const QString align = text("align", QStringLiteral("left"));
            if (align == QLatin1String("left")) o.align = Align::Left;
            else if (align == QLatin1String("center")) o.align = Align::Center;
            else if (align == QLatin1String("right")) o.align = Align::Right;
            else fail(QStringLiteral("align must be left, center or right, not \"%1\"").arg(align));
            o.wordWrap = flag("wrap", false);
            o.format = text("format", QString());
        }
        if (o.kind == ObjectKind::Line || o.kind == ObjectKind::Rectangle) o.lineWidth = number("line-width", 0.2);
        if (o.kind == ObjectKind::Text || o.kind == ObjectKind::Barcode) {
            o.text = content();
            if (o.kind == ObjectKind::Barcode && o.text.trimmed().isEmpty())
                fail(QStringLiteral("<barcode> names no code"));
        } else {
            noChildren();
        }
        return o;
    }

    void checkBands(const Report& r) const {
        int masters = 0;
        QSet<int> headers, footers;
        for (size_t i = 0; i < r.bands.size(); ++i) {
            const Band& b = r.bands[i];
            const qint64 line = lines_[i];
            if (b.kind == BandKind::MasterData && ++masters > 1)
                fail(QStringLiteral("a second master-data band"), line);
            if (b.kind != BandKind::MasterData && b.kind != BandKind::GroupHeader && b.kind != BandKind::GroupFooter) {
                for (size_t j = 0; j < i; ++j)
                    if (r.bands[j].kind == b.kind) fail(QStringLiteral("a second %1 band").arg(bandKindName(b.kind)), line);
            }
            if (b.kind == BandKind::GroupHeader) {
                if (headers.contains(b.group)) fail(QStringLiteral("a second header for group %1").arg(b.group), line);
                headers.insert(b.group);
            }
            if (b.kind == BandKind::GroupFooter) {
                if (footers.contains(b.group)) fail(QStringLiteral("a second footer for group %1").arg(b.group), line);
                footers.insert(b.group);
            }
        }
        for (size_t i = 0; i < r.bands.size(); ++i) {
            const Band& b = r.bands[i];
            if (b.kind == BandKind::GroupFooter && !headers.contains(b.group))
                fail(QStringLiteral("group-footer of group %1 has no group-header").arg(b.group), lines_[i]);
            if (b.kind == BandKind::GroupHeader && b.group > 1 && !headers.contains(b.group - 1))
                fail(QStringLiteral("group %1 has no enclosing group %2").arg(b.group).arg(b.group - 1), lines_[i]);
        }
        if (masters == 0 && !headers.isEmpty()) fail(QStringLiteral("groups without a master-data band"), lines_.front());
    }

    QXmlStreamReader xml_;
    QString file_;
    std::vector<qint64> lines_;
};

QString num(double d) { return QString::number(d, 'g', 12); }
QString boolText(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

}  // namespace

Report parseTemplate(const QByteArray& xml, const QString& fileName) {
    return Parser(xml, fileName).run();
}

QByteArray serializeTemplate(const Report& report) {
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(2);
    w.writeStartDocument();
    w.writeStartElement(QLatin1String(kRoot));
    w.writeAttribute(QStringLiteral("version"), QString::number(kTemplateVersion));
    w.writeAttribute(QStringLiteral("name"), report.name);
    const PageSpec& p = report.page;
    w.writeEmptyElement(QStringLiteral("page"));
    w.writeAttribute(QStringLiteral("width"), num(p.width));
    w.writeAttribute(QStringLiteral("height"), num(p.height));
    w.writeAttribute(QStringLiteral("orientation"), p.landscape ? QStringLiteral("landscape") : QStringLiteral("portrait"));
    w.writeAttribute(QStringLiteral("left"), num(p.left));
    w.writeAttribute(QStringLiteral("top"), num(p.top));
    w.writeAttribute(QStringLiteral("right"), num(p.right));
    w.writeAttribute(QStringLiteral("bottom"), num(p.bottom));
    for (const Band& b : report.bands) {
        w.writeStartElement(QStringLiteral("band"));
        w.writeAttribute(QStringLiteral("kind"), bandKindName(b.kind));
        w.writeAttribute(QStringLiteral("height"), num(b.height));
        if (b.kind == BandKind::MasterData) {
            w.writeAttribute(QStringLiteral("dataset"), b.dataset);
            w.writeAttribute(QStringLiteral("columns"), QString::number(b.columns));
            w.writeAttribute(QStringLiteral("column-gap"), num(b.columnGap));
        }
        if (b.kind == BandKind::GroupHeader || b.kind == BandKind::GroupFooter)
            w.writeAttribute(QStringLiteral("group"), QString::number(b.group));
        if (b.kind == BandKind::GroupHeader) {
            w.writeAttribute(QStringLiteral("condition"), b.condition);
            w.writeAttribute(QStringLiteral("new-page"), boolText(b.newPage));
            w.writeAttribute(QStringLiteral("keep-together"), boolText(b.keepTogether));
        }
        w.writeAttribute(QStringLiteral("print-if-not-empty"), boolText(b.printIfNotEmpty));
        for (const ReportObject& o : b.objects) {
            const char* name = "text";
            for (const ObjectName& n : kObjects)
                if (n.kind == o.kind) name = n.name;
            w.writeStartElement(QLatin1String(name));
            w.writeAttribute(QStringLiteral("x"), num(o.x));
            w.writeAttribute(QStringLiteral("y"), num(o.y));
            w.writeAttribute(QStringLiteral("width"), num(o.width));
            w.writeAttribute(QStringLiteral("height"), num(o.height));
            if (o.kind == ObjectKind::Text) {
                w.writeAttribute(QStringLiteral("font"), o.font.family);
                w.writeAttribute(QStringLiteral("size"), num(o.font.size));
                w.writeAttribute(QStringLiteral("bold"), boolText(o.font.bold));
                w.writeAttribute(QStringLiteral("italic"), boolText(o.font.italic));
                w.writeAttribute(QStringLiteral("align"), o.align == Align::Left     ? QStringLiteral("left")
                                                          : o.align == Align::Center ? QStringLiteral("center")
                                                                                     : QStringLiteral("right"));
                w.writeAttribute(QStringLiteral("wrap"), boolText(o.wordWrap));
                w.writeAttribute(QStringLiteral("format"), o.format);
            }
            if (o.kind == ObjectKind::Line || o.kind == ObjectKind::Rectangle)
                w.writeAttribute(QStringLiteral("line-width"), num(o.lineWidth));
            if (o.kind == ObjectKind::Text || o.kind == ObjectKind::Barcode) w.writeCharacters(o.text);
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

Report loadTemplate(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw platform::FileError(QStringLiteral("Cannot open file %1. %2").arg(path, f.errorString()));
    return parseTemplate(f.readAll(), path);
}

void saveTemplate(const Report& report, const QString& path) {
    // What could not be loaded back is never written: the loader's own check
    // refuses it, with the message the operator would meet at the next load.
    const QByteArray bytes = serializeTemplate(report);
    parseTemplate(bytes, path);
    writeReportFile(path, bytes);
}

}  // namespace reports
