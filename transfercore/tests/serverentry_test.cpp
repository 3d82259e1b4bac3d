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

struct Entry {
    std::string name, server, folder, username, password, port, ssl, passive;
    friend bool operator==(const Entry&, const Entry&) = default;
};

Entry readEntry(const std::string& kind) {
    hs_reg::setsection(serveroppsett::SectionName(kind));
    Entry e{hs_reg::readstr("name"),     hs_reg::readstr("server"),   hs_reg::readstr("folder"),
            hs_reg::readstr("username"), hs_reg::readstr("password"), hs_reg::readstr("port"),
            hs_reg::readstr("SSL"),      hs_reg::readstr("passive")};
    hs_reg::resetsection();
    return e;
}

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
        EXPECT_EQ(readEntry(row.kind), (Entry{"", "", "", "", felles::SkjulTekst(""), row.port, "0", "0"}));
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
    EXPECT_EQ(readEntry("HTTP").server, "first");
    EXPECT_EQ(model.FormShow().server, "first");
    EXPECT_TRUE(model.unsaved()) << "a new showing is unsaved again";
}

TEST_F(ServerEntryTest, FieldsAsStored) {
    const std::string long300(300, 'x'), cut255(255, 'x');
    const struct {
        const char* name;
        ServerEntryFields typed;
        Entry stored;
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
        EXPECT_EQ(readEntry("FTP"), row.stored) << row.name;
    }
    hs_reg::saveini();
    EXPECT_EQ(testsupport::ReadFileBytes(iniFile()).find("hemmelig"), std::string::npos);
}

TEST_F(ServerEntryTest, ShowingLoadsEveryFieldFromTheKindsOwnEntry) {
    hs_reg::setsection("SERVER-SETTING-MAIL");
    hs_reg::writestr("name", "Post");
    hs_reg::writestr("server", "mail.example");
    hs_reg::writestr("folder", "inn");
    hs_reg::writestr("username", "kari");
    hs_reg::writestr("password", felles::SkjulTekst("pw"));
    hs_reg::writestr("port", "25");
    hs_reg::writebool("SSL", true);
    hs_reg::writebool("passive", true);
    hs_reg::writestr("sslca", "ca.pem");
    hs_reg::resetsection();

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
