#include "reports/report_runs.h"

#include "archive/data_module.h"
#include "platform/error.h"
#include "platform/prompts.h"
#include "reports/report_component.h"
#include "reports/selection_form.h"

#include <QApplication>
#include <QCheckBox>

namespace reports {

namespace {

void normalCursor() {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

// Runs `work`; an error it raises is shown here, in the error box.
template <typename Work>
void showingErrors(Work work) {
    try {
        work();
    } catch (const platform::Abort&) {
    } catch (const platform::Error& e) {
        normalCursor();
        platform::prompts().error(e.message());
    } catch (const std::exception& e) {
        normalCursor();
        platform::prompts().error(QString::fromLocal8Bit(e.what()));
    }
}

}  // namespace

void ReportRuns::StamparivisteClick() {
    run({PrintSelection::Page::Giornale, QStringLiteral("Stampa Riviste e Giacenze"), CheckBox::Enable,
         &TData1::Stampa1, QStringLiteral("Report1.frf")});
}

void ReportRuns::StampamovimentiClick() {
    run({PrintSelection::Page::Giornale, QStringLiteral("Stampa Giornale movimenti"), CheckBox::Disable,
         &TData1::Stampa2, QStringLiteral("Report2.frf")});
}

void ReportRuns::StampascadutiClick() {
    run({PrintSelection::Page::Scaduti, QStringLiteral("Analisi e stampa giacenze scadute"), CheckBox::Leave,
         &TData1::Stampa1, QStringLiteral("Report3.frf")});
}

void ReportRuns::ListaResi1Click() {
    run({PrintSelection::Page::Giornale, QStringLiteral("Stampa distinta resi"), CheckBox::Disable,
         &TData1::Stampa3, QStringLiteral("Report4.frf")});
}

void ReportRuns::Barcode1Click() {
    showingErrors([this] {
        report_.loadFromFile(QStringLiteral("Report5.frf"));
        report_.showReport(presenter_);
    });
}

void ReportRuns::run(const List& list) {
    showingErrors([this, &list] {
        Tselezioneform* form = selezioneform;
        if (!form || !Data1) return;
        form->showPage(list.page);
        form->setWindowTitle(list.caption);
        if (list.checkBox != CheckBox::Leave) form->CheckBox1->setEnabled(list.checkBox == CheckBox::Enable);
        if (form->exec() != QDialog::Accepted) return;

        sql::Query& dataset = Data1->*list.dataset;
        // Closed and the cursor normal again however the run ends; the
        // error, if any, is shown after that.
        struct CleanUp {
            sql::Query& dataset;
            ~CleanUp() {
                normalCursor();
                dataset.close();
            }
        } cleanUp{dataset};
        QApplication::setOverrideCursor(Qt::WaitCursor);
        dataset.open();
        normalCursor();
        report_.loadFromFile(list.templateFile);
        report_.showReport(presenter_);
    });
}

}  // namespace reports
