#include "platform/prompts.h"

#include <stdexcept>

namespace platform {
namespace {

Prompts* current = nullptr;

}  // namespace

Prompts& prompts() {
    if (!current) throw std::logic_error("No prompts are installed to ask the operator");
    return *current;
}

Prompts* installedPrompts() {
    return current;
}

Prompts* setPrompts(Prompts* instance) {
    Prompts* previous = current;
    current = instance;
    return previous;
}

}  // namespace platform
