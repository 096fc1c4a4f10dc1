// Start-up's reading of the desktop application's command line.
#include "app/startup/CommandLine.h"
#include "builder/UnitBuilder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

namespace {

// As the desktop application writes it: a blank as "+", every byte but letters, digits and "-_.\:/" as "%XX".
std::string UrlEncode(const std::string& text)
{
    std::string out;
    for (const unsigned char c : text) {
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        if (c == ' ')
            out += '+';
        else if (std::isalnum(c) || (c != 0 && std::strchr("-_.\\:/", c) != nullptr))
            out += static_cast<char>(c);
        else
            out += escaped;
    }
    return out;
}

TEST(UrlDecodeTest, DecodesEscapesAndPlusAndPassesEverythingElse)
{
    const std::pair<std::string, std::string> cases[] = {
        {"%41", "A"}, {"%2B", "+"}, {"a+b", "a b"}, {"%E5%AD%A6", "\xE5\xAD\xA6"}, {"%e5%ad%a6", "\xE5\xAD\xA6"},
        {"C:\\p\\x.exe", "C:\\p\\x.exe"}, {"%", "%"}, {"%4", "%4"}, {"100%", "100%"},
        {"%4G%G4%zz", "%4G%G4%zz"}, {"%%41", "%A"}, {"%00x", std::string("\0x", 2)}, {"", ""},
    };
    for (const auto& [encoded, decoded] : cases)
        EXPECT_EQ(UrlDecode(encoded), decoded) << encoded;
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += static_cast<char>(byte);
    EXPECT_EQ(UrlDecode(UrlEncode(all)), all);
    EXPECT_EQ(JoinCommandLine({"/bin/p", "a", "", "b c"}), "/bin/p a  b c");
}

// A named unit opens the dialog with it; without ImportTav only a signed-in account opens it, empty.
TEST(StartupTest, ImportTavPathOrASignedInAccountOpensTheDialog)
{
    const testkit::ScopedHomeEnv home;
    const std::pair<std::vector<std::string>, std::optional<std::u16string>> cases[] = {
        {{UrlEncode("<ImportTav path=\"D:\\学习\\a b.tav\"/>")}, u"D:\\学习\\a b.tav"},
        {{UrlEncode("<ImportTav path=\"/u/R&amp;D.tav\"/>")}, u"/u/R&D.tav"},
        // Arguments are joined by blanks, as the one command-line text of Windows.
        {{"<ImportTav", "path=\"/u/a", "b.tav\"", "/>"}, u"/u/a b.tav"},
        {{"%3Cimport/%3E%3CImportTav%20path%3D'/x.tav'%3E"}, u"/x.tav"}, // ill-formed, still found
        {{UrlEncode("<ImportTav/>")}, u""},
        {{UrlEncode("<ImportTav path=\"/x.tav\"/>"), "--extra"}, u"/x.tav"},
        {{}, std::nullopt},
        {{"--help"}, std::nullopt},
        {{UrlEncode("<Import path=\"/x.tav\"/>")}, std::nullopt},
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
