// Text measures of a toolkit stand-in: every character 11 pixels wide, every line 19 high, so that the
// layout's arithmetic shows in the positions (the window's own start values are 15 and 20).
#pragma once

#include "Scene.h"

#include <string>
#include <string_view>

namespace scenetest {

inline constexpr int kW = 11;
inline constexpr int kH = 19;

inline std::string utf8(std::u8string_view text) {
    return std::string(text.begin(), text.end());
}

class FakeMeasure : public trekant::TextMeasure {
public:
    int advance(const trekant::Font& font, std::string_view text) override {
        measured = font;
        int characters = 0;
        for (const char c : text)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        return kW * characters;
    }
    int height(const trekant::Font& font, std::string_view) override {
        measured = font;
        return kH;
    }
    trekant::Font measured;
};

} // namespace scenetest
