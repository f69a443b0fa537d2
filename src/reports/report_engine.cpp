#include "reports/report_engine.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace reports {
namespace {

// Fonts are measured on a device of 254 dots per inch: one dot is a tenth of
// a millimetre, the unit of the display lists.
const QPaintDevice& measuringDevice() {
    static QImage image = [] {
        QImage i(1, 1, QImage::Format_Mono);
        i.setDotsPerMeterX(10000);
        i.setDotsPerMeterY(10000);
        return i;
    }();
    return image;
}

QFont qfont(const FontSpec& f) {
    QFont font(f.family);
    font.setPointSizeF(f.size);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    return font;
}

struct Metrics {
    QFontMetricsF metrics;
    explicit Metrics(const FontSpec& f) : metrics(qfont(f), &measuringDevice()) {}
};

Metrics& metricsFor(const FontSpec& f) {
    static std::vector<std::pair<FontSpec, std::unique_ptr<Metrics>>> cache;
    for (auto& [font, m] : cache)
        if (font == f) return *m;
    cache.emplace_back(f, std::make_unique<Metrics>(f));
    return *cache.back().second;
}

int16_t units(double mm) { return int16_t(std::clamp(std::lround(mm * kUnitsPerMm), -32768L, 32767L)); }

}  // namespace

double lineHeight(const FontSpec& font) { return metricsFor(font).metrics.lineSpacing() / kUnitsPerMm; }

QStringList wrapText(const QString& text, const FontSpec& font, double width, bool wrap) {
    QStringList lines;
    const QFontMetricsF& fm = metricsFor(font).metrics;
    // A little room, as printers and screens measure a trifle differently.
    const double limit = width * kUnitsPerMm * 0.98;
    for (const QString& paragraph : text.split(u'\n')) {
        if (!wrap || fm.horizontalAdvance(paragraph) <= limit) {
            lines << paragraph;
            continue;
        }
        QString line;
        for (const QString& word : paragraph.split(u' ')) {
            const QString candidate = line.isEmpty() ? word : line + u' ' + word;
            if (fm.horizontalAdvance(candidate) <= limit) {
                line = candidate;
                continue;
            }
            if (!line.isEmpty()) lines << line;
            line = word;
            // A word wider than the object breaks where it must.
            while (line.size() > 1 && fm.horizontalAdvance(line) > limit) {
                qsizetype fit = line.size() - 1;
                while (fit > 1 && fm.horizontalAdvance(line.left(fit)) > limit) --fit;
                lines << line.left(fit);
                line = line.mid(fit);
            }
        }
        lines << line;
    }
    return lines;
}

namespace {

struct CompiledObject {
    const ReportObject* object = nullptr;
    TextTemplate text;
    uint16_t style = 0;
};

struct CompiledBand {
    const Band* band = nullptr;
    std::vector<CompiledObject> objects;
    std::optional<Expression> condition;
};

// One band as evaluated, ready to be put on a page.
struct Instance {
    struct Piece {
        ItemKind kind;
        Align align;
        uint16_t style;
        double x, y, w, h;  // mm, relative to the band
        QString text;
    };
    double height = 0;
    bool dataColumn = false;  // a master-data band of a multi-column sheet
    std::vector<Piece> pieces;
};

class Preparer {
  public:
    Preparer(const Report& report, const DatasetResolver& datasets, const PrepareOptions& options)
        : report_(report), options_(options) {
        out_.page = report.page;
        out_.title = options.title;
        const Band* master = report.masterData();
        if (master) {
            dataset_ = datasets ? datasets(master->dataset) : nullptr;
            if (!dataset_) throw ReportError(QStringLiteral("Dataset %1 not found").arg(master->dataset));
            fields_ = dataset_->fields();
        }
        groups_ = report.groupCount();
        for (const Band& b : report.bands) compile(b);
        const PageSpec& p = report.page;
        contentTop_ = p.top;
        footerTop_ = p.sheetHeight() - p.bottom - (pageFooter_ ? pageFooter_->band->height : 0);
        contentWidth_ = p.sheetWidth() - p.left - p.right;
    }

