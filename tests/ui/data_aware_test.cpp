// The data-aware pieces over a real table: the grid model reads lazily and finds the
// row of any record; a data-aware box refuses a number it cannot read and
// keeps the focus. The prompts show the program's own boxes.
#include "archive/archive_files.h"
#include "archive/dbase/cursor.h"
#include "archive/schema.h"
#include "platform/number_format.h"
#include "platform/scripted_prompts.h"
#include "support/modal_driver.h"
#include "ui/cursor_table_model.h"
#include "ui/data_source.h"
#include "ui/db_edit.h"
#include "ui/field_text.h"
#include "ui/message_box.h"
#include "ui/message_box_prompts.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>
#include <functional>
#include <map>
#include <memory>

namespace {

constexpr int kMagazines = 1000;

enum class Box { Warning, Question, Message };

// What a message box showed, and where.
struct BoxShown {
    QWidget* parent = nullptr;
    QString objectName, title, text, defaultButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    bool operator==(const BoxShown&) const = default;
};

// Runs `show`, which opens one message box, with `window` active as when the
// operator works in it, and answers the box with Enter; returns what the box
// showed and what `show` returned.
std::pair<BoxShown, bool> shownBy(QWidget& window, const std::function<bool()>& show) {
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) qWarning("window not active");
    auto seen = std::make_shared<BoxShown>();
    counter_test::whenModal(QStringLiteral("QMessageBox"), [seen](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) return;
        seen->parent = box->parentWidget();
        seen->objectName = box->objectName();
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        for (QAbstractButton* b : box->buttons()) seen->buttons << b->text();
        // Enter answers the box with its default button.
        QTest::keyClick(box, Qt::Key_Return);
        if (box->clickedButton()) seen->defaultButton = box->clickedButton()->text();
    });
    const bool answer = show();
    return {*seen, answer};
}

}  // namespace

Q_DECLARE_METATYPE(Box)

class UiBaseTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir;
    dbase::Cursor magazines;

  private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        archive::createMissingTables(dir.path());
        magazines.setTableName(archive::tablePath(dir.path(), archive::riviste3()));
        magazines.open();
        // Written in reverse name order, so the name order is not the physical one.
        for (int i = kMagazines; i >= 1; --i) {
            magazines.append();
            magazines.setText("BARCODE", QString::number(9770000000000LL + i));
            magazines.setText("NOME", QStringLiteral("RIVISTA %1").arg(i, 5, 10, QChar('0')));
            magazines.setNumber("PREZZO", i / 4.0);
            magazines.post();
        }
        magazines.setIndex("NOME");
    }

    void theModelReadsABatchAtATime() {
        const archive::TableSpec& t = archive::riviste3();
        ui::CursorTableModel model(magazines,
                                   {ui::fieldSpec(t, "NOME"), ui::fieldSpec(t, "PREZZO")});
        model.reload();
        QCOMPARE(model.rowCount(), ui::CursorTableModel::kBatch);
        QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Nome Rivista"));
        QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(),
                 QStringLiteral("RIVISTA 00001"));
        QCOMPARE(model.data(model.index(1, 1), Qt::DisplayRole).toString(),
                 platform::formatNumber(0.5, u"0.00;;#"));

        // A view scrolled to the end asks for more, one batch per step.
        QTableView view;
        view.setModel(&model);
        view.resize(400, 300);
        view.show();
        view.scrollToBottom();
        QTRY_VERIFY(model.rowCount() > ui::CursorTableModel::kBatch);
        QVERIFY(model.rowCount() < kMagazines);

        // The row of a record further on: read up to it, not beyond the batch.
        magazines.last();
        const uint32_t last = magazines.recordNumber();
        magazines.first();
        const int row = model.rowOf(last);
        QCOMPARE(row, kMagazines - 1);
        QCOMPARE(model.recordAt(row), last);
        QVERIFY(!model.canFetchMore(QModelIndex()));
        QCOMPARE(model.rowOf(magazines.recordNumber()), 0);
        QCOMPARE(model.rowOf(kMagazines + 7), -1);

        // The marker is on one row at a time.
        model.setMarkedRow(3);
        QVERIFY(!model.headerData(3, Qt::Vertical, Qt::DisplayRole).toString().isEmpty());
        QVERIFY(model.headerData(2, Qt::Vertical, Qt::DisplayRole).toString().isEmpty());
    }

    void aBoxRefusesANumberItCannotReadAndKeepsTheFocus() {
        platform::ScriptedPrompts prompts;
        platform::PromptsScope scope(prompts);
        QWidget window;
        ui::DataSource source(magazines);
        auto* price = new ui::DbEdit(source, ui::fieldSpec(archive::riviste3(), "PREZZO"), &window);
        auto* other = new QLineEdit(&window);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(price);
        layout->addWidget(other);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        magazines.first();
        source.notifyRecordChanged();
        QVERIFY(price->isReadOnly());

        magazines.edit();
        source.notifyRecordChanged();
        QVERIFY(!price->isReadOnly());
        price->setFocus();
        price->selectAll();
        QTest::keyClicks(price, QStringLiteral("-"));
        prompts.expectError(QStringLiteral("'-' is not a valid floating point value"));
        QTest::keyClick(price, Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), price);
        QCOMPARE(magazines.number("PREZZO"), 0.25);  // unchanged

        QTest::keyClicks(price, QStringLiteral("7"));
        QTest::keyClick(price, Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), other);
        QCOMPARE(magazines.number("PREZZO"), -7.0);
        magazines.cancel();
        QVERIFY2(prompts.finished(), qPrintable(prompts.failures().join('\n')));
    }

    // A window asks through the prompts, which open the very box the window
    // would open itself: same kind, caption, text, buttons and default
    // button, and over the window the operator works in.
    void promptsShowTheBoxAWindowWouldShowOverIt_data() {
        QTest::addColumn<Box>("kind");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("warning") << Box::Warning << QStringList{QStringLiteral("&Sì")};
        QTest::newRow("question") << Box::Question
                                  << QStringList{QStringLiteral("&Sì"), QStringLiteral("&No")};
        QTest::newRow("message") << Box::Message << QStringList{QStringLiteral("OK")};
    }
    void promptsShowTheBoxAWindowWouldShowOverIt() {
        QFETCH(Box, kind);
        QFETCH(QStringList, buttons);
        QWidget window;
        const QString text = QStringLiteral("Articolo non in giacenza");
        ui::MessageBoxPrompts prompts;

        // The window's own call, and the same through the prompts.
        const std::map<Box, std::pair<std::function<bool()>, std::function<bool()>>> calls{
            {Box::Warning,
             {[&] { return ui::TMymsg::warning(&window, text), false; },
              [&] { return prompts.warning(text), false; }}},
            {Box::Question,
             {[&] { return ui::TMymsg::question(&window, text); },
              [&] { return prompts.question(text); }}},
            {Box::Message,
             {[&] { return ui::plainMessage(&window, text), false; },
              [&] { return prompts.message(text), false; }}},
        };
        const auto [own, ownAnswer] = shownBy(window, calls.at(kind).first);
        const auto [prompted, promptedAnswer] = shownBy(window, calls.at(kind).second);
        QCOMPARE(own.parent, &window);
        QCOMPARE(own.text, text);
        QCOMPARE(own.title, ui::kApplicationTitle);
        QCOMPARE(own.buttons, buttons);
        QCOMPARE(own.defaultButton, buttons.first());
        QCOMPARE(prompted.parent, own.parent);
        QCOMPARE(prompted.objectName, own.objectName);
        QCOMPARE(prompted.icon, own.icon);
        QVERIFY(prompted == own);
        QCOMPARE(promptedAnswer, ownAnswer);
        QCOMPARE(ownAnswer, kind == Box::Question);  // the default button is Yes
    }
};

QTEST_MAIN(UiBaseTest)
#include "data_aware_test.moc"
