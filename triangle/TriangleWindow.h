// The triangle window without a toolkit: its caption and size, the main menu as a table (names,
// captions, shortcuts, the command each item runs), the key rule of FormKeyDown, and running a
// command (ask, apply, repaint at once, or show the arithmetic error). A face builds its menus from
// the table and hands menu choices and keys over; it repaints and shows messages when asked.
#pragma once

#include "TriangleModel.h"

#include <optional>
#include <span>
#include <string>

namespace trekant {

inline constexpr const char* kCaption = "Pytagoras";
// The outer size, frame included; the window opens centred on the screen, white.
inline constexpr int kOuterWidth = 950;
inline constexpr int kOuterHeight = 700;

enum class MenuAction { Lukk, AngleA, AngleB, LegX, LegY, HypotenuseZ };

// Modifier keys held with a key.
struct Modifiers {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    friend bool operator==(const Modifiers&, const Modifiers&) = default;
};

// A shortcut: a letter key ('A'..'Z', its virtual-key code), alone or with Ctrl.
struct Shortcut {
    int key = 0;
    bool ctrl = false;
};

struct MenuItem {
    const char* name;    // the item's name in the window ("vinkela1")
    const char* caption; // "Vinkel"
    Shortcut shortcut;   // shown beside the caption
    MenuAction action;
};

struct Menu {
    const char* name;    // "Vinkel1"
    const char* caption; // "&Vinkel"; "&" marks the mnemonic
    std::span<const MenuItem> items;
};

// MainMenu1: "&Fil" (Lukk, Ctrl+Q), "&Vinkel" (Vinkel A, Vinkel B), "Sider" (Katet X, Katet Y,
// Hypotenus Z), in this order.
std::span<const Menu> MainMenu();

// The menu item a key press is the shortcut of, if any: plain A, B, X, Y, Z and Ctrl+Q. Shortcuts
// are matched before the key handler, which then never sees the key.
std::optional<MenuAction> ShortcutAction(int key, Modifiers modifiers);

// What a command needs of the window.
class CommandWindow {
public:
    virtual ~CommandWindow() = default;
    // Repaints the paint box before returning (BuildScene runs inside).
    virtual void repaintNow() = 0;
    // Shows the text of an error that stopped a command, in a message box; the window keeps running.
    virtual void showError(const std::string& message) = 0;
    // Closes the main window, which ends the program.
    virtual void closeWindow() = 0;
};

// A menu item chosen, by mouse, keyboard or shortcut: asks through input::LesInput, applies the
// answer to the model and repaints when the command does; an arithmetic error goes to showError and
// ends the command where it failed.
void RunMenuAction(MenuAction action, CommandWindow& window);

// A key that reached the window's key handler (no shortcut matched it): the A key (65) with any
// modifier runs the angle-a command without its own repaint; then every key repaints, unless the
// command stopped with an error.
void FormKeyDown(int key, Modifiers modifiers, CommandWindow& window);

} // namespace trekant
