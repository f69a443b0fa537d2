#include "setup/demo_archive.h"

#include "archive/archive_files.h"
#include "archive/dbase/table.h"
#include "archive/schema.h"
#include "platform/error.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace setup {

int ean13CheckDigit(QStringView twelveDigits) {
    int sum = 0;
    for (int i = 0; i < 12; ++i) sum += (twelveDigits[i].unicode() - u'0') * (i % 2 == 0 ? 1 : 3);
    return (10 - sum % 10) % 10;
}

namespace {

// Invented titles: a subject and a form, as kiosk titles go.
const char* const kSubjects[] = {
    "Cucina",   "Motori", "Viaggi",  "Casa",       "Salute",   "Giardino", "Pesca",  "Moto",
    "Computer", "Cinema", "Musica",  "Storia",     "Scienza",  "Calcio",   "Bici",   "Enigmi",
    "Moda",     "Arredo", "Foto",    "Natura",     "Montagna", "Vela",     "Caccia", "Cavalli",
    "Gatti",    "Cani",   "Bambini", "Scuola",     "Lavoro",   "Finanza",  "Borsa",  "Auto",
    "Camper",   "Treni",  "Aerei",   "Modellismo", "Fumetti",  "Giochi",   "Sport",  "Tennis",
    "Golf",     "Sci",    "Fitness", "Yoga",       "Bellezza", "Sposi",    "Ricamo", "Maglia",
    "Vino",     "Dolci",
};
const char* const kForms[] = {"Oggi", "Mese",    "Italia",   "Facile",  "Pratico", "Club",
                              "Più",  "Notizie", "Magazine", "Giovani", "Mondo",   "Top"};

struct Magazine {
    QString barcode;
    QString name;
    double price = 0;
    double cost = 0;
    QString supplier;
    QChar periodicity;
};

struct Movement {
    QDate date;
    int typeOrder;  // C, then S, then R on the same day
    QString issueKey;
    int quantity;
    const Magazine* magazine;
};

struct Issue {
    QString key;
    const Magazine* magazine;
    QDate delivered;
    QDate returnBy;
    int onHand;
};

double roundTo(double value, int decimals) {
    const double f = std::pow(10.0, decimals);
    return std::round(value * f) / f;
}

class Generator {
  public:
    Generator(const QDate& today, uint32_t seed) : today_(today), random_(seed) {}

    std::vector<Magazine> magazines() {
        // How many of each periodicity a kiosk carries, and their price ranges.
        struct Mix {
            char code;
            int count;
            double low, high;
        };
        const Mix mix[] = {{'Q', 6, 1.5, 2.0},   {'S', 90, 1.0, 4.5}, {'D', 30, 2.0, 5.0},
                           {'M', 120, 3.5, 9.9}, {'B', 25, 4.5, 9.9}, {'T', 15, 5.9, 12.9},
                           {'V', 12, 4.9, 14.9}};
        std::vector<Magazine> out;
        std::set<QString> names;
        std::set<QString> codes;
        const QString suppliers[] = {QStringLiteral("D01"), QStringLiteral("D02"),
                                     QStringLiteral("D03")};
        for (const Mix& m : mix) {
            for (int i = 0; i < m.count; ++i) {
                Magazine mag;
                do {
                    mag.name = QStringLiteral("%1 %2").arg(
                        QString::fromUtf8(kSubjects[pick(std::size(kSubjects))]),
                        QString::fromUtf8(kForms[pick(std::size(kForms))]));
                } while (!names.insert(mag.name).second);
                do {
                    // 977, the seven digits of an ISSN without its own check
                    // digit, a two-digit price code, the EAN check digit.
                    QString twelve = QStringLiteral("977");
                    for (int d = 0; d < 7; ++d) twelve += QChar(u'0' + pick(10));
                    twelve += QStringLiteral("00");
                    mag.barcode = twelve + QChar(u'0' + ean13CheckDigit(twelve));
                } while (!codes.insert(mag.barcode).second);
                mag.price = roundTo(m.low + pick(int((m.high - m.low) * 10) + 1) / 10.0, 2);
                mag.cost = roundTo(mag.price * 0.815, 6);  // the kiosk's share is 18.5%
                mag.supplier = suppliers[pick(3)];
                mag.periodicity = QLatin1Char(m.code);
                out.push_back(mag);
            }
        }
        return out;
    }

