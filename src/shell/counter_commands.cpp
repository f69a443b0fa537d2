#include "shell/counter_commands.h"

#include "archive/data_module.h"
#include "archive/schema.h"
#include "movements/ui/stock_in_window.h"
#include "movements/ui/returns_window.h"
#include "movements/ui/sale_window.h"
#include "platform/dates.h"
#include "registry/ui/item_history_window.h"
#include "shell/main_window.h"
#include "ui/window_opening.h"

#include <QDateEdit>
#include <memory>

namespace {

void prepareMovementTables() {
    Data1->Giornale.last();
    Data1->Riviste.setIndex(archive::fields::BARCODE);
}

}  // namespace

void installMovementCommands(TMenuForm& menu) {
    QWidget* owner = &menu;
    menu.setCommandHandler(menu.actCarico, [owner] {
        ui::showModal(
            frmCarico, [owner] { return std::make_unique<TfrmCarico>(owner); },
            [](TfrmCarico& w) {
                prepareMovementTables();
                w.DateEdit1->setDate(platform::today());
            });
    });
    menu.setCommandHandler(menu.actReso, [owner] {
        ui::showModal(
            frmResi, [owner] { return std::make_unique<TfrmResi>(owner); },
            [](TfrmResi& w) {
                prepareMovementTables();
                w.DateEdit1->setDate(platform::today());
            });
    });
    menu.setCommandHandler(menu.actScarico, [owner] {
        ui::showModal(
            frmScarico, [owner] { return std::make_unique<TfrmScarico>(owner); },
            [](TfrmScarico&) { prepareMovementTables(); });
    });
    menu.showIssueHistory = [owner](const QString& issueKey) {
        dbase::Cursor& stock = Data1->Giacenza;
        if (stock.indexName().compare(archive::fields::BARCODE2, Qt::CaseInsensitive) != 0)
            stock.setIndex(archive::fields::BARCODE2);
        if (!stock.findKey(issueKey)) return;
        ui::showModal(frmQuery,
                      [owner, issueKey] { return std::make_unique<TfrmQuery>(owner, issueKey); });
    };
}
