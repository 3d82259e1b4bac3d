// The Win32 face under wine: the triangle window, the input and settings dialogs and the transfer
// window, driven through their own message loops as a user's keys would drive them.
#include "Program.h"
#include "ScenePainter.h"
#include "TransferFixture.h"

#include <commctrl.h>

#include <array>
#include <functional>
#include <optional>

namespace {

using namespace transfertest;

// Steps run one at a time inside a modal dialog's own message loop: each tick comes only once the
// messages the step before posted have been handled.
class ModalScript {
public:
    explicit ModalScript(std::vector<std::function<void()>> steps) {
        s_steps = std::move(steps);
        s_next = 0;
        s_timer = SetTimer(nullptr, 0, 20, tick);
    }
    ~ModalScript() { KillTimer(nullptr, s_timer); }
    static bool done() { return s_next == s_steps.size(); }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        if (s_next < s_steps.size()) {
            s_steps[s_next++]();
        }
    }
    static inline std::vector<std::function<void()>> s_steps;
    static inline std::size_t s_next = 0;
    static inline UINT_PTR s_timer = 0;
};

// What a user's typing does, to the window that has the focus then.
std::function<void()> Key(WPARAM key) {
    return [key] {
        PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
        PostMessageW(GetFocus(), WM_KEYUP, key, 1 | (3u << 30));
    };
}
std::function<void()> Chars(std::wstring text) {
    return [text] {
        for (wchar_t c : text) {
            PostMessageW(GetFocus(), WM_CHAR, c, 1);
        }
    };
}

