#include "TriangleWindow.h"

#include "Felles.h"
#include "Prompt.h"

#include <exception>

namespace trekant {

namespace {

constexpr MenuItem kFilItems[] = {
    {"Lukk1", "Lukk", {'Q', true}, MenuAction::Lukk},
};
constexpr MenuItem kVinkelItems[] = {
    {"vinkela1", "Vinkel", {'A', false}, MenuAction::AngleA},
    {"vinkelb1", "Vinkel", {'B', false}, MenuAction::AngleB},
};
constexpr MenuItem kSiderItems[] = {
    {"Katet1", "Katet", {'X', false}, MenuAction::LegX},
    {"Katet2", "Katet", {'Y', false}, MenuAction::LegY},
    {"HypotenusZ1", "Hypotenus", {'Z', false}, MenuAction::HypotenuseZ},
};
constexpr Menu kMainMenu[] = {
    {"Fil1", "&Fil", kFilItems},
    {"Vinkel1", "&Vinkel", kVinkelItems},
    {"Sider1", "Sider", kSiderItems},
};

constexpr int kKeyA = 65;

Command commandOf(MenuAction action) {
    switch (action) {
    case MenuAction::AngleB:
        return Command::AngleB;
    case MenuAction::LegX:
        return Command::LegX;
    case MenuAction::LegY:
        return Command::LegY;
    case MenuAction::HypotenuseZ:
        return Command::HypotenuseZ;
    case MenuAction::AngleA:
    case MenuAction::Lukk:
        break;
    }
    return Command::AngleA;
}

enum class RepaintRule { AsCommand, Never };

// Asks, applies and repaints as the command says. Nothing escapes to the face's event loop: an error
// ends the command where it failed and is shown. False when it did.
bool runCommand(Command command, RepaintRule rule, CommandWindow& window) {
    try {
        const std::string proposed = felles::TallTilTekst(0, 0, currentValue(command));
        const std::string answer = input::LesInput(promptFor(command), proposed);
        if (applyAnswer(command, answer) == Repaint::Yes && rule == RepaintRule::AsCommand)
            window.repaintNow();
        return true;
    } catch (const std::exception& e) {
        window.showError(e.what());
    } catch (...) {
        window.showError("Unknown error");
    }
    return false;
}

} // namespace

std::span<const Menu> MainMenu() {
    return kMainMenu;
}

std::optional<MenuAction> ShortcutAction(int key, Modifiers modifiers) {
    if (modifiers.shift || modifiers.alt)
        return std::nullopt;
    for (const Menu& menu : kMainMenu)
        for (const MenuItem& item : menu.items)
            if (item.shortcut.key == key && item.shortcut.ctrl == modifiers.ctrl)
                return item.action;
    return std::nullopt;
}

void RunMenuAction(MenuAction action, CommandWindow& window) {
    if (action == MenuAction::Lukk) {
        window.closeWindow();
        return;
    }
    runCommand(commandOf(action), RepaintRule::AsCommand, window);
}

void FormKeyDown(int key, Modifiers, CommandWindow& window) {
    // The command's own repaint is left out; the one below follows every key. An error ends the
    // handler before it, as it ends the command.
    if (key == kKeyA && !runCommand(Command::AngleA, RepaintRule::Never, window))
        return;
    window.repaintNow();
}

} // namespace trekant
