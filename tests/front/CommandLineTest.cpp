// Start-up's reading of the desktop application's command line.
#include "app/startup/CommandLine.h"
#include "builder/UnitBuilder.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlDecodeTest, DecodesEscapesAndPlusAndPassesEverythingElse)
{
    const std::pair<std::string, std::string> cases[] = {
        {"%41", "A"}, {"%2B", "+"}, {"a+b", "a b"}, {"%E5%AD%A6", "\xE5\xAD\xA6"}, {"%e5%ad%a6", "\xE5\xAD\xA6"},
        {"C:\\p\\x.exe", "C:\\p\\x.exe"}, {"%", "%"}, {"%4", "%4"}, {"100%", "100%"},
        {"%4G%G4%zz", "%4G%G4%zz"}, {"%%41", "%A"}, {"%00x", std::string("\0x", 2)}, {"%ff%7F", "\xFF\x7F"},
    };
    for (const auto& [encoded, decoded] : cases)
        EXPECT_EQ(UrlDecode(encoded), decoded) << encoded;
    EXPECT_EQ(JoinCommandLine({"/bin/p", "a", "", "b c"}), "/bin/p a  b c");
}

// A named unit opens the dialog with it; without ImportTav only a signed-in account opens it, empty.
TEST(StartupTest, ImportTavPathOrASignedInAccountOpensTheDialog)
{
    const testkit::ScopedHomeEnv home;
    const std::pair<std::vector<std::string>, std::optional<std::u16string>> cases[] = {
        // As the desktop application writes it: a blank as "+", bytes but letters, digits and "-_.\:/" as "%XX".
        {{"%3CImportTav+path%3D%22D:\\%E5%AD%A6\\a+b.tav%22/%3E"}, u"D:\\学\\a b.tav"},
        {{"%3CImportTav+path%3D%22/u/R%26amp%3BD.tav%22/%3E"}, u"/u/R&D.tav"},
        // Arguments are joined by blanks, as the one command-line text of Windows.
        {{"<ImportTav", "path=\"/u/a", "b.tav\"", "/>"}, u"/u/a b.tav"},
        {{"%3Cimport/%3E%3CImportTav%20path%3D'/x.tav'%3E"}, u"/x.tav"}, // ill-formed, still found
        {{"%3CImportTav/%3E"}, u""},
        {{"%3CImportTav+path%3D%22/x.tav%22/%3E", "--extra"}, u"/x.tav"},
        {{}, std::nullopt},
        {{"--help"}, std::nullopt},
        {{"%3CImport+path%3D%22/x.tav%22/%3E"}, std::nullopt},
        {{"%3CImportTav"}, std::nullopt},
    };
    for (const auto& [arguments, path] : cases) {
        std::vector<std::string> line{"/opt/Vexa Arbora/arbora-data-update"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        for (const std::u16string account : {u"", u"zhang.san"}) {
            testkit::SignInAccount(account);
            const SStartupPlan plan = PlanStartup(line);
            EXPECT_EQ(plan.showDialog, path.has_value() || !account.empty()) << line.back();
            EXPECT_EQ(plan.path, path.value_or(u"")) << line.back();
        }
    }
}

} // namespace
