#include "reports/ui/selection_window.h"

#include "platform/dates.h"
#include "reports/ui/date_box.h"
#include "ui/slot_guard.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

Tselezioneform* selezioneform = nullptr;

namespace reports {

MagazineList::MagazineList(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    addItem(archive::PrintSelection::allMagazines());
}

void MagazineList::setNames(const QStringList& names) {
    const QString chosen = currentText();
    clear();
    addItem(archive::PrintSelection::allMagazines());
    addItems(names);
    const int at = findText(chosen, Qt::MatchExactly | Qt::MatchCaseSensitive);
    setCurrentIndex(at > 0 ? at : 0);
}

void MagazineList::keyPressEvent(QKeyEvent* event) {
    // Back to "(tutte)"; already there, Esc goes on to cancel the window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
        currentIndex() != 0) {
        setCurrentIndex(0);
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

}  // namespace reports

namespace {

// The smallest size that shows every text whole: the window's own size, unless
// the fonts of the system need more.
constexpr QSize kClientSize(258, 240);

QLabel* labelFor(const QString& text, QWidget* control, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(control);
    return label;
}

}  // namespace

Tselezioneform::Tselezioneform(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("selezioneform"));
    setWindowTitle(QStringLiteral("Selezione per le stampe"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setFrameShape(QFrame::StyledPanel);
    Giornale = makeGiornalePage();
    Scaduti = makeScadutiPage();
    PageControl1->addWidget(Giornale);
    PageControl1->addWidget(Scaduti);

    BitBtn1 = new QPushButton(QStringLiteral("&Annulla"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn2 = new QPushButton(QStringLiteral("&Stampa"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);

    setTabOrder(RadioButton3, DateEdit3);
    setTabOrder(DateEdit3, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    // A fixed frame: the window's size, or what the texts need when the
    // system's fonts are larger.
    const QSize needed = layout->totalMinimumSize();
    setFixedSize(needed.expandedTo(kClientSize));
}

Tselezioneform::~Tselezioneform() {
    if (selezioneform == this) selezioneform = nullptr;
}

QWidget* Tselezioneform::makeGiornalePage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Giornale"));
    DateEdit1 = new reports::DateBox(page);
    DateEdit1->setObjectName(QStringLiteral("DateEdit1"));
    DateEdit2 = new reports::DateBox(page);
    DateEdit2->setObjectName(QStringLiteral("DateEdit2"));
    CheckBox1 = new QCheckBox(QStringLiteral("solo riviste con giacenza < >0"), page);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    Selriviste = new reports::MagazineList(page);
    Selriviste->setObjectName(QStringLiteral("Selriviste"));
    Edit1 = new QLineEdit(page);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(3);
    // The three options in a frame of their own: one group, exactly one on.
    auto* options = new QFrame(page);
    options->setFrameShape(QFrame::StyledPanel);
    RadioButton1 = new QRadioButton(QStringLiteral("tutto l'archivio"), options);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton2 = new QRadioButton(QStringLiteral("solo materiale periodico"), options);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton3 = new QRadioButton(QStringLiteral("solo materiale NON periodico"), options);
    RadioButton3->setObjectName(QStringLiteral("RadioButton3"));
    RadioButton2->setChecked(true);
    auto* column = new QVBoxLayout(options);
    column->setContentsMargins(6, 2, 6, 2);
    column->setSpacing(0);
    for (QRadioButton* r : {RadioButton1, RadioButton2, RadioButton3}) column->addWidget(r);

    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setVerticalSpacing(3);
    grid->addWidget(labelFor(QStringLiteral("da data"), DateEdit1, page), 0, 0);
    grid->addWidget(DateEdit1, 0, 1, 1, 2);
    grid->addWidget(labelFor(QStringLiteral("a data"), DateEdit2, page), 1, 0);
    grid->addWidget(DateEdit2, 1, 1, 1, 2);
    grid->addWidget(CheckBox1, 2, 0, 1, 3);
    grid->addWidget(labelFor(QStringLiteral("rivista"), Selriviste, page), 3, 0);
    grid->addWidget(Selriviste, 3, 1, 1, 2);
    grid->addWidget(labelFor(QStringLiteral("fornitore"), Edit1, page), 4, 0);
    grid->addWidget(Edit1, 4, 1);
    grid->addWidget(new QLabel(QStringLiteral("(vuoto=tutti)"), page), 4, 2);
    grid->addWidget(options, 5, 0, 1, 3);
    grid->setRowStretch(6, 1);
    grid->setColumnStretch(1, 1);

    setTabOrder(DateEdit1, DateEdit2);
    setTabOrder(DateEdit2, CheckBox1);
    setTabOrder(CheckBox1, Selriviste);
    setTabOrder(Selriviste, Edit1);
    setTabOrder(Edit1, RadioButton1);
    setTabOrder(RadioButton1, RadioButton2);
    setTabOrder(RadioButton2, RadioButton3);
    return page;
}

QWidget* Tselezioneform::makeScadutiPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Scaduti"));
    auto* text = new QLabel(
        QStringLiteral(
            "Una rivista viene considerata \"scaduta\" quando è trascorso il tempo della sua "
            "periodicità a partire dalla data di ultimo carico."),
        page);
    text->setWordWrap(true);
    DateEdit3 = new reports::DateBox(page);
    DateEdit3->setObjectName(QStringLiteral("DateEdit3"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(text);
    layout->addSpacing(12);
    layout->addWidget(labelFor(QStringLiteral("controlla le riviste scadute al"), DateEdit3, page));
    layout->addWidget(DateEdit3);
    layout->addStretch();
    return page;
}

void Tselezioneform::showPage(Page page) {
    PageControl1->setCurrentWidget(page == Page::Scaduti ? Scaduti : Giornale);
}

Tselezioneform::Page Tselezioneform::page() const {
    return PageControl1->currentWidget() == Scaduti ? Page::Scaduti : Page::Giornale;
}

archive::PrintSelection Tselezioneform::selection() const {
    using Material = archive::PrintSelection::Material;
    archive::PrintSelection s;
    s.page = page();
    s.magazine = Selriviste->currentText();
    s.from = DateEdit1->date();
    s.to = DateEdit2->date();
    s.nonZeroStock = CheckBox1->isChecked();
    s.supplier = Edit1->text();
    s.material = RadioButton1->isChecked()   ? Material::All
                 : RadioButton3->isChecked() ? Material::NonPeriodic
                                             : Material::Periodic;
    s.checkDate = DateEdit3->date();
    return s;
}

void Tselezioneform::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void Tselezioneform::FormShow() {
    // A magazine table that cannot be read leaves the list as it was.
    if (magazineNames) ui::runGuarded(this, [this] { Selriviste->setNames(magazineNames()); });
    // An empty check date is today's: the box says which day that is.
    DateEdit3->setPlaceholderText(platform::formatDate(platform::today()));
    BitBtn1->setFocus();
}

Tselezioneform* createSelezioneform(QWidget* owner) {
    if (!selezioneform) selezioneform = new Tselezioneform(owner);
    return selezioneform;
}
