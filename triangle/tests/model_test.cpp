#include "Felles.h"
#include "Matte.h"
#include "TriangleModel.h"

#include <gtest/gtest.h>

#include <string>

using namespace trekant;

namespace {

class TriangleModel : public ::testing::Test {
protected:
    void SetUp() override { resetQuantities(); }
    void TearDown() override { resetQuantities(); }
    Quantities& q = quantities();
};

// The message of the arithmetic error the answer raises, or empty when there is none.
std::string errorOf(Command command, const std::string& answer) {
    try {
        applyAnswer(command, answer);
    } catch (const matte::ArithmeticError& e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(Matte, Helpers) {
    EXPECT_EQ(matte::GraderPerRadian, 57.29577951308232);
    EXPECT_NEAR(matte::SinGrader(30), 0.5, 1e-15);
    EXPECT_NEAR(matte::VinkelFraSider(2, 1), 30, 1e-12);
    EXPECT_EQ(matte::VinkelFraSider(0, 1), -1) << "hypotenuse 0";
    EXPECT_EQ(matte::VinkelFraSider(1, 2), -1) << "side longer than the hypotenuse";
    EXPECT_EQ(matte::KatetFraSider(5, 3), 4);
    EXPECT_EQ(matte::KatetFraSider(3, 5), 4);
    EXPECT_EQ(matte::HypotenusFraKateter(3, 4), 5);
    // Signed comparison: -200 is not greater than 100, so the argument is 100² - 200².
    EXPECT_THROW(matte::KatetFraSider(-200, 100), matte::ArithmeticError);
    EXPECT_THROW(matte::divide(1, 0), matte::ArithmeticError);
}

TEST_F(TriangleModel, StartValuesAndFirstDerivation) {
    EXPECT_EQ(q.X, 200);
    EXPECT_EQ(q.Y, 100);
    EXPECT_EQ(q.Z, 0);
    EXPECT_EQ(q.a, 30);
    EXPECT_EQ(q.b, 60);
    EXPECT_EQ(q.c, 90);
    UtledVerdier();
    EXPECT_NEAR(q.Z, 223.606797749979, 1e-12);
    EXPECT_NEAR(q.a, 26.565051177078, 1e-12);
    EXPECT_NEAR(q.b, 63.434948822922, 1e-12);
    EXPECT_EQ(felles::TallTilTekst(0, 0, currentValue(Command::AngleA)), "26.57");
    EXPECT_EQ(felles::TallTilTekst(0, 0, currentValue(Command::LegX)), "200");
    EXPECT_EQ(felles::TallTilTekst(0, 0, currentValue(Command::HypotenuseZ)), "223.61");
}

TEST_F(TriangleModel, Prompts) {
    EXPECT_STREQ(promptFor(Command::AngleA), "Vinkel a:");
    EXPECT_STREQ(promptFor(Command::AngleB), "Vinkel b:");
    EXPECT_STREQ(promptFor(Command::LegX), "Lengde X");
    EXPECT_STREQ(promptFor(Command::LegY), "Lengde Y");
    EXPECT_STREQ(promptFor(Command::HypotenuseZ), "Lengde Z");
}

TEST_F(TriangleModel, AngleCommandsSolveForX) {
    UtledVerdier();
    EXPECT_EQ(applyAnswer(Command::AngleA, "30"), Repaint::Yes);
    EXPECT_NEAR(q.Z, 200, 1e-12);
    EXPECT_NEAR(q.X, 173.20508075688772, 1e-9);
    EXPECT_EQ(q.Y, 100);
    UtledVerdier();
    EXPECT_NEAR(q.a, 30, 1e-12);
    EXPECT_NEAR(q.b, 60, 1e-12);
    const double xFromA = q.X;

    resetQuantities();
    UtledVerdier();
    EXPECT_EQ(applyAnswer(Command::AngleB, "60"), Repaint::Yes);
    EXPECT_EQ(q.X, xFromA) << "b = 60 is the same triangle as a = 30";
    EXPECT_NEAR(q.b, 63.434948822922, 1e-12) << "b is not stored by the command";
}

TEST_F(TriangleModel, AngleNinetyAndAboveNinety) {
    applyAnswer(Command::AngleA, "90");
    EXPECT_EQ(q.Z, q.Y);
    EXPECT_EQ(q.X, 0);
    UtledVerdier();
    EXPECT_EQ(q.a, 90);
    EXPECT_EQ(q.b, 0);

    applyAnswer(Command::AngleA, "120");
    UtledVerdier();
    EXPECT_NEAR(q.a, 60, 1e-9) << "120 has the sine of 60";
}

TEST_F(TriangleModel, ArithmeticErrorsStopAtTheFailingStep) {
    UtledVerdier();
    const double z = q.Z;
    EXPECT_EQ(errorOf(Command::AngleA, "0"), "Floating point division by zero");
    EXPECT_EQ(q.a, 0) << "assigned before the division";
    EXPECT_EQ(q.Z, z);
    EXPECT_EQ(q.X, 200);

    EXPECT_EQ(errorOf(Command::AngleB, "90"), "Floating point division by zero");
    EXPECT_EQ(q.a, 0);

    EXPECT_EQ(errorOf(Command::AngleA, "-30"), "Invalid floating point operation");
    EXPECT_EQ(q.a, -30);
    EXPECT_NEAR(q.Z, -200, 1e-12) << "computed before the square root failed";
    EXPECT_EQ(q.X, 200);

    // Cancel on Z with a negative Z smaller than Y: (-100)² - (-200)² is negative.
    resetQuantities();
    q.Y = -100;
    q.Z = -200;
    EXPECT_EQ(errorOf(Command::HypotenuseZ, ""), "Invalid floating point operation");
}

TEST_F(TriangleModel, HypotenuseCommand) {
    UtledVerdier();
    applyAnswer(Command::HypotenuseZ, "150");
    EXPECT_NEAR(q.X, 111.80339887498948, 1e-12);

    applyAnswer(Command::HypotenuseZ, "50");
    EXPECT_NEAR(q.X, 86.60254037844386, 1e-12);
    UtledVerdier();
    EXPECT_EQ(felles::TallTilTekst(0, 0, q.Z), "132.29") << "the entered 50 does not survive the paint";
}

TEST_F(TriangleModel, LegCommands) {
    EXPECT_EQ(applyAnswer(Command::LegX, "abc"), Repaint::Yes);
    EXPECT_EQ(q.X, 0);
    UtledVerdier();
    EXPECT_EQ(q.Z, q.Y);
    EXPECT_EQ(q.a, 90);
    EXPECT_EQ(q.b, 0);

    applyAnswer(Command::LegY, "12,5");
    EXPECT_EQ(q.Y, 12.5);
    applyAnswer(Command::LegY, "0");
    UtledVerdier();
    EXPECT_EQ(q.Z, 0);
    EXPECT_EQ(q.a, -1);
    EXPECT_EQ(q.b, 91);
}

TEST_F(TriangleModel, Cancel) {
    UtledVerdier();
    const Quantities before = q;
    EXPECT_EQ(applyAnswer(Command::AngleA, ""), Repaint::No);
    EXPECT_EQ(applyAnswer(Command::AngleB, ""), Repaint::No);
    EXPECT_EQ(applyAnswer(Command::LegX, ""), Repaint::Yes);
    EXPECT_EQ(applyAnswer(Command::LegY, ""), Repaint::Yes);
    EXPECT_EQ(q.X, before.X);
    EXPECT_EQ(q.Y, before.Y);
    EXPECT_EQ(q.Z, before.Z);
    EXPECT_EQ(q.a, before.a);

    // Cancel on Z still solves X from the Z of the last paint: the magnitude of X comes back.
    q.X = -200;
    UtledVerdier();
    EXPECT_EQ(applyAnswer(Command::HypotenuseZ, ""), Repaint::Yes);
    EXPECT_NEAR(q.X, 200, 1e-12);
}
