#include "support/FilePathParts.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(FilePathPartsTest, SplitsWindowsAndLinuxPaths)
{
    const struct {
        const char16_t *path, *full, *drive, *folder, *base, *extension, *fileName, *lastFolder;
    } rows[] = {
        {u"D:\\u\\a.pdf", u"D:\\u\\a.pdf", u"D:", u"\\u\\", u"a", u".pdf", u"a.pdf", u"u"},
        {u"D:\\单元\\文献\\第一章.caj", u"D:\\单元\\文献\\第一章.caj", u"D:", u"\\单元\\文献\\", u"第一章", u".caj",
         u"第一章.caj", u"文献"},
        {u"e:/units\\2017/b.TXT", u"e:/units\\2017/b.TXT", u"e:", u"/units\\2017/", u"b", u".txt", u"b.TXT", u"2017"},
        {u"D:\\a.pdf", u"D:\\a.pdf", u"D:", u"\\", u"a", u".pdf", u"a.pdf", u""},
        {u"/a.pdf", u"/a.pdf", u"", u"/", u"a", u".pdf", u"a.pdf", u""},
        {u"/home/user/units/a.tav", u"/home/user/units/a.tav", u"", u"/home/user/units/", u"a", u".tav", u"a.tav",
         u"units"},
        {u"/a/b/../c/./d.pdf", u"/a/c/d.pdf", u"", u"/a/c/", u"d", u".pdf", u"d.pdf", u"c"},
        {u"D:\\x\\..\\y\\z.pdf", u"D:\\y\\z.pdf", u"D:", u"\\y\\", u"z", u".pdf", u"z.pdf", u"y"},
        {u"/../../a.pdf", u"/a.pdf", u"", u"/", u"a", u".pdf", u"a.pdf", u""},
        {u"/x/a.tar.GZ", u"/x/a.tar.GZ", u"", u"/x/", u"a.tar", u".gz", u"a.tar.GZ", u"x"},
        {u"/x.y/README", u"/x.y/README", u"", u"/x.y/", u"README", u"", u"README", u"x.y"},
        {u"D:\\u\\", u"D:\\u\\", u"D:", u"\\u\\", u"", u"", u"", u"u"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.path));
        const FilePathParts parts(row.path);
        EXPECT_EQ(parts.FullPath(), row.full);
        EXPECT_EQ(parts.Drive(), row.drive);
        EXPECT_EQ(parts.Folder(), row.folder);
        EXPECT_EQ(parts.FolderPath(), std::u16string(row.drive) + row.folder);
        EXPECT_EQ(parts.BaseName(), row.base);
        EXPECT_EQ(parts.Extension(), row.extension);
        EXPECT_EQ(parts.FileName(), row.fileName);
        EXPECT_EQ(parts.LastFolderName(), row.lastFolder);
    }
}

TEST(FilePathPartsTest, RelativePathIsMadeAbsoluteAgainstTheCurrentFolder)
{
    const std::u16string here = Utf8ToWide(std::filesystem::current_path().string());
    const FilePathParts parts(u"docs/a.txt");
    EXPECT_EQ(parts.FullPath(), here + u"/docs/a.txt");
    EXPECT_EQ(parts.LastFolderName(), u"docs");
    EXPECT_EQ(FilePathParts(u"b.pdf").FolderPath(), here + u"/");
}

TEST(FilePathPartsTest, FullTextExtensions)
{
    for (const char16_t* path :
         {u"/a.pdf", u"/a.rul", u"/a.MOP", u"/a.zif", u"/a.qe", u"/a.xqe", u"/a.pdfx", u"D:\\u\\Paper.PDF"})
        EXPECT_TRUE(IsFullTextFile(FilePathParts(path))) << WideToUtf8(path);
    for (const char16_t* path : {u"/a.txt", u"/a.docx", u"/a", u"/pdf/a.txt", u"/a.pd", u"/qe.txt"})
        EXPECT_FALSE(IsFullTextFile(FilePathParts(path))) << WideToUtf8(path);
}

} // namespace
