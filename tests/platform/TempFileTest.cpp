#include "platform/TempFile.h"
#include "platform/FileSystem.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

std::string BinaryPattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>((i * 7919 + i / 251) & 0xFF);
    }
    return s;
}

TEST(TempFile, DataReadsBackAndNoNameIsLeftWhileOpenOrAfterClose) {
    TempDir dir;
    const std::string data = BinaryPattern(3 << 20) + "\r\n.\r\n";
    {
        FilePtr file = OpenTempFile(dir.str());
        ASSERT_TRUE(file);
        ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file.get()), data.size());
        struct stat info {};
        ASSERT_EQ(fstat(fileno(file.get()), &info), 0);
        EXPECT_EQ(info.st_nlink, 0u);
        EXPECT_TRUE(ListDirectory(dir.str())->empty());

        std::rewind(file.get());
        std::string back(data.size() + 16, '\0');
        EXPECT_EQ(std::fread(back.data(), 1, back.size(), file.get()), data.size());
        back.resize(data.size());
        EXPECT_EQ(back, data);
    }
    EXPECT_TRUE(ListDirectory(dir.str())->empty());
}

TEST(TempFile, TwoAtOnceAreIndependent) {
    TempDir dir;
    FilePtr first = OpenTempFile(dir.str());
    FilePtr second = OpenTempFile(dir.str());
    ASSERT_TRUE(first && second);
    std::fputs("first", first.get());
    std::fputs("second!", second.get());
    std::fflush(first.get());
    std::fflush(second.get());
    struct stat a {
    }, b{};
    fstat(fileno(first.get()), &a);
    fstat(fileno(second.get()), &b);
    EXPECT_EQ(a.st_size, 5);
    EXPECT_EQ(b.st_size, 7);
}

TEST(TempFile, MissingDirectoryGivesNoFile) {
    TempDir dir;
    EXPECT_FALSE(OpenTempFile(dir.file("missing")));
}

} // namespace
