#include "shell/info_window.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TfrmInfo* frmInfo = nullptr;

TfrmInfo::TfrmInfo(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmInfo"));
    setWindowTitle(QStringLiteral("Informazioni"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);

    auto* icon = new QLabel(panel);
    icon->setPixmap(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    auto* product = new QLabel(QStringLiteral("Brantvale - Tasmero"), panel);
    product->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    product->setStyleSheet(QStringLiteral("font-size: 16pt; font-weight: bold;"));
    auto* version =
        new QLabel(QStringLiteral("Programma Gestione Tasmero con Barcode - 3.02"), panel);
    version->setAlignment(Qt::AlignCenter);
    version->setStyleSheet(QStringLiteral("color: navy; font-weight: bold;"));
    auto* rule = new QFrame(panel);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* head = new QHBoxLayout;
    head->addWidget(icon);
    head->addWidget(product, 1);
    auto* inner = new QVBoxLayout(panel);
    inner->addLayout(head);
    inner->addWidget(version);
    inner->addWidget(rule);
    for (const QString& line :
         {QStringLiteral("Brantvale s.r.l. - Via dei Tipografi 12, 40100 Bologna"),
          QStringLiteral("Tel. 051 000 0000 - Fax 051 000 0001"),
          QStringLiteral("www.brantvale.example")}) {
        auto* label = new QLabel(line, panel);
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(QStringLiteral("font-weight: bold;"));
        inner->addWidget(label);
    }

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(panel);
    outer->addWidget(OKButton, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint().expandedTo(QSize(295, 183)));
    OKButton->setFocus();
}
