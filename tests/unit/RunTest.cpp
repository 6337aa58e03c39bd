#include <gtest/gtest.h>

#include <optional>

#include "app/RWFile.h"
#include "tests/unit/FakePlatform.h"

namespace {

using Calls = std::vector<std::string>;

// Runs once in a fresh world; gives the world as the run left it.
FakeWorld& RunOnce(std::optional<Bytes> exchangeFile, const Text& clipboard, const Text& argument,
               const std::string& failingCall = "")
{
    FakeWorld& world = World();
    world = FakeWorld{};
    world.clipboard = clipboard;
    world.argument = argument;
    world.failingCall = failingCall;
    if (exchangeFile)
        world.files[FakeExchangeFile] = *exchangeFile;
    try {
        RWFile();
    } catch (const ProgramEnded&) {
    } catch (const PlatformError&) {
    }
    return world;
}

struct Outcome {
    const char* name;
    std::optional<Bytes> fileBefore;
    Text argument;
    Text clipboardAfter;
    std::optional<Bytes> fileAfter;
};

void PrintTo(const Outcome& outcome, std::ostream* out)
{
    *out << outcome.name;
}

class OutcomeTest : public testing::TestWithParam<Outcome> {};

TEST_P(OutcomeTest, LeavesClipboardAndFileAsExpected)
{
    const Outcome& o = GetParam();
    const FakeWorld& world = RunOnce(o.fileBefore, u"current", o.argument);
    EXPECT_EQ(world.clipboard, o.clipboardAfter);
    const auto file = world.files.find(FakeExchangeFile);
    EXPECT_EQ(file != world.files.end() ? std::optional<Bytes>(file->second) : std::nullopt, o.fileAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, OutcomeTest,
    testing::Values(Outcome{"StoreIgnoresArgument", std::nullopt, u"A", u"current", "current"},
                    Outcome{"StoreWithoutArgument", std::nullopt, u"", u"current", "current"},
                    Outcome{"ReleaseAlone", "saved", u"", u"saved", std::nullopt},
                    Outcome{"ReleaseCurrentThenSaved", "saved", u"A", u"currentsaved", std::nullopt},
                    Outcome{"ReleaseLowerCaseA", "saved", u"a", u"currentsaved", std::nullopt},
                    Outcome{"ReleaseSavedThenCurrent", "saved", u"B", u"savedcurrent", std::nullopt},
                    Outcome{"ReleaseLowerCaseB", "saved", u"b", u"savedcurrent", std::nullopt},
                    Outcome{"ReleaseBothLetters", "saved", u"AB", u"saved", std::nullopt},
                    Outcome{"ReleaseTrailingBlank", "saved", u"A ", u"saved", std::nullopt},
                    Outcome{"ReleaseOtherWord", "saved", u"C D", u"saved", std::nullopt},
                    Outcome{"ReleaseEmptySavedWithB", "", u"B", u"current", std::nullopt},
                    Outcome{"ReleaseEndMarkDropped", "saved\x1a", u"", u"saved", std::nullopt}),
    [](const testing::TestParamInfo<Outcome>& info) { return info.param.name; });

TEST(RunSteps, StoreRunHidesPointerFirstAndNeverTouchesArgumentOrClipboard)
{
    const FakeWorld& world = RunOnce(std::nullopt, u"current", u"B");
    EXPECT_EQ(world.calls, (Calls{"ShowCursor(FALSE)", "ProgramFolder", "OrdinaryFileExists",
                                  "GetClipboardText", "CreateTextFile", "EndProgram"}));
    EXPECT_EQ(world.pointerCount, -1);
}

TEST(RunSteps, ReleaseRunReadsFileBeforeEmptyingClipboard)
{
    const FakeWorld& world = RunOnce("saved", u"current", u"a");
    EXPECT_EQ(world.calls,
              (Calls{"ShowCursor(FALSE)", "ProgramFolder", "OrdinaryFileExists", "ArgumentText",
                     "UpperCaseText", "GetClipboardText", "ReadTextFile", "ClearClipboard",
                     "SetClipboardText", "RemoveFile", "EndProgram"}));
}

TEST(RunSteps, ReleaseWithoutArgumentDoesNotReadClipboard)
{
    const FakeWorld& world = RunOnce("saved", u"current", u"");
    EXPECT_EQ(std::count(world.calls.begin(), world.calls.end(), "GetClipboardText"), 0);
}

struct Failure {
    const char* call;
    Text clipboardAfter;
    bool fileKept;
};

void PrintTo(const Failure& failure, std::ostream* out)
{
    *out << failure.call;
}

class ReleaseFailureTest : public testing::TestWithParam<Failure> {};

// The run stops at the failing step; nothing done before it is undone, and the
// saved text is never lost.
TEST_P(ReleaseFailureTest, StopsAtTheStepAndKeepsTheSavedText)
{
    const Failure& f = GetParam();
    const FakeWorld& world = RunOnce("saved", u"current", u"B", f.call);
    EXPECT_EQ(world.calls.back(), f.call);
    EXPECT_EQ(world.clipboard, f.clipboardAfter);
    EXPECT_EQ(world.files.count(FakeExchangeFile), f.fileKept ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Steps, ReleaseFailureTest,
                         testing::Values(Failure{"GetClipboardText", u"current", true},
                                         Failure{"ReadTextFile", u"current", true},
                                         Failure{"ClearClipboard", u"current", true},
                                         Failure{"SetClipboardText", u"", true},
                                         Failure{"RemoveFile", u"savedcurrent", true}),
                         [](const testing::TestParamInfo<Failure>& info) { return info.param.call; });

TEST(StoreFailure, LeavesClipboardAndWritesNothing)
{
    for (const char* call : {"GetClipboardText", "CreateTextFile"}) {
        const FakeWorld& world = RunOnce(std::nullopt, u"current", u"", call);
        EXPECT_EQ(world.clipboard, u"current") << call;
        EXPECT_TRUE(world.files.empty()) << call;
    }
}

} // namespace