    // Every issue of the last year, with its deliveries, sales and return.
    void issues(const std::vector<Magazine>& magazines, std::vector<Issue>& stock,
                std::vector<Movement>& journal) {
        const QDate start = today_.addYears(-1);
        for (const Magazine& mag : magazines) {
            const int interval = intervalDays(mag.periodicity);
            QDate day = start.addDays(pick(interval));
            int number = 1 + pick(40);
            while (day <= today_) {
                if (!(mag.periodicity == u'Q' && day.dayOfWeek() == 7)) {
                    addIssue(mag, day, number, stock, journal);
                    ++number;
                }
                day = mag.periodicity == u'V' ? day.addDays(90 + pick(60)) : day.addDays(interval);
            }
        }
        std::sort(journal.begin(), journal.end(), [](const Movement& a, const Movement& b) {
            if (a.date != b.date) return a.date < b.date;
            return a.typeOrder < b.typeOrder;
        });
    }

  private:
    int pick(size_t n) { return int(std::uniform_int_distribution<size_t>(0, n - 1)(random_)); }

    static int intervalDays(QChar periodicity) {
        switch (periodicity.unicode()) {
            case u'Q':
                return 1;
            case u'S':
                return 7;
            case u'D':
                return 14;
            case u'M':
                return 30;
            case u'B':
                return 61;
            case u'T':
                return 91;
            default:
                return 120;
        }
    }

    // The add-on: two digits for dailies and weeklies (the issue number, as it
    // wraps), five for the others (year and issue).
    static QString addOn(const Magazine& mag, const QDate& day, int number) {
        if (mag.periodicity == u'Q' || mag.periodicity == u'S')
            return QStringLiteral("%1").arg(number % 100, 2, 10, QLatin1Char('0'));
        return QStringLiteral("%1%2")
            .arg(day.year() % 100, 2, 10, QLatin1Char('0'))
            .arg(number % 1000, 3, 10, QLatin1Char('0'));
    }

    void addIssue(const Magazine& mag, const QDate& day, int number, std::vector<Issue>& stock,
                  std::vector<Movement>& journal) {
        Issue issue;
        issue.key = mag.barcode + addOn(mag, day, number);
        issue.magazine = &mag;
        issue.delivered = day;
        issue.returnBy = archive::fn_scadenza(QString(mag.periodicity), day);
        const int copies = mag.periodicity == u'Q' ? 4 + pick(6) : 2 + pick(4);
        journal.push_back({day, 0, issue.key, copies, &mag});
        // Sales until the return-by date (or today), most copies early on.
        const QDate lastSale = std::min(issue.returnBy, today_);
        const int days = std::max(1, int(day.daysTo(lastSale)) + 1);
        int sold = 0;
        for (int c = 0; c < copies; ++c) {
            if (pick(100) >= 72) continue;  // about a quarter goes back unsold
            const int offset = std::min(days - 1, pick(days) * pick(days) / days);
            journal.push_back({day.addDays(offset), 1, issue.key, -1, &mag});
            ++sold;
        }
        issue.onHand = copies - sold;
        if (issue.returnBy <= today_ && issue.onHand > 0) {
            journal.push_back({issue.returnBy, 2, issue.key, -issue.onHand, &mag});
            issue.onHand = 0;
        }
        // A two-digit add-on comes round again after a hundred issues: the
        // issue key's stock record is the one the new delivery updates.
        const auto [known, added] = stockIndex_.emplace(issue.key, stock.size());
        if (added) {
            stock.push_back(issue);
        } else {
            Issue& earlier = stock[known->second];
            issue.onHand += earlier.onHand;
            earlier = issue;
        }
    }

