#include "shell/splash_window.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("SplashForm"));
    setFixedSize(313, 271);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TSplashForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The picture: a newsprint-blue gradient with a stack of covers.
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0, QColor(0x1c, 0x3f, 0x7a));
    sky.setColorAt(1, QColor(0x8a, 0xb4, 0xe8));
    p.fillRect(rect(), sky);
    const QColor covers[] = {QColor(0xd9, 0x4f, 0x3d), QColor(0xf2, 0xc1, 0x4e),
                             QColor(0xf7, 0xf7, 0xf2)};
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(covers[i]);
        p.drawRect(110 + i * 14, 150 + i * 8, 70, 90);
    }

    p.setPen(Qt::white);
    QFont big = font();
    big.setPointSize(14);
    big.setBold(true);
    p.setFont(big);
    p.drawText(QRect(0, 24, width(), 30), Qt::AlignCenter,
               QStringLiteral("Programma Gestione Tasmero"));
    p.drawText(QRect(0, 54, width(), 30), Qt::AlignCenter, QStringLiteral("versione 3.02"));
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(QRect(0, 104, width(), 24), Qt::AlignCenter,
               QStringLiteral("Caricamento in corso ... attendere"));
}
