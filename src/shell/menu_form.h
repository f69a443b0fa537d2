// The main window `MenuForm`: eight command buttons, the same commands on the
// menu bar, the print menu, a status line for the long hints, and the hidden
// scan field `Edit1` that takes the codes the scanner types while the window is
// active. A command whose window does not exist yet is shown disabled.
#pragma once

#include <QMainWindow>
#include <functional>

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

class TMenuForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMenuForm(QWidget* parent = nullptr);

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

    // Makes `command` run `handler` (through the window-opening pattern's
    // owner, this window) and enables it. Commands without a handler stay
    // disabled: their windows are not part of the program yet.
    void setCommandHandler(QAction* command, std::function<void()> handler);

    // Looks up a whole issue key and shows its history when it has stock;
    // set by whoever owns the archive. Without it, step 4 of the scan does nothing.
    std::function<void(const QString& issueKey)> showIssueHistory;

private:
    QAction* addCommand(const QString& name, const QString& caption, const QString& hint,
                        int image);
    void Edit1Exit();
    void actStampaExecute();
    void actInfoExecute();

    QList<QAction*> commands_;
};

extern TMenuForm* MenuForm;
