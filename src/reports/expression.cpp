#include "reports/expression.h"

#include "archive/schema.h"
#include "platform/dates.h"
#include "platform/number_format.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace reports {

double Value::toNumber() const {
    switch (type) {
    case Type::Null: return 0;
    case Type::Number: return number;
    case Type::Date: return double(date.toJulianDay());
    case Type::Text: {
        if (text.trimmed().isEmpty()) return 0;
        if (auto n = platform::parseNumber(text)) return *n;
        throw ReportError(QStringLiteral("'%1' is not a number").arg(text));
    }
    }
    return 0;
}

bool Value::isEmpty() const {
    return type == Type::Null || (type == Type::Text && text.trimmed().isEmpty());
}

bool Value::operator==(const Value& o) const {
    if (type != o.type) return false;
    switch (type) {
    case Type::Null: return true;
    case Type::Number: return number == o.number;
    case Type::Text: return text == o.text;
    case Type::Date: return date == o.date;
    }
    return false;
}

QString resolvePageMarks(const QString& text, int page, int pageCount) {
    if (!text.contains(kPageNumberMark) && !text.contains(kPageCountMark)) return text;
    QString s = text;
    s.replace(kPageNumberMark, QString::number(page));
    s.replace(kPageCountMark, QString::number(pageCount));
    return s;
}

