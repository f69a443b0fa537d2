// Prompts answered from a script, for tests of code that talks to the operator.
//
// The test lists, in order, every prompt it expects the program to show and
// the answer to give. Each prompt shown is recorded; one the script did not
// expect (wrong kind, wrong text, or past the end of the script) is recorded
// as a failure and raises UnexpectedPrompt, which is not a platform::Error, so
// the program's own handlers do not take it for an operator-facing error.
// An unexpected error box is only recorded: it is shown where a handler's
// error ends, so the test goes on instead of waiting on a box nobody answers.
// A test ends by checking finished(): every step used, no failure.
#pragma once

#include "platform/prompts.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

namespace platform {

enum class PromptKind { Warning, Question, Message, Error, Input };

QString promptKindName(PromptKind kind);

struct ShownPrompt {
    PromptKind kind;
    QString title;        // the input box's title; empty for the boxes, whose caption is fixed
    QString text;         // the message, or the input box's prompt
    QString initialText;  // input box only
};

class UnexpectedPrompt : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

class ScriptedPrompts : public Prompts {
  public:
    // Each step expects one prompt; std::nullopt accepts any text.
    ScriptedPrompts& expectWarning(std::optional<QString> text);
    ScriptedPrompts& expectQuestion(std::optional<QString> text, bool answerYes);
    ScriptedPrompts& expectMessage(std::optional<QString> text);
    ScriptedPrompts& expectError(std::optional<QString> message);
    // `reply` is what the operator types; "" stands for "Cancel" as well.
    ScriptedPrompts& expectInput(std::optional<QString> title, std::optional<QString> prompt,
                                 QString reply);

    const std::vector<ShownPrompt>& shown() const { return shown_; }
    const QStringList& failures() const { return failures_; }
    qsizetype pending() const { return qsizetype(steps_.size()); }
    bool finished() const { return steps_.empty() && failures_.isEmpty(); }

    void warning(const QString& text) override;
    bool question(const QString& text) override;
    void message(const QString& text) override;
    void error(const QString& message) override;
    QString input(const QString& title, const QString& prompt, const QString& initialText) override;

  private:
    struct Step {
        PromptKind kind;
        std::optional<QString> title;
        std::optional<QString> text;
        bool yes = false;
        QString reply;
    };
    Step take(ShownPrompt shown);

    std::deque<Step> steps_;
    std::vector<ShownPrompt> shown_;
    QStringList failures_;
};

}  // namespace platform
