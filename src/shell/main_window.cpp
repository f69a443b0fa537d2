#include "shell/main_window.h"

#include "archive/data_module.h"
#include "maintenance/backup.h"
#include "maintenance/ui/maintenance_window.h"
#include "maintenance/user_check.h"
#include "platform/ui/enter_as_tab.h"
#include "platform/error.h"
#include "platform/prompts.h"
#include "shell/application.h"
#include "shell/info_window.h"
#include "ui/message_box.h"
#include "ui/slot_guard.h"
#include "ui/window_opening.h"

#include <QAction>
#include <QActionEvent>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QHBoxLayout>
#include <QHash>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

TMenuForm* MenuForm = nullptr;

namespace {

constexpr int kButtonSize = 65;
constexpr int kGap = 6;

// Pictures of the eight commands, drawn from the style's standard set.
QIcon commandIcon(int image) {
    static const QStyle::StandardPixmap pixmaps[] = {
        QStyle::SP_FileDialogDetailedView,  // 0 Archivio
        QStyle::SP_ArrowDown,               // 1 Carico
        QStyle::SP_ArrowUp,                 // 2 Resi, Scarico
        QStyle::SP_FileDialogContentsView,  // 3 Stampe
        QStyle::SP_DriveHDIcon,             // 4 Manutenzione
        QStyle::SP_MessageBoxInformation,   // 5 Info
        QStyle::SP_DialogCloseButton,       // 6 Uscita
    };
    return QApplication::style()->standardIcon(pixmaps[image]);
}

// A button of the bar: its caption keeps the underlined letter. Where the
// menu bar has the same letter for the same command, the menu bar takes
// Alt plus that letter (two owners of one key would cancel each other out);
// the button keeps it only where the menu bar's caption differs ("&Info").
class CommandButton : public QToolButton {
  public:
    CommandButton(QAction* command, bool ownMnemonic, QWidget* parent)
        : QToolButton(parent), ownMnemonic_(ownMnemonic) {
        setDefaultAction(command);
        dropSharedMnemonic();
    }

  protected:
    void actionEvent(QActionEvent* event) override {
        QToolButton::actionEvent(event);  // sets the caption again, and its mnemonic
        dropSharedMnemonic();
    }

  private:
    void dropSharedMnemonic() {
        if (!ownMnemonic_) setShortcut(QKeySequence());
    }
    bool ownMnemonic_;
};

}  // namespace