    PreparedReport run() {
        Row row(fields_.names.size());
        Row previous;
        std::vector<Value> keys(size_t(groups_) + 1);
        bool any = false;
        long long records = 0;
        context_ = &row;
        startPage(row);
        if (title_) place(evaluate(*title_, row), false);
        if (columnHeader_) place(evaluate(*columnHeader_, row), false);
        if (dataset_) {
            for (dataset_->first(); !dataset_->eof(); dataset_->next()) {
                dataset_->read(row);
                context_ = &row;
                int changed = groups_ + 1;
                for (int g = 1; g <= groups_; ++g) {
                    const Value key = groupHeaders_[size_t(g)]->condition->evaluate(row, aggregates_);
                    if (!any || !(key == keys[size_t(g)])) {
                        changed = std::min(changed, g);
                    }
                    keys[size_t(g)] = key;
                }
                if (any) {
                    context_ = &previous;
                    closeGroups(changed, previous);
                    context_ = &row;
                }
                for (int g = changed; g <= groups_; ++g) openGroup(g, row);
                aggregates_.accumulate(row);
                if (master_) output(evaluate(*master_, row));
                std::swap(previous, row);
                row.resize(fields_.names.size());
                any = true;
                if (options_.progress && ++records % 4096 == 0) options_.progress(records);
            }
        }
        if (any) {
            context_ = &previous;
            closeGroups(1, previous);
        }
        if (summary_) place(evaluate(*summary_, *context_), false);
        finishPage(*context_);
        for (Page& p : out_.pages) {
            p.items.shrink_to_fit();
            p.text.squeeze();
        }
        return std::move(out_);
    }

  private:
    void compile(const Band& b) {
        CompiledBand c;
        c.band = &b;
        const int level = (b.kind == BandKind::GroupFooter || b.kind == BandKind::GroupHeader) ? b.group : 0;
        for (const ReportObject& o : b.objects) {
            CompiledObject co;
            co.object = &o;
            Style style{o.font, o.lineWidth};
            if (o.kind == ObjectKind::Text || o.kind == ObjectKind::Barcode) {
                // A barcode names its code as an expression, with or without brackets.
                QString source = o.text.trimmed();
                if (o.kind == ObjectKind::Barcode && !source.startsWith(u'[')) source = u'[' + source + u']';
                co.text = compileText(source, o.kind == ObjectKind::Text ? o.format : QString(), b, level);
            }
            co.style = styleIndex(style);
            c.objects.push_back(std::move(co));
        }
        if (b.kind == BandKind::GroupHeader) {
            QString cond = b.condition.trimmed();
            if (cond.startsWith(u'[') && cond.endsWith(u']')) cond = cond.mid(1, cond.size() - 2);
            try {
                c.condition = Expression::compile(cond, fields_, aggregates_, b.group);
            } catch (const ReportError& e) {
                throw ReportError(QStringLiteral("%1 band of group %2: %3").arg(bandKindName(b.kind)).arg(b.group).arg(e.message()));
            }
        }
        bands_.push_back(std::make_unique<CompiledBand>(std::move(c)));
        CompiledBand* cb = bands_.back().get();
        switch (b.kind) {
        case BandKind::ReportTitle: title_ = cb; break;
        case BandKind::PageHeader: pageHeader_ = cb; break;
        case BandKind::ColumnHeader: columnHeader_ = cb; break;
        case BandKind::MasterData: master_ = cb; break;
        case BandKind::PageFooter: pageFooter_ = cb; break;
        case BandKind::ReportSummary: summary_ = cb; break;
        case BandKind::GroupHeader:
            groupHeaders_.resize(std::max(groupHeaders_.size(), size_t(b.group) + 1));
            groupHeaders_[size_t(b.group)] = cb;
            break;
        case BandKind::GroupFooter:
            groupFooters_.resize(std::max(groupFooters_.size(), size_t(b.group) + 1));
            groupFooters_[size_t(b.group)] = cb;
            break;
        }
        groupHeaders_.resize(size_t(groups_) + 1);
        groupFooters_.resize(size_t(groups_) + 1);
    }

