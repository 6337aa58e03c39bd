#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "exchange/ExchangeFile.h"

namespace fs = std::filesystem;

namespace {

class ExchangeFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tavo-unit-XXXXXX").string();
        folder_ = mkdtemp(pattern.data());
        path_ = folder_ / "TAVO.TXT";
    }
    void TearDown() override { fs::remove_all(folder_); }

    Text Path() const { return TextFromAnsi(path_.string()); }
    void Put(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string Contents() const
    {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path folder_;
    fs::path path_;
};

struct Reading {
    const char* name;
    std::string bytes;
    Text text;
};

void PrintTo(const Reading& reading, std::ostream* out)
{
    *out << reading.name;
}

class ReadTest : public ExchangeFileTest, public testing::WithParamInterface<Reading> {};

TEST_P(ReadTest, ContentsGiveText)
{
    Put(GetParam().bytes);
    EXPECT_EQ(ReadExchangeFile(Path()), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ReadTest,
    testing::Values(Reading{"OneTrailingSubDropped", "text\x1a", u"text"},
                    Reading{"TwoTrailingSubsKeepOne", "text\x1a\x1a", u"text\x1a"},
                    Reading{"SubInTheMiddleKept", "te\x1axt", u"te\x1axt"},
                    Reading{"LoneSubIsEmpty", "\x1a", u""},
                    Reading{"ZeroBytesIsEmpty", "", u""},
                    Reading{"CrLfKept", "one\r\ntwo\r\n", u"one\r\ntwo\r\n"},
                    Reading{"NonAscii", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", u"café € 😀"},
                    Reading{"InvalidUtf8BecomesReplacement", "a\xff" "b\xc3" "c\xed\xa0\x80", u"a\ufffdb\ufffdc\ufffd\ufffd\ufffd"},
                    Reading{"OverlongBecomesReplacement", "\xc0\xaf", u"\ufffd\ufffd"}),
    [](const testing::TestParamInfo<Reading>& info) { return info.param.name; });

TEST_F(ExchangeFileTest, WrittenTextReadsBackByteForByte)
{
    const Text text = u"line one\r\nzwei \u00e9\u20ac\U0001F600\n\x1a middle";
    WriteExchangeFile(Path(), text);
    EXPECT_EQ(Contents(), "line one\r\nzwei \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\n\x1a middle");
    EXPECT_EQ(ReadExchangeFile(Path()), text);
}

// Files move through memory in blocks; a character cut by a block's end must
// come through whole.
TEST_F(ExchangeFileTest, CharactersAcrossBlockBoundariesSurvive)
{
    const size_t block = size_t{1} << 20;
    for (size_t cut = 1; cut <= 8; ++cut) {
        SCOPED_TRACE(cut);
        const std::string bytes = std::string(block - cut, 'x') + "\xe2\x82\xac\xf0\x9f\x98\x80\xff!";
        const Text text = Text(block - cut, u'x') + u"\u20ac\U0001F600\ufffd!";
        Put(bytes);
        EXPECT_TRUE(ReadExchangeFile(Path()) == text);
        fs::remove(path_);
        WriteExchangeFile(Path(), text.substr(0, text.size() - 2));
        EXPECT_TRUE(Contents() == bytes.substr(0, bytes.size() - 2));
        fs::remove(path_);
    }
}

TEST_F(ExchangeFileTest, EmptyTextMakesZeroByteFile)
{
    WriteExchangeFile(Path(), u"");
    EXPECT_TRUE(ExchangeFileExists(Path()));
    EXPECT_EQ(fs::file_size(path_), 0u);
}

TEST_F(ExchangeFileTest, WriteNeverReplacesAnExistingFile)
{
    Put("stored first");
    EXPECT_THROW(WriteExchangeFile(Path(), u"stored second"), PlatformError);
    EXPECT_EQ(Contents(), "stored first");
    EXPECT_EQ(Entries(), std::vector<std::string>{"TAVO.TXT"});
}

TEST_F(ExchangeFileTest, WriteCutShortLeavesNothing)
{
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(WriteExchangeFile(Path(), Text(100000, u'x')), PlatformError);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(Entries().empty());
}

TEST_F(ExchangeFileTest, OnlyOrdinaryFilesExist)
{
    EXPECT_FALSE(ExchangeFileExists(Path()));

    fs::create_directory(path_);
    EXPECT_FALSE(ExchangeFileExists(Path()));
    fs::remove(path_);

    ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
    EXPECT_FALSE(ExchangeFileExists(Path()));
    fs::remove(path_);

    Put("x");
    fs::rename(path_, folder_ / "real.txt");
    fs::create_symlink(folder_ / "real.txt", path_);
    EXPECT_TRUE(ExchangeFileExists(Path()));
}

TEST_F(ExchangeFileTest, DeleteRemovesFileAndReportsFailure)
{
    Put("x");
    DeleteExchangeFile(Path());
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_THROW(DeleteExchangeFile(Path()), PlatformError);
}

TEST(ExchangeFilePathTest, SitsBesideTheExecutable)
{
    const fs::path executable = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(AnsiFromText(ExchangeFilePath()), (executable.parent_path() / "TAVO.TXT").string());
}

} // namespace
