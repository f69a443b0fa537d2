#include "platform/prompts.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

using platform::PromptKind;
using platform::ScriptedPrompts;
using platform::UnexpectedPrompt;

namespace {

TEST(Prompts, NoInstanceIsALoudFailure) {
    ASSERT_EQ(platform::setPrompts(nullptr), nullptr);
    EXPECT_THROW(platform::prompts(), std::logic_error);
}

TEST(Prompts, ScopeInstallsAndRestores) {
    ScriptedPrompts outer, inner;
    platform::PromptsScope a(outer);
    {
        platform::PromptsScope b(inner);
        EXPECT_EQ(&platform::prompts(), &inner);
    }
    EXPECT_EQ(&platform::prompts(), &outer);
}

TEST(ScriptedPrompts, AnswersInOrderAndRecordsEachPrompt) {
    ScriptedPrompts script;
    script.expectWarning(QStringLiteral("   OPERAZIONE DI CAMBIO RIFIUTATA !   "))
        .expectQuestion(QStringLiteral("Cancello?"), true)
        .expectQuestion(std::nullopt, false)
        .expectMessage(QStringLiteral("Errore su codice barcode"))
        .expectError(QStringLiteral("Cabinet not found"))
        .expectInput(QStringLiteral("Conferma"),
                     QStringLiteral("Reinserisci la password per confermare il cambio"),
                     QStringLiteral("segreta"))
        .expectInput(std::nullopt, std::nullopt, QString());
    platform::PromptsScope scope(script);

    platform::Prompts& p = platform::prompts();
    p.warning(QStringLiteral("   OPERAZIONE DI CAMBIO RIFIUTATA !   "));
    EXPECT_TRUE(p.question(QStringLiteral("Cancello?")));
    EXPECT_FALSE(p.question(QStringLiteral("Sicuro?")));
    p.message(QStringLiteral("Errore su codice barcode"));
    p.error(QStringLiteral("Cabinet not found"));
    EXPECT_EQ(
        p.input(QStringLiteral("Conferma"),
                QStringLiteral("Reinserisci la password per confermare il cambio"), QString()),
        QStringLiteral("segreta"));
    EXPECT_EQ(p.input(QStringLiteral("T"), QStringLiteral("P"), QStringLiteral("iniziale")),
              QString());  // "Cancel"

    EXPECT_TRUE(script.finished());
    ASSERT_EQ(script.shown().size(), 7u);
    EXPECT_EQ(script.shown()[2].kind, PromptKind::Question);
    EXPECT_EQ(script.shown()[2].text, QStringLiteral("Sicuro?"));
    EXPECT_EQ(script.shown()[5].title, QStringLiteral("Conferma"));
    EXPECT_EQ(script.shown()[6].initialText, QStringLiteral("iniziale"));
    EXPECT_EQ(script.shown()[0].title, QString());
}

TEST(ScriptedPrompts, FailsOnWhatTheScriptDidNotExpect) {
    using Prompts = platform::Prompts;
    const struct {
        const char* name;
        void (*expect)(ScriptedPrompts&);
        void (*ask)(Prompts&);
    } cases[] = {
        {"wrong kind", [](ScriptedPrompts& s) { s.expectWarning(QStringLiteral("Attenzione")); },
         [](Prompts& p) { p.message(QStringLiteral("Attenzione")); }},
        {"wrong text", [](ScriptedPrompts& s) { s.expectWarning(QStringLiteral("Attenzione")); },
         [](Prompts& p) { p.warning(QStringLiteral("Attenzione ")); }},
        {"wrong title",
         [](ScriptedPrompts& s) { s.expectInput(QStringLiteral("Conferma"), std::nullopt, {}); },
         [](Prompts& p) { p.input(QStringLiteral("Errore"), QStringLiteral("Y"), {}); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPrompts script;
        c.expect(script);
        EXPECT_THROW(c.ask(script), UnexpectedPrompt);
        EXPECT_FALSE(script.finished());
        EXPECT_EQ(script.failures().size(), 1);
        EXPECT_EQ(script.pending(), 1);
        EXPECT_EQ(script.shown().size(), 1u);
    }

    ScriptedPrompts empty;
    try {
        empty.question(QStringLiteral("Ripristino?"));
        FAIL();
    } catch (const UnexpectedPrompt& e) {
        EXPECT_STREQ(e.what(), "Unexpected question \"Ripristino?\": the script has no more steps");
    }

    ScriptedPrompts unused;
    unused.expectMessage(std::nullopt);
    EXPECT_FALSE(unused.finished());

    // An error box nobody expected fails the script without raising: it is
    // shown by the handler that caught an error, often the unexpected prompt's.
    ScriptedPrompts errors;
    errors.expectMessage(QStringLiteral("Errore su codice barcode"));
    EXPECT_NO_THROW(errors.error(QStringLiteral("Unexpected message")));
    EXPECT_FALSE(errors.finished());
    EXPECT_EQ(errors.failures().size(), 1);
    EXPECT_EQ(errors.pending(), 1);
}

}  // namespace