int FieldCatalog::indexOf(const QString& name) const {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

QString formatValue(const Value& v, const QString& picture) {
    switch (v.type) {
    case Value::Type::Null: return {};
    case Value::Type::Text: return v.text;
    case Value::Type::Date: return platform::formatDate(v.date);
    case Value::Type::Number:
        return picture.isEmpty() ? platform::formatGeneral(v.number) : platform::formatNumber(v.number, picture);
    }
    return {};
}

// ---- syntax tree -------------------------------------------------------

enum class Op { Constant, Field, Negate, Add, Subtract, Multiply, Divide, Compare, If, Aggregate, Page, Pages, Today, Movement };
enum Comparison { Eq, Ne, Lt, Le, Gt, Ge };
enum AggregateKind { Sum, Count, Avg, Min, Max };

struct Node {
    Op op = Op::Constant;
    Value constant;
    int index = 0;  // field, aggregate slot or comparison
    std::vector<std::unique_ptr<Node>> args;
};

namespace {

int compareValues(const Value& a, const Value& b) {
    if (a.type == Value::Type::Text || b.type == Value::Type::Text) {
        const QString x = formatValue(a, {}), y = formatValue(b, {});
        return x < y ? -1 : (x == y ? 0 : 1);
    }
    const double x = a.toNumber(), y = b.toNumber();
    return x < y ? -1 : (x == y ? 0 : 1);
}

Value eval(const Node& n, const Row& row, const Aggregates& agg) {
    switch (n.op) {
    case Op::Constant: return n.constant;
    case Op::Field: return row[size_t(n.index)];
    case Op::Negate: return Value::of(-eval(*n.args[0], row, agg).toNumber());
    case Op::Add: {
        const Value a = eval(*n.args[0], row, agg), b = eval(*n.args[1], row, agg);
        if (a.type == Value::Type::Text || b.type == Value::Type::Text)
            return Value::of(formatValue(a, {}) + formatValue(b, {}));
        if (a.type == Value::Type::Date && b.type != Value::Type::Date)
            return Value::of(a.date.addDays(qint64(b.toNumber())));
        return Value::of(a.toNumber() + b.toNumber());
    }
    case Op::Subtract:
        return Value::of(eval(*n.args[0], row, agg).toNumber() - eval(*n.args[1], row, agg).toNumber());
    case Op::Multiply:
        return Value::of(eval(*n.args[0], row, agg).toNumber() * eval(*n.args[1], row, agg).toNumber());
    case Op::Divide: {
        const double d = eval(*n.args[1], row, agg).toNumber();
        if (d == 0) return {};
        return Value::of(eval(*n.args[0], row, agg).toNumber() / d);
    }
    case Op::Compare: {
        const int c = compareValues(eval(*n.args[0], row, agg), eval(*n.args[1], row, agg));
        bool r = false;
        switch (n.index) {
        case Eq: r = c == 0; break;
        case Ne: r = c != 0; break;
        case Lt: r = c < 0; break;
        case Le: r = c <= 0; break;
        case Gt: r = c > 0; break;
        case Ge: r = c >= 0; break;
        }
        return Value::of(r ? 1.0 : 0.0);
    }
    case Op::If: {
        const Value c = eval(*n.args[0], row, agg);
        const bool yes = c.type == Value::Type::Text ? !c.text.isEmpty() : c.toNumber() != 0;
        return eval(*n.args[yes ? 1 : 2], row, agg);
    }
    case Op::Aggregate: return agg.value(n.index);
    case Op::Page: return Value::of(QString(kPageNumberMark));
    case Op::Pages: return Value::of(QString(kPageCountMark));
    case Op::Today: return Value::of(platform::today());
    case Op::Movement: return Value::of(archive::movementName(formatValue(eval(*n.args[0], row, agg), {})));
    }
    return {};
}

class ExpressionParser {
  public:
    ExpressionParser(const QString& source, const FieldCatalog& fields, Aggregates& agg, int level)
        : s_(source), fields_(fields), agg_(agg), level_(level) {}

    std::unique_ptr<Node> run() {
        auto n = expression();
        skipBlanks();
        if (pos_ < s_.size()) fail(QStringLiteral("unexpected \"%1\"").arg(s_.mid(pos_)));
        return n;
    }

  private:
    [[noreturn]] void fail(const QString& what) const {
        throw ReportError(QStringLiteral("Expression [%1]: %2").arg(s_, what));
    }
    void skipBlanks() {
        while (pos_ < s_.size() && s_[pos_].isSpace()) ++pos_;
    }
    bool take(QStringView token) {
        skipBlanks();
        if (QStringView(s_).mid(pos_).startsWith(token)) {
            pos_ += token.size();
            return true;
        }
        return false;
    }
    void expect(QStringView token) {
        if (!take(token)) fail(QStringLiteral("\"%1\" expected").arg(token));
    }
    static std::unique_ptr<Node> make(Op op, std::unique_ptr<Node> a = {}, std::unique_ptr<Node> b = {}) {
        auto n = std::make_unique<Node>();
        n->op = op;
        if (a) n->args.push_back(std::move(a));
        if (b) n->args.push_back(std::move(b));
        return n;
    }

    std::unique_ptr<Node> expression() {
        auto left = sum();
        static const std::pair<const char16_t*, Comparison> ops[] = {
            {u"<=", Le}, {u">=", Ge}, {u"<>", Ne}, {u"=", Eq}, {u"<", Lt}, {u">", Gt}};
        for (const auto& [token, cmp] : ops) {
            if (take(token)) {
                auto n = make(Op::Compare, std::move(left), sum());
                n->index = cmp;
                return n;
            }
        }
        return left;
    }
    std::unique_ptr<Node> sum() {
        auto left = product();
        for (;;) {
            if (take(u"+")) left = make(Op::Add, std::move(left), product());
            else if (take(u"-")) left = make(Op::Subtract, std::move(left), product());
            else return left;
        }
    }
    std::unique_ptr<Node> product() {
        auto left = unary();
        for (;;) {
            if (take(u"*")) left = make(Op::Multiply, std::move(left), unary());
            else if (take(u"/")) left = make(Op::Divide, std::move(left), unary());
            else return left;
        }
    }
    std::unique_ptr<Node> unary() {
        if (take(u"-")) return make(Op::Negate, unary());
        return primary();
    }
    std::unique_ptr<Node> primary() {
        skipBlanks();
        if (pos_ >= s_.size()) fail(QStringLiteral("the expression ends too early"));
        const QChar c = s_[pos_];
        if (take(u"(")) {
            auto n = expression();
            expect(u")");
            return n;
        }
        if (c == u'\'' || c == u'"') {
            const qsizetype end = s_.indexOf(c, pos_ + 1);
            if (end < 0) fail(QStringLiteral("a quoted text is not closed"));
            auto n = make(Op::Constant);
            n->constant = Value::of(s_.mid(pos_ + 1, end - pos_ - 1));
            pos_ = end + 1;
            return n;
        }
        if (c.isDigit() || c == u'.') {
            const qsizetype start = pos_;
            while (pos_ < s_.size() && (s_[pos_].isDigit() || s_[pos_] == u'.')) ++pos_;
            bool ok = false;
            const double d = QStringView(s_).mid(start, pos_ - start).toDouble(&ok);
            if (!ok) fail(QStringLiteral("\"%1\" is not a number").arg(s_.mid(start, pos_ - start)));
            auto n = make(Op::Constant);
            n->constant = Value::of(d);
            return n;
        }
        if (c.isLetter() || c == u'_') {
            const qsizetype start = pos_;
            while (pos_ < s_.size() && (s_[pos_].isLetterOrNumber() || s_[pos_] == u'_')) ++pos_;
            return name(s_.mid(start, pos_ - start));
        }
        fail(QStringLiteral("unexpected \"%1\"").arg(c));
    }

    std::vector<std::unique_ptr<Node>> arguments(const QString& function) {
        std::vector<std::unique_ptr<Node>> args;
        expect(u"(");
        if (take(u")")) return args;
        do {
            args.push_back(expression());
        } while (take(u","));
        if (!take(u")")) fail(QStringLiteral("\")\" expected after the arguments of %1").arg(function));
        return args;
    }

    std::unique_ptr<Node> name(const QString& word) {
        const QString upper = word.toUpper();
        skipBlanks();
        const bool call = pos_ < s_.size() && s_[pos_] == u'(';
        const int field = fields_.indexOf(word);
        if (!call && field >= 0) {
            auto n = make(Op::Field);
            n->index = field;
            return n;
        }
        if (!call) {
            if (upper == QLatin1String("PAGE")) return make(Op::Page);
            if (upper == QLatin1String("PAGES")) return make(Op::Pages);
            if (upper == QLatin1String("DATE")) return make(Op::Today);
            fail(QStringLiteral("unknown field \"%1\"").arg(word));
        }
        auto args = arguments(upper);
        auto need = [&](size_t count) {
            if (args.size() != count)
                fail(QStringLiteral("%1 takes %2 argument(s), not %3").arg(upper).arg(count).arg(args.size()));
        };
        static const std::pair<const char*, AggregateKind> aggregates[] = {
            {"SUM", Sum}, {"COUNT", Count}, {"AVG", Avg}, {"MIN", Min}, {"MAX", Max}};
        for (const auto& [fn, kind] : aggregates) {
            if (upper != QLatin1String(fn)) continue;
            need(kind == Count ? 0 : 1);
            auto n = make(Op::Aggregate);
            Node* argument = kind == Count ? nullptr : args[0].get();
            n->args = std::move(args);
            n->index = agg_.add(kind, argument, level_);
            return n;
        }
        if (upper == QLatin1String("IF")) {
            need(3);
            auto n = make(Op::If);
            n->args = std::move(args);
            return n;
        }
        if (upper == QLatin1String("MOVIMENTO")) {
            need(1);
            auto n = make(Op::Movement);
            n->args = std::move(args);
            return n;
        }
        fail(QStringLiteral("unknown function \"%1\"").arg(word));
    }

    const QString& s_;
    const FieldCatalog& fields_;
    Aggregates& agg_;
    int level_;
    qsizetype pos_ = 0;
};

}  // namespace

// ---- aggregates --------------------------------------------------------

struct Aggregates::Slot {
    int kind = Sum;
    const Node* argument = nullptr;  // owned by the expression that registered it
    int level = 0;
    double sum = 0, min = 0, max = 0;
    long long count = 0;
};

Aggregates::Aggregates() = default;
Aggregates::~Aggregates() = default;

int Aggregates::add(int kind, const Node* argument, int level) {
    Slot s;
    s.kind = kind;
    s.argument = argument;
    s.level = level;
    slots_.push_back(s);
    return int(slots_.size() - 1);
}

void Aggregates::accumulate(const Row& row) {
    for (Slot& s : slots_) {
        if (s.kind == Count) {
            ++s.count;
            continue;
        }
        const Value v = eval(*s.argument, row, *this);
        if (v.type == Value::Type::Null) continue;
        const double d = v.toNumber();
        s.min = s.count == 0 ? d : std::min(s.min, d);
        s.max = s.count == 0 ? d : std::max(s.max, d);
        s.sum += d;
        ++s.count;
    }
}

void Aggregates::reset(int fromLevel) {
    for (Slot& s : slots_) {
        if (s.level >= fromLevel) s.sum = s.min = s.max = 0, s.count = 0;
    }
}

Value Aggregates::value(int index) const {
    const Slot& s = slots_[size_t(index)];
    switch (s.kind) {
    case Sum: return Value::of(s.sum);
    case Count: return Value::of(double(s.count));
    case Avg: return s.count ? Value::of(s.sum / double(s.count)) : Value{};
    case Min: return s.count ? Value::of(s.min) : Value{};
    case Max: return s.count ? Value::of(s.max) : Value{};
    }
    return {};
}

// ---- expressions and texts ---------------------------------------------

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

Expression Expression::compile(const QString& source, const FieldCatalog& fields, Aggregates& aggregates,
                               int level) {
    Expression e;
    e.source_ = source;
    e.root_ = ExpressionParser(e.source_, fields, aggregates, level).run();
    return e;
}

Value Expression::evaluate(const Row& row, const Aggregates& aggregates) const {
    try {
        return eval(*root_, row, aggregates);
    } catch (const ReportError& e) {
        throw ReportError(QStringLiteral("Expression [%1]: %2").arg(source_, e.message()));
    }
}

int Expression::bareField() const { return root_ && root_->op == Op::Field ? root_->index : -1; }

TextTemplate TextTemplate::compile(const QString& text, const QString& picture, const FieldCatalog& fields,
                                   Aggregates& aggregates, int level) {
    TextTemplate t;
    t.picture_ = picture;
    t.fields_ = &fields;
    QString literal;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'[') {
            literal += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == u'[') {
            literal += u'[';
            ++i;
            continue;
        }
        const qsizetype end = text.indexOf(u']', i + 1);
        if (end < 0) throw ReportError(QStringLiteral("Text \"%1\": a \"[\" is not closed").arg(text));
        if (!literal.isEmpty()) t.pieces_.push_back({std::move(literal), -1});
        literal.clear();
        t.expressions_.push_back(Expression::compile(text.mid(i + 1, end - i - 1), fields, aggregates, level));
        t.pieces_.push_back({{}, int(t.expressions_.size() - 1)});
        i = end;
    }
    if (!literal.isEmpty()) t.pieces_.push_back({std::move(literal), -1});
    return t;
}

QString TextTemplate::evaluate(const Row& row, const Aggregates& aggregates) const {
    QString out;
    for (const Piece& p : pieces_) {
        if (p.expression < 0) {
            out += p.literal;
            continue;
        }
        const Expression& e = expressions_[size_t(p.expression)];
        QString picture = picture_;
        if (picture.isEmpty() && e.bareField() >= 0) picture = fields_->displayFormats[size_t(e.bareField())];
        out += formatValue(e.evaluate(row, aggregates), picture);
    }
    return out;
}

bool TextTemplate::allEmpty(const Row& row, const Aggregates& aggregates) const {
    for (const Expression& e : expressions_)
        if (!e.evaluate(row, aggregates).isEmpty()) return false;
    return true;
}

}  // namespace reports
