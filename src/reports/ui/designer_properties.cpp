#include "reports/ui/designer_properties.h"

#include "reports/ui/designer_tree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace reports {
namespace {

// Undo merge keys: each value its own, so typing over one value is one step.
enum Key {
    kX = 100, kY, kWidth, kHeight, kText, kFont, kSize, kBold, kItalic, kAlign, kWrap, kFormat, kLineWidth,
    kBandHeight, kDataset, kColumns, kColumnGap, kCondition, kNewPage, kKeep, kNotEmpty,
    kName, kPageSize, kPageWidth, kPageHeight, kOrientation, kLeft, kTop, kRight, kBottom,
};

struct PaperSize {
    const char* name;
    double width, height;
};
constexpr PaperSize kPapers[] = {{"A4", 210, 297}, {"A5", 148, 210}, {"A3", 297, 420}, {"Letter", 215.9, 279.4}};

void setValue(QDoubleSpinBox* box, double v) {
    if (box->value() != v) box->setValue(v);
}
// Shows or hides a row of `form`, its label with it.
void showRow(QFormLayout* form, QWidget* field, bool visible) {
    form->setRowVisible(field, visible);
}

void setText(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) edit->setText(text);
}

QWidget* withButton(QLineEdit* edit, QPushButton* button) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit, 1);
    layout->addWidget(button);
    return row;
}

}  // namespace

