#include "probes/FileNameMatch.h"

#include <gtest/gtest.h>

TEST(FileNameMatch, BaseNameIsThePartAfterTheLastSlash)
{
    EXPECT_EQ(FileNameMatch::baseName("/usr/bin/Watch Me.EXE"), "Watch Me.EXE");
    EXPECT_EQ(FileNameMatch::baseName("plain.exe"), "plain.exe");
    EXPECT_EQ(FileNameMatch::baseName("/dir/"), "");
    EXPECT_EQ(FileNameMatch::baseName("C:\\x\\y.exe"), "C:\\x\\y.exe");
}

TEST(FileNameMatch, LettersMatchInEitherCaseAndNothingElseIsFolded)
{
    const std::pair<const char*, const char*> same[] = {
        {"notepad.exe", "NOTEPAD.EXE"},
        {"Watch Me.EXE", "watch me.exe"},
        {"\xc3\x84rger.exe", "\xc3\xa4RGER.EXE"},
        {"\xd0\x9f\xd1\x80\xd0\xb8", "\xd0\xbf\xd0\xa0\xd0\x98"},         // Cyrillic "Pri" in mixed cases
        {"\xd0\x81", "\xd1\x91"},                                         // Yo
        {"\xce\xa9", "\xcf\x89"},                                         // Omega
        {"\xc5\x81\xc3\xb3\x64\xc5\xba", "\xc5\x82\xc3\x93\x44\xc5\xb9"}, // Polish, capital odd and even
        {"\xc5\xb8", "\xc3\xbf"},                                         // Y with diaeresis
        {"caf\xe2\x82\xac", "CAF\xe2\x82\xac"},                           // three-byte sequence compared as bytes
    };
    for (const auto& [a, b] : same) {
        EXPECT_TRUE(FileNameMatch::sameName(a, b)) << a << " / " << b;
    }
    const std::pair<const char*, const char*> different[] = {
        {"notepad.exe", "notepad"}, {"notepad.exe", "notepad.ex"}, {"a", "b"}, {"[", "{"}, {"@", "`"},
        {"\xc3\x97", "\xc3\xb7"},                         // multiplication and division signs are no case pair
        {"\xff", "\xdf"},           {"\xc3\x84", "\xc3"}, // stray bytes match only themselves
        {"\xc3\x84x", "\xc3\xa5x"},
    };
    for (const auto& [a, b] : different) {
        EXPECT_FALSE(FileNameMatch::sameName(a, b)) << a << " / " << b;
    }
    EXPECT_TRUE(FileNameMatch::sameName("\xff", "\xff"));
}