TMenuForm::TMenuForm(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      frReport1(QStringLiteral("MenuForm"), [] { return Data1; }) {
    MenuForm = this;
    setObjectName(QStringLiteral("MenuForm"));
    setWindowTitle(QStringLiteral("Menu"));

    actArchivio = addCommand(
        QStringLiteral("actArchivio"), QStringLiteral("&Archivio"),
        QStringLiteral("Archivio riviste|Accesso all'elenco delle riviste pubblicate"), 0);
    actCarico = addCommand(
        QStringLiteral("actCarico"), QStringLiteral("&Carico"),
        QStringLiteral("Carico Riviste|Programma per il carico del magazzino riviste"), 1);
    actReso = addCommand(QStringLiteral("actReso"), QStringLiteral("&Resi"),
                         QStringLiteral("Reso Riviste|Procedura inserimento resi"), 2);
    actScarico = addCommand(QStringLiteral("actScarico"), QStringLiteral("&Scarico"),
                            QStringLiteral("Scarico Riviste|Programma scarico su vendite"), 2);
    actStampa = addCommand(QStringLiteral("actStampa"), QStringLiteral("S&tampe"),
                           QStringLiteral("Stampa|Accesso alle varie funzioni di stampa"), 3);
    actManute = addCommand(
        QStringLiteral("actManute"), QStringLiteral("&Manutenz."),
        QStringLiteral(
            "Manutenzione|Accesso alle funzioni di manutenzione e di setup del programma"),
        4);
    actInfo =
        addCommand(QStringLiteral("actInfo"), QStringLiteral("&Info"),
                   QStringLiteral("Informazioni sul programma|Informazioni sul programma"), 5);
    actFine = addCommand(QStringLiteral("actFine"), QStringLiteral("&Uscita"),
                         QStringLiteral("Fine programma|Uscita dal programma"), 6);

    // The windows of these commands come with their own pieces of the program.
    for (QAction* a : {actArchivio, actCarico, actReso, actScarico, actManute})
        a->setEnabled(false);

    connect(actStampa, &QAction::triggered, this, ui::guarded(this, &TMenuForm::actStampaExecute));
    connect(actInfo, &QAction::triggered, this, ui::guarded(this, &TMenuForm::actInfoExecute));
    connect(actFine, &QAction::triggered, this, &QWidget::close);

    // Menu bar: the same commands, two of them with longer captions.
    QMenuBar* bar = menuBar();
    QHash<QAction*, QString> menuCaptions;
    for (QAction* a : commands_) {
        QAction* item = bar->addAction(a->text());
        if (a == actManute) item->setText(QStringLiteral("&Manutenzione"));
        if (a == actInfo) item->setText(QStringLiteral("I&nformazioni"));
        menuCaptions.insert(a, item->text());
        item->setStatusTip(a->statusTip());
        item->setEnabled(a->isEnabled());
        connect(a, &QAction::changed, item, [a, item] { item->setEnabled(a->isEnabled()); });
        connect(item, &QAction::triggered, a, &QAction::trigger);
    }

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const struct {
        QAction** item;
        const char* name;
        const char* caption;
    } printItems[] = {{&Stampariviste, "Stampariviste", "&Lista Riviste e giacenze"},
                      {&Stampamovimenti, "Stampamovimenti", "Lista &Movimenti"},
                      {&Stampascaduti, "Stampascaduti", "Lista &Scaduti"},
                      {&ListaResi1, "ListaResi1", "Lista &Resi"},
                      {&Barcode1, "Barcode1", "&Barcode"}};
    for (const auto& p : printItems) {
        *p.item = PopupMenu1->addAction(QString::fromUtf8(p.caption));
        (*p.item)->setObjectName(QString::fromLatin1(p.name));
        (*p.item)->setEnabled(false);
    }

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("SpeedBar1"));
    SpeedBar1 = client;
    // Eight buttons with their gaps set the width of the fixed window.
    client->setFixedSize(8 * kButtonSize + 9 * kGap, kButtonSize + 2 * kGap);
    int x = kGap;
    for (QAction* a : commands_) {
        const bool ownMnemonic =
            QKeySequence::mnemonic(menuCaptions.value(a)) != QKeySequence::mnemonic(a->text());
        auto* button = new CommandButton(a, ownMnemonic, client);
        button->setObjectName(a->objectName().replace(0, 3, QStringLiteral("btn")));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIconSize(QSize(35, 35));
        button->setAutoRaise(false);
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(x, kGap, kButtonSize, kButtonSize);
        button->setStyleSheet(
            QStringLiteral("QToolButton { color: navy; font-weight: bold; font-size: 7pt; }"));
        x += kButtonSize + kGap;
    }

    // The scan field and its button lie below the visible area: the operator
    // never sees them, but Edit1 keeps the focus while the window is active.
    Edit1 = new QLineEdit(client);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(0, 200, 229, 21);
    Button1 = new QPushButton(client);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(233, 200, 17, 17);
    setTabOrder(Edit1, Button1);
    connect(qApp, &QApplication::focusChanged, this,
            ui::guarded(this, [this](QWidget* old, QWidget* now) {
                if (old == Edit1 && now == Button1) Edit1Exit();
            }));
    setCentralWidget(client);

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setFixedHeight(19);
    statusBar()->setSizeGripEnabled(false);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    Edit1->setFocus();

    EnterAsTab1 = new platform::EnterAsTab(this);
    EnterAsTab1->setObjectName(QStringLiteral("EnterAsTab1"));
    qApp->installEventFilter(this);
}