DesignerProperties::DesignerProperties(DesignerDocument& document, QWidget* parent)
    : QWidget(parent), document_(document) {
    setObjectName(QStringLiteral("DesignerProperties"));
    stack_ = new QStackedWidget(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->addWidget(stack_);
    outer->addStretch();

    const auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };

    // --- objects
    auto* objectPage = new QWidget;
    objectForm_ = new QFormLayout(objectPage);
    objectKind_ = new QLabel;
    objectForm_->addRow(QStringLiteral("Oggetto"), objectKind_);
    objectX = named(millimetres(2000), "objectX");
    objectY = named(millimetres(2000), "objectY");
    objectWidth = named(millimetres(2000), "objectWidth");
    objectHeight = named(millimetres(2000), "objectHeight");
    objectForm_->addRow(QStringLiteral("&X (mm)"), objectX);
    objectForm_->addRow(QStringLiteral("&Y (mm)"), objectY);
    objectForm_->addRow(QStringLiteral("&Larghezza (mm)"), objectWidth);
    objectForm_->addRow(QStringLiteral("&Altezza (mm)"), objectHeight);
    objectText = named(new QLineEdit, "objectText");
    objectFields = fieldButton(objectText);
    objectForm_->addRow(QStringLiteral("&Testo"), withButton(objectText, objectFields));
    fontFamily = named(new QFontComboBox, "fontFamily");
    fontFamily->setEditable(false);
    fontFamily->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    fontFamily->setMinimumContentsLength(12);
    objectForm_->addRow(QStringLiteral("&Carattere"), fontFamily);
    fontSize = named(new QDoubleSpinBox, "fontSize");
    fontSize->setRange(1, 200);
    fontSize->setDecimals(1);
    fontSize->setKeyboardTracking(false);
    objectForm_->addRow(QStringLiteral("&Dimensione (pt)"), fontSize);
    fontBold = named(new QCheckBox(QStringLiteral("&Grassetto")), "fontBold");
    fontItalic = named(new QCheckBox(QStringLiteral("C&orsivo")), "fontItalic");
    auto* style = new QWidget;
    auto* styleRow = new QHBoxLayout(style);
    styleRow->setContentsMargins(0, 0, 0, 0);
    styleRow->addWidget(fontBold);
    styleRow->addWidget(fontItalic);
    styleRow->addStretch();
    objectForm_->addRow(QStringLiteral("Stile"), style);
    alignment = named(new QComboBox, "alignment");
    alignment->addItems({QStringLiteral("Sinistra"), QStringLiteral("Centro"), QStringLiteral("Destra")});
    objectForm_->addRow(QStringLiteral("Alli&neamento"), alignment);
    wordWrap = named(new QCheckBox(QStringLiteral("A capo &automatico")), "wordWrap");
    objectForm_->addRow(QString(), wordWrap);
    numberFormat = named(new QLineEdit, "numberFormat");
    numberFormat->setPlaceholderText(QStringLiteral("es. 0.00 oppure 0.00;;#"));
    objectForm_->addRow(QStringLiteral("&Formato numeri"), numberFormat);
    lineWidth = named(millimetres(20), "lineWidth");
    objectForm_->addRow(QStringLiteral("&Spessore (mm)"), lineWidth);
    stack_->addWidget(objectPage);

    // --- bands
    auto* bandPage = new QWidget;
    bandForm_ = new QFormLayout(bandPage);
    // Only the band's kind, short enough for one line: its condition and
    // dataset have rows of their own. (A wrapping label here made the form's
    // height-for-width pass, with rows hidden, write past its own arrays in
    // this Qt: seen under valgrind and as rare crashes.)
    bandKind_ = new QLabel;
    bandForm_->addRow(QStringLiteral("Banda"), bandKind_);
    bandHeight = named(millimetres(1000), "bandHeight");
    bandForm_->addRow(QStringLiteral("&Altezza (mm)"), bandHeight);
    bandDataset = named(new QComboBox, "bandDataset");
    bandDataset->setEditable(true);
    bandDataset->addItems(designerDatasetNames());
    bandForm_->addRow(QStringLiteral("&Dataset"), bandDataset);
    bandColumns = named(new QSpinBox, "bandColumns");
    bandColumns->setRange(1, 20);
    bandColumns->setKeyboardTracking(false);
    bandForm_->addRow(QStringLiteral("&Colonne"), bandColumns);
    bandColumnGap = named(millimetres(200), "bandColumnGap");
    bandForm_->addRow(QStringLiteral("Distan&za (mm)"), bandColumnGap);
    groupCondition = named(new QLineEdit, "groupCondition");
    conditionFields = fieldButton(groupCondition);
    bandForm_->addRow(QStringLiteral("C&ondizione"), withButton(groupCondition, conditionFields));
    groupNewPage = named(new QCheckBox(QStringLiteral("Ogni gruppo su una &nuova pagina")), "groupNewPage");
    groupKeepTogether = named(new QCheckBox(QStringLiteral("&Tieni unito il gruppo")), "groupKeepTogether");
    printIfNotEmpty = named(new QCheckBox(QStringLiteral("Stampa solo se &non vuota")), "printIfNotEmpty");
    bandForm_->addRow(QString(), groupNewPage);
    bandForm_->addRow(QString(), groupKeepTogether);
    bandForm_->addRow(QString(), printIfNotEmpty);
    stack_->addWidget(bandPage);

    // --- the page
    auto* pagePage = new QWidget;
    auto* pageForm = new QFormLayout(pagePage);
    reportName = named(new QLineEdit, "reportName");
    pageForm->addRow(QStringLiteral("&Nome del report"), reportName);
    pageSize = named(new QComboBox, "pageSize");
    for (const PaperSize& p : kPapers) pageSize->addItem(QLatin1String(p.name));
    pageSize->addItem(QStringLiteral("Personalizzato"));
    pageForm->addRow(QStringLiteral("&Formato"), pageSize);
    pageWidth = named(millimetres(2000), "pageWidth");
    pageHeight = named(millimetres(2000), "pageHeight");
    pageWidth->setMinimum(10);
    pageHeight->setMinimum(10);
    pageForm->addRow(QStringLiteral("&Larghezza (mm)"), pageWidth);
    pageForm->addRow(QStringLiteral("&Altezza (mm)"), pageHeight);
    orientation = named(new QComboBox, "orientation");
    orientation->addItems({QStringLiteral("Verticale"), QStringLiteral("Orizzontale")});
    pageForm->addRow(QStringLiteral("&Orientamento"), orientation);
    marginLeft = named(millimetres(500), "marginLeft");
    marginTop = named(millimetres(500), "marginTop");
    marginRight = named(millimetres(500), "marginRight");
    marginBottom = named(millimetres(500), "marginBottom");
    pageForm->addRow(QStringLiteral("Margine &sinistro (mm)"), marginLeft);
    pageForm->addRow(QStringLiteral("Margine s&uperiore (mm)"), marginTop);
    pageForm->addRow(QStringLiteral("Margine &destro (mm)"), marginRight);
    pageForm->addRow(QStringLiteral("Margine &inferiore (mm)"), marginBottom);
    stack_->addWidget(pagePage);

    // --- what each value changes
    const auto spin = [this](QDoubleSpinBox* box, auto apply) {
        connect(box, &QDoubleSpinBox::valueChanged, this, [this, apply](double v) {
            if (!showing_) apply(v);
        });
    };
    const auto check = [this](QCheckBox* box, auto apply) {
        connect(box, &QCheckBox::toggled, this, [this, apply](bool on) {
            if (!showing_) apply(on);
        });
    };
    const auto edited = [this](QLineEdit* edit, auto apply) {
        connect(edit, &QLineEdit::editingFinished, this, [this, edit, apply] {
            if (!showing_) apply(edit->text());
        });
    };
    const auto textual = [](const ReportObject& o) { return o.kind == ObjectKind::Text; };
    const auto framed = [](const ReportObject& o) { return o.kind == ObjectKind::Line || o.kind == ObjectKind::Rectangle; };

    spin(objectX, [this](double v) { objects(kX, QStringLiteral("Posizione"), [v](ReportObject& o) { o.x = v; }); });
    spin(objectY, [this](double v) { objects(kY, QStringLiteral("Posizione"), [v](ReportObject& o) { o.y = v; }); });
    spin(objectWidth, [this](double v) { objects(kWidth, QStringLiteral("Larghezza"), [v](ReportObject& o) { o.width = v; }); });
    spin(objectHeight, [this](double v) { objects(kHeight, QStringLiteral("Altezza"), [v](ReportObject& o) { o.height = v; }); });
    edited(objectText, [this](const QString& t) {
        objects(kText, QStringLiteral("Testo"), [t](ReportObject& o) { o.text = t; },
                [](const ReportObject& o) { return o.kind == ObjectKind::Text || o.kind == ObjectKind::Barcode; });
    });
    connect(fontFamily, &QFontComboBox::currentFontChanged, this, [this, textual](const QFont& f) {
        if (!showing_) objects(kFont, QStringLiteral("Carattere"), [f](ReportObject& o) { o.font.family = f.family(); }, textual);
    });
    spin(fontSize, [this, textual](double v) { objects(kSize, QStringLiteral("Dimensione"), [v](ReportObject& o) { o.font.size = v; }, textual); });
    check(fontBold, [this, textual](bool on) { objects(kBold, QStringLiteral("Grassetto"), [on](ReportObject& o) { o.font.bold = on; }, textual); });
    check(fontItalic, [this, textual](bool on) { objects(kItalic, QStringLiteral("Corsivo"), [on](ReportObject& o) { o.font.italic = on; }, textual); });
    connect(alignment, &QComboBox::currentIndexChanged, this, [this, textual](int i) {
        if (!showing_ && i >= 0)
            objects(kAlign, QStringLiteral("Allineamento"), [i](ReportObject& o) { o.align = Align(i); }, textual);
    });
    check(wordWrap, [this, textual](bool on) { objects(kWrap, QStringLiteral("A capo"), [on](ReportObject& o) { o.wordWrap = on; }, textual); });
    edited(numberFormat, [this, textual](const QString& t) {
        objects(kFormat, QStringLiteral("Formato"), [t](ReportObject& o) { o.format = t; }, textual);
    });
    spin(lineWidth, [this, framed](double v) { objects(kLineWidth, QStringLiteral("Spessore"), [v](ReportObject& o) { o.lineWidth = v; }, framed); });

    spin(bandHeight, [this](double v) { band(kBandHeight, QStringLiteral("Altezza della banda"), [v](Band& b) { b.height = v; }); });
    connect(bandDataset->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (!showing_) {
            const QString name = bandDataset->currentText().trimmed();
            band(kDataset, QStringLiteral("Dataset"), [name](Band& b) { b.dataset = name; });
        }
    });
    connect(bandDataset, &QComboBox::activated, this, [this](int i) {
        const QString name = bandDataset->itemText(i);
        band(kDataset, QStringLiteral("Dataset"), [name](Band& b) { b.dataset = name; });
    });
    connect(bandColumns, &QSpinBox::valueChanged, this, [this](int v) {
        if (!showing_) band(kColumns, QStringLiteral("Colonne"), [v](Band& b) { b.columns = v; });
    });
    spin(bandColumnGap, [this](double v) { band(kColumnGap, QStringLiteral("Distanza fra colonne"), [v](Band& b) { b.columnGap = v; }); });
    edited(groupCondition, [this](const QString& t) { band(kCondition, QStringLiteral("Condizione"), [t](Band& b) { b.condition = t; }); });
    check(groupNewPage, [this](bool on) { band(kNewPage, QStringLiteral("Nuova pagina"), [on](Band& b) { b.newPage = on; }); });
    check(groupKeepTogether, [this](bool on) { band(kKeep, QStringLiteral("Tieni unito"), [on](Band& b) { b.keepTogether = on; }); });
    check(printIfNotEmpty, [this](bool on) { band(kNotEmpty, QStringLiteral("Solo se non vuota"), [on](Band& b) { b.printIfNotEmpty = on; }); });

    edited(reportName, [this](const QString& t) { page(kName, QStringLiteral("Nome del report"), [t](Report& r) { r.name = t; }); });
    connect(pageSize, &QComboBox::activated, this, [this](int i) {
        if (i >= int(std::size(kPapers))) return;
        const PaperSize paper = kPapers[i];
        page(kPageSize, QStringLiteral("Formato"), [paper](Report& r) {
            r.page.width = paper.width;
            r.page.height = paper.height;
        });
    });
    spin(pageWidth, [this](double v) { page(kPageWidth, QStringLiteral("Formato"), [v](Report& r) { r.page.width = v; }); });
    spin(pageHeight, [this](double v) { page(kPageHeight, QStringLiteral("Formato"), [v](Report& r) { r.page.height = v; }); });
    connect(orientation, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!showing_ && i >= 0) page(kOrientation, QStringLiteral("Orientamento"), [i](Report& r) { r.page.landscape = i == 1; });
    });
    spin(marginLeft, [this](double v) { page(kLeft, QStringLiteral("Margini"), [v](Report& r) { r.page.left = v; }); });
    spin(marginTop, [this](double v) { page(kTop, QStringLiteral("Margini"), [v](Report& r) { r.page.top = v; }); });
    spin(marginRight, [this](double v) { page(kRight, QStringLiteral("Margini"), [v](Report& r) { r.page.right = v; }); });
    spin(marginBottom, [this](double v) { page(kBottom, QStringLiteral("Margini"), [v](Report& r) { r.page.bottom = v; }); });

    // A label exactly as wide as its text loses the last letter's overhang.
    for (QLabel* label : findChildren<QLabel*>()) label->setMinimumWidth(label->sizeHint().width() + 2);

    connect(&document_, &DesignerDocument::reportChanged, this, &DesignerProperties::refresh);
    connect(&document_, &DesignerDocument::selectionChanged, this, &DesignerProperties::refresh);
    refresh();
}