// A control's rectangle in its parent's client area: left, top, width, height.
std::array<int, 4> PlaceOf(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

std::array<int, 2> ClientSize(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return {rect.right, rect.bottom};
}

// A white bitmap to paint on, as the window's client area would be.
class MemoryCanvas {
public:
    MemoryCanvas(int width, int height) {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        m_bitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        m_old = SelectObject(dc, m_bitmap);
        RECT all{0, 0, width, height};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    ~MemoryCanvas() {
        SelectObject(dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(dc);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    HDC dc;

private:
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
};

// The triangle window with its messages recorded rather than shown in boxes.
struct TestForm : trekant::TPytagorasForm {
    void showError(const std::string& message) override { errors.push_back(message); }
    std::vector<std::string> errors;
};

class Win32FaceTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        trekant::resetQuantities();
        loadIni("[STANDARD]\nLogToFile=1\n");
    }
    void TearDown() override {
        input::setPromptDialog(nullptr);
        // A triangle window that goes ends the program's message loop; here the next test goes on.
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        TransferTest::TearDown();
    }

    // Answers the prompts in order, recording what was asked; nothing more to answer is Cancel.
    void answer(std::vector<std::optional<std::string>> answers) {
        input::setPromptDialog([this, answers, next = std::size_t(0)](const input::Prompt& prompt) mutable {
            asked.push_back(prompt.prompt);
            return next < answers.size() ? answers[next++] : std::nullopt;
        });
    }

    // The program's message loop until nothing is left to do.
    static void pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    std::vector<std::string> asked;
};

TEST_F(Win32FaceTest, MainWindowHasItsCaptionSizePlaceAndMenusFromTheTable) {
    TestForm form;
    RECT outer{};
    GetWindowRect(form.Handle, &outer);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(winui::WindowTextAnsi(form.Handle), "Pytagoras");
    EXPECT_EQ(outer.right - outer.left, 950);
    EXPECT_EQ(outer.bottom - outer.top, 700);
    EXPECT_NEAR(outer.left + 475, (work.left + work.right) / 2, 1);
    EXPECT_NEAR(outer.top + 350, (work.top + work.bottom) / 2, 1);

    HMENU bar = GetMenu(form.Handle);
    wchar_t text[64];
    int position = 0;
    for (const trekant::Menu& menu : trekant::MainMenu()) {
        HMENU popup = GetSubMenu(bar, position);
        GetMenuStringW(bar, UINT(position++), text, 64, MF_BYPOSITION);
        EXPECT_EQ(winui::ToAnsi(text), menu.caption);
        for (const trekant::MenuItem& item : menu.items) {
            GetMenuStringW(popup, UINT(trekant::MenuCommandId(item.action)), text, 64, MF_BYCOMMAND);
            const std::string shortcut = std::string(item.shortcut.ctrl ? "Ctrl+" : "") + char(item.shortcut.key);
            EXPECT_EQ(winui::ToAnsi(text), std::string(item.caption) + "\t" + shortcut) << menu.name;
        }
    }
}

// The figure at the pixels where the Linux window draws it, whatever the values.
TEST_F(Win32FaceTest, PaintDrawsTheFixedFigureWhateverTheValues) {
    TestForm form;
    struct Pixel {
        int x, y;
        COLORREF colour;
    };
    const Pixel figure[] = {
        {350, 420, RGB(0, 0, 128)},     {450, 320, RGB(0, 0, 128)},     {350, 320, RGB(0, 0, 128)}, // the outline
        {250, 520, RGB(128, 128, 128)}, {350, 620, RGB(128, 128, 128)},                             // square on X
        {650, 320, RGB(128, 128, 128)}, {550, 220, RGB(128, 128, 128)},                             // square on Y
        {150, 120, RGB(128, 128, 128)}, {150, 320, RGB(128, 128, 128)},                             // square on Z
        {400, 400, RGB(255, 255, 255)}, {600, 600, RGB(255, 255, 255)},
    };
    auto paintAndCheck = [&](const char* when) {
        MemoryCanvas canvas(950, 700);
        form.PytagorasBoxPaint(canvas.dc);
        for (const Pixel& p : figure) {
            EXPECT_EQ(GetPixel(canvas.dc, p.x, p.y), p.colour) << when << " at " << p.x << "," << p.y;
        }
        // The right-angle mark, a line height from the corner.
        const int h = form.geometry.linjehoyde;
        EXPECT_EQ(GetPixel(canvas.dc, 450 - h, 420 - h / 2), RGB(0, 0, 128)) << when;
        EXPECT_EQ(GetPixel(canvas.dc, 450 - h / 2, 420 - h), RGB(0, 0, 128)) << when;
    };
    paintAndCheck("at start");
    trekant::quantities().X = -3000;
    trekant::quantities().Y = 0.5;
    paintAndCheck("with other values");
    EXPECT_EQ(form.geometry.rotpunkt.x, form.geometry.formelVenstre + form.geometry.tegnbredde * 3 / 2);
}

// A face the system lacks is replaced by one it has: the text is measured and drawn all the same.
TEST_F(Win32FaceTest, AMissingFontFaceStillMeasuresAndDraws) {
    MemoryCanvas canvas(200, 60);
    trekant::GdiFonts fonts(canvas.dc);
    trekant::GdiMeasure measure(canvas.dc, fonts);
    const trekant::Font missing{"Finnes Ikke Sans", 12, 0, true, false};
    EXPECT_GT(measure.advance(missing, "W"), 0);
    EXPECT_GT(measure.height(missing, "W"), 0);
    trekant::Scene scene;
    scene.items.emplace_back(trekant::Text{{5, 5}, "WWW", missing});
    trekant::PaintScene(canvas.dc, scene, fonts);
    int dark = 0;
    for (int x = 0; x < 200; ++x) {
        for (int y = 0; y < 60; ++y) {
            dark += GetPixel(canvas.dc, x, y) == RGB(0, 0, 0);
        }
    }
    EXPECT_GT(dark, 20);
}

// Keys through the program's message loop: menu shortcuts as accelerators, then the key rule.
TEST_F(Win32FaceTest, KeysRunTheirCommandsAndRepaint) {
    struct Row {
        WPARAM key;
        std::optional<std::string> answer;
        const char* prompt; // asked, or none
        int paints;         // synchronous repaints
    };
    const Row rows[] = {
        {'A', "30", "Vinkel a:", 1},         // the shortcut of Vinkel a
        {'B', std::nullopt, "Vinkel b:", 0}, // cancelled: no repaint
        {'X', "150", "Lengde X", 1},
        {VK_LEFT, std::nullopt, nullptr, 1}, // any other key repaints
    };
    TestForm form;
    ShowWindow(form.Handle, SW_SHOWNOACTIVATE);
    pump();
    for (const Row& row : rows) {
        asked.clear();
        answer({row.answer});
        const int before = form.paintCount();
        PostMessageW(form.Handle, WM_KEYDOWN, row.key, 1);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!form.TranslateShortcut(msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        EXPECT_EQ(asked, row.prompt ? std::vector<std::string>{row.prompt} : std::vector<std::string>{}) << row.key;
        EXPECT_EQ(form.paintCount() - before, row.paints) << row.key;
    }
    EXPECT_NEAR(trekant::quantities().a, 33.69, 0.01); // X 150, Y 100 derived at the last paint
}

TEST_F(Win32FaceTest, AnArithmeticErrorIsShownAndTheWindowGoesOn) {
    TestForm form;
    answer({"0"});
    trekant::RunMenuAction(trekant::MenuAction::AngleA, form);
    EXPECT_EQ(form.errors, std::vector<std::string>{"Floating point division by zero"});
    EXPECT_TRUE(IsWindow(form.Handle));
}

TEST_F(Win32FaceTest, EndingTheSessionStopsTheModulesBeforeReturning) {
    TestForm form;
    int stops = 0;
    form.OnEndSession = [&] { ++stops; };
    EXPECT_EQ(SendMessageW(form.Handle, WM_QUERYENDSESSION, 0, 0), TRUE);
    SendMessageW(form.Handle, WM_ENDSESSION, FALSE, 0); // cancelled by another program
    SendMessageW(form.Handle, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(stops, 1);
}

TEST_F(Win32FaceTest, InputDialogLaysOutMasksAndAnswers) {
    struct Row {
        const char* prompt;
        const char* proposed;
        std::vector<std::function<void()>> typing;
        std::optional<std::string> answer;
        wchar_t passwordChar;
    };
    const Row rows[] = {
        {"Vinkel a:", "26.57", {Chars(L"30"), Key(VK_RETURN)}, "30", 0}, // the proposal selected: typing replaces it
        {"Passord", "", {Chars(L"hemmelig"), Key(VK_RETURN)}, "hemmelig", L'*'},
        {"Passord:", "x", {Key(VK_RETURN)}, "x", 0},
        {"Lengde X", "200", {Chars(L"5"), Key(VK_ESCAPE)}, std::nullopt, 0},
    };
    TestForm owner;
    for (const Row& row : rows) {
        std::vector<std::function<void()>> steps{[&] {
            HWND dialog = input::InputForm->Handle;
            EXPECT_EQ(winui::WindowTextAnsi(dialog), "Input:");
            EXPECT_EQ(ClientSize(dialog), (std::array<int, 2>{396, 113}));
            EXPECT_EQ(PlaceOf(input::InputForm->Edit1), (std::array<int, 4>{32, 40, 337, 21}));
            EXPECT_EQ(PlaceOf(input::InputForm->BitBtn1), (std::array<int, 4>{88, 80, 75, 25}));
            EXPECT_EQ(PlaceOf(input::InputForm->BitBtn2), (std::array<int, 4>{216, 80, 75, 25}));
            EXPECT_EQ(PlaceOf(input::InputForm->Label1)[0], 32);
            EXPECT_EQ(PlaceOf(input::InputForm->Label1)[1], 24);
            EXPECT_EQ(winui::WindowTextAnsi(input::InputForm->Label1), row.prompt);
            EXPECT_EQ(SendMessageW(input::InputForm->Edit1, EM_GETPASSWORDCHAR, 0, 0), row.passwordChar);
            EXPECT_EQ(GetFocus(), input::InputForm->Edit1);
            RECT dialogRect{}, ownerRect{};
            GetWindowRect(dialog, &dialogRect);
            GetWindowRect(owner.Handle, &ownerRect);
            EXPECT_NEAR(dialogRect.left + dialogRect.right, ownerRect.left + ownerRect.right, 2) << "centred";
            EXPECT_NEAR(dialogRect.top + dialogRect.bottom, ownerRect.top + ownerRect.bottom, 2) << "centred";
        }};
        steps.insert(steps.end(), row.typing.begin(), row.typing.end());
        ModalScript script(steps);
        EXPECT_EQ(input::TInputForm(owner.Handle).ShowModal(input::MakePrompt(row.prompt, row.proposed)), row.answer)
            << row.prompt;
        EXPECT_TRUE(ModalScript::done());
    }
}

TEST_F(Win32FaceTest, SettingsDialogSavesWhatIsTypedOnceWhicheverWayItCloses) {
    serveroppsett::TServerOppsettForm form;
    std::vector<std::function<void()>> steps{[&] {
        EXPECT_EQ(winui::WindowTextAnsi(form.Handle), "Oppsett FTP-server");
        EXPECT_EQ(ClientSize(form.Handle),
                  (std::array<int, 2>{serveroppsett::kClientWidth, serveroppsett::kClientHeight}));
        int id = 100;
        for (const serveroppsett::ControlPlace& place : serveroppsett::Controls()) {
            const auto at = PlaceOf(GetDlgItem(form.Handle, id++));
            EXPECT_EQ((std::array<int, 2>{at[0], at[1]}), (std::array<int, 2>{place.left, place.top})) << place.name;
            if (place.kind != serveroppsett::ControlKind::Label) {
                EXPECT_EQ((std::array<int, 2>{at[2], at[3]}), (std::array<int, 2>{place.width, place.height}))
                    << place.name;
            }
        }
        EXPECT_EQ(GetFocus(), form.navn);
        EXPECT_EQ(SendMessageW(form.passord, EM_GETPASSWORDCHAR, 0, 0), L'*');
    }};
    // Every field in tab order, the port left empty, both boxes ticked with the space bar.
    for (const wchar_t* text : {L"Prøvetjener", L"127.0.0.1", L"priser", L"kari", L"hemmelig", L""}) {
        steps.push_back(Chars(text));
        steps.push_back(Key(VK_TAB));
    }
    steps.insert(steps.end(), {Key(VK_SPACE), Key(VK_TAB), Key(VK_SPACE),
                               [&] { PostMessageW(form.passord, WM_LBUTTONDBLCLK, MK_LBUTTON, 0); },
                               [&] {
                                   EXPECT_EQ(SendMessageW(form.passord, EM_GETPASSWORDCHAR, 0, 0), 0);
                                   PostMessageW(form.Handle, WM_CLOSE, 0, 0);
                               }});
    ModalScript script(steps);
    form.VisServerOppsett("Oppsett FTP-server", "FTP");
    EXPECT_TRUE(ModalScript::done());

    EXPECT_EQ(readDialogEntry("FTP"), (DialogEntry{winui::ToAnsi(L"Prøvetjener"), "127.0.0.1", "priser", "kari",
                                                   felles::SkjulTekst("hemmelig"), "21", "1", "1"}));

    // Esc closes and saves too; the masking stays as the double click left it.
    ModalScript again({[&] {
                           EXPECT_EQ(SendMessageW(form.passord, EM_GETPASSWORDCHAR, 0, 0), 0);
                           EXPECT_EQ(winui::WindowTextAnsi(form.passord), "hemmelig");
                           SetWindowTextW(form.server, L"ftp.example.no");
                       },
                       Key(VK_ESCAPE)});
    form.VisServerOppsett("Oppsett FTP-server", "FTP");
    EXPECT_EQ(readDialogEntry("FTP").server, "ftp.example.no");
}

// The README's host-program example: the entry has no server yet, so the settings dialog opens and
// the user fills it in; then the file comes from a real server with the window showing the progress.
class Win32TransferTest : public FtpTransferTest {};

TEST_F(Win32TransferTest, HostProgramFetchesAFileThroughTheSettingsDialogAndTheWindow) {
    m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword);
    loadIni("[STANDARD]\nLogToFile=1\n");
    const std::string content = PatternBytes(3 << 20, 'p');
    testsupport::WriteFileBytes(remote("prisliste.csv"), content);

    serveroppsett::TServerOppsettForm settings;
    ftpunit::TFTPform window;
    ftpunit::setSettingsDialog(
        [&](const std::string& caption, const std::string& kind) { settings.VisServerOppsett(caption, kind); });
    ModalScript script({[&] {
        EXPECT_EQ(winui::WindowTextAnsi(settings.server), std::string(ftpunit::kDefaultServer));
        SetWindowTextW(settings.server, L"127.0.0.1");
        SetWindowTextW(settings.port, std::to_wstring(m_server->port()).c_str());
        SetWindowTextW(settings.brukernavn, winui::FromAnsi(kUser).c_str());
        SetWindowTextW(settings.passord, winui::FromAnsi(kPassword).c_str());
        PostMessageW(settings.Handle, WM_CLOSE, 0, 0);
    }});
    ftpunit::setFtpmappe("");
    window.HentFil(local("prisliste.csv"));

    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::Completed);
    EXPECT_EQ(testsupport::ReadFileBytes(local("prisliste.csv")), content);
    EXPECT_FALSE(IsWindowVisible(window.Handle));
    EXPECT_EQ(winui::WindowTextAnsi(window.Handle), std::string(ftpunit::kDefaultServer)); // as FormShow found it
    EXPECT_EQ(winui::WindowTextAnsi(window.ftpfil), "prisliste.csv");
    EXPECT_EQ(SendMessageW(window.ProgressBar1, PBM_GETRANGE, FALSE, 0), LRESULT(content.size()));
    EXPECT_EQ(SendMessageW(window.ProgressBar1, PBM_GETPOS, 0, 0), LRESULT(content.size()));
    EXPECT_EQ(window.panelText(0), std::to_string(content.size()));
    EXPECT_EQ(window.panelText(1), "Frakoblet");
    ftpunit::setSettingsDialog(nullptr);
}

} // namespace
