#include "maintenance/ui/upgrade_window.h"

#include "maintenance/upgrade.h"
#include "platform/error.h"
#include "platform/prompts.h"
#include "ui/slot_guard.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

Tfrom2to3* from2to3 = nullptr;

Tfrom2to3::Tfrom2to3(QString folder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), folder_(std::move(folder)) {
    setObjectName(QStringLiteral("from2to3"));
    // Never on screen, the window having no frame; the task bar may show it.
    setWindowTitle(QStringLiteral("Upgrade da versione 2 a versione 3"));
    setFixedSize(298, 101);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);
    auto* text =
        new QLabel(QStringLiteral("Aggiornamento archivi da versione 2.x a versione 3.0"), panel);
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
    QFont bold = text->font();
    bold.setBold(true);
    text->setFont(bold);

    BitBtn1 = new QPushButton(QStringLiteral("Esegui aggiornamento"), panel);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Annulla l'operazione"), panel);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(BitBtn1, &QPushButton::clicked, this, ui::guarded(this, &Tfrom2to3::BitBtn1Click));
    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(mrCancel); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* inner = new QVBoxLayout(panel);
    inner->addWidget(text, 1);
    inner->addLayout(buttons);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);
    setTabOrder(BitBtn1, BitBtn2);
    BitBtn1->setFocus();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Tfrom2to3::BitBtn1Click() {
    setResult(mrOk);
    // The start-up puts the normal cursor back once the window has closed.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        maintenance::upgradeVersion2(folder_);
    } catch (const maintenance::Version2NotRemoved& e) {
        // Converted, but the old files are still there: which ones, then
        // the failure, so that nobody takes the upgrade for done.
        platform::prompts().error(e.message());
        platform::prompts().message(maintenance::kUpgradeFailedText);
        done(mrAbort);
        return;
    } catch (const platform::Error&) {
        // The conversion's own message stands for whatever went wrong.
        platform::prompts().message(maintenance::kUpgradeFailedText);
        done(mrAbort);
        return;
    }
    platform::prompts().message(maintenance::kUpgradeDoneText);
    done(mrOk);
}

void Tfrom2to3::reject() {
    done(mrCancel);
}
