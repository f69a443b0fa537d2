#include "shell/menu_form.h"

#include <QTest>

class MenuFormTest : public QObject {
    Q_OBJECT
private slots:
    void showsWithItsCaption() {
        TMenuForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Menu"));
        QCOMPARE(form.objectName(), QStringLiteral("MenuForm"));
    }
};

QTEST_MAIN(MenuFormTest)
#include "menu_form_test.moc"
