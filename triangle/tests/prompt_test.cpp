// LesInput's rules, whatever dialog a face shows: what the dialog is given and what comes back.
#include "Prompt.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

TEST(LesInput, CutsMasksOnlyPassordAndCancelGivesEmpty) {
    const std::string long300(300, 'x'), cut255(255, 'x');
    const struct {
        const char* name;
        std::string prompt;
        std::string proposed;
        std::optional<std::string> typed; // nothing: cancelled
        std::string answer;
        bool masked;
    } rows[] = {
        {"OK", "Vinkel a:", "26.57", "30", "30", false},
        {"Cancel with text in the field", "Lengde Y", "100", std::nullopt, "", false},
        {"OK with an empty field", "Lengde Y", "100", "", "", false},
        {"a long answer is cut", "Lengde X", "", long300, cut255, false},
        {"long prompt and proposal are cut", long300, long300, "1", "1", false},
        {"Passord masks; the answer is plain", "Passord", "abc", "abc", "abc", true},
        {"with a colon it does not", "Passord:", "abc", "abc", "abc", false},
        {"in other letter case it does not", "passord", "abc", "abc", "abc", false},
    };
    for (const auto& row : rows) {
        input::Prompt shown;
        input::setPromptDialog([&](const input::Prompt& p) {
            shown = p;
            return row.typed;
        });
        EXPECT_EQ(input::LesInput(row.prompt, row.proposed), row.answer) << row.name;
        EXPECT_EQ(shown.prompt, row.prompt.substr(0, 255)) << row.name;
        EXPECT_EQ(shown.proposed, row.proposed.substr(0, 255)) << row.name;
        EXPECT_EQ(shown.masked, row.masked) << row.name;
    }
    input::setPromptDialog(nullptr);
    EXPECT_EQ(input::LesInput("Lengde X", "200"), "") << "no dialog wired";
}