    QDate today_;
    std::mt19937 random_;
    std::map<QString, size_t> stockIndex_;
};

void requireEmpty(dbase::Table& table) {
    if (table.recordCount() != 0)
        throw platform::Error(
            QStringLiteral("%1 already holds records: no demo archive written").arg(table.path()));
}

}  // namespace

DemoCounts writeDemoArchive(const QString& folder, const QDate& today, uint32_t seed) {
    using archive::tablePath;
    auto riviste =
        dbase::Table::open(tablePath(folder, archive::riviste3()), dbase::Table::Access::Exclusive);
    auto giacenza = dbase::Table::open(tablePath(folder, archive::giacenza3()),
                                       dbase::Table::Access::Exclusive);
    auto giornale = dbase::Table::open(tablePath(folder, archive::giornale3()),
                                       dbase::Table::Access::Exclusive);
    for (dbase::Table* t : {riviste.get(), giacenza.get(), giornale.get()}) requireEmpty(*t);

    Generator generator(today, seed);
    const std::vector<Magazine> magazines = generator.magazines();
    std::vector<Issue> stock;
    std::vector<Movement> journal;
    generator.issues(magazines, stock, journal);

    // Every record is made before anything is written: a value that does not
    // fit stops the demo with the tables still empty.
    const dbase::DbfLayout& r = riviste->layout();
    QByteArray magazineRecords;
    for (const Magazine& m : magazines) {
        QByteArray rec = r.blankRecord();
        r.setText(r.fieldIndex(u"BARCODE"), rec, m.barcode);
        r.setText(r.fieldIndex(u"NOME"), rec, m.name);
        r.setNumber(r.fieldIndex(u"PREZZO"), rec, m.price);
        r.setText(r.fieldIndex(u"FORNITORE"), rec, m.supplier);
        r.setNumber(r.fieldIndex(u"ACQUISTO"), rec, m.cost);
        r.setText(r.fieldIndex(u"PERIODICIT"), rec, QString(m.periodicity));
        magazineRecords += rec;
    }
    const dbase::DbfLayout& g = giacenza->layout();
    QByteArray stockRecords;
    for (const Issue& i : stock) {
        QByteArray rec = g.blankRecord();
        g.setNumber(g.fieldIndex(u"GIACENZA"), rec, i.onHand);
        g.setNumber(g.fieldIndex(u"PREZZO"), rec, i.magazine->price);
        g.setDate(g.fieldIndex(u"UCARICO"), rec, i.delivered);
        g.setText(g.fieldIndex(u"BARCODE2"), rec, i.key);
        g.setNumber(g.fieldIndex(u"ACQUISTO"), rec, i.magazine->cost);
        g.setDate(g.fieldIndex(u"SCADENZA"), rec, i.returnBy);
        stockRecords += rec;
    }
    const dbase::DbfLayout& j = giornale->layout();
    static const QString kTypes[] = {archive::kCarico, archive::kScarico, archive::kReso};
    QByteArray journalRecords;
    journalRecords.reserve(qsizetype(journal.size()) * j.recordLength());
    for (const Movement& m : journal) {
        QByteArray rec = j.blankRecord();
        j.setDate(j.fieldIndex(u"DATA"), rec, m.date);
        j.setNumber(j.fieldIndex(u"QUANTITA"), rec, m.quantity);
        j.setNumber(j.fieldIndex(u"PREZZO"), rec, m.magazine->price);
        j.setText(j.fieldIndex(u"BARCODE2"), rec, m.issueKey);
        j.setText(j.fieldIndex(u"TIPO"), rec, kTypes[m.typeOrder]);
        j.setNumber(j.fieldIndex(u"ACQUISTO"), rec, m.magazine->cost);
        journalRecords += rec;
    }
    riviste->appendRecords(magazineRecords);
    giacenza->appendRecords(stockRecords);
    giornale->appendRecords(journalRecords);
    return {int(magazines.size()), int(stock.size()), int(journal.size())};
}

}  // namespace setup
