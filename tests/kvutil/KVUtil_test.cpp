#include "kvutil/KVUtil.h"

#include <gtest/gtest.h>
#include <new>
#include <unistd.h>

using KVUtil::String;

TEST(KVUtilTest, SubstrHonoursMinusOneAndClampsLength)
{
    const String text = "profiles";
    EXPECT_EQ(KVUtil::substr(text, 0), "profiles");
    EXPECT_EQ(KVUtil::substr(text, 3, -1), "files");
    EXPECT_EQ(KVUtil::substr(text, 3, 2), "fi");
    EXPECT_EQ(KVUtil::substr(text, 6, 100), "es");
    EXPECT_EQ(KVUtil::substr(text, 8), "");
}

TEST(KVUtilDeathTest, BadSubstrRangeEndsTheProcessWithoutReadingPastTheText)
{
    EXPECT_EXIT(KVUtil::substr("abc", 4, 1), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(KVUtil::substr("abc", -1, 1), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(KVUtil::substr("abc", 0, -2), testing::ExitedWithCode(1), "");
}

TEST(KVUtilDeathTest, FatalErrorPrintsBothLinesWithTheBareFileName)
{
    // The lines go to standard output; the death test only sees stderr, so
    // the child redirects stdout there first.
    EXPECT_EXIT(
        {
            dup2(2, 1);
            KVUtil::fatalError(6, "/some/dir/String.cpp", 42);
        },
        testing::ExitedWithCode(6), "BFE 6 String.cpp:42\nError code 6\n");
}

TEST(KVUtilDeathTest, AllocationFailureEndsWithCodeSix)
{
    EXPECT_EXIT(
        {
            dup2(2, 1);
            KVUtil::installAllocationFailureHandler();
            std::get_new_handler()();
        },
        testing::ExitedWithCode(6), "BFE 6 KVUtil.cpp:[0-9]+\nError code 6\n");
}

TEST(KVUtilTest, FindReturnsMinusOneWhenAbsent)
{
    EXPECT_EQ(KVUtil::find("a;b;c", ";"), 1);
    EXPECT_EQ(KVUtil::find("a;b;c", ";", 2), 3);
    EXPECT_EQ(KVUtil::find("a;b;c", ";", 4), -1);
    EXPECT_EQ(KVUtil::find("abc", "x"), -1);
    EXPECT_EQ(KVUtil::find("abc", "a", 10), -1);
    EXPECT_EQ(KVUtil::findLast("a/b/c", '/'), 3);
    EXPECT_EQ(KVUtil::findLast("abc", '/'), -1);
}
