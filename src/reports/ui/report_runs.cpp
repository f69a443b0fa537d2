#include "reports/ui/report_runs.h"

#include "archive/data_module.h"
#include "reports/report_component.h"
#include "reports/ui/selection_window.h"
#include "ui/window_opening.h"

#include <QApplication>
#include <QCheckBox>

namespace reports {

void ReportRuns::StamparivisteClick() {
    run({archive::PrintSelection::Page::Giornale, QStringLiteral("Stampa Riviste e Giacenze"),
         CheckBox::Enable, &TData1::Stampa1, QStringLiteral("Report1.frf")});
}

void ReportRuns::StampamovimentiClick() {
    run({archive::PrintSelection::Page::Giornale, QStringLiteral("Stampa Giornale movimenti"),
         CheckBox::Disable, &TData1::Stampa2, QStringLiteral("Report2.frf")});
}

void ReportRuns::StampascadutiClick() {
    run({archive::PrintSelection::Page::Scaduti,
         QStringLiteral("Analisi e stampa giacenze scadute"), CheckBox::Leave, &TData1::Stampa1,
         QStringLiteral("Report3.frf")});
}

void ReportRuns::ListaResi1Click() {
    run({archive::PrintSelection::Page::Giornale, QStringLiteral("Stampa distinta resi"),
         CheckBox::Disable, &TData1::Stampa3, QStringLiteral("Report4.frf")});
}

void ReportRuns::Barcode1Click() {
    report_.loadFromFile(QStringLiteral("Report5.frf"));
    report_.showReport(presenter_);
}

void ReportRuns::run(const List& list) {
    Tselezioneform* form = selezioneform;
    if (!form || !Data1) return;
    form->showPage(list.page);
    form->setWindowTitle(list.caption);
    if (list.checkBox != CheckBox::Leave)
        form->CheckBox1->setEnabled(list.checkBox == CheckBox::Enable);
    if (form->exec() != QDialog::Accepted) return;

    sql::Query& dataset = Data1->*list.dataset;
    // Closed and the cursor normal again however the run ends, before the
    // error, if any, goes on to the error box.
    struct CleanUp {
        sql::Query& dataset;
        ~CleanUp() {
            ui::resetCursor();
            dataset.close();
        }
    } cleanUp{dataset};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    dataset.open();
    ui::resetCursor();
    report_.loadFromFile(list.templateFile);
    report_.showReport(presenter_);
}

}  // namespace reports
