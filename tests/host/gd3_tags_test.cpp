#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/gd3_tags.h"
#include "tests/support/host_result.h"

namespace {

// A file of padding with a tag block at 0x40 holding the eleven strings,
// each given as UTF-16 code units.
std::vector<uint8_t> FileWithTags(const std::vector<std::u16string>& strings)
{
    size_t units = 0;
    for (const std::u16string& s : strings) {
        units += s.size() + 1;
    }
    const uint32_t size = static_cast<uint32_t>(2 * units);
    std::vector<uint8_t> file(0x40, 0);
    for (char b : std::string("Gd3 \x00\x01\x00\x00", 8)) {  // ident, version 1.00
        file.push_back(static_cast<uint8_t>(b));
    }
    for (int i = 0; i < 4; ++i) {
        file.push_back(static_cast<uint8_t>(size >> (8 * i)));
    }
    for (const std::u16string& s : strings) {
        for (size_t i = 0; i <= s.size(); ++i) {
            const char16_t unit = i < s.size() ? s[i] : u'\0';
            file.push_back(static_cast<uint8_t>(unit));
            file.push_back(static_cast<uint8_t>(unit >> 8));
        }
    }
    return file;
}

const std::vector<std::u16string> kFull = {u"Track",  u"トラック", u"",     u"ゲーム", u"System", u"",
                                           u"Author", u"",        u"1989", u"Ripper", u"Line 1\r\nLine 2"};

}  // namespace

TEST(Gd3Tags, EnglishOrElseJapaneseInUtf8)
{
    const std::vector<uint8_t> file = FileWithTags(kFull);
    Gd3Tags tags;
    std::string warning;
    ASSERT_TRUE(Ok(ReadGd3Tags(file.data(), file.size(), 0x40, &tags), &warning)) << warning;
    EXPECT_EQ(tags.track, "Track");
    EXPECT_EQ(tags.game, "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0");  // ゲーム
    EXPECT_EQ(tags.system, "System");
    EXPECT_EQ(tags.author, "Author");
    EXPECT_EQ(tags.date, "1989");
    EXPECT_EQ(tags.ripper, "Ripper");
    EXPECT_EQ(FormatGd3Tags(tags),
              "  Track:  Track\n  Game:   \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0\n  System: System\n"
              "  Author: Author\n  Date:   1989\n  Ripper: Ripper\n  Notes:  Line 1\n          Line 2\n");
    EXPECT_TRUE(Ok(ReadGd3Tags(file.data(), file.size(), 0, &tags), &warning));  // no block: no tags, no warning
    EXPECT_TRUE(tags.Empty());
}

TEST(Gd3Tags, Utf16PairsAndLoneSurrogates)
{
    struct Case {
        std::u16string units;
        bool ok;
        std::string utf8;
    };
    const Case cases[] = {
        {u"A\u00E9", true, "A\xC3\xA9"},
        {u"\u20AC", true, "\xE2\x82\xAC"},
        {u"\U0001F3B5", true, "\xF0\x9F\x8E\xB5"},  // a surrogate pair
        {std::u16string(1, char16_t{0xD83C}), false, ""},
        {std::u16string{char16_t{0xDF75}, u'a'}, false, ""},
        {std::u16string{char16_t{0xD83C}, u'a'}, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::vector<uint8_t> bytes;
        for (char16_t u : c.units) {
            bytes.push_back(static_cast<uint8_t>(u));
            bytes.push_back(static_cast<uint8_t>(u >> 8));
        }
        std::string out;
        EXPECT_EQ(Utf16LeToUtf8(bytes.data(), c.units.size(), &out), c.ok);
        if (c.ok) {
            EXPECT_EQ(out, c.utf8);
        }
    }
}

TEST(Gd3Tags, BrokenBlocksAreIgnoredWithOneWarning)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        uint64_t offset;
        const char* warning;
    };
    const std::vector<uint8_t> good = FileWithTags(kFull);
    const auto byte = [&good](size_t at, uint8_t value) {
        std::vector<uint8_t> f = good;
        f[at] = value;
        return f;
    };
    const auto string = [](size_t index, std::u16string value) {
        std::vector<std::u16string> s = kFull;
        s[index] = value;
        return FileWithTags(s);
    };
    const std::vector<Case> cases = {
        {"offset past the end", good, good.size(), "past the end of the file"},
        {"head cut off", std::vector<uint8_t>(good.begin(), good.begin() + 0x48), 0x40, "past the end"},
        {"no ident", byte(0x40, 'X'), 0x40, "no \"Gd3 \" ident"},
        {"odd length", byte(0x48, static_cast<uint8_t>(good[0x48] | 1)), 0x40, "odd length"},
        {"length past the end", byte(0x4A, 0x10), 0x40, "runs past the end"},
        {"ten strings", FileWithTags({kFull.begin(), kFull.end() - 1}), 0x40, "string 11 of 11 has no terminator"},
        {"lone surrogate", string(2, std::u16string(1, char16_t{0xDC00})), 0x40, "string 3 of 11 is not UTF-16"},
        {"control character", string(4, u"\t\x10"), 0x40, "string 5 of 11 holds control characters"},
        {"terminal escape", string(4, u"\x1B[2J"), 0x40, "control characters"},
        {"C1 control", string(4, u"\x9B"), 0x40, "control characters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Gd3Tags tags;
        tags.track = "stale";
        std::string warning;
        EXPECT_FALSE(Ok(ReadGd3Tags(c.file.data(), c.file.size(), c.offset, &tags), &warning));
        EXPECT_NE(warning.find(c.warning), std::string::npos) << warning;
        EXPECT_EQ(warning.find('\n'), std::string::npos);
        EXPECT_TRUE(tags.Empty());
    }
}

TEST(Gd3Tags, TitleFallsBackFromTrackToGameToTheGivenName)
{
    Gd3Tags tags;
    EXPECT_EQ(SongTitle(tags, "song"), "song");
    tags.game = "Game";
    EXPECT_EQ(SongTitle(tags, "song"), "Game");
    tags.track = "Track";
    EXPECT_EQ(SongTitle(tags, "song"), "Track");
}

TEST(Gd3Tags, FileTagsInTheirOrderWithTheirNames)
{
    const std::vector<uint8_t> file = FileWithTags(kFull);
    Gd3Tags tags;
    std::string warning;
    ASSERT_TRUE(Ok(ReadGd3Tags(file.data(), file.size(), 0x40, &tags), &warning)) << warning;
    struct Row {
        std::string vorbis, info, value;
    };
    const std::vector<Row> expected = {
        {"TITLE", "INAM", "Track"},    {"ALBUM", "IPRD", "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0"},  // Japanese alone
        {"ARTIST", "IART", "Author"},  {"DATE", "ICRD", "1989"},
        {"COMMENT", "ICMT", "Line 1\nLine 2"},  {"SYSTEM", "ISRF", "System"},
        {"RIPPER", "ITCH", "Ripper"},
    };
    std::vector<Row> got;
    for (const SongTagField& f : SongTagFields(tags)) {
        got.push_back({f.vorbisName, f.infoId, f.value});
    }
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].vorbis, expected[i].vorbis);
        EXPECT_EQ(got[i].info, expected[i].info);
        EXPECT_EQ(got[i].value, expected[i].value) << got[i].vorbis;
    }
    tags = Gd3Tags{};
    tags.date = "1990";
    ASSERT_EQ(SongTagFields(tags).size(), 1u);  // only what is set
    EXPECT_EQ(SongTagFields(tags)[0].value, "1990");
}
