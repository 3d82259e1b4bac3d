// The triangle window's commands as any face runs them: the menu table, which keys are shortcuts, and
// a command's road from the prompt to the repaint, with a window that paints the scene when asked.
#include "FakeMeasure.h"
#include "Prompt.h"
#include "Scene.h"
#include "TriangleWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace trekant;

namespace {

class FakeWindow : public CommandWindow {
public:
    void repaintNow() override {
        ++repaints;
        scene = BuildScene(geometry, measure);
    }
    void showError(const std::string& message) override { errors.push_back(message); }
    void closeWindow() override { ++closes; }

    bool shows(const std::string& text) const {
        return std::any_of(scene.items.begin(), scene.items.end(), [&](const SceneItem& item) {
            const auto* t = std::get_if<Text>(&item);
            return t && t->utf8 == text;
        });
    }

    int repaints = 0;
    int closes = 0;
    std::vector<std::string> errors;
    Scene scene;
    Geometry geometry;
    scenetest::FakeMeasure measure;
};

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        resetQuantities();
        input::setPromptDialog([this](const input::Prompt& p) -> std::optional<std::string> {
            asked.push_back(p);
            return answer;
        });
        window.repaintNow(); // the first paint derives Z, a and b
    }
    void TearDown() override {
        input::setPromptDialog(nullptr);
        resetQuantities();
    }

    // Before each command: nothing asked or shown yet, the answer the dialog gives; the repaints so far.
    int ready(const std::optional<std::string>& next) {
        asked.clear();
        window.errors.clear();
        answer = next;
        return window.repaints;
    }
    std::vector<std::string> errorsExpected(const char* error) const {
        return *error ? std::vector<std::string>{error} : std::vector<std::string>{};
    }

    FakeWindow window;
    std::vector<input::Prompt> asked;
    std::optional<std::string> answer;
};

} // namespace

TEST(MainMenu, ItemsCaptionsAndShortcuts) {
    std::vector<std::string> shown;
    for (const Menu& menu : MainMenu()) {
        std::string line = std::string(menu.name) + " " + menu.caption + ":";
        for (const MenuItem& item : menu.items)
            line += std::string(" ") + item.name + " " + item.caption + " " + (item.shortcut.ctrl ? "Ctrl+" : "") +
                    char(item.shortcut.key);
        shown.push_back(line);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Fil1 &Fil: Lukk1 Lukk Ctrl+Q",
                         "Vinkel1 &Vinkel: vinkela1 Vinkel A vinkelb1 Vinkel B",
                         "Sider1 Sider: Katet1 Katet X Katet2 Katet Y HypotenusZ1 Hypotenus Z",
                     }));
    EXPECT_STREQ(kCaption, "Pytagoras");
    EXPECT_EQ(kOuterWidth, 950);
    EXPECT_EQ(kOuterHeight, 700);
}

