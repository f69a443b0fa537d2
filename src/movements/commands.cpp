#include "movements/commands.h"

#include "archive/data_module.h"
#include "movements/carico_form.h"
#include "movements/resi_form.h"
#include "movements/scarico_form.h"
#include "platform/dates.h"
#include "registry/query_form.h"
#include "shell/menu_form.h"

#include <QApplication>
#include <QDateEdit>
#include <memory>

namespace {

// Puts the cursor back to normal however the scope ends.
class Hourglass {
  public:
    Hourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Hourglass() { release(); }
    void release() {
        if (!on_) return;
        QApplication::restoreOverrideCursor();
        on_ = false;
    }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

  private:
    bool on_ = true;
};

template <typename Window, typename Create, typename Prepare>
void openWindow(Create create, Prepare prepare) {
    Hourglass hourglass;
    std::unique_ptr<Window> window = create();
    hourglass.release();
    prepare(*window);
    window->exec();
}

void prepareMovementTables() {
    Data1->Giornale.last();
    Data1->Riviste.setIndex(QStringLiteral("BARCODE"));
}

}  // namespace

void installMovementCommands(TMenuForm& menu) {
    QWidget* owner = &menu;
    menu.setCommandHandler(menu.actCarico, [owner] {
        openWindow<TfrmCarico>([owner] { return std::make_unique<TfrmCarico>(owner); },
                               [](TfrmCarico& w) {
                                   prepareMovementTables();
                                   w.DateEdit1->setDate(platform::today());
                               });
    });
    menu.setCommandHandler(menu.actReso, [owner] {
        openWindow<TfrmResi>([owner] { return std::make_unique<TfrmResi>(owner); },
                             [](TfrmResi& w) {
                                 prepareMovementTables();
                                 w.DateEdit1->setDate(platform::today());
                             });
    });
    menu.setCommandHandler(menu.actScarico, [owner] {
        openWindow<TfrmScarico>([owner] { return std::make_unique<TfrmScarico>(owner); },
                                [](TfrmScarico&) { prepareMovementTables(); });
    });
    menu.showIssueHistory = [owner](const QString& issueKey) {
        dbase::Cursor& stock = Data1->Giacenza;
        if (stock.indexName().compare(QLatin1String("BARCODE2"), Qt::CaseInsensitive) != 0)
            stock.setIndex(QStringLiteral("BARCODE2"));
        if (!stock.findKey(issueKey)) return;
        openWindow<TfrmQuery>(
            [owner, issueKey] { return std::make_unique<TfrmQuery>(owner, issueKey); },
            [](TfrmQuery&) {});
    };
}