bool TMenuForm::eventFilter(QObject* watched, QEvent* event) {
    // A window of ours closed: window systems differ in what they activate
    // then (some nothing at all); the program wants its main window back.
    if (event->type() == QEvent::Hide && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (w != this && w->isWindow() && w->windowType() == Qt::Dialog) {
            QTimer::singleShot(0, this, [this] {
                if (isVisible() && !QApplication::activeModalWidget() &&
                    !QApplication::activeWindow())
                    activateWindow();
            });
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

TMenuForm::~TMenuForm() {
    if (MenuForm == this) MenuForm = nullptr;
}

void TMenuForm::FormActivate() {
    if (ManutenzioneForm) {
        try {
            ManutenzioneForm->settings().read();
            lastSettingsError_.clear();
        } catch (const platform::Error& e) {
            // Closing the error box activates this window again, which would
            // read and fail again: a failure is shown once, until a read
            // succeeds or fails otherwise.
            if (e.message() != lastSettingsError_) {
                lastSettingsError_ = e.message();
                ui::errorBox(this, e.message());
            }
        }
    }
    shell::setProgramFolder(maintenance::currentProgramFolder());
    EnterAsTab1->switchOn();
}

bool TMenuForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate) {
        // The window system has already made the new window active: none when
        // the operator went to another application.
        leftForOwnWindow_ = QApplication::activeWindow() != nullptr;
    } else if (event->type() == QEvent::WindowActivate) {
        const bool activation = !activatedOnce_ || leftForOwnWindow_;
        activatedOnce_ = true;
        if (activation) FormActivate();
    }
    return QMainWindow::event(event);
}

void TMenuForm::closeEvent(QCloseEvent* event) {
    try {
        FormClose();
        event->accept();
    } catch (const platform::Error& e) {
        ui::resetCursor();
        ui::errorBox(this, e.message());
        event->ignore();
    }
}

void TMenuForm::FormClose() {
    if (!Data1) return;
    const std::pair<const dbase::Cursor*, const QString*> mainTables[] = {
        {&Data1->Riviste, &maintenance::kRivisteDamaged},
        {&Data1->Giacenza, &maintenance::kGiacenzaDamaged},
        {&Data1->Giornale, &maintenance::kGiornaleDamaged},
    };
    bool damaged = false;
    for (const auto& [table, warning] : mainTables) {
        if (table->isOpen()) continue;
        platform::prompts().warning(*warning);
        damaged = true;
    }
    if (!damaged && !Data1->tablesOpenedCleanly()) {
        platform::prompts().warning(maintenance::kTablesNotOpenedCleanly);
        damaged = true;
    }
    if (damaged) {
        // The backup of the last valid shutdown stays as it is.
        platform::prompts().message(maintenance::kRepairHint);
        return;
    }
    SpeedBar1->setEnabled(false);
    statusBar()->showMessage(maintenance::kClosingStatus);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    statusBar()->repaint();
    Data1->closeTables();
    const maintenance::BackupResult backup = maintenance::makeShutdownBackup(
        shell::programFolder().isEmpty() ? maintenance::currentProgramFolder()
                                         : shell::programFolder());
    ui::resetCursor();
    if (!backup.skipped.isEmpty()) {
        platform::prompts().warning(maintenance::skippedFilesWarning(backup.skipped));
    }
}

QAction* TMenuForm::addCommand(const QString& name, const QString& caption, const QString& hint,
                               int image) {
    auto* action = new QAction(commandIcon(image), caption, this);
    action->setIconText(caption);  // the buttons show the underlined letter too
    action->setObjectName(name);
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    action->setToolTip(hint.left(bar));
    action->setStatusTip(hint.mid(bar + 1));
    commands_.append(action);
    return action;
}

void TMenuForm::setCommandHandler(QAction* command, std::function<void()> handler) {
    command->disconnect(this);
    connect(command, &QAction::triggered, this, ui::guarded(this, std::move(handler)));
    command->setEnabled(true);
}

void TMenuForm::Edit1Exit() {
    const QString code = Edit1->text();
    if (code == QLatin1String("111")) actCarico->trigger();
    if (code == QLatin1String("222")) actReso->trigger();
    if (code == QLatin1String("333")) actScarico->trigger();
    const qsizetype n = code.size();
    if ((n == 8 || n == 13 || n == 15 || n == 18) && showIssueHistory) showIssueHistory(code);
    Edit1->clear();
    Edit1->setFocus();
}

void TMenuForm::actStampaExecute() {
    PopupMenu1->popup(printMenuPosition ? printMenuPosition() : QCursor::pos());
}

void TMenuForm::actInfoExecute() {
    ui::showModal(frmInfo, [this] { return std::make_unique<TfrmInfo>(this); });
}
