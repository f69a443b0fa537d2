// The main window `MenuForm`: eight command buttons, the same commands on the
// menu bar, the print menu, a status line for the long hints, and the hidden
// scan field `Edit1` that takes the codes the scanner types while the window is
// active. A command whose window does not exist yet is shown disabled.
//
// Each time the window becomes the active one within the program (first shown,
// or back from another window of the program; not when the operator comes back
// from another application) it re-reads the settings file, recomputes the
// program folder path and switches the Enter-as-Tab rule on (FormActivate); a
// settings file it cannot read is reported once, not at every activation.
// Closing it runs the shutdown (FormClose): with the three main tables open,
// they are closed and packed into backup.cab; with one of them closed, a
// warning per table and a hint, and no backup; tables that did not open
// cleanly in this run are not packed either (their warning, the hint), so the
// last good backup stays. Files left out of the backup for their names are
// named in a warning. A backup that fails is shown and the window stays open.
#pragma once

#include <QMainWindow>
#include <functional>

namespace platform {
class EnterAsTab;
}

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

class TMenuForm : public QMainWindow {
    Q_OBJECT
  public:
    explicit TMenuForm(QWidget* parent = nullptr);
    ~TMenuForm() override;

    QAction* actArchivio = nullptr;
    QAction* actCarico = nullptr;
    QAction* actReso = nullptr;
    QAction* actScarico = nullptr;
    QAction* actStampa = nullptr;
    QAction* actManute = nullptr;
    QAction* actInfo = nullptr;
    QAction* actFine = nullptr;

    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QMenu* PrintMenu = nullptr;
    QWidget* SpeedBar1 = nullptr;  // the button bar
    platform::EnterAsTab* EnterAsTab1 = nullptr;

    // Makes `command` run `handler` (through the window-opening pattern's
    // owner, this window) and enables it. Commands without a handler stay
    // disabled: their windows are not part of the program yet.
    void setCommandHandler(QAction* command, std::function<void()> handler);

    // Looks up a whole issue key and shows its history when it has stock;
    // set by whoever owns the archive. Without it, step 4 of the scan does nothing.
    std::function<void(const QString& issueKey)> showIssueHistory;

    void FormActivate();
    // Throws the backup's error; then the window must stay open.
    void FormClose();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QAction* addCommand(const QString& name, const QString& caption, const QString& hint,
                        int image);
    void Edit1Exit();
    void actStampaExecute();
    void actInfoExecute();

    QList<QAction*> commands_;
    bool activatedOnce_ = false;
    bool leftForOwnWindow_ = false;  // the last deactivation went to another window of ours
    QString lastSettingsError_;      // the settings read failure shown last
};

extern TMenuForm* MenuForm;