    TextTemplate compileText(const QString& text, const QString& picture, const Band& b, int level) {
        try {
            return TextTemplate::compile(text, picture, fields_, aggregates_, level);
        } catch (const ReportError& e) {
            throw ReportError(QStringLiteral("%1 band: %2").arg(bandKindName(b.kind), e.message()));
        }
    }

    uint16_t styleIndex(const Style& s) {
        for (size_t i = 0; i < out_.styles.size(); ++i)
            if (out_.styles[i] == s) return uint16_t(i);
        out_.styles.push_back(s);
        return uint16_t(out_.styles.size() - 1);
    }

    std::optional<Instance> evaluate(const CompiledBand& cb, const Row& row) {
        const Band& b = *cb.band;
        if (b.printIfNotEmpty) {
            bool empty = true;
            for (const CompiledObject& co : cb.objects)
                if (co.text.hasExpressions() && !co.text.allEmpty(row, aggregates_)) empty = false;
            if (empty) return std::nullopt;
        }
        Instance in;
        in.height = b.height;
        in.dataColumn = b.kind == BandKind::MasterData && b.columns > 1;
        for (const CompiledObject& co : cb.objects) {
            const ReportObject& o = *co.object;
            switch (o.kind) {
            case ObjectKind::Line:
                in.pieces.push_back({ItemKind::Line, Align::Left, co.style, o.x, o.y, o.width, o.height, {}});
                break;
            case ObjectKind::Rectangle:
                in.pieces.push_back({ItemKind::Rectangle, Align::Left, co.style, o.x, o.y, o.width, o.height, {}});
                break;
            case ObjectKind::Barcode:
                in.pieces.push_back({ItemKind::Barcode, Align::Left, co.style, o.x, o.y, o.width, o.height,
                                     co.text.evaluate(row, aggregates_).trimmed()});
                break;
            case ObjectKind::Text: {
                const QString text = co.text.evaluate(row, aggregates_);
                const QStringList lines = wrapText(text, o.font, o.width, o.wordWrap);
                const double lh = lineHeight(o.font);
                for (qsizetype i = 0; i < lines.size(); ++i) {
                    if (lines[i].isEmpty()) continue;
                    const double h = lines.size() == 1 ? std::max(o.height, lh) : lh;
                    in.pieces.push_back({ItemKind::Text, o.align, co.style, o.x, o.y + double(i) * lh, o.width, h, lines[i]});
                }
                // Each further line adds a line's height below the object, so a
                // wrapped text keeps the space that its object leaves below one line.
                in.height = std::max(in.height, o.y + std::max(o.height, lh) + double(lines.size() - 1) * lh);
                break;
            }
            }
        }
        return in;
    }

    void openGroup(int g, const Row& row) {
        aggregates_.reset(g);
        const CompiledBand* header = groupHeaders_[size_t(g)];
        if (header->band->newPage && dataOnPage_ && !buffering()) {
            finishRow();
            newPage(row);
        }
        if (header->band->keepTogether && !buffering()) keepLevel_ = g;
        output(evaluate(*header, row));
    }

    void closeGroups(int fromLevel, const Row& previous) {
        for (int g = groups_; g >= fromLevel; --g) {
            if (const CompiledBand* footer = groupFooters_[size_t(g)]) output(evaluate(*footer, previous));
            if (keepLevel_ == g) flush();
        }
    }

    bool buffering() const { return keepLevel_ > 0; }

    void output(std::optional<Instance> in) {
        if (!in) return;
        if (buffering()) buffer_.push_back(std::move(*in));
        else place(std::move(in));
    }

    // Puts a kept-together group on the page: on this one when it fits, else
    // on the next (where, if even a whole page is too short, it flows on).
    void flush() {
        keepLevel_ = 0;
        double height = 0;
        for (const Instance& in : buffer_) height += in.dataColumn ? in.height / masterColumns() : in.height;
        finishRow();
        if (y_ + height > footerTop_ + 1e-6 && !atPageTop()) newPage(*context_);
        for (Instance& in : buffer_) place(std::move(in));
        buffer_.clear();
    }