TEST(MainMenu, OnlyPlainLettersAndCtrlQAreShortcuts) {
    const Modifiers none, shift{true, false, false}, ctrl{false, true, false}, alt{false, false, true};
    const struct {
        int key;
        Modifiers held;
        std::optional<MenuAction> action;
    } rows[] = {
        {'A', none, MenuAction::AngleA},
        {'B', none, MenuAction::AngleB},
        {'X', none, MenuAction::LegX},
        {'Y', none, MenuAction::LegY},
        {'Z', none, MenuAction::HypotenuseZ},
        {'Q', ctrl, MenuAction::Lukk},
        {'A', shift, std::nullopt},
        {'A', ctrl, std::nullopt},
        {'X', alt, std::nullopt},
        {'Q', none, std::nullopt},
        {'Q', Modifiers{true, true, false}, std::nullopt},
        {'C', none, std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ShortcutAction(row.key, row.held), row.action) << char(row.key);
}

TEST_F(Commands, MenuActionsAskApplyAndRepaint) {
    const struct {
        const char* name;
        MenuAction action;
        std::optional<std::string> answer;
        const char* prompt;
        const char* proposed;
        bool repaints;
        const char* error;
        std::u8string_view labelAfter;
    } rows[] = {
        {"angle a 30", MenuAction::AngleA, "30", "Vinkel a:", "26.57", true, "", u8"X = 173.21"},
        {"angle a cancel", MenuAction::AngleA, std::nullopt, "Vinkel a:", "30", false, "", u8"X = 173.21"},
        {"angle a OK empty", MenuAction::AngleA, "", "Vinkel a:", "30", false, "", u8"X = 173.21"},
        {"angle b 60", MenuAction::AngleB, "60", "Vinkel b:", "60", true, "", u8"b = 60°"},
        {"angle a 0", MenuAction::AngleA, "0", "Vinkel a:", "30", false, "Floating point division by zero",
         u8"a = 30°"},
        {"angle a -30", MenuAction::AngleA, "-30", "Vinkel a:", "30", false, "Invalid floating point operation",
         u8"X = 173.21"},
        {"angle a 90", MenuAction::AngleA, "90", "Vinkel a:", "30", true, "", u8"b = 0°"},
        {"leg X abc", MenuAction::LegX, "abc", "Lengde X", "0", true, "", u8"a = 90°"},
        {"leg X 200", MenuAction::LegX, "200", "Lengde X", "0", true, "", u8"Z = 223.6"},
        {"leg X cancel", MenuAction::LegX, std::nullopt, "Lengde X", "200", true, "", u8"X = 200"},
        {"leg Y negative", MenuAction::LegY, "-100", "Lengde Y", "100", true, "", u8"Y = -100"},
        {"leg Y cancel", MenuAction::LegY, std::nullopt, "Lengde Y", "-100", true, "", u8"Y = -100"},
        {"leg Y back", MenuAction::LegY, "100", "Lengde Y", "-100", true, "", u8"Y = 100"},
        {"hypotenuse 150", MenuAction::HypotenuseZ, "150", "Lengde Z", "223.61", true, "", u8"X = 111.8"},
        {"hypotenuse 50", MenuAction::HypotenuseZ, "50", "Lengde Z", "150", true, "", u8"Z = 132.3"},
        {"hypotenuse cancel", MenuAction::HypotenuseZ, std::nullopt, "Lengde Z", "132.29", true, "", u8"X = 86.6"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int before = ready(row.answer);
        RunMenuAction(row.action, window);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].prompt, row.prompt);
        EXPECT_EQ(asked[0].proposed, row.proposed);
        EXPECT_FALSE(asked[0].masked);
        EXPECT_EQ(window.repaints - before, row.repaints ? 1 : 0);
        EXPECT_EQ(window.errors, errorsExpected(row.error));
        window.repaintNow();
        const std::string label = scenetest::utf8(row.labelAfter);
        EXPECT_TRUE(window.shows(label)) << label;
    }
    RunMenuAction(MenuAction::Lukk, window);
    EXPECT_EQ(window.closes, 1);
    EXPECT_EQ(asked.size(), 1u) << "Lukk asks nothing";
}

TEST_F(Commands, KeyHandlerRunsAngleAForTheAKeyAndRepaintsForEveryKey) {
    const Modifiers shift{true, false, false}, ctrl{false, true, false};
    const int arrowLeft = 0x25;
    const struct {
        const char* name;
        int key;
        Modifiers held;
        std::optional<std::string> answer;
        bool asks;
        int repaints;
        const char* error;
    } rows[] = {
        {"Shift+A cancelled", 'A', shift, std::nullopt, true, 1, ""},
        {"Ctrl+A cancelled", 'A', ctrl, std::nullopt, true, 1, ""},
        {"Shift+A 30: one repaint, not the command's too", 'A', shift, "30", true, 1, ""},
        {"an arrow key only repaints", arrowLeft, {}, "30", false, 1, ""},
        {"Shift+B only repaints", 'B', shift, "30", false, 1, ""},
        {"an error ends the handler before its repaint", 'A', shift, "0", true, 0, "Floating point division by zero"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int before = ready(row.answer);
        FormKeyDown(row.key, row.held, window);
        EXPECT_EQ(asked.size(), row.asks ? 1u : 0u);
        EXPECT_TRUE(!row.asks || asked.at(0).prompt == "Vinkel a:");
        EXPECT_EQ(window.repaints - before, row.repaints);
        EXPECT_EQ(window.errors, errorsExpected(row.error));
    }
    EXPECT_TRUE(window.shows(scenetest::utf8(u8"a = 30°")));
}
