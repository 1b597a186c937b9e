#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "install/template_text.h"

namespace {

const std::string kName = "80Normal";
const char kUntouched = '\x5A';

struct Rewrite {
    int ok;
    std::string text;  // up to the terminator when ok, else the buffer as it was left
};

// Sizes the result the way the installer does (count, length + 1) and rewrites into a
// buffer with guard bytes behind the capacity.
Rewrite RewriteText(const std::string& text, const std::string& replacement, int replaceAll)
{
    size_t count = CountTemplateNames(text.data(), text.size(), kName.data(), kName.size());
    int fits = 0;
    size_t length = ReplacedTextLength(text.size(), replaceAll ? count : count != 0, kName.size(),
                                       replacement.size(), &fits);
    EXPECT_EQ(1, fits);
    const size_t capacity = length + 1, guard = 64;
    std::vector<char> buffer(capacity + guard, kUntouched);
    int ok = ReplaceTemplateNames(text.data(), text.size(), kName.data(), kName.size(), replacement.data(),
                                  replacement.size(), replaceAll, buffer.data(), capacity);
    for (size_t i = capacity; i < buffer.size(); ++i) {
        EXPECT_EQ(kUntouched, buffer[i]) << "written beyond the capacity at " << i;
    }
    if (ok) {
        EXPECT_EQ('\0', buffer[length]);
        return {ok, std::string(buffer.data(), length)};
    }
    return {ok, std::string(buffer.data(), capacity)};
}

}  // namespace

TEST(TemplateText, ReplacesEveryOccurrenceOrOnlyTheFirst)
{
    const std::string gpd = "*GPDFileName: \"80Normal.GPD\"\n*ModelName: \"80Normal\"\n*Include: 80Normal\n";
    EXPECT_EQ(3u, CountTemplateNames(gpd.data(), gpd.size(), kName.data(), kName.size()));

    Rewrite all = RewriteText(gpd, "KR-620", 1);
    EXPECT_EQ(1, all.ok);
    EXPECT_EQ("*GPDFileName: \"KR-620.GPD\"\n*ModelName: \"KR-620\"\n*Include: KR-620\n", all.text);

    const std::string ini = "[80Normal]\nName=80Normal\n";
    Rewrite first = RewriteText(ini, "KR-620", 0);
    EXPECT_EQ(1, first.ok);
    EXPECT_EQ("[KR-620]\nName=80Normal\n", first.text);
}

TEST(TemplateText, MatchesExactBytesAnywhere)
{
    // Other letter case is another text; the name inside a longer word still matches, also
    // right after a false start.
    Rewrite r = RewriteText("80normal 80NORMAL 80NormalENG.GPD x80Normal8 880Normal", "KR-620", 1);
    EXPECT_EQ(1, r.ok);
    EXPECT_EQ("80normal 80NORMAL KR-620ENG.GPD xKR-6208 8KR-620", r.text);

    // Matches do not overlap.
    EXPECT_EQ(1u, CountTemplateNames("aaa", 3, "aa", 2));
    EXPECT_EQ(2u, CountTemplateNames("aaaa", 4, "aa", 2));
    char overlap[8];
    EXPECT_EQ(1, ReplaceTemplateNames("aaaaa", 5, "aa", 2, "b", 1, 1, overlap, sizeof overlap));
    EXPECT_STREQ("bba", overlap);

    // Adjacent names, and an inserted name that must not be searched again.
    r = RewriteText("80Normal80Normal", "80Normal80", 1);
    EXPECT_EQ(1, r.ok);
    EXPECT_EQ("80Normal8080Normal80", r.text);

    // A zero byte is text like any other.
    const std::string withZero("a\0" "80Normal\0b", 12);
    r = RewriteText(withZero, "Z", 1);
    EXPECT_EQ(1, r.ok);
    EXPECT_EQ(std::string("a\0Z\0b", 5), r.text);
}

