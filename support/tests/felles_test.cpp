#include "Felles.h"
#include "TempEnvironment.h"

#include <gtest/gtest.h>

#include "platform.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace felles;

namespace {

struct NumberRow {
    const char* name;
    int bredde;
    int desimaler;
    double verdi;
    const char* expected;
};

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

} // namespace

TEST(TallTilTekst, NamedCases) {
    const NumberRow rows[] = {
        {"display form drops all zero decimals", 0, 0, 200, "200"},
        {"display form rounds to two decimals", 0, 0, 26.56505, "26.57"},
        {"display form below one", 0, 0, 0.4472, "0.45"},
        {"zero", 0, 0, 0, "0"},
        {"zeros before the point stay", 0, 0, 40000, "40000"},
        {"hundred is not one", 0, 0, 100, "100"},
        {"one trailing zero goes", 0, 0, 0.5, "0.5"},
        {"rounding up to a whole number", 0, 0, 2.999, "3"},
        {"one decimal", 0, 1, 223.6068, "223.6"},
        {"one decimal keeps its zero", 0, 1, 200, "200.0"},
        {"width pads in front", 6, 2, 3.14159, "  3.14"},
        {"width smaller than the number", 2, 2, 123.456, "123.46"},
        {"no decimals means no point", 5, 0, 2.5, "    3"},
        {"half up on the 18-digit form", 0, 0, 0.125, "0.13"},
        {"negative half rounds away from zero", 0, 0, -0.125, "-0.13"},
        {"2.675 is 2.67499999999999982", 0, 0, 2.675, "2.67"},
        {"9.995 is 9.99499999999999922", 0, 0, 9.995, "9.99"},
        {"carry through the decimals", 0, 0, 9.9951, "10"},
        {"carry adds a leading digit", 0, 2, 99.995, "100.00"},
        {"negative carry", 0, 2, -99.995, "-100.00"},
        {"negative rounding to zero shows no sign", 0, 2, -0.001, "0.00"},
        {"negative zero", 0, 0, -0.0, "0"},
        {"tiny value below the 17th decimal", 0, 3, 1e-20, "0.000"},
        {"more decimals than the 18 digits", 0, 20, 0.5, "0.50000000000000000000"},
        {"huge value in exponent form", 0, 0, 1e40, "1E+40"},
        {"huge value with decimals", 0, 3, -2.5e36, "-2.500E+36"},
        {"infinity", 0, 0, INFINITY, "INF"},
        {"negative infinity", 4, 1, -INFINITY, "-INF"},
        {"not a number", 0, 0, NAN, "NAN"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(TallTilTekst(row.bredde, row.desimaler, row.verdi), row.expected) << row.name;
}

TEST(TallTilTekst, LargeValueHasEighteenSignificantDigitsThenZeros) {
    // 18 significant digits of 123456789012345683968 are 123456789012345684, so the rest are zeros.
    EXPECT_EQ(TallTilTekst(0, 0, 123456789012345683968.0), "123456789012345684000");
}

TEST(TallTilTekst, ResultIsAShortText) {
    EXPECT_EQ(TallTilTekst(255, 255, 1.5).size(), kShortTextMax);
    EXPECT_EQ(TallTilTekst(300, 2, 1.5).size(), kShortTextMax);
}

TEST(TallTilTekst, MatchesEveryReferenceVector) {
#ifdef TEST_DATA_DIR
    std::ifstream file(std::string(TEST_DATA_DIR) + "/talltiltekst.tsv");
#else
    // A cross build's tests run where the build machine's paths mean nothing: the data lies beside them.
    std::ifstream file(fs::path(platform::programFile()).parent_path() / "data" / "talltiltekst.tsv");
#endif
    ASSERT_TRUE(file) << "missing test data";
    std::string line;
    int checked = 0;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto fields = splitTabs(line);
        ASSERT_EQ(fields.size(), 4u) << line;
        const int bredde = std::stoi(fields[0]);
        const int desimaler = std::stoi(fields[1]);
        const double verdi = std::strtod(fields[2].c_str(), nullptr);
        EXPECT_EQ(TallTilTekst(bredde, desimaler, verdi), fields[3]) << "row: " << line;
        ++checked;
    }
    EXPECT_EQ(checked, 3296);
}

TEST(TekstTilTall, Cleaning) {
    const struct {
        const char* name;
        const char* tekst;
        double expected;
    } rows[] = {
        {"comma as decimal point", "12,5", 12.5},
        {"point as decimal point", "3.14", 3.14},
        {"comma and point read alike", "3,14", 3.14},
        {"blanks inside are dropped", "1 000", 1000},
        {"unit letters are dropped", "12 cm", 12},
        {"capital E is an exponent", "1E3", 1000},
        {"lower-case e is dropped", "1e3", 13},
        {"negative exponent", "25E-1", 2.5},
        {"leading sign", "-30", -30},
        {"plus sign", "+7", 7},
        {"leading point", ".5", 0.5},
        {"two points", "1.234,5", 0},
        {"sign in the middle", "2+3", 0},
        {"letters only", "abc", 0},
        {"lone minus sign", "-", 0},
        {"lone point", ".", 0},
        {"exponent without digits", "5E", 0},
        {"empty", "", 0},
        {"out of range", "1E999", 0},
        {"tab and other characters are dropped", "\t4\n2", 42},
    };
    for (const auto& row : rows)
        EXPECT_DOUBLE_EQ(TekstTilTall(row.tekst), row.expected) << row.name;
}

TEST(TekstTilTall, ReadsTheNearestDouble) {
    EXPECT_EQ(TekstTilTall("0,1"), 0.1);
    EXPECT_EQ(TekstTilTall("26.565051177078"), 26.565051177078);
}

TEST(SkjulTekst, ScramblesAndFrames) {
    EXPECT_EQ(SkjulTekst("abc"), "zbdf2");
    EXPECT_EQ(SkjulTekst(""), "z2");
    // Codes wrap around at 256.
    EXPECT_EQ(SkjulTekst("\xff"), std::string("z\x00", 2) + "2");
}

TEST(SkjulTekst, RoundTripsUpTo253Characters) {
    std::string all;
    for (int i = 0; i < 253; ++i)
        all.push_back(static_cast<char>((i * 37 + 200) & 0xFF));
    EXPECT_EQ(AvdekkTekst(SkjulTekst(all)), all);
    EXPECT_EQ(SkjulTekst(all).size(), 255u);
}

TEST(SkjulTekst, LongTextsLoseTheirEnd) {
    const std::string t254(254, 'p');
    const std::string s254 = SkjulTekst(t254);
    EXPECT_EQ(s254.size(), 255u);
    EXPECT_NE(s254.back(), '2');
    EXPECT_EQ(AvdekkTekst(s254), t254.substr(0, 253));

    const std::string t255(255, 'q');
    EXPECT_EQ(SkjulTekst(t255).size(), 255u);
    EXPECT_EQ(AvdekkTekst(SkjulTekst(t255)), t255.substr(0, 253));
}

TEST(AvdekkTekst, ShortTexts) {
    EXPECT_EQ(AvdekkTekst(""), "");
    EXPECT_EQ(AvdekkTekst("x"), "");
    EXPECT_EQ(AvdekkTekst("z2"), "");
    EXPECT_EQ(AvdekkTekst("zbdf2"), "abc");
    // The frame characters are dropped whatever they are.
    EXPECT_EQ(AvdekkTekst("Qbdf!"), "abc");
}

TEST(ByttEndelse, Cases) {
    const struct {
        const char* name;
        const char* filnavn;
        const char* endelse;
        const char* expected;
    } rows[] = {
        {"ordinary extension", "C:\\data\\kart.xml", "tmp", "C:\\data\\kart.tmp"},
        {"no point at all", "kart", "old", "kart.old"},
        {"first point lies in a folder", "C:\\ver1.2\\kart.xml", "tmp", "C:\\ver1.tmp"},
        {"only ten characters go", "a.abcdefghijkl", "tmp", "a.kltmp"},
        {"point at the end", "kart.", "tmp", "kart.tmp"},
        {"empty name", "", "tmp", ".tmp"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ByttEndelse(row.filnavn, row.endelse), row.expected) << row.name;
}

TEST(FilStorrelse, SizesAndFailures) {
    testsupport::TempFolder folder;
    const fs::path file = folder.path() / "data.bin";
    testsupport::WriteFileBytes(file, std::string(1234, 'x'));
    EXPECT_EQ(FilStorrelse(file.string()), 1234);

    const fs::path empty = folder.path() / "empty.bin";
    testsupport::WriteFileBytes(empty, "");
    EXPECT_EQ(FilStorrelse(empty.string()), 0);

    EXPECT_EQ(FilStorrelse((folder.path() / "missing.bin").string()), 0);
    EXPECT_EQ(FilStorrelse(folder.str()), 0) << "a folder is no file";
    EXPECT_EQ(FilStorrelse(""), 0);

    // Read-only for everyone, root included, because no write bit is set.
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(FilStorrelse(file.string()), 0);
    fs::permissions(file, fs::perms::owner_all);
    EXPECT_EQ(FilStorrelse(file.string()), 1234);
}

TEST(CutText, KeepsUtf8SequencesWhole) {
    EXPECT_EQ(CutText("abc", 2), "ab");
    EXPECT_EQ(CutText("ab", 255), "ab");
    // "æ" is two bytes; a cut after its first byte moves before it.
    EXPECT_EQ(CutText("a\xc3\xa6", 2), "a");
    // A text that is no UTF-8 is cut at the byte.
    EXPECT_EQ(CutText("a\xc3\xc3", 2), "a\xc3");
}

TEST(OneLine, LineEndsAndControlCharactersBecomeOneBlank) {
    const struct {
        const char* name;
        const char* text;
        const char* line;
    } rows[] = {
        {"socket error text", "Socket Error # 10054\r\nConnection reset by peer.",
         "Socket Error # 10054 Connection reset by peer."},
        {"bare line feed and tab", "a\nb\tc", "a b c"},
        {"a bare carriage return inside a reply line", "530 Login\rincorrect.", "530 Login incorrect."},
        {"control characters at the ends go", "\r\n 530 x \r\n", " 530 x "},
        {"nothing but line ends", "\r\n\r\n", ""},
        {"letters beyond ASCII stay", "550 Fil \xc3\xa6\x7f\xc3\xb8", "550 Fil \xc3\xa6 \xc3\xb8"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(OneLine(row.text), row.line) << row.name;
    }
}
