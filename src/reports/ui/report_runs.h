// The five print commands of the main window's print menu.
//
// The four lists with a selection run the same seven steps, each with its own
// page, caption, state of the "stock not zero" box, dataset and template:
//
//   1. the selection window shows the list's page and caption;
//   2. the check box is enabled or disabled (the expired issues leave it);
//   3. the selection window shows; anything but "&Stampa" ends the command
//      with nothing opened or loaded;
//   4. the dataset opens under the hourglass, its filter reading the
//      selection just made;
//   5. the template is loaded into the report component;
//   6. the report is prepared and shown in the preview;
//   7. whatever happened in 4 to 6, the cursor is normal again and the
//      dataset closed; an error of 4 to 6 then goes on to the handler's
//      guard, which shows it in the error box.
//
// The barcode labels load "Report5.frf" and show it: no selection, and no
// print dataset opened or closed.
//
// The commands raise their errors; the main window runs them guarded.
#pragma once

#include "archive/print_filters.h"

#include <QString>

class QWidget;
class TData1;
class Tselezioneform;
namespace sql {
class Query;
}

namespace reports {

class ReportPresenter;
class TfrReport;

class ReportRuns {
  public:
    // The selection window and the data module are the program's global
    // ones, looked up when a command runs.
    ReportRuns(TfrReport& report, ReportPresenter& presenter)
        : report_(report), presenter_(presenter) {}

    void StamparivisteClick();
    void StampamovimentiClick();
    void StampascadutiClick();
    void ListaResi1Click();
    void Barcode1Click();

  private:
    enum class CheckBox { Enable, Disable, Leave };
    struct List {
        archive::PrintSelection::Page page;
        QString caption;
        CheckBox checkBox;
        sql::Query TData1::*dataset;
        QString templateFile;
    };
    void run(const List& list);

    TfrReport& report_;
    ReportPresenter& presenter_;
};

}  // namespace reports
