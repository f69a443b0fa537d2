#include "maintenance/ui/maintenance_window.h"

#include "archive/data_module.h"
#include "maintenance/index_rebuild.h"
#include "maintenance/purge.h"
#include "maintenance/text_export.h"
#include "platform/dates.h"
#include "platform/error.h"
#include "platform/prompts.h"
#include "reports/ui/designer_window.h"
#include "reports/report_component.h"
#include "ui/slot_guard.h"
#include "ui/window_opening.h"

#include <QApplication>
#include <QDateEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

TManutenzioneForm* ManutenzioneForm = nullptr;

namespace {

template <typename Work>
void guarded(Work work) {
    // The busy cursor goes whatever happens; an error is shown here, inside
    // the handler, and the window stays open.
    ui::runGuarded(nullptr, work);
    ui::resetCursor();
}

maintenance::ArchiveTables dataModuleTables() {
    return {[] {
                if (Data1) Data1->closeTables();
            },
            [] {
                if (Data1) Data1->openTables();
            }};
}

}  // namespace

TManutenzioneForm::TManutenzioneForm(QStringList arguments,
                                     maintenance::UserCheck::OpenArchives openArchives,
                                     QWidget* parent)
    : QDialog(parent),
      userCheck_(settings_, cipher_, std::move(arguments), std::move(openArchives),
                 [this](bool visible) { BitBtn1->setVisible(visible); }) {
    setObjectName(QStringLiteral("ManutenzioneForm"));
    setWindowTitle(QStringLiteral("Manutenzione"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(makePasswordPage(), QStringLiteral("&Password"));
    PageControl1->addTab(makeUtilitiesPage(), QStringLiteral("&Utilità"));
    PageControl1->addTab(makeBackupPage(), QStringLiteral("&Backup"));
    PageControl1->setCurrentIndex(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);

    // Until a login has pointed it elsewhere, the store works on the program
    // folder as it stands.
    settings_.setFolder(maintenance::currentProgramFolder());
    setMediaSetting(maintenance::MediaFolderSetting());
    Codice->setText(settings_.userName());
    pwpw->setText(settings_.storedPassword());
}

QWidget* TManutenzioneForm::makePasswordPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));
    Codice = new QLineEdit(page);
    Codice->setObjectName(QStringLiteral("Codice"));
    auto* codiceLabel = new QLabel(QStringLiteral("Nome utente"), page);
    codiceLabel->setBuddy(Codice);
    auto* pwLabel = new QLabel(QStringLiteral("Cambio password di accesso"), page);
    PW = new QLineEdit(page);
    PW->setObjectName(QStringLiteral("PW"));
    PW->setEchoMode(QLineEdit::Password);
    pwLabel->setBuddy(PW);
    Button1 = new QPushButton(QStringLiteral("Cambia la password"), page);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, ui::guarded(this, &TManutenzioneForm::Button1Click));
    pwpw = new QLabel(page);
    pwpw->setObjectName(QStringLiteral("pwpw"));
    pwpw->hide();

    auto* grid = new QGridLayout(page);
    grid->addWidget(codiceLabel, 0, 0, 1, 2);
    grid->addWidget(Codice, 1, 0);
    grid->addWidget(pwLabel, 2, 0, 1, 2);
    grid->addWidget(PW, 3, 0);
    grid->addWidget(Button1, 3, 1);
    grid->addWidget(pwpw, 4, 0);
    grid->setRowStretch(5, 1);
    setTabOrder(Codice, PW);
    setTabOrder(PW, Button1);
    return page;
}

