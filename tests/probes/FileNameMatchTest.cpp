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
        {"caf\xe2\x82\xac", "CAF\xe2\x82\xac"},                           // a three-byte sign without case
        {"\xcf\x82", "\xce\xa3"},                                         // final sigma and capital sigma
        {"\xcf\x82", "\xcf\x83"},                                         // ... and small sigma
        {"\xc2\xb5", "\xce\xbc"},                                         // micro sign and small mu
        {"\xc2\xb5", "\xce\x9c"},                                         // ... and capital mu
        {"\xce\xaa", "\xcf\x8a"},                                         // Iota with dialytika
        {"\xce\x86", "\xce\xac"},                                         // Alpha with tonos
        {"\xd2\x90", "\xd2\x91"},                                         // Ghe with upturn
        {"\xd2\x9a", "\xd2\x9b"},                                         // Ka with descender
        {"\xf0\x90\x90\x80", "\xf0\x90\x90\xa8"},                         // Deseret long I, beyond two bytes
        {"\xc3x\xc3\x84", "\xc3X\xc3\xa4"},                               // decoding resumes after a stray byte
        {"\xe2\x84\xaa.exe", "k.EXE"},                                    // Kelvin sign: folds to fewer bytes
    };
    for (const auto& [a, b] : same) {
        EXPECT_TRUE(FileNameMatch::sameName(a, b)) << a << " / " << b;
    }
    const std::pair<const char*, const char*> different[] = {
        {"notepad.exe", "notepad"},
        {"notepad.exe", "notepad.ex"},
        {"a", "b"},
        {"[", "{"},
        {"@", "`"},
        {"\xc3\x97", "\xc3\xb7"}, // multiplication and division signs are no case pair
        {"\xff", "\xdf"},         // stray bytes match only themselves
        {"\xc3\x84", "\xc3"},
        {"\xc3\x84x", "\xc3\xa5x"},
        {"\xc4\xb0", "\xc4\xb1"}, // dotted capital I, dotless small i
        {"\xc4\xb0", "i"},        // Turkish folding is not applied
        {"\xc4\xb1", "I"},
        {"\xce\xa2", "\xcf\x82"}, // U+03A2 is unassigned
        {"\xce\xa2", "\xcf\x83"},
        {"\xc3\x9f", "ss"}, // only one-to-one folding
        {"\xc1\x81", "a"},  // an overlong 'A' is no letter
    };
    for (const auto& [a, b] : different) {
        EXPECT_FALSE(FileNameMatch::sameName(a, b)) << a << " / " << b;
    }
    EXPECT_TRUE(FileNameMatch::sameName("\xff", "\xff"));
}
