// The small pieces: date text, file path parts, text conversion, GUIDs and MD5 digests, paths
// that stay inside a folder and copies through a temporary name.
#include "support/ContainedPath.h"
#include "support/DateText.h"
#include "support/FilePathParts.h"
#include "support/Guid.h"
#include "support/Md5.h"
#include "support/TextConvert.h"
#include "tests/support/SupportTestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(SmallParts, DateTextFormsAnchorsAndWhatIsNoDate)
{
    const double day = 42892; // 2017-06-06
    const double time = (9 * 3600 + 44 * 60 + 59) / 86400.0;
    for (const auto& [text, expected] : std::initializer_list<std::pair<const char16_t*, double>>{
             {u"2017-06-06 09:44:59", day + time}, {u"2017/6/6", day}, {u"2017-06-06T09:44:59", day + time},
             {u"2017/6/6 9:44", day + 584 / 1440.0}, {u"2017.06.06 23:59:59", day + 86399 / 86400.0},
             {u"  2017-06-06   09:44:59  ", day + time}, {u"2017-06-06 09:44:59.500", day + time + 0.5 / 86400},
             {u"1899-12-30", 0}, {u"1900-01-01", 2}, {u"9999-12-31", 2958465}, {u"0100-01-01", -657434},
             {u"1899-12-29 06:00:00", -1.25}, {u"18:00:00", 0.75}, {u"2016-02-29", 42429}, {u"2000-02-29", 36585}}) {
        double value = -5;
        EXPECT_TRUE(ParseDateText(text, value)) << WideToUtf8(text);
        EXPECT_DOUBLE_EQ(value, expected) << WideToUtf8(text);
    }
    for (const char16_t* text :
         {u"2017-02-29", u"1900-02-29", u"2016-02-30", u"2017-13-01", u"2017-00-10", u"2017-06-00", u"2017-06-31",
          u"2017-06-06 24:00:00", u"2017-06-06 09:60:00", u"2017-06-06 09:44:60", u"", u"abc", u"2017-06",
          u"2017-06-06 09:", u"2017-06/06", u"20170606", u"2017-006-06", u"2017-06-06x", u"2017-06-06 T09:44",
          u"2017-06-06 09:44:59.", u"２０１７-06-06", u"0099-12-31"}) {
        double value = 7;
        EXPECT_FALSE(ParseDateText(text, value)) << WideToUtf8(text);
        // Years before 100 overflow the date and say so with -1.
        EXPECT_EQ(value, std::u16string_view(text) == u"0099-12-31" ? -1 : 0) << WideToUtf8(text);
    }
}

TEST(SmallParts, FilePathPartsOfWindowsLinuxAndRelativePathsAndFullTextFiles)
{
    const std::u16string here = Utf8ToWide(std::filesystem::current_path().string());
    // Each row: the path, then its full path, drive, folder, file name, base name, extension and last folder.
    for (const auto& [path, parts] : std::initializer_list<std::pair<std::u16string, std::u16string>>{
             {u"D:\\单元\\文献\\第一章.caj", u"D:\\单元\\文献\\第一章.caj|D:|\\单元\\文献\\|第一章.caj|第一章|.caj|文献"},
             {u"z:/u\\2017/b.TXT", u"z:/u\\2017/b.TXT|z:|/u\\2017/|b.TXT|b|.txt|2017"},
             {u"/a/b/../c/./d.pdf", u"/a/c/d.pdf||/a/c/|d.pdf|d|.pdf|c"},
             {u"D:\\x\\..\\y\\z.pdf", u"D:\\y\\z.pdf|D:|\\y\\|z.pdf|z|.pdf|y"},
             {u"/../../a.tar.GZ", u"/a.tar.GZ||/|a.tar.GZ|a.tar|.gz|"},
             {u"/x.y/README", u"/x.y/README||/x.y/|README|README||x.y"},
             {u"D:\\u\\", u"D:\\u\\|D:|\\u\\||||u"},
             {u"docs/a.txt", here + u"/docs/a.txt||" + here + u"/docs/|a.txt|a|.txt|docs"}}) {
        const FilePathParts p(path);
        EXPECT_EQ(WideToUtf8(p.FullPath() + u"|" + p.Drive() + u"|" + p.Folder() + u"|" + p.FileName() + u"|" +
                             p.BaseName() + u"|" + p.Extension() + u"|" + p.LastFolderName()),
                  WideToUtf8(parts));
    }
    for (const char16_t* path : {u"/a.pdf", u"/a.MOP", u"/a.zif", u"/a.qe", u"/a.xqe", u"/a.pdfx", u"/a.rul"})
        EXPECT_TRUE(IsFullTextFile(FilePathParts(path))) << WideToUtf8(path);
    for (const char16_t* path : {u"/a.txt", u"/a", u"/pdf/a.txt", u"/a.pd", u"/qe.txt"})
        EXPECT_FALSE(IsFullTextFile(FilePathParts(path))) << WideToUtf8(path);
}

