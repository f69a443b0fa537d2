// "Personalizzazione stampe" on the maintenance window: shown only for a
// program started with exactly one argument; it opens the three print
// datasets, runs the designer on the report component's template and closes
// the datasets again, also when opening them or designing fails.
#include "support/report_test_support.h"

#include "maintenance/ui/maintenance_window.h"
#include "reports/designer_document.h"
#include "reports/ui/designer_window.h"
#include "reports/report_component.h"
#include "reports/template_file.h"

#include "support/counter_archive.h"
#include "platform/program_locale.h"
#include "platform/scripted_prompts.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace reports;

namespace {

// What the designer found when it came up, before the test closed it.
struct DesignerSeen {
    bool shown = false;
    bool printsOpen = false;
    Report report;
    QString fileName;
};

// Closes the next designer window once it is up, after noting what it saw
// and running `work` in it.
void onNextDesigner(DesignerSeen* seen, std::function<void(DesignerWindow&)> work = {}) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, seen, work] {
        auto* window = qobject_cast<DesignerWindow*>(QApplication::activeModalWidget());
        if (!window) return;
        timer->stop();
        timer->deleteLater();
        seen->shown = true;
        seen->printsOpen = Data1->Stampa1.isOpen() && Data1->Stampa2.isOpen() && Data1->Stampa3.isOpen();
        seen->report = window->document().report();
        seen->fileName = window->document().fileName();
        if (work) work(*window);
        window->reject();
    });
    timer->start();
}

bool printsClosed() { return !Data1->Stampa1.isOpen() && !Data1->Stampa2.isOpen() && !Data1->Stampa3.isOpen(); }

}  // namespace

class DesignerButtonTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        previous_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_->path()));
        archive_ = std::make_unique<counter_test::CounterArchive>();
    }
    void cleanup() {
        archive_.reset();
        QDir::setCurrent(previous_);
        dir_.reset();
    }

    void shownOnlyWithOneArgument_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("shown");
        QTest::newRow("none") << QStringList() << false;
        QTest::newRow("one") << QStringList{QStringLiteral("x")} << true;
        QTest::newRow("an empty one") << QStringList{QString()} << true;
        QTest::newRow("two") << QStringList{QStringLiteral("x"), QStringLiteral("y")} << false;
    }
    void shownOnlyWithOneArgument() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, shown);
        TManutenzioneForm form(arguments, [] { return true; });
        form.userCheck().RxLoginDialog1CheckUser(QStringLiteral("admin"), QStringLiteral("tasmero"));
        QCOMPARE(!form.BitBtn1->isHidden(), shown);
    }

    void designsTheHeldTemplateWithThePrintsOpen() {
        platform::ScriptedPrompts prompts;
        platform::PromptsScope scope(prompts);
        TfrReport component(QStringLiteral("MenuForm"), archive_->data());
        auto form = makeForm(component);
        QVERIFY(!form->BitBtn1->isHidden() && form->BitBtn1->isEnabled());

        // Before any list the designer gets an empty template, and the
        // component holds what the designer left: here, a template saved as.
        const QString saved = dir_->filePath(QStringLiteral("Nuovo.frf"));
        DesignerSeen first;
        onNextDesigner(&first, [](DesignerWindow& w) {
            w.document().change(QStringLiteral("band"), [](Report& r, Selection&) { addBand(r, BandKind::PageHeader); });
            QVERIFY(w.save());  // the chooser below answers
        });
        files_ << saved;
        form->BitBtn1->click();
        QVERIFY(first.shown);
        QVERIFY(first.printsOpen);
        QCOMPARE(first.report, Report{});
        QVERIFY(printsClosed());
        QCOMPARE(component.heldFileName(), saved);
        QCOMPARE(component.heldTemplate(), loadTemplate(saved));

        // After a list ran, its template.
        component.loadFromFile(test::templatePath("Report2.frf"));
        DesignerSeen second;
        onNextDesigner(&second);
        form->BitBtn1->click();
        QCOMPARE(second.report, loadTemplate(test::templatePath("Report2.frf")));
        QCOMPARE(second.fileName, component.heldFileName());
        QVERIFY(printsClosed());
        QVERIFY2(prompts.finished(), qPrintable(prompts.failures().join(u'\n')));
    }

    void printsAreClosedAfterAFailure() {
        platform::ScriptedPrompts prompts;
        platform::PromptsScope scope(prompts);
        TfrReport component(QStringLiteral("MenuForm"), archive_->data());
        auto form = makeForm(component);

        // The second dataset does not open: the first is closed again, and
        // the error box comes after.
        const auto opening = Data1->Stampa2.beforeOpen;
        Data1->Stampa2.beforeOpen = [] { throw platform::FileError(QStringLiteral("Giornale3.DBF illeggibile")); };
        prompts.expectError(std::nullopt);
        form->BitBtn1->click();
        QCOMPARE(prompts.shown().size(), size_t(1));
        QVERIFY(printsClosed());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        Data1->Stampa2.beforeOpen = opening;

        // The designer fails to start.
        form->setDesignerContext([](DesignerContext&) { throw platform::FileError(QStringLiteral("Disco non pronto")); });
        prompts.expectError(QStringLiteral("Disco non pronto"));
        form->BitBtn1->click();
        QVERIFY(printsClosed());
        QVERIFY2(prompts.finished(), qPrintable(prompts.failures().join(u'\n')));
    }

  private:
    std::unique_ptr<TManutenzioneForm> makeForm(TfrReport& component) {
        auto form = std::make_unique<TManutenzioneForm>(QStringList{QStringLiteral("1")}, [] { return true; });
        form->userCheck().RxLoginDialog1CheckUser(QStringLiteral("admin"), QStringLiteral("tasmero"));
        form->setReportComponent(component);
        form->setDesignerContext([this](DesignerContext& c) {
            c.chooseFile = [this](QWidget*, bool, const QString&) { return files_.isEmpty() ? QString() : files_.takeFirst(); };
        });
        return form;
    }

    std::unique_ptr<QTemporaryDir> dir_;
    QString previous_;
    std::unique_ptr<counter_test::CounterArchive> archive_;
    QStringList files_;
};

QTEST_MAIN(DesignerButtonTest)
#include "designer_button_test.moc"