QWidget* TManutenzioneForm::makeUtilitiesPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet2"));
    auto* label = new QLabel(QStringLiteral("Cancella tutte le registrazioni precedenti il"), page);
    DateEdit1 = new QDateEdit(page);
    DateEdit1->setObjectName(QStringLiteral("DateEdit1"));
    DateEdit1->setCalendarPopup(true);
    label->setBuddy(DateEdit1);
    Button2 = new QPushButton(QStringLiteral("&Cancellazione"), page);
    Button2->setObjectName(QStringLiteral("Button2"));
    BitBtn2 = new QPushButton(QStringLiteral("Esporta archivi su .TXT"), page);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn1 = new QPushButton(QStringLiteral("Personalizzazione stampe"), page);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->hide();  // until the user check has looked at the arguments
    // The box starts empty: its lowest date stands for "no date" and shows
    // as nothing, so a purge never runs on a date the operator did not give.
    DateEdit1->setMinimumDate(QDate(1900, 1, 1));
    DateEdit1->setSpecialValueText(QStringLiteral(" "));
    DateEdit1->setDate(DateEdit1->minimumDate());
    DateEdit1->setDisplayFormat(platform::shortDateFormat());
    BitBtn1->setEnabled(false);  // until the report component is given
    connect(BitBtn1, &QPushButton::clicked, this, ui::guarded(this, &TManutenzioneForm::BitBtn1Click));
    connect(Button2, &QPushButton::clicked, this, [this] {
        guarded([this] {
            if (!Data1) return;
            const QDate day =
                DateEdit1->date() == DateEdit1->minimumDate() ? QDate() : DateEdit1->date();
            if (!day.isValid() || !platform::prompts().question(maintenance::kPurgeQuestion))
                return;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            maintenance::purgeUpTo(Data1->Giornale, Data1->Giacenza, day);
            QApplication::restoreOverrideCursor();
            platform::prompts().warning(maintenance::kPurgeDone);
        });
    });
    connect(BitBtn2, &QPushButton::clicked, this, [] {
        guarded([] {
            if (!Data1) return;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            maintenance::exportArchives(Data1->Database1, maintenance::currentProgramFolder());
            QApplication::restoreOverrideCursor();
            platform::prompts().warning(
                maintenance::exportDoneText(maintenance::currentProgramFolder()));
        });
    });
    for (QPushButton* b : {Button2, BitBtn1, BitBtn2}) b->setAutoDefault(false);

    auto* grid = new QGridLayout(page);
    grid->addWidget(label, 0, 0, 1, 2);
    grid->addWidget(DateEdit1, 1, 0);
    grid->addWidget(Button2, 1, 1);
    grid->addWidget(BitBtn2, 2, 0, 1, 2);
    grid->addWidget(BitBtn1, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);
    setTabOrder(DateEdit1, Button2);
    setTabOrder(Button2, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    return page;
}

QWidget* TManutenzioneForm::makeBackupPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet3"));
    BitBtn3 = new QPushButton(QStringLiteral("Ricostruzione indici"), page);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn4 = new QPushButton(QStringLiteral("Backup archivio su dischetto"), page);
    BitBtn4->setObjectName(QStringLiteral("BitBtn4"));
    BitBtn5 = new QPushButton(QStringLiteral("Ripristino backup da dischetto"), page);
    BitBtn5->setObjectName(QStringLiteral("BitBtn5"));
    connect(BitBtn3, &QPushButton::clicked, this, [this] {
        guarded([this] {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            maintenance::BitBtn3Click(maintenance::currentProgramFolder(), dataModuleTables(),
                                      [this](const QString& caption) {
                                          Button1->setText(caption);
                                          Button1->repaint();
                                      });
        });
    });
    auto* column = new QVBoxLayout(page);
    for (QPushButton* b : {BitBtn3, BitBtn4, BitBtn5}) {
        b->setAutoDefault(false);
        column->addWidget(b);
    }
    connect(BitBtn4, &QPushButton::clicked, this, ui::guarded(this, &TManutenzioneForm::BitBtn4Click));
    connect(BitBtn5, &QPushButton::clicked, this, ui::guarded(this, &TManutenzioneForm::BitBtn5Click));

    auto* mediaLabel = new QLabel(QStringLiteral("Cartella del supporto &rimovibile"), page);
    MediaFolder = new QLineEdit(page);
    MediaFolder->setObjectName(QStringLiteral("MediaFolder"));
    MediaFolder->setReadOnly(true);
    mediaLabel->setBuddy(MediaFolder);
    MediaFolderButton = new QPushButton(QStringLiteral("&Scegli..."), page);
    MediaFolderButton->setObjectName(QStringLiteral("MediaFolderButton"));
    MediaFolderButton->setAutoDefault(false);
    connect(MediaFolderButton, &QPushButton::clicked, this,
            [this] { guarded([this] { chooseMediaFolder(); }); });
    auto* mediaRow = new QHBoxLayout;
    mediaRow->addWidget(MediaFolder, 1);
    mediaRow->addWidget(MediaFolderButton);
    column->addSpacing(12);
    column->addWidget(mediaLabel);
    column->addLayout(mediaRow);
    column->addStretch();
    setTabOrder(BitBtn3, BitBtn4);
    setTabOrder(BitBtn4, BitBtn5);
    setTabOrder(BitBtn5, MediaFolderButton);
    return page;
}

void TManutenzioneForm::setMediaSetting(maintenance::MediaFolderSetting setting) {
    mediaSetting_ = std::move(setting);
    guarded([this] { MediaFolder->setText(mediaSetting_.read()); });
}

void TManutenzioneForm::chooseMediaFolder() {
    const QString start =
        MediaFolder->text().isEmpty() ? maintenance::defaultMediaFolder() : MediaFolder->text();
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Cartella del supporto rimovibile"), start);
    if (chosen.isEmpty()) return;
    mediaSetting_.write(chosen);
    MediaFolder->setText(chosen);
}

