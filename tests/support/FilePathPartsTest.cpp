#include "support/FilePathParts.h"

#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::u16string CurrentFolder() { return Utf8ToWide(std::filesystem::current_path().string()); }

TEST(FilePathPartsTest, WindowsPathSplitsOnLinux)
{
    FilePathParts parts(u"D:\\u\\a.pdf");
    EXPECT_EQ(parts.FullPath(), u"D:\\u\\a.pdf");
    EXPECT_EQ(parts.Drive(), u"D:");
    EXPECT_EQ(parts.Folder(), u"\\u\\");
    EXPECT_EQ(parts.BaseName(), u"a");
    EXPECT_EQ(parts.Extension(), u".pdf");
    EXPECT_EQ(parts.FileName(), u"a.pdf");
    EXPECT_EQ(parts.FolderPath(), u"D:\\u\\");
    EXPECT_EQ(parts.LastFolderName(), u"u");
}

TEST(FilePathPartsTest, ChinesePathWithDeepFolders)
{
    FilePathParts parts(u"D:\\单元\\文献\\第一章.caj");
    EXPECT_EQ(parts.Folder(), u"\\单元\\文献\\");
    EXPECT_EQ(parts.LastFolderName(), u"文献");
    EXPECT_EQ(parts.BaseName(), u"第一章");
    EXPECT_EQ(parts.Extension(), u".caj");
}

TEST(FilePathPartsTest, MixedSeparatorsBothSeparate)
{
    FilePathParts parts(u"e:/units\\2017/b.TXT");
    EXPECT_EQ(parts.Drive(), u"e:");
    EXPECT_EQ(parts.Folder(), u"/units\\2017/");
    EXPECT_EQ(parts.LastFolderName(), u"2017");
    EXPECT_EQ(parts.FileName(), u"b.TXT");
}

TEST(FilePathPartsTest, UpperCaseExtensionIsReportedInLowerCase)
{
    FilePathParts parts(u"D:\\u\\Paper.PDF");
    EXPECT_EQ(parts.Extension(), u".pdf");
    EXPECT_EQ(parts.FileName(), u"Paper.PDF"); // the name itself keeps its case
    EXPECT_EQ(parts.BaseName(), u"Paper");
    EXPECT_TRUE(IsFullTextFile(parts));
}

TEST(FilePathPartsTest, FileDirectlyInARootHasNoLastFolder)
{
    EXPECT_EQ(FilePathParts(u"D:\\a.pdf").LastFolderName(), u"");
    EXPECT_EQ(FilePathParts(u"D:\\a.pdf").Folder(), u"\\");
    EXPECT_EQ(FilePathParts(u"/a.pdf").LastFolderName(), u"");
    EXPECT_EQ(FilePathParts(u"/a.pdf").FolderPath(), u"/");
}

TEST(FilePathPartsTest, LinuxAbsolutePath)
{
    FilePathParts parts(u"/home/user/units/a.tav");
    EXPECT_EQ(parts.FullPath(), u"/home/user/units/a.tav");
    EXPECT_EQ(parts.Drive(), u"");
    EXPECT_EQ(parts.Folder(), u"/home/user/units/");
    EXPECT_EQ(parts.FolderPath(), u"/home/user/units/");
    EXPECT_EQ(parts.BaseName(), u"a");
    EXPECT_EQ(parts.Extension(), u".tav");
    EXPECT_EQ(parts.LastFolderName(), u"units");
}

TEST(FilePathPartsTest, RelativePathIsMadeAbsoluteAgainstTheCurrentFolder)
{
    FilePathParts parts(u"docs/a.txt");
    EXPECT_EQ(parts.FullPath(), CurrentFolder() + u"/docs/a.txt");
    EXPECT_EQ(parts.LastFolderName(), u"docs");
    EXPECT_EQ(parts.FileName(), u"a.txt");

    FilePathParts bare(u"b.pdf");
    EXPECT_EQ(bare.FolderPath(), CurrentFolder() + u"/");
}

TEST(FilePathPartsTest, DotFoldersAreResolved)
{
    EXPECT_EQ(FilePathParts(u"/a/b/../c/./d.pdf").FullPath(), u"/a/c/d.pdf");
    EXPECT_EQ(FilePathParts(u"D:\\x\\..\\y\\z.pdf").FullPath(), u"D:\\y\\z.pdf");
    EXPECT_EQ(FilePathParts(u"/../../a.pdf").FullPath(), u"/a.pdf");
}

TEST(FilePathPartsTest, ExtensionIsFromTheLastDotOfTheName)
{
    FilePathParts archive(u"/x/a.tar.GZ");
    EXPECT_EQ(archive.BaseName(), u"a.tar");
    EXPECT_EQ(archive.Extension(), u".gz");

    FilePathParts noExtension(u"/x.y/README");
    EXPECT_EQ(noExtension.BaseName(), u"README");
    EXPECT_EQ(noExtension.Extension(), u"");
    EXPECT_EQ(noExtension.LastFolderName(), u"x.y");

    FilePathParts folderOnly(u"D:\\u\\");
    EXPECT_EQ(folderOnly.FileName(), u"");
    EXPECT_EQ(folderOnly.LastFolderName(), u"u");
}

TEST(FilePathPartsTest, FullTextExtensions)
{
    for (const char16_t* path : {u"/a.pdf", u"/a.rul", u"/a.MOP", u"/a.zif", u"/a.qe", u"/a.xqe", u"/a.pdfx"})
        EXPECT_TRUE(IsFullTextFile(FilePathParts(path))) << WideToUtf8(path);
    for (const char16_t* path : {u"/a.txt", u"/a.docx", u"/a", u"/pdf/a.txt", u"/a.pd", u"/qe.txt"})
        EXPECT_FALSE(IsFullTextFile(FilePathParts(path))) << WideToUtf8(path);
}

} // namespace
