#include "Prompt.h"

#include "Felles.h"

namespace input {

namespace {

PromptDialog g_dialog;

} // namespace

Prompt MakePrompt(const std::string& prompt, const std::string& proposed) {
    // Only the exact word masks: "Passord:" or "passord" do not.
    return Prompt{felles::CutText(prompt), felles::CutText(proposed), prompt == "Passord"};
}

void setPromptDialog(PromptDialog dialog) {
    g_dialog = std::move(dialog);
}

std::string LesInput(const std::string& prompt, const std::string& proposed) {
    if (!g_dialog)
        return {};
    const std::optional<std::string> answer = g_dialog(MakePrompt(prompt, proposed));
    return answer ? felles::CutText(*answer) : std::string();
}

} // namespace input
