#include "support/FilePathParts.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(FilePathPartsTest, SplitsWindowsLinuxAndRelativePathsAndTellsFullTextFiles)
{
    const std::u16string here = Utf8ToWide(std::filesystem::current_path().string());
    const struct {
        std::u16string path, full, drive, folder, fileName, base, extension, lastFolder;
    } rows[] = {
        {u"D:\\单元\\文献\\第一章.caj", u"D:\\单元\\文献\\第一章.caj", u"D:", u"\\单元\\文献\\", u"第一章.caj",
         u"第一章", u".caj", u"文献"},
        {u"e:/u\\2017/b.TXT", u"e:/u\\2017/b.TXT", u"e:", u"/u\\2017/", u"b.TXT", u"b", u".txt", u"2017"},
        {u"Z:\\a.pdf", u"Z:\\a.pdf", u"Z:", u"\\", u"a.pdf", u"a", u".pdf", u""},
        {u"/a/b/../c/./d.pdf", u"/a/c/d.pdf", u"", u"/a/c/", u"d.pdf", u"d", u".pdf", u"c"},
        {u"D:\\x\\..\\y\\z.pdf", u"D:\\y\\z.pdf", u"D:", u"\\y\\", u"z.pdf", u"z", u".pdf", u"y"},
        {u"/../../a.tar.GZ", u"/a.tar.GZ", u"", u"/", u"a.tar.GZ", u"a.tar", u".gz", u""},
        {u"/x.y/README", u"/x.y/README", u"", u"/x.y/", u"README", u"README", u"", u"x.y"},
        {u"D:\\u\\", u"D:\\u\\", u"D:", u"\\u\\", u"", u"", u"", u"u"},
        {u"docs/a.txt", here + u"/docs/a.txt", u"", here + u"/docs/", u"a.txt", u"a", u".txt", u"docs"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.path));
        const FilePathParts parts(row.path);
        EXPECT_EQ(parts.FullPath(), row.full);
        EXPECT_EQ(parts.Drive(), row.drive);
        EXPECT_EQ(parts.Folder(), row.folder);
        EXPECT_EQ(parts.FolderPath(), row.drive + row.folder);
        EXPECT_EQ(parts.FileName(), row.fileName);
        EXPECT_EQ(parts.BaseName(), row.base);
        EXPECT_EQ(parts.Extension(), row.extension);
        EXPECT_EQ(parts.LastFolderName(), row.lastFolder);
    }
    for (const char16_t* path : {u"/a.pdf", u"/a.MOP", u"/a.zif", u"/a.qe", u"/a.xqe", u"/a.pdfx", u"/a.rul"})
        EXPECT_TRUE(IsFullTextFile(FilePathParts(path))) << WideToUtf8(path);
    for (const char16_t* path : {u"/a.txt", u"/a", u"/pdf/a.txt", u"/a.pd", u"/qe.txt"})
        EXPECT_FALSE(IsFullTextFile(FilePathParts(path))) << WideToUtf8(path);
}
