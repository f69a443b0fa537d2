// Expressions of report texts, and the values they compute.
//
// A text object's text is literal text with expressions in square brackets:
// "Pag. [PAGE] di [PAGES]", "[nome] n. [numero]"; "[[" stands for a literal
// "[". An expression is built from
//   field names of the master dataset, without regard to case   nome, prezzo
//   numbers and quoted texts                                   1.5  'C'  "C"
//   + - * / with the usual precedence, and parentheses          quantita*prezzo
//   comparisons = <> < <= > >=, giving 1 or 0
//   IF(condition, then, else)
//   SUM(e), AVG(e), MIN(e), MAX(e) and COUNT() over the records of the
//     enclosing group (in its footer) or of the whole report (elsewhere)
//   PAGE, PAGES: this page's number and the number of pages
//   DATE: today's date
//   MOVIMENTO(tipo): the movement type's name ("Carico", "Scarico", "Reso")
// "+" joins texts; arithmetic reads an empty value as 0; a division by zero
// gives an empty value. A number shows through the text object's picture, or
// the field's display picture when the expression is that bare field, or in
// the general format; a date in the regional short format.
#pragma once

#include "platform/error.h"

#include <QDate>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace reports {

class ReportError : public platform::Error {
  public:
    using Error::Error;
};

struct Value {
    enum class Type { Null, Number, Text, Date };
    Type type = Type::Null;
    double number = 0;
    QString text;
    QDate date;

    static Value of(double d) { return {Type::Number, d, {}, {}}; }
    static Value of(QString s) { return {Type::Text, 0, std::move(s), {}}; }
    static Value of(QDate d) { return d.isValid() ? Value{Type::Date, 0, {}, d} : Value{}; }
    double toNumber() const;  // Null is 0; text that is not a number raises ReportError
    bool isEmpty() const;
    bool operator==(const Value& other) const;
};

using Row = std::vector<Value>;

// Stand-ins for the page number and count, put into prepared text and
// replaced when a page is drawn: the count is known only at the end.
inline constexpr QChar kPageNumberMark = QChar(0xE000);
inline constexpr QChar kPageCountMark = QChar(0xE001);
QString resolvePageMarks(const QString& text, int page, int pageCount);  // page 1-based

// What the fields of the master dataset are called and how they show.
struct FieldCatalog {
    std::vector<QString> names;
    std::vector<QString> displayFormats;
    int indexOf(const QString& name) const;  // -1 when missing
};

struct Node;

// Running totals of one report. Each SUM/AVG/COUNT/MIN/MAX names a scope:
// 0 for the whole report, g for group g; starting group g clears the totals
// of groups g and deeper.
class Aggregates {
  public:
    Aggregates();
    ~Aggregates();
    int add(int kind, const Node* argument, int level);
    void accumulate(const Row& row);
    void reset(int fromLevel);
    Value value(int index) const;

  private:
    struct Slot;
    std::vector<Slot> slots_;
};

class Expression {
  public:
    Expression();
    ~Expression();
    Expression(Expression&&) noexcept;
    Expression& operator=(Expression&&) noexcept;

    // Raises ReportError naming the expression and what is wrong.
    static Expression compile(const QString& source, const FieldCatalog& fields, Aggregates& aggregates,
                              int level);
    Value evaluate(const Row& row, const Aggregates& aggregates) const;
    // The field whose display format applies, -1 when not a bare field.
    int bareField() const;

  private:
    std::unique_ptr<Node> root_;
    QString source_;
};

// A text object's text, compiled: literal pieces and expressions.
class TextTemplate {
  public:
    static TextTemplate compile(const QString& text, const QString& picture, const FieldCatalog& fields,
                                Aggregates& aggregates, int level);
    QString evaluate(const Row& row, const Aggregates& aggregates) const;
    bool hasExpressions() const { return !expressions_.empty(); }
    // True when every expression comes out empty (print-if-not-empty).
    bool allEmpty(const Row& row, const Aggregates& aggregates) const;

  private:
    struct Piece {
        QString literal;
        int expression = -1;
    };
    std::vector<Piece> pieces_;
    std::vector<Expression> expressions_;
    QString picture_;
    const FieldCatalog* fields_ = nullptr;
};

QString formatValue(const Value& value, const QString& picture);

}  // namespace reports
