// The prompts of core code shown with the program's own boxes: Mymsg for the
// warning and question boxes, the plain box with "OK", the error box, and the
// input box.
#pragma once

#include "platform/prompts.h"

namespace ui {

class MessageBoxPrompts : public platform::Prompts {
  public:
    void warning(const QString& text) override;
    bool question(const QString& text) override;
    void message(const QString& text) override;
    void error(const QString& message) override;
    QString input(const QString& title, const QString& prompt, const QString& initialText) override;
};

}  // namespace ui
