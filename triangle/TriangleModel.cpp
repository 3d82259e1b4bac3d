#include "TriangleModel.h"

#include "Felles.h"
#include "Matte.h"

namespace trekant {

namespace {

Quantities g_quantities;

// Keeps Y and solves the triangle for a new angle a.
void solveForAngle(Quantities& q, double angleA) {
    q.a = angleA;
    q.Z = matte::divide(q.Y, matte::SinGrader(q.a));
    q.X = matte::KatetFraSider(q.Z, q.Y);
}

} // namespace

Quantities& quantities() {
    return g_quantities;
}

void resetQuantities() {
    g_quantities = Quantities{};
}

void UtledVerdier() {
    Quantities& q = g_quantities;
    q.Z = matte::HypotenusFraKateter(q.X, q.Y);
    q.a = matte::VinkelFraSider(q.Z, q.Y);
    q.b = q.c - q.a;
}

const char* promptFor(Command command) {
    switch (command) {
    case Command::AngleA:
        return "Vinkel a:";
    case Command::AngleB:
        return "Vinkel b:";
    case Command::LegX:
        return "Lengde X";
    case Command::LegY:
        return "Lengde Y";
    case Command::HypotenuseZ:
        return "Lengde Z";
    }
    return "";
}

double currentValue(Command command) {
    const Quantities& q = g_quantities;
    switch (command) {
    case Command::AngleA:
        return q.a;
    case Command::AngleB:
        return q.b;
    case Command::LegX:
        return q.X;
    case Command::LegY:
        return q.Y;
    case Command::HypotenuseZ:
        return q.Z;
    }
    return 0;
}

Repaint applyAnswer(Command command, const std::string& answer) {
    Quantities& q = g_quantities;
    const bool given = !answer.empty();
    const double value = given ? felles::TekstTilTall(answer) : 0;
    switch (command) {
    case Command::AngleA:
        if (!given)
            return Repaint::No;
        solveForAngle(q, value);
        return Repaint::Yes;
    case Command::AngleB:
        if (!given)
            return Repaint::No;
        // b itself is not stored; the next paint derives it back from X and Y.
        solveForAngle(q, 90 - value);
        return Repaint::Yes;
    case Command::LegX:
        if (given)
            q.X = value;
        return Repaint::Yes;
    case Command::LegY:
        if (given)
            q.Y = value;
        return Repaint::Yes;
    case Command::HypotenuseZ:
        if (given)
            q.Z = value;
        // Even after Cancel: X is solved again from the Z of the last paint.
        q.X = matte::KatetFraSider(q.Z, q.Y);
        return Repaint::Yes;
    }
    return Repaint::No;
}

} // namespace trekant
