// Temporary files, file sizes and the atomic text file writer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fixtures.h"
#include "generate/file_utility.h"
#include "generate/text_file.h"
#include "model/error.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

namespace fs = std::filesystem;

TEST(FileUtility, TempDirectoryEndsWithSlash) {
    {
        ScopedEnv env("TMPDIR", "/var/tmp");
        EXPECT_EQ(TkFileUtility::GetTempDirectory(), "/var/tmp/");
    }
    {
        ScopedEnv env("TMPDIR", "/var/tmp/");
        EXPECT_EQ(TkFileUtility::GetTempDirectory(), "/var/tmp/");
    }
    {
        ScopedEnv env("TMPDIR", nullptr);
        EXPECT_EQ(TkFileUtility::GetTempDirectory(), "/tmp/");
    }
    {
        ScopedEnv env("TMPDIR", "");
        EXPECT_EQ(TkFileUtility::GetTempDirectory(), "/tmp/");
    }
}

TEST(FileUtility, CreateTempFileGivesDistinctEmptyFiles) {
    TempDir dir;
    ScopedEnv env("TMPDIR", dir.Path().c_str());
    const std::string a = TkFileUtility::CreateTempFile();
    const std::string b = TkFileUtility::CreateTempFile();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(dir.Path() + "/", 0), 0u) << a;
    EXPECT_TRUE(fs::is_regular_file(a));
    EXPECT_TRUE(fs::is_regular_file(b));
    EXPECT_EQ(fs::file_size(a), 0u);

    const std::string c = TkFileUtility::CreateTempFile(dir.Path(), "qpf");
    EXPECT_EQ(c.rfind(dir.Path() + "/qpf", 0), 0u) << c;
    EXPECT_TRUE(fs::is_regular_file(c));
}

TEST(FileUtility, CreateTempFileInMissingFolderFails) {
    TempDir dir;
    try {
        TkFileUtility::CreateTempFile(dir.File("missing"), "x");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Message(), "一時ファイルの作成に失敗しました。");
    }
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(FileUtility, FileSize) {
    TempDir dir;
    WriteFile(dir.File("empty"), "");
    WriteFile(dir.File("five"), "12345");
    EXPECT_EQ(TkFileUtility::GetFileSize(dir.File("empty")), 0);
    EXPECT_EQ(TkFileUtility::GetFileSize(dir.File("five")), 5);
    EXPECT_THROW(TkFileUtility::GetFileSize(dir.File("missing")), Error);
    EXPECT_THROW(TkFileUtility::GetFileSize(dir.Path()), Error);
    // Beyond 32 bits: a sparse file of 5 GiB.
    const std::string big = dir.File("big");
    WriteFile(big, "");
    fs::resize_file(big, 5ull << 30);
    EXPECT_EQ(TkFileUtility::GetFileSize(big), static_cast<std::int64_t>(5ull << 30));
}

TEST(TextFile, LineEndsBecomeCrLf) {
    EXPECT_EQ(ToCrLfLines(""), "");
    EXPECT_EQ(ToCrLfLines("a"), "a\r\n");
    EXPECT_EQ(ToCrLfLines("a\nb\rc\r\nd"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(ToCrLfLines("a\r\n"), "a\r\n");
    EXPECT_EQ(ToCrLfLines("a\n\nb\n"), "a\r\n\r\nb\r\n");
    EXPECT_EQ(ToCrLfLines("\r\n"), "\r\n");
    EXPECT_EQ(ToCrLfLines("a\n\r"), "a\r\n\r\n");
}

TEST(TextFile, ReplacesExistingFileAndKeepsItsPermissions) {
    TempDir dir;
    const std::string path = dir.File("out.cgi");
    WriteFile(path, "old contents that are longer\r\n");
    ::chmod(path.c_str(), 0640);
    WriteTextFile(path, "new\nlines");
    EXPECT_EQ(ReadFile(path), "new\r\nlines\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(TextFile, FailedWriteLeavesNothingAndRaisesFileError) {
    TempDir dir;
    EXPECT_THROW(WriteTextFile(dir.File("missing/out.cgi"), "x"), FileError);
    // A folder in the target's place: the folder stays, no temporary file is left.
    fs::create_directory(dir.File("taken"));
    WriteFile(dir.File("taken/keep"), "k");
    EXPECT_THROW(WriteTextFile(dir.File("taken"), "x"), FileError);
    EXPECT_EQ(ReadFile(dir.File("taken/keep")), "k");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    EXPECT_THROW(WriteFileAtomic("", "x"), FileError);
}

}  // namespace
}  // namespace qp::test
