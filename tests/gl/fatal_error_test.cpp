// fatalError ends the process, so each case runs it in a child: gtest's
// "threadsafe" death tests start the test program again for the statement.
#include "runtime/fatal_error.h"

#include "gl_support.h"

namespace {

constexpr const char* kHeading = "Sorry, but the following module had something to say:";

class FatalErrorTest : public testing::Test {
  protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        useOffscreenDriver();
    }
    ScratchDirectory scratch;
};

} // namespace

TEST_F(FatalErrorTest, ReportIsFourLinesEndedByCarriageReturnLineFeed) {
    EXPECT_EQ(errorReport("kglTexture", "Could not load Texture"),
              std::string(kHeading) + "\r\n\r\nkglTexture\r\nCould not load Texture\r\n");
    EXPECT_EQ(errorReport("", ""), std::string(kHeading) + "\r\n\r\n\r\n\r\n");
}

TEST_F(FatalErrorTest, WritesTheReportReplacingAnOlderOneAndExitsWithOne) {
    writeBytes("error.txt", std::vector<uint8_t>(4000, 'x'));
    EXPECT_EXIT(fatalError("kglTimeline", "Could not load Script file!"),
                testing::ExitedWithCode(1),
                "following module had something to say:\n\nkglTimeline\nCould not load Script");
    EXPECT_EQ(readBytes("error.txt"),
              std::string(kHeading) + "\r\n\r\nkglTimeline\r\nCould not load Script file!\r\n");
}

TEST_F(FatalErrorTest, EmptyTextsStillGiveFourLines) {
    EXPECT_EXIT(fatalError("", ""), testing::ExitedWithCode(1), "");
    EXPECT_EQ(readBytes("error.txt"), std::string(kHeading) + "\r\n\r\n\r\n\r\n");
}

TEST_F(FatalErrorTest, ReleasesAnOpenWindowOnTheWay) {
    EXPECT_EXIT(
        {
            createWindow("kiln test", 64, 48, 32, false);
            fatalError("kglParticle", "Too many Particles initialized");
        },
        testing::ExitedWithCode(1), "kglParticle\nToo many Particles initialized");
    EXPECT_EQ(readBytes("error.txt"),
              std::string(kHeading) + "\r\n\r\nkglParticle\r\nToo many Particles initialized\r\n");
}

TEST_F(FatalErrorTest, AReportThatCannotBeWrittenStillEndsTheShowOnStderr) {
    fs::create_directory("error.txt"); // a directory cannot be opened as a file
    EXPECT_EXIT(fatalError("kglWinAPI", "Could not create kglWindow!"), testing::ExitedWithCode(1),
                "could not write error.txt: .*\n(.|\n)*kglWinAPI\nCould not create kglWindow!");
    EXPECT_TRUE(fs::is_directory("error.txt"));
}
