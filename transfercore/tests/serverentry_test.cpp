// The settings dialog's entry without its widgets: what a showing loads, what its close writes to the
// INI store, and that each showing is saved exactly once.
#include "ServerEntry.h"
#include "TransferFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace transfertest;
using serveroppsett::ServerEntryFields;
using serveroppsett::ServerOppsettModel;

class ServerEntryTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        loadIni("[STANDARD]\n");
    }

    // One showing: load the kind's entry, let the user edit the fields, close.
    ServerEntryFields showAndClose(const std::string& kind, const std::function<void(ServerEntryFields&)>& edit) {
        model.setServertype(kind);
        ServerEntryFields fields = model.FormShow();
        edit(fields);
        EXPECT_TRUE(model.FormClose(fields));
        return fields;
    }

    ServerOppsettModel model;
};

} // namespace

TEST(ServerEntryDefaults, DefaultPortPerKindComparedExactly) {
    const struct {
        const char* name;
        const char* kind;
        const char* port;
    } rows[] = {
        {"ftp", "FTP", "21"},           {"http", "HTTP", "80"},
        {"log as listed", "LOG", "80"}, {"cfg as listed", "CFG", "21"},
        {"smb", "SMB", "445"},          {"mail as listed", "MAIL", "80"},
        {"rdp", "RDP", "3389"},         {"lower case smb has none", "smb", ""},
        {"unknown kind", "WEB", ""},    {"empty kind", "", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(serveroppsett::DefaultPort(row.kind), row.port) << row.name;
    }
    EXPECT_EQ(serveroppsett::SectionName("FTP"), "SERVER-SETTING-FTP");
}

TEST_F(ServerEntryTest, NewKindShowsEmptyFieldsAndClosingCreatesTheSection) {
    const struct {
        const char* kind;
        const char* port;
    } rows[] = {{"SMB", "445"}, {"smb", ""}, {"XYZ", ""}, {"RDP", "3389"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        // Sections match without regard to case, so each kind starts from an empty store.
        resetAll();
        loadIni("[STANDARD]\n");
        const ServerEntryFields fields =
            showAndClose(row.kind, [](ServerEntryFields& shown) { EXPECT_EQ(shown, ServerEntryFields{}); });
        EXPECT_EQ(fields.port, row.port) << "the field shows the default too";
        EXPECT_EQ(readDialogEntry(row.kind), (DialogEntry{"", "", "", "", felles::SkjulTekst(""), row.port, "0", "0"}));
    }
}

TEST_F(ServerEntryTest, EachShowingIsSavedExactlyOnce) {
    model.setServertype("HTTP");
    ServerEntryFields fields = model.FormShow();
    EXPECT_TRUE(model.unsaved());
    fields.server = "first";
    EXPECT_TRUE(model.FormClose(fields));
    fields.server = "second";
    EXPECT_FALSE(model.FormClose(fields)) << "a second close of the same showing writes nothing";
    EXPECT_FALSE(model.unsaved());
    EXPECT_EQ(readDialogEntry("HTTP").server, "first");
    EXPECT_EQ(model.FormShow().server, "first");
    EXPECT_TRUE(model.unsaved()) << "a new showing is unsaved again";
}

TEST_F(ServerEntryTest, FieldsAsStored) {
    const std::string long300(300, 'x'), cut255(255, 'x');
    const struct {
        const char* name;
        ServerEntryFields typed;
        DialogEntry stored;
    } rows[] = {
        {"port as typed", {"", "", "", "", "", "2121"}, {"", "", "", "", felles::SkjulTekst(""), "2121", "0", "0"}},
        {"blanks are no empty port",
         {"", "", "", "", "", "   "},
         {"", "", "", "", felles::SkjulTekst(""), "   ", "0", "0"}},
        {"a port that is no number",
         {"", "", "", "", "", "abc"},
         {"", "", "", "", felles::SkjulTekst(""), "abc", "0", "0"}},
        {"password scrambled",
         {"Test", "ftp.example", "inn", "kari", "hemmelig", "21", true, true},
         {"Test", "ftp.example", "inn", "kari", felles::SkjulTekst("hemmelig"), "21", "1", "1"}},
        {"long texts cut to 255",
         {long300, long300, long300, long300, "pw", long300},
         {cut255, cut255, cut255, cut255, felles::SkjulTekst("pw"), cut255, "0", "0"}},
    };
    for (const auto& row : rows) {
        showAndClose("FTP", [&](ServerEntryFields& fields) { fields = row.typed; });
        EXPECT_EQ(readDialogEntry("FTP"), row.stored) << row.name;
    }
    hs_reg::saveini();
    EXPECT_EQ(testsupport::ReadFileBytes(iniFile()).find("hemmelig"), std::string::npos);
}

TEST_F(ServerEntryTest, ShowingLoadsEveryFieldFromTheKindsOwnEntry) {
    WriteMailEntry();

    showAndClose("MAIL", [](ServerEntryFields& shown) {
        EXPECT_EQ(shown, (ServerEntryFields{"Post", "mail.example", "inn", "kari", "pw", "25", true, true}));
    });
    showAndClose("LOG", [](ServerEntryFields& shown) { EXPECT_EQ(shown, ServerEntryFields{}); });
    EXPECT_EQ(hs_reg::currentsection(), "STANDARD");
    // The dialog has no field for sslca: saving leaves the key as the user wrote it.
    hs_reg::setsection("SERVER-SETTING-MAIL");
    EXPECT_EQ(hs_reg::readstr("sslca"), "ca.pem");
    hs_reg::resetsection();
}
