// The data-aware pieces over a real table: the grid model reads lazily and finds the
// row of any record; a data-aware box refuses a number it cannot read and
// keeps the focus.
#include "archive/archive_files.h"
#include "archive/dbase/cursor.h"
#include "archive/schema.h"
#include "platform/number_format.h"
#include "platform/scripted_prompts.h"
#include "ui/cursor_table_model.h"
#include "ui/data_source.h"
#include "ui/db_edit.h"
#include "ui/field_text.h"

#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

namespace {

constexpr int kMagazines = 1000;

}  // namespace

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
        ui::CursorTableModel model(
            magazines, {ui::fieldSpec(t, "NOME"), ui::fieldSpec(t, "PREZZO")});
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
        auto* price =
            new ui::DbEdit(source, ui::fieldSpec(archive::riviste3(), "PREZZO"), &window);
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
};

QTEST_MAIN(UiBaseTest)
#include "data_aware_test.moc"
