// The other workstation of the two-process sale test: sells `copies` copies
// of one issue in the archive folder, as the sales window does, in sales of
// `lines` copies each, and prints "sold N" when done. A sale that fails (a
// lock held too long by the other process) is registered again, as the
// operator would; a retry must not count a copy twice.
//
//   sale_peer <folder> <issue key> <copies> <lines per sale>
#include "archive/data_module.h"
#include "movements/sale.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout);
    if (args.size() != 5) {
        out << "usage: sale_peer <folder> <issue key> <copies> <lines per sale>\n";
        return 2;
    }
    const QString key = args[2];
    const int copies = args[3].toInt();
    const int perSale = std::max(1, args[4].toInt());
    try {
        TData1 data(args[1]);
        Data1 = &data;
        data.openTables();
        int sold = 0;
        int retries = 0;
        while (sold < copies) {
            movements::SaleList sale;
            const int lines = std::min(perSale, copies - sold);
            for (int i = 0; i < lines; ++i) {
                if (!data.Giacenza.findKey(key))
                    throw platform::Error(QStringLiteral("issue not found"));
                sale.add(movements::saleLineFor(data.Giacenza));
            }
            for (;;) {
                try {
                    sale.registerAll(data);
                    break;
                } catch (const platform::Error&) {
                    if (++retries > 100) throw;
                }
            }
            sold += lines;
        }
        data.closeTables();
        out << "sold " << sold << " retries " << retries << "\n";
        return 0;
    } catch (const platform::Error& e) {
        out << "error: " << e.message() << "\n";
        return 1;
    }
}