    int masterColumns() const { return master_ ? master_->band->columns : 1; }

    // Puts a band on the page below what is there, breaking the page first
    // when it does not fit. `data`: a band of the records, not the title or
    // the summary.
    void place(std::optional<Instance> in, bool data = true) {
        if (!in) return;
        if (!in->dataColumn) finishRow();
        double x = report_.page.left;
        if (in->dataColumn) {
            const int columns = masterColumns();
            const double gap = master_->band->columnGap;
            const double width = (contentWidth_ - gap * (columns - 1)) / columns;
            x += column_ * (width + gap);
        }
        if (y_ + in->height > footerTop_ + 1e-6 && !atPageTop()) {
            // A sheet of labels moves on with the row it started.
            finishRow();
            newPage(*context_);
            x = in->dataColumn ? report_.page.left : x;
            column_ = 0;
        }
        put(*in, x, y_);
        dataOnPage_ = dataOnPage_ || data;
        if (in->dataColumn) {
            rowHeight_ = std::max(rowHeight_, in->height);
            if (++column_ >= masterColumns()) finishRow();
        } else {
            y_ += in->height;
        }
    }

    void finishRow() {
        if (column_ > 0 || rowHeight_ > 0) y_ += rowHeight_;
        column_ = 0;
        rowHeight_ = 0;
    }

    void put(const Instance& in, double x, double y) {
        Page& page = out_.pages.back();
        for (const Instance::Piece& p : in.pieces) {
            Item item;
            item.kind = p.kind;
            item.align = p.align;
            item.style = p.style;
            item.x = units(x + p.x);
            item.y = units(y + p.y);
            item.w = units(p.w);
            item.h = units(p.h);
            item.textStart = uint32_t(page.text.size());
            item.textLength = uint16_t(std::min<qsizetype>(p.text.size(), 65535));
            page.text += QStringView(p.text).left(item.textLength);
            page.items.push_back(item);
        }
    }

    bool atPageTop() const { return y_ <= bodyTop_ + 1e-6 && column_ == 0; }

    void startPage(const Row& row) {
        out_.pages.emplace_back();
        y_ = contentTop_;
        dataOnPage_ = false;
        if (pageHeader_) {
            if (auto in = evaluate(*pageHeader_, row)) {
                put(*in, report_.page.left, y_);
                y_ += in->height;
            }
        }
        // The column header repeats on every page after the first, where it
        // follows the report title instead.
        if (columnHeader_ && out_.pages.size() > 1) {
            if (auto in = evaluate(*columnHeader_, row)) {
                put(*in, report_.page.left, y_);
                y_ += in->height;
            }
        }
        bodyTop_ = y_;
    }

    void finishPage(const Row& row) {
        if (pageFooter_) {
            if (auto in = evaluate(*pageFooter_, row)) put(*in, report_.page.left, footerTop_);
        }
    }

    void newPage(const Row& row) {
        finishPage(row);
        startPage(row);
    }

    const Report& report_;
    const PrepareOptions& options_;
    PreparedReport out_;
    std::unique_ptr<ReportDataset> dataset_;
    FieldCatalog fields_;
    Aggregates aggregates_;
    std::vector<std::unique_ptr<CompiledBand>> bands_;
    CompiledBand *title_ = nullptr, *pageHeader_ = nullptr, *columnHeader_ = nullptr, *master_ = nullptr,
                 *pageFooter_ = nullptr, *summary_ = nullptr;
    std::vector<CompiledBand*> groupHeaders_, groupFooters_;
    int groups_ = 0;
    double contentTop_ = 0, footerTop_ = 0, contentWidth_ = 0, bodyTop_ = 0, y_ = 0;
    int column_ = 0;
    double rowHeight_ = 0;
    int keepLevel_ = 0;
    std::vector<Instance> buffer_;
    const Row* context_ = nullptr;  // the record that page headers and footers read
    bool dataOnPage_ = false;
};

}  // namespace

PreparedReport prepareReport(const Report& report, const DatasetResolver& datasets, const PrepareOptions& options) {
    return Preparer(report, datasets, options).run();
}

}  // namespace reports
