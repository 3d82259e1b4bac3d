#include "input.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

using input::InputForm;
using input::LesInput;

namespace {

class InputDialog : public ::testing::Test {
protected:
    void SetUp() override {
        input::setPromptDialog(input::ShowInputForm);
        mainWindow = std::make_unique<QMainWindow>();
        QMainWindow& main = *mainWindow;
        main.resize(950, 700);
        main.move(100, 50);
        main.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
        input::setMainForm(&main);
    }
    void TearDown() override {
        input::setPromptDialog(nullptr);
        input::setMainForm(nullptr);
        mainWindow.reset();
    }

    // Runs LesInput and acts on the dialog once it is shown.
    std::string ask(const std::string& prompt, const std::string& proposed, std::function<void()> act) {
        QTimer::singleShot(0, [act] {
            ASSERT_TRUE(InputForm);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(InputForm.data()));
            act();
        });
        return LesInput(prompt, proposed);
    }

    std::unique_ptr<QMainWindow> mainWindow;
};

} // namespace

TEST_F(InputDialog, LayoutFocusAndSelection) {
    QString title, label, edit, selected, ok, cancel;
    QRect editGeometry, okGeometry, cancelGeometry, dialogGeometry;
    QPoint labelPos;
    QSize client;
    bool okDefault = false, editFocused = false;
    ask("Vinkel a:", "26.57", [&] {
        title = InputForm->windowTitle();
        client = InputForm->size();
        label = InputForm->Label1->text();
        labelPos = InputForm->Label1->pos();
        edit = InputForm->Edit1->text();
        selected = InputForm->Edit1->selectedText();
        editFocused = InputForm->Edit1->hasFocus();
        editGeometry = InputForm->Edit1->geometry();
        ok = InputForm->BitBtn1->text();
        cancel = InputForm->BitBtn2->text();
        okGeometry = InputForm->BitBtn1->geometry();
        cancelGeometry = InputForm->BitBtn2->geometry();
        okDefault = InputForm->BitBtn1->isDefault();
        dialogGeometry = InputForm->frameGeometry();
        InputForm->reject();
    });
    EXPECT_EQ(title, "Input:");
    EXPECT_EQ(client, QSize(396, 113));
    EXPECT_EQ(label, "Vinkel a:");
    EXPECT_EQ(labelPos, QPoint(32, 24));
    EXPECT_EQ(edit, "26.57");
    EXPECT_EQ(selected, "26.57") << "typing replaces the proposed text";
    EXPECT_TRUE(editFocused);
    EXPECT_EQ(editGeometry, QRect(32, 40, 337, 21));
    EXPECT_EQ(ok, "O&k");
    EXPECT_EQ(cancel, "&Avbryt");
    EXPECT_EQ(okGeometry, QRect(88, 80, 75, 25));
    EXPECT_EQ(cancelGeometry, QRect(216, 80, 75, 25));
    EXPECT_TRUE(okDefault);
    EXPECT_LE((dialogGeometry.center() - mainWindow->frameGeometry().center()).manhattanLength(), 2)
        << "centred on the main window";
}

TEST_F(InputDialog, EnterConfirmsEscCancels) {
    EXPECT_EQ(ask("Lengde X", "200", [] { QTest::keyClick(InputForm->Edit1, Qt::Key_Return); }), "200");
    EXPECT_EQ(ask("Lengde X", "200", [] { QTest::keyClick(InputForm->Edit1, Qt::Key_Escape); }), "");
    EXPECT_EQ(ask("Lengde X", "200",
                  [] {
                      QTest::keyClicks(InputForm->Edit1, "12,5");
                      QTest::keyClick(InputForm->Edit1, Qt::Key_Enter);
                  }),
              "12,5")
        << "typing replaces the selected proposal";
}

TEST_F(InputDialog, CancelAndEmptyAnswers) {
    EXPECT_EQ(ask("Lengde Y", "100", [] { InputForm->BitBtn2->click(); }), "") << "Cancel with text";
    EXPECT_EQ(ask("Lengde Y", "100",
                  [] {
                      InputForm->Edit1->clear();
                      InputForm->BitBtn1->click();
                  }),
              "")
        << "OK with an empty field";
}

TEST_F(InputDialog, PassordShowsAsterisks) {
    const struct {
        const char* prompt;
        bool masked;
    } rows[] = {{"Passord", true}, {"Vinkel a:", false}};
    for (const auto& row : rows) {
        QString shown;
        const std::string answer = ask(row.prompt, "abc", [&] {
            shown = InputForm->Edit1->displayText();
            InputForm->BitBtn1->click();
        });
        EXPECT_EQ(answer, "abc") << "the answer is plain text: " << row.prompt;
        EXPECT_EQ(shown, row.masked ? "***" : "abc") << row.prompt;
    }
}

TEST_F(InputDialog, EachCallMakesAndReleasesItsOwnDialog) {
    input::TInputForm startForm(mainWindow.get());
    EXPECT_EQ(InputForm.data(), &startForm);

    QPointer<input::TInputForm> first, second;
    ask("Lengde X", "1", [&] {
        first = InputForm;
        InputForm->reject();
    });
    ask("Lengde X", "1", [&] {
        second = InputForm;
        InputForm->reject();
    });
    EXPECT_NE(first.data(), &startForm);
    EXPECT_NE(first.data(), second.data());
    EXPECT_FALSE(startForm.isVisible()) << "the start-up dialog is never shown";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second.isNull());
}