QDoubleSpinBox* DesignerProperties::millimetres(double max) {
    auto* box = new QDoubleSpinBox;
    box->setRange(0, max);
    box->setDecimals(2);
    box->setSingleStep(0.5);
    // A value typed counts when it is confirmed, not at every digit.
    box->setKeyboardTracking(false);
    return box;
}

QPushButton* DesignerProperties::fieldButton(QLineEdit* target) {
    auto* button = new QPushButton(QStringLiteral("Campi"));
    button->setToolTip(QStringLiteral("Inserisce un campo o una funzione"));
    // Enter in the box beside it confirms the text; it must not open the menu.
    button->setAutoDefault(false);
    auto* menu = new QMenu(button);
    button->setMenu(menu);
    connect(menu, &QMenu::aboutToShow, this, [this, menu, target] {
        fillFieldMenu(*menu, fields_ ? fields_() : std::vector<DatasetFields>{}, [target](const QString& e) {
            target->insert(e);
            target->setFocus();
            emit target->editingFinished();
        });
    });
    return button;
}

void DesignerProperties::focusText() {
    if (stack_->currentIndex() != 0) return;
    objectText->setFocus(Qt::OtherFocusReason);
    objectText->selectAll();
}

void DesignerProperties::focusFirst() {
    QWidget* first[] = {objectX, bandHeight, reportName};
    first[stack_->currentIndex()]->setFocus(Qt::ShortcutFocusReason);
}

