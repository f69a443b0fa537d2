#include "platform/scripted_prompts.h"

namespace platform {
namespace {

QString describe(PromptKind kind, const std::optional<QString>& title,
                 const std::optional<QString>& text) {
    QString s = promptKindName(kind);
    if (title) s += QStringLiteral(" titled \"%1\"").arg(*title);
    s += text ? QStringLiteral(" \"%1\"").arg(*text) : QStringLiteral(" with any text");
    return s;
}

}  // namespace

QString promptKindName(PromptKind kind) {
    switch (kind) {
        case PromptKind::Warning:
            return QStringLiteral("warning");
        case PromptKind::Question:
            return QStringLiteral("question");
        case PromptKind::Message:
            return QStringLiteral("message");
        case PromptKind::Error:
            return QStringLiteral("error");
        case PromptKind::Input:
            return QStringLiteral("input box");
    }
    return QStringLiteral("prompt");
}

ScriptedPrompts& ScriptedPrompts::expectWarning(std::optional<QString> text) {
    steps_.push_back({PromptKind::Warning, std::nullopt, std::move(text), false, QString()});
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectQuestion(std::optional<QString> text, bool answerYes) {
    steps_.push_back({PromptKind::Question, std::nullopt, std::move(text), answerYes, QString()});
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectMessage(std::optional<QString> text) {
    steps_.push_back({PromptKind::Message, std::nullopt, std::move(text), false, QString()});
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectError(std::optional<QString> message) {
    steps_.push_back({PromptKind::Error, std::nullopt, std::move(message), false, QString()});
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectInput(std::optional<QString> title,
                                              std::optional<QString> prompt, QString reply) {
    steps_.push_back(
        {PromptKind::Input, std::move(title), std::move(prompt), false, std::move(reply)});
    return *this;
}

ScriptedPrompts::Step ScriptedPrompts::take(ShownPrompt prompt) {
    shown_.push_back(prompt);
    const bool isInput = prompt.kind == PromptKind::Input;
    const QString got =
        describe(prompt.kind, isInput ? std::optional(prompt.title) : std::nullopt, prompt.text);
    QString failure;
    if (steps_.empty()) {
        failure = QStringLiteral("Unexpected %1: the script has no more steps").arg(got);
    } else {
        const Step& step = steps_.front();
        if (step.kind != prompt.kind || (step.text && *step.text != prompt.text) ||
            (step.title && *step.title != prompt.title))
            failure = QStringLiteral("Unexpected %1: the script expected a %2")
                          .arg(got, describe(step.kind, step.title, step.text));
    }
    if (!failure.isEmpty()) {
        failures_.append(failure);
        throw UnexpectedPrompt(failure.toStdString());
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    return step;
}

void ScriptedPrompts::warning(const QString& text) {
    take({PromptKind::Warning, QString(), text, QString()});
}

bool ScriptedPrompts::question(const QString& text) {
    return take({PromptKind::Question, QString(), text, QString()}).yes;
}

void ScriptedPrompts::message(const QString& text) {
    take({PromptKind::Message, QString(), text, QString()});
}

void ScriptedPrompts::error(const QString& message) {
    // Recorded only: the error box is where a handler's error ends up, and
    // raising here would carry it out of the handler into the event loop.
    try {
        take({PromptKind::Error, QString(), message, QString()});
    } catch (const UnexpectedPrompt&) {
    }
}

QString ScriptedPrompts::input(const QString& title, const QString& prompt,
                               const QString& initialText) {
    return take({PromptKind::Input, title, prompt, initialText}).reply;
}

}  // namespace platform