QString TManutenzioneForm::mediaFolder() {
    if (MediaFolder->text().isEmpty()) MediaFolder->setText(maintenance::defaultMediaFolder());
    if (MediaFolder->text().isEmpty()) chooseMediaFolder();
    return MediaFolder->text();
}

void TManutenzioneForm::setReportComponent(reports::TfrReport& component) {
    report_ = &component;
    BitBtn1->setEnabled(true);
}

void TManutenzioneForm::BitBtn1Click() {
    guarded([this] {
        if (!Data1 || !report_) return;
        sql::Query* const prints[] = {&Data1->Stampa1, &Data1->Stampa2, &Data1->Stampa3};
        // Closed on every way out, before an error reaches the error box.
        struct ClosePrints {
            sql::Query* const (&queries)[3];
            ~ClosePrints() {
                for (sql::Query* q : queries) q->close();
                while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
            }
        } closePrints{prints};
        QApplication::setOverrideCursor(Qt::WaitCursor);
        for (sql::Query* q : prints) q->open();
        QApplication::restoreOverrideCursor();

        reports::DesignerContext context;
        context.datasets = reports::dataModuleDatasets(*Data1);
        context.folder = maintenance::currentProgramFolder();
        context.title = report_->title();
        if (adjustDesigner_) adjustDesigner_(context);
        report_->designReport([this, &context](reports::Report& report, QString& fileName) {
            reports::DesignerWindow designer(std::move(context), this);
            designer.open(report, fileName);
            designer.exec();
            // The component keeps the template as last opened or saved.
            report = designer.document().savedReport();
            fileName = designer.document().fileName();
        });
    });
}

void TManutenzioneForm::BitBtn4Click() {
    guarded([this] {
        const QString media = mediaFolder();
        if (media.isEmpty()) return;
        const QString folder = maintenance::currentProgramFolder();
        // The cursor follows the first warning: the operator reads it first.
        maintenance::ArchiveTables tables = dataModuleTables();
        auto close = tables.close;
        tables.close = [close] {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            close();
        };
        maintenance::backupToMedia(folder, media, tables);
    });
}

void TManutenzioneForm::BitBtn5Click() {
    guarded([this] {
        const QString media = mediaFolder();
        if (media.isEmpty()) return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        maintenance::restoreFromMedia(maintenance::currentProgramFolder(), media,
                                      dataModuleTables());
    });
}

std::optional<QString> TManutenzioneForm::login(const maintenance::LastUserMemory& memory) {
    std::optional<QString> user = maintenance::runLogin(
        [this](const QString& userName, const QString& password) {
            return userCheck_.RxLoginDialog1CheckUser(userName, password);
        },
        memory, parentWidget());
    if (user) loggedInUser_ = *user;
    return user;
}

void TManutenzioneForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (onScreen_) return;
    onScreen_ = true;
    try {
        settings_.read();
    } catch (const platform::Error& e) {
        // The page then shows the values held so far.
        platform::prompts().error(e.message());
    }
    Codice->setText(settings_.userName());
    pwpw->setText(settings_.storedPassword());
}

void TManutenzioneForm::Button1Click() {
    const QString confirmation = platform::prompts().input(
        QStringLiteral("Conferma"),
        QStringLiteral("Reinserisci la password per confermare il cambio"), QString());
    if (confirmation != PW->text()) {
        platform::prompts().warning(QStringLiteral("   OPERAZIONE DI CAMBIO RIFIUTATA !   "));
        return;
    }
    const QString stored = cipher_.EncodeText(PW->text());
    pwpw->setText(stored);
    settings_.setStoredPassword(stored);
}

void TManutenzioneForm::writeSettings() {
    maintenance::WindowPlacement placement;
    placement.showCmd = isMinimized()   ? maintenance::WindowPlacement::Minimized
                        : isMaximized() ? maintenance::WindowPlacement::Maximized
                                        : maintenance::WindowPlacement::Normal;
    if (QScreen* s = screen()) placement.pixelsPerInch = qRound(s->logicalDotsPerInchY());
    const QRect frame = frameGeometry();
    placement.normPos[0] = frame.left();
    placement.normPos[1] = frame.top();
    placement.normPos[2] = frame.left() + frame.width();
    placement.normPos[3] = frame.top() + frame.height();
    placement.visible = isVisible();
    settings_.setPlacement(placement);
    settings_.setUserName(Codice->text());
    settings_.setStoredPassword(pwpw->text());
    settings_.write();
}

void TManutenzioneForm::done(int result) {
    onScreen_ = false;
    try {
        writeSettings();
    } catch (const platform::Error& e) {
        platform::prompts().error(e.message());
    }
    QDialog::done(result);
}