TEST(TemplateText, NoOccurrenceLeavesTheResultUntouched)
{
    for (const std::string text : {"", "80Norma", "80normal", "8 0Normal"}) {
        EXPECT_EQ(0u, CountTemplateNames(text.data(), text.size(), kName.data(), kName.size())) << text;
        char result[32];
        memset(result, kUntouched, sizeof result);
        for (int replaceAll = 0; replaceAll <= 1; ++replaceAll) {
            EXPECT_EQ(0, ReplaceTemplateNames(text.data(), text.size(), kName.data(), kName.size(), "KR-620", 6,
                                              replaceAll, result, sizeof result));
        }
        EXPECT_EQ(std::string(sizeof result, kUntouched), std::string(result, sizeof result)) << text;
    }
}

TEST(TemplateText, CapacityExactlyEnoughOrOneShort)
{
    const std::string text = "A80NormalB80NormalC";
    const std::string expected = "ADriver-NameBDriver-NameC";
    for (size_t capacity : {expected.size() + 1, expected.size()}) {
        std::vector<char> buffer(capacity + 8, kUntouched);
        int ok = ReplaceTemplateNames(text.data(), text.size(), kName.data(), kName.size(), "Driver-Name", 11, 1,
                                      buffer.data(), capacity);
        if (capacity == expected.size() + 1) {
            EXPECT_EQ(1, ok);
            EXPECT_EQ(expected, std::string(buffer.data()));
            EXPECT_EQ(std::string(8, kUntouched), std::string(buffer.data() + capacity, 8));
        } else {
            EXPECT_EQ(0, ok);
            EXPECT_EQ(std::string(buffer.size(), kUntouched), std::string(buffer.data(), buffer.size()));
        }
    }
}

TEST(TemplateText, LongDriverNameManyTimes)
{
    // Each of 10,000 replacements grows the text by 192 bytes, far past file size + 128.
    std::string text;
    for (int i = 0; i < 10000; ++i) {
        text += "*Name: 80Normal\n";
    }
    std::string driver(200, 'D');
    driver[0] = 'K';
    driver[199] = 'Z';

    Rewrite all = RewriteText(text, driver, 1);
    ASSERT_EQ(1, all.ok);
    EXPECT_EQ(text.size() + 10000 * 192, all.text.size());
    EXPECT_EQ(std::string::npos, all.text.find(kName));
    EXPECT_EQ("*Name: " + driver + "\n", all.text.substr(all.text.size() - 208));

    Rewrite first = RewriteText(text, driver, 0);
    ASSERT_EQ(1, first.ok);
    EXPECT_EQ(text.size() + 192, first.text.size());
    EXPECT_EQ("*Name: " + driver + "\n*Name: 80Normal\n", first.text.substr(0, 224));
}

TEST(TemplateText, RefusesAGrowthBeyondSizeT)
{
    int fits = 1;
    EXPECT_EQ(0u, ReplacedTextLength(80, 10, 8, SIZE_MAX / 10 + 1, &fits));
    EXPECT_EQ(0, fits);
    // The largest length that leaves room for the terminator, and one more.
    EXPECT_EQ(SIZE_MAX - 1, ReplacedTextLength(8, 1, 8, SIZE_MAX - 1, &fits));
    EXPECT_EQ(1, fits);
    EXPECT_EQ(0u, ReplacedTextLength(8, 1, 8, SIZE_MAX, &fits));
    EXPECT_EQ(0, fits);
    // More names than the text can hold.
    EXPECT_EQ(0u, ReplacedTextLength(20, 3, 8, 0, &fits));
    EXPECT_EQ(0, fits);
    // Nothing to replace, but no room for the terminator either.
    EXPECT_EQ(0u, ReplacedTextLength(SIZE_MAX, 0, 8, 1, &fits));
    EXPECT_EQ(0, fits);

    // Three names each growing by a third of the address space: a wrapped sizing would
    // claim a small result and copy far past it.
    const std::string text = "80Normal 80Normal 80Normal";
    char replacement[16] = {};
    char result[64];
    memset(result, kUntouched, sizeof result);
    EXPECT_EQ(0, ReplaceTemplateNames(text.data(), text.size(), kName.data(), kName.size(), replacement,
                                      SIZE_MAX / 3 + 1, 1, result, sizeof result));
    EXPECT_EQ(std::string(sizeof result, kUntouched), std::string(result, sizeof result));
}