// Converts a copy held in a heap block of exactly its size, so that the address sanitizer
// catches a read past the end.
template <typename Out, typename Char>
Out FromExact(const std::basic_string<Char>& text, Out (*convert)(std::basic_string_view<Char>))
{
    const auto block = std::make_unique<Char[]>(text.size());
    std::copy(text.begin(), text.end(), block.get());
    return convert(std::basic_string_view<Char>(block.get(), text.size()));
}
std::u16string Wide(const std::string& utf8) { return FromExact<std::u16string>(utf8, &Utf8ToWide); }
std::string Narrow(const std::u16string& wide) { return FromExact<std::string>(wide, &WideToUtf8); }

TEST(SmallParts, ValidTextRoundTripsAndBrokenTextIsReplaced)
{
    for (const auto& [wide, utf8] :
         {std::pair<std::u16string, std::string>{u"", ""}, {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
          {u"学习", "\xE5\xAD\xA6\xE4\xB9\xA0"}, {u"\u007F\u0080\u07FF", "\x7F\xC2\x80\xDF\xBF"},
          {u"\u0800\uFFFF", "\xE0\xA0\x80\xEF\xBF\xBF"}, {u"\U0001F600\U00010000", "\xF0\x9F\x98\x80\xF0\x90\x80\x80"},
          {u"a\U0010FFFF", "a\xF4\x8F\xBF\xBF"}}) {
        EXPECT_EQ(Narrow(wide), utf8);
        EXPECT_EQ(Wide(utf8), wide);
    }
    // Lone surrogates, in either order, and a high one at the very end that must not pair with what lies beyond.
    const std::u16string pair = u"\U0001F600";
    EXPECT_EQ(Narrow(std::u16string{0xDE00, 0xD83D, u'A', 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD" "A\xEF\xBF\xBD");
    EXPECT_EQ(WideToUtf8(std::u16string_view(pair.data(), 1)), "\xEF\xBF\xBD");
    // Stray, never valid, cut, above U+10FFFF, encoded surrogates; overlong forms never decode to '/' or NUL.
    for (const auto& [utf8, wide] :
         {std::pair<std::string, std::u16string>{"\x80", u"\uFFFD"}, {"\xFF\xFE", u"\uFFFD\uFFFD"}, {"\xC3", u"\uFFFD"},
          {"\xE4\xB8", u"\uFFFD"}, {"\xF0\x9F\x98", u"\uFFFD"}, {"\xE4" "A", u"\uFFFDA"},
          {"\xF4\x90\x80\x80", u"\uFFFD"}, {"\xED\xA0\x80", u"\uFFFD"}, {"\xC0\xAF", u"\uFFFD"},
          {"\xE0\x80\xAF", u"\uFFFD"}, {"\xF0\x80\x80\xAF", u"\uFFFD"}, {std::string("\xC0\x80", 2), u"\uFFFD"}})
        EXPECT_EQ(Wide(utf8), wide);
}

TEST(SmallParts, GuidsAndMd5Digests)
{
    // Unique version-4 GUIDs in upper-case hex.
    std::set<std::u16string> seen;
    for (int i = 0; i < 1000; ++i) {
        const std::u16string guid = NewGuidText();
        ASSERT_TRUE(guid.size() == 32 && seen.insert(guid).second);
        ASSERT_EQ(guid.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos) << WideToUtf8(guid);
        ASSERT_TRUE(guid[12] == u'4' && std::u16string_view(u"89AB").find(guid[16]) != std::u16string::npos);
    }
    // Time-ordered ones: each sorts after the one before (more than a millisecond's counter holds),
    // starts with the time in milliseconds and carries version 7.
    const auto now = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    };
    const long long before = now();
    std::u16string previous;
    for (int i = 0; i < 10000; ++i) {
        const std::u16string guid = NewOrderedGuidText();
        ASSERT_TRUE(guid.size() == 32 && guid > previous) << WideToUtf8(previous) << " " << WideToUtf8(guid);
        ASSERT_EQ(guid.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos) << WideToUtf8(guid);
        ASSERT_TRUE(guid[12] == u'7' && std::u16string_view(u"89AB").find(guid[16]) != std::u16string::npos);
        previous = guid;
    }
    const long long stamp = std::stoll(WideToUtf8(previous.substr(0, 12)), nullptr, 16);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, now() + 1000);
    // Threads, and a forked child, never hand out the GUIDs of another: the child's next one
    // differs from its parent's next one.
    std::vector<std::u16string> fromThreads[2];
    {
        std::jthread first([&] { for (int i = 0; i < 600; ++i) fromThreads[0].push_back(NewGuidText()); });
        std::jthread second([&] { for (int i = 0; i < 600; ++i) fromThreads[1].push_back(NewOrderedGuidText()); });
    }
    for (const auto& list : fromThreads)
        for (const std::u16string& guid : list)
            EXPECT_TRUE(seen.insert(guid).second);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::u16string guid = NewGuidText();
        const ssize_t written = write(pipeEnds[1], guid.data(), guid.size() * sizeof(char16_t));
        _exit(written == 64 ? 0 : 1);
    }
    const std::u16string parents = NewGuidText();
    std::u16string childs(32, u' ');
    EXPECT_EQ(read(pipeEnds[0], childs.data(), 64), 64);
    int status = -1;
    waitpid(child, &status, 0);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(childs, parents);
    EXPECT_EQ(childs.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos);
    // Digests of bytes, and of text as UTF-8.
    const Md5Provider md5;
    std::u16string digest = u"untouched";
    EXPECT_FALSE(md5.HashText(u"", digest));
    EXPECT_EQ(digest, u"untouched");
    ASSERT_TRUE(md5.HashText(std::u16string(u"学\0b", 3), digest));
    EXPECT_EQ(digest, md5.HashBytes("\xE5\xAD\xA6\0b", 5));
    EXPECT_EQ(md5.HashBytes("message digest", 14), u"F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(md5.HashBytes(nullptr, 0), u"D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(md5.HashBytes(nullptr, 5), u"");
}

// A companion folder "c" beside "c2" (same first letters), "out" and links of every kind: only
// what lies inside "c" once every link is followed counts, and the folder must be one itself.
TEST(SmallParts, PathsInsideAFolderAndCopiesThroughATemporaryName)
{
    namespace fs = std::filesystem;
    using supporttest::ReadWholeFile;
    using supporttest::WriteWholeFile;
    supporttest::TempHome home;
    const fs::path root = home.Root(), c = root / "c";
    for (const char* file : {"c/a.pdf", "c/sub/b.pdf", "c2/x", "out/secret"})
        WriteWholeFile(root / file, file);
    fs::create_symlink(root / "out/secret", c / "link-out");
    fs::create_symlink(c / "sub/b.pdf", c / "link-in");
    fs::create_directory_symlink(root / "out", c / "folder-out");
    fs::create_directory_symlink(c, root / "c-link");
    const struct {
        fs::path path;
        bool inside;
    } cases[] = {{c / "a.pdf", true},        {c / "sub/b.pdf", true},     {c / "sub/../a.pdf", true},
                 {c / "link-in", true},      {c, false},                  {c / "../c2/x", false},
                 {root / "c2/x", false},     {c / "link-out", false},     {c / "folder-out/secret", false},
                 {c / "missing", false},     {"/proc/self/environ", false}, {root / "c-link/a.pdf", true}};
    for (const auto& k : cases)
        EXPECT_EQ(LiesInside(c, k.path), k.inside) << k.path;
    EXPECT_FALSE(LiesInside(root / "missing", c / "a.pdf"));
    EXPECT_TRUE(IsRealFolder(c) && IsRealFolder(c / "sub"));
    EXPECT_FALSE(IsRealFolder(root / "c-link") || IsRealFolder(c / "a.pdf") || IsRealFolder(root / "none"));

    // A copy replaces a read-only file or a link (not what it points at) whole; one that cannot
    // land leaves nothing behind, not even its temporary copy.
    const fs::path source = c / "a.pdf";
    fs::permissions(c / "sub/b.pdf", fs::perms::owner_read);
    EXPECT_FALSE(CopyFileThroughTemporary(source, c / "sub/b.pdf"));
    EXPECT_FALSE(CopyFileThroughTemporary(source, c / "link-out"));
    EXPECT_EQ(ReadWholeFile(c / "sub/b.pdf") + ReadWholeFile(c / "link-out"), "c/a.pdfc/a.pdf");
    EXPECT_FALSE(fs::is_symlink(c / "link-out"));
    EXPECT_EQ(ReadWholeFile(root / "out/secret"), "out/secret");
    fs::create_directories(root / "in-the-way/dir");
    EXPECT_TRUE(CopyFileThroughTemporary(source, root / "in-the-way/dir"));
    EXPECT_TRUE(CopyFileThroughTemporary(root / "missing", root / "in-the-way/new"));
    EXPECT_TRUE(CopyFileThroughTemporary(source, root / "no-folder/new"));
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(root / "in-the-way"))
        left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<fs::path>{"dir"});
}

// Two files compare equal only when both read whole and hold the same bytes, also past the
// first megabyte a comparison reads at a time.
TEST(SmallParts, SameFileBytes)
{
    namespace fs = std::filesystem;
    supporttest::TempHome home;
    const fs::path root = home.Root();
    const std::string big(3 << 20, 'x');
    std::string late = big;
    late[(1 << 20) + 1] = 'y';
    supporttest::WriteWholeFile(root / "a", big);
    for (const auto& [content, equal, problem] : std::vector<std::tuple<std::string, bool, std::string>>{
             {big, true, ""},
             {late, false, "the files differ at byte 1048577"},
             {big.substr(0, big.size() - 1), false, "the files differ at byte 3145727"},
             {big + "z", false, "the files differ at byte 3145728"},
             {"", false, "the files differ at byte 0"}}) {
        supporttest::WriteWholeFile(root / "b", content);
        std::string why;
        EXPECT_EQ(equal, SameFileBytes(root / "a", root / "b", why)) << content.size();
        EXPECT_EQ(problem, why);
    }
    std::string why;
    EXPECT_FALSE(SameFileBytes(root / "a", root / "missing", why));
    EXPECT_EQ("cannot open " + (root / "missing").string(), why);
}

} // namespace
