// Every message the program shows, behind one small interface.
//
// Core code never opens a window: when a rule has to warn the operator or ask
// him something (the cascade delete asks twice), it calls prompts(). The ui
// installs an implementation with the program's real message boxes; tests
// install a ScriptedPrompts that answers from a script.
//
// The four boxes carry the application title as caption, so they take none;
// only the input box has a title of its own.
#pragma once

#include <QString>

namespace platform {

class Prompts {
  public:
    virtual ~Prompts() = default;

    // The warning box: warning icon, one acknowledging button.
    virtual void warning(const QString& text) = 0;
    // The question box: true only when the operator answers Yes ("&Sì").
    virtual bool question(const QString& text) = 0;
    // The plain message box with one "OK" button.
    virtual void message(const QString& text) = 0;
    // The standard error box. `message` is the error's own text; the box adds
    // the closing full stop where the error box rule wants one.
    virtual void error(const QString& message) = 0;
    // The input box with "OK" and "Cancel": the text typed, "" on "Cancel".
    virtual QString input(const QString& title, const QString& prompt,
                          const QString& initialText) = 0;
};

// The process-wide instance; throws std::logic_error when none is installed,
// since asking the operator nothing would silently take a decision for him.
Prompts& prompts();

// The installed instance, or nullptr: for the one caller that must not fail
// when there is none, the error box of a handler.
Prompts* installedPrompts();

// Installs `instance` (nullptr removes it) and returns the one it replaces.
Prompts* setPrompts(Prompts* instance);

// Installs an instance for the lifetime of the guard, then puts the previous
// one back.
class PromptsScope {
  public:
    explicit PromptsScope(Prompts& instance) : previous_(setPrompts(&instance)) {}
    ~PromptsScope() { setPrompts(previous_); }
    PromptsScope(const PromptsScope&) = delete;
    PromptsScope& operator=(const PromptsScope&) = delete;

  private:
    Prompts* previous_;
};

}  // namespace platform
