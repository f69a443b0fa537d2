#include "shell/print_commands.h"

#include "archive/data_module.h"
#include "reports/ui/preview_window.h"
#include "reports/ui/report_runs.h"
#include "reports/ui/selection_window.h"
#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>

namespace {

// The names of the magazine look-up list: every magazine, in the order the
// magazine dataset is in, read through a cursor of its own so that the
// dataset stays on its record.
QStringList magazineNames() {
    QStringList names;
    if (!Data1 || !Data1->Riviste.isOpen()) return names;
    dbase::Cursor magazines(Data1->Riviste.tableName());
    magazines.setReadOnly(true);
    magazines.open();
    magazines.setIndex(Data1->Riviste.indexName());
    for (magazines.first(); !magazines.eof(); magazines.next()) names << magazines.text(QStringLiteral("NOME"));
    return names;
}

// What the print commands keep for the life of the main window, and the
// watch on the last input: keys or mouse.
class PrintCommands : public QObject {
  public:
    explicit PrintCommands(TMenuForm& menu)
        : QObject(&menu), presenter_(&menu), runs_(menu.frReport1, presenter_) {
        qApp->installEventFilter(this);
    }
    reports::ReportRuns& runs() { return runs_; }
    bool lastInputFromKeyboard() const { return keyboard_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress: keyboard_ = true; break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: keyboard_ = false; break;
        default: break;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    reports::PreviewPresenter presenter_;
    reports::ReportRuns runs_;
    bool keyboard_ = false;
};

}  // namespace

void installPrintCommands(TMenuForm& menu) {
    auto* commands = new PrintCommands(menu);
    reports::ReportRuns& runs = commands->runs();
    menu.setCommandHandler(menu.Stampariviste, [&runs] { runs.StamparivisteClick(); });
    menu.setCommandHandler(menu.Stampamovimenti, [&runs] { runs.StampamovimentiClick(); });
    menu.setCommandHandler(menu.Stampascaduti, [&runs] { runs.StampascadutiClick(); });
    menu.setCommandHandler(menu.ListaResi1, [&runs] { runs.ListaResi1Click(); });
    menu.setCommandHandler(menu.Barcode1, [&runs] { runs.Barcode1Click(); });
    menu.actStampa->setEnabled(true);

    TMenuForm* owner = &menu;
    menu.printMenuPosition = [owner, commands] {
        const auto* button = owner->SpeedBar1->findChild<QWidget*>(QStringLiteral("btnStampa"));
        if (!commands->lastInputFromKeyboard() || !button) return QCursor::pos();
        return button->mapToGlobal(QPoint(0, button->height()));
    };

    if (selezioneform) selezioneform->magazineNames = magazineNames;
    if (Data1) {
        Data1->printSelection = []() -> std::optional<archive::PrintSelection> {
            if (!selezioneform) return std::nullopt;
            return selezioneform->selection();
        };
    }
}
