// The designer's property editor: what is selected, as editable values.
//
// Objects: position, size, text or expression (with a menu of the fields of
// the datasets), font, alignment, word wrap, number format, line width; a
// value changed applies to every selected object it fits. A band alone: its
// height, dataset (master data), columns, group condition and flags. Nothing
// selected: the page (size, orientation, margins) and the report's name.
// Every change is one undo step; steps on the same value in a row merge.
#pragma once

#include "reports/designer_document.h"
#include "reports/ui/designer_fields.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFontComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QSpinBox;
class QStackedWidget;
class QPushButton;

namespace reports {

class DesignerProperties : public QWidget {
    Q_OBJECT
  public:
    explicit DesignerProperties(DesignerDocument& document, QWidget* parent = nullptr);

    // Where the field menus take their fields from, asked each time one opens.
    void setFieldSource(std::function<std::vector<DatasetFields>()> source) { fields_ = std::move(source); }
    // The focus in the text box, its text selected: the next thing to type.
    void focusText();
    // The focus on the first value of what is shown.
    void focusFirst();

    // Objects
    QDoubleSpinBox *objectX, *objectY, *objectWidth, *objectHeight;
    QLineEdit* objectText;
    QPushButton* objectFields;
    QFontComboBox* fontFamily;
    QDoubleSpinBox* fontSize;
    QCheckBox *fontBold, *fontItalic, *wordWrap;
    QComboBox* alignment;
    QLineEdit* numberFormat;
    QDoubleSpinBox* lineWidth;
    // Bands
    QDoubleSpinBox* bandHeight;
    QComboBox* bandDataset;
    QSpinBox* bandColumns;
    QDoubleSpinBox* bandColumnGap;
    QLineEdit* groupCondition;
    QPushButton* conditionFields;
    QCheckBox *groupNewPage, *groupKeepTogether, *printIfNotEmpty;
    // The page
    QLineEdit* reportName;
    QComboBox* pageSize;
    QDoubleSpinBox *pageWidth, *pageHeight;
    QComboBox* orientation;
    QDoubleSpinBox *marginLeft, *marginTop, *marginRight, *marginBottom;

  private:
    QDoubleSpinBox* millimetres(double max);
    QPushButton* fieldButton(QLineEdit* target);
    void refresh();
    void showObject(const ReportObject& o);
    void showBand(const Band& b);
    void showPage(const Report& r);
    void objects(int key, const QString& text, const std::function<void(ReportObject&)>& set,
                 const std::function<bool(const ReportObject&)>& fits = {});
    void band(int key, const QString& text, const std::function<void(Band&)>& set);
    void page(int key, const QString& text, const std::function<void(Report&)>& set);

    DesignerDocument& document_;
    std::function<std::vector<DatasetFields>()> fields_;
    QStackedWidget* stack_ = nullptr;
    QLabel* objectKind_ = nullptr;
    QLabel* bandKind_ = nullptr;
    QFormLayout* objectForm_ = nullptr;
    QFormLayout* bandForm_ = nullptr;
    bool showing_ = false;
};

}  // namespace reports
