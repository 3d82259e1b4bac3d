// The triangle the window shows, and its commands on plain numbers. No widgets: the window asks,
// calls these and paints.
#pragma once

#include <string>

namespace trekant {

// One triangle per process. X and Y are the lasting state; Z, a and b are derived at every paint.
struct Quantities {
    double X = 200;
    double Y = 100;
    double Z = 0;
    double a = 30;
    double b = 60;
    double c = 90;
};

Quantities& quantities();
// Back to the start values, for tests.
void resetQuantities();

// Z, a and b from X and Y; a is -1 when the arcsine cannot be taken.
void UtledVerdier();

enum class Command { AngleA, AngleB, LegX, LegY, HypotenuseZ };

const char* promptFor(Command command);
// The value the prompt proposes: the current one (for Z, a and b as derived at the last paint).
double currentValue(Command command);

enum class Repaint { No, Yes };

// Applies one answer of the input dialog (empty means Cancel) in the order the command defines.
// Throws matte::ArithmeticError at a failing step; what was assigned before it stays.
Repaint applyAnswer(Command command, const std::string& answer);

} // namespace trekant
