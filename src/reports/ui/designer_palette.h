// The designer's object palette: the pointer and the six kinds of object an
// operator places on a band (text, field, expression, line, rectangle,
// barcode). One item is chosen at a time, with a click or Ctrl+0 (pointer)
// to Ctrl+6; the palette goes back to the pointer once the object is placed.
#pragma once

#include "reports/designer_edits.h"

#include <QToolBar>
#include <optional>

class QActionGroup;

namespace reports {

class DesignerPalette : public QToolBar {
    Q_OBJECT
  public:
    explicit DesignerPalette(QWidget* parent = nullptr);

    std::optional<PaletteItem> chosen() const { return chosen_; }
    // Chooses `item` (none: the pointer) as if its button were pressed.
    void choose(std::optional<PaletteItem> item);

  signals:
    void chosenChanged(std::optional<reports::PaletteItem> item);

  private:
    QActionGroup* group_ = nullptr;
    QAction* pointer_ = nullptr;
    std::optional<PaletteItem> chosen_;
};

}  // namespace reports
