#include "app/startup/CommandLine.h"
#include "builder/UnitBuilder.h"
#include "front/UrlEncode.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlDecodeTest, DecodesEscapesAndPlusAndPassesEverythingElse)
{
    const struct {
        std::string encoded;
        std::string decoded;
    } cases[] = {
        {"%41", "A"},
        {"%2B", "+"},
        {"a+b", "a b"},
        {"%E5%AD%A6", "\xE5\xAD\xA6"},
        {"%e5%ad%a6", "\xE5\xAD\xA6"},     // lower-case digits as upper-case ones
        {"C:\\p\\x.exe", "C:\\p\\x.exe"},
        {"%", "%"},                        // no digits before the end
        {"%4", "%4"},
        {"100%", "100%"},
        {"%4G%G4%zz", "%4G%G4%zz"},        // not hexadecimal
        {"%%41", "%A"},
        {"%00x", std::string("\0x", 2)},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlDecode(c.encoded), c.decoded) << c.encoded;
}

TEST(UrlDecodeTest, UndoesTheDesktopApplicationsEncoding)
{
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += static_cast<char>(byte);
    EXPECT_EQ(UrlDecode(UrlEncode(all)), all);
}

class StartupTest : public ::testing::Test {
protected:
    static SStartupPlan Plan(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> line{"/opt/Vexa Arbora/arbora-data-update"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        return PlanStartup(line);
    }

    testkit::ScopedHomeEnv m_home;
};

TEST_F(StartupTest, ImportTavPathReachesTheDialog)
{
    const struct {
        std::vector<std::string> arguments;
        std::u16string path;
    } cases[] = {
        {{UrlEncode("<ImportTav path=\"D:\\学习\\a b.tav\"/>")}, u"D:\\学习\\a b.tav"},
        {{UrlEncode("<ImportTav path=\"/u/R&amp;D.tav\"/>")}, u"/u/R&D.tav"},
        // Arguments are joined by blanks, as the one command-line text of Windows.
        {{"<ImportTav", "path=\"/u/a", "b.tav\"", "/>"}, u"/u/a b.tav"},
        {{"%3Cimport/%3E%3CImportTav%20path%3D'/x.tav'%3E"}, u"/x.tav"}, // ill-formed, still found
        {{UrlEncode("<ImportTav/>")}, u""},
        {{UrlEncode("<ImportTav path=\"/x.tav\"/>"), "--extra"}, u"/x.tav"},
    };
    for (const auto& c : cases) {
        const SStartupPlan plan = Plan(c.arguments);
        EXPECT_TRUE(plan.showDialog) << c.arguments.front();
        EXPECT_EQ(plan.path, c.path) << c.arguments.front();
    }
}

TEST_F(StartupTest, WithoutImportTavOnlyASignedInAccountOpensTheDialog)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"--help"}, {UrlEncode("<Import path=\"/x.tav\"/>")}, {"%3CImportTav"}}) {
        testkit::SignInAccount(u"");
        EXPECT_FALSE(Plan(arguments).showDialog);
        testkit::SignInAccount(u"zhang.san");
        const SStartupPlan plan = Plan(arguments);
        EXPECT_TRUE(plan.showDialog);
        EXPECT_EQ(plan.path, u"");
    }
}

TEST(JoinCommandLineTest, ProgramThenArgumentsJoinedByBlanks)
{
    EXPECT_EQ(JoinCommandLine({}), "");
    EXPECT_EQ(JoinCommandLine({"/bin/p"}), "/bin/p");
    EXPECT_EQ(JoinCommandLine({"/bin/p", "a", "", "b c"}), "/bin/p a  b c");
}

} // namespace