void DesignerProperties::objects(int key, const QString& text, const std::function<void(ReportObject&)>& set,
                                 const std::function<bool(const ReportObject&)>& fits) {
    const std::vector<ObjectRef> refs = document_.selection().objects;
    document_.change(text, [&](Report& r, Selection&) {
        for (const ObjectRef& ref : refs) {
            ReportObject& o = r.bands[size_t(ref.band)].objects[size_t(ref.index)];
            if (!fits || fits(o)) set(o);
        }
    }, key);
}

void DesignerProperties::band(int key, const QString& text, const std::function<void(Band&)>& set) {
    const int b = document_.selection().band;
    if (b < 0) return;
    document_.change(text, [&](Report& r, Selection&) { set(r.bands[size_t(b)]); }, key);
}

void DesignerProperties::page(int key, const QString& text, const std::function<void(Report&)>& set) {
    document_.change(text, [&](Report& r, Selection&) { set(r); }, key);
}

void DesignerProperties::refresh() {
    showing_ = true;
    const Report& r = document_.report();
    const Selection& s = document_.selection();
    if (!s.objects.empty()) {
        stack_->setCurrentIndex(0);
        const ObjectRef& a = s.objects.front();
        showObject(r.bands[size_t(a.band)].objects[size_t(a.index)]);
        if (s.objects.size() > 1)
            objectKind_->setText(objectKind_->text() + QStringLiteral(" (e altri %1)").arg(s.objects.size() - 1));
    } else if (s.band >= 0) {
        stack_->setCurrentIndex(1);
        showBand(r.bands[size_t(s.band)]);
    } else {
        stack_->setCurrentIndex(2);
        showPage(r);
    }
    showing_ = false;
}

void DesignerProperties::showObject(const ReportObject& o) {
    objectKind_->setText(objectCaption(o).section(u':', 0, 0));
    setValue(objectX, o.x);
    setValue(objectY, o.y);
    setValue(objectWidth, o.width);
    setValue(objectHeight, o.height);
    setText(objectText, o.text);
    const bool text = o.kind == ObjectKind::Text, framed = o.kind == ObjectKind::Line || o.kind == ObjectKind::Rectangle;
    showRow(objectForm_, objectText->parentWidget(), text || o.kind == ObjectKind::Barcode);
    for (QWidget* w : {static_cast<QWidget*>(fontFamily), static_cast<QWidget*>(fontSize), fontBold->parentWidget(),
                       static_cast<QWidget*>(alignment), static_cast<QWidget*>(wordWrap), static_cast<QWidget*>(numberFormat)})
        showRow(objectForm_, w, text);
    showRow(objectForm_, lineWidth, framed);
    if (fontFamily->currentFont().family() != o.font.family) fontFamily->setCurrentFont(QFont(o.font.family));
    fontSize->setValue(o.font.size);
    fontBold->setChecked(o.font.bold);
    fontItalic->setChecked(o.font.italic);
    alignment->setCurrentIndex(int(o.align));
    wordWrap->setChecked(o.wordWrap);
    setText(numberFormat, o.format);
    setValue(lineWidth, o.lineWidth);
}

void DesignerProperties::showBand(const Band& b) {
    const bool grouped = b.kind == BandKind::GroupHeader || b.kind == BandKind::GroupFooter;
    bandKind_->setText(grouped ? QStringLiteral("%1 %2").arg(bandKindCaption(b.kind)).arg(b.group)
                               : bandKindCaption(b.kind));
    setValue(bandHeight, b.height);
    const bool master = b.kind == BandKind::MasterData, header = b.kind == BandKind::GroupHeader;
    showRow(bandForm_, bandDataset, master);
    showRow(bandForm_, bandColumns, master);
    showRow(bandForm_, bandColumnGap, master);
    showRow(bandForm_, groupCondition->parentWidget(), header);
    showRow(bandForm_, groupNewPage, header);
    showRow(bandForm_, groupKeepTogether, header);
    if (bandDataset->currentText() != b.dataset) bandDataset->setEditText(b.dataset);
    bandColumns->setValue(b.columns);
    setValue(bandColumnGap, b.columnGap);
    setText(groupCondition, b.condition);
    groupNewPage->setChecked(b.newPage);
    groupKeepTogether->setChecked(b.keepTogether);
    printIfNotEmpty->setChecked(b.printIfNotEmpty);
}

void DesignerProperties::showPage(const Report& r) {
    setText(reportName, r.name);
    int size = int(std::size(kPapers));
    for (int i = 0; i < int(std::size(kPapers)); ++i)
        if (kPapers[i].width == r.page.width && kPapers[i].height == r.page.height) size = i;
    pageSize->setCurrentIndex(size);
    setValue(pageWidth, r.page.width);
    setValue(pageHeight, r.page.height);
    orientation->setCurrentIndex(r.page.landscape ? 1 : 0);
    setValue(marginLeft, r.page.left);
    setValue(marginTop, r.page.top);
    setValue(marginRight, r.page.right);
    setValue(marginBottom, r.page.bottom);
}

}  // namespace reports
