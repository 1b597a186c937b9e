#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
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

namespace {

std::string TempFilePath()
{
    char folder[MAX_PATH] = {};
    EXPECT_NE(0u, GetTempPathA(MAX_PATH, folder));
    return std::string(folder) + "text_mode.txt";
}

void WriteRaw(const std::string& path, const std::string& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file));
    EXPECT_EQ(0, fclose(file));
}

std::string ReadRaw(const std::string& path)
{
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    EXPECT_NE(nullptr, file);
    for (int c; file && (c = getc(file)) != EOF;)
        bytes += static_cast<char>(c);
    if (file)
        fclose(file);
    return bytes;
}

// What a "r" stream delivers from the raw bytes: in one read of the file's size, as the
// installer read its INI, or a byte at a time, which fills the stream's 4096-byte buffer.
std::string ThroughReadStream(const std::string& raw, bool byteByByte)
{
    const std::string path = TempFilePath();
    WriteRaw(path, raw);
    std::string text;
    FILE* file = fopen(path.c_str(), "r");
    EXPECT_NE(nullptr, file);
    if (!file)
        return text;
    if (byteByByte) {
        for (int c; (c = getc(file)) != EOF;)
            text += static_cast<char>(c);
    } else {
        text.resize(raw.size());
        text.resize(fread(&text[0], 1, raw.size(), file));
    }
    fclose(file);
    return text;
}

// The file a "w" stream makes of the text.
std::string ThroughWriteStream(const std::string& text)
{
    const std::string path = TempFilePath();
    FILE* file = fopen(path.c_str(), "w");
    EXPECT_NE(nullptr, file);
    if (!file)
        return "";
    EXPECT_EQ(text.size(), fwrite(text.data(), 1, text.size(), file));
    EXPECT_EQ(0, fclose(file));
    return ReadRaw(path);
}

}  // namespace

// The translations beside the C runtime's own text-mode streams (msvcrt, under Wine): each row
// is read through a "r" stream and written through a "w" one.
TEST(TemplateText, TextModeTranslationsMatchTheStreams)
{
    const struct {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"empty", ""},
        {"a lone CR", "a\rb\r\n"},
        {"CR CR LF", "a\r\r\nb"},
        {"CR at the end of the file", "a\r\nb\r"},
        {"LF CR", "a\n\rb\n\r"},
        {"0x1A in the middle", "a\r\n\x1A" "b\r\n"},
        {"0x1A first", "\x1A" "a\n"},
        {"CR before 0x1A", "a\r\x1A\n"},
        {"CR LF split by the stream's buffer", std::string(4095, 'x') + "\r\n" + std::string(5000, 'y') + "\r\n"},
        {"zero bytes", std::string("\0a\r\n\0\n", 7)},
        {"LF first and last, LFs in a row, a line moved up by one", "\nabcdefghij\n\n\ncd\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string& raw = row.bytes;
        std::vector<char> text(raw.size() + 8, kUntouched);
        const size_t length = TextModeRead(raw.data(), raw.size(), text.data());
        ASSERT_LE(length, raw.size());
        const std::string read(text.data(), length);
        EXPECT_EQ(ThroughReadStream(raw, false), read);
        EXPECT_EQ(ThroughReadStream(raw, true), read);
        EXPECT_EQ(std::string(text.size() - length, kUntouched), std::string(text.data() + length, text.size() - length));
        std::string inPlace = raw;
        EXPECT_EQ(read, inPlace.substr(0, TextModeRead(inPlace.data(), inPlace.size(), &inPlace[0])));

        const std::string written = ThroughWriteStream(raw);
        int fits = 0;
        EXPECT_EQ(written.size(), TextModeWrittenLength(raw.data(), raw.size(), &fits));
        EXPECT_EQ(1, fits);
        std::vector<char> buffer(written.size() + 8, kUntouched);
        std::copy(raw.begin(), raw.end(), buffer.begin());
        ASSERT_EQ(1, TextModeWrite(buffer.data(), raw.size(), written.size()));
        EXPECT_EQ(written, std::string(buffer.data(), written.size()));
        EXPECT_EQ(std::string(8, kUntouched), std::string(buffer.data() + written.size(), 8));
        if (written.size() > raw.size()) {
            // One byte short of the room: refused, nothing moved.
            std::vector<char> shorter(written.size() - 1 + 8, kUntouched);
            std::copy(raw.begin(), raw.end(), shorter.begin());
            const std::vector<char> before = shorter;
            EXPECT_EQ(0, TextModeWrite(shorter.data(), raw.size(), written.size() - 1));
            EXPECT_EQ(before, shorter);
        }
    }
}

namespace {

struct Generated {
    std::string bytes;
    size_t replaced;
};

// The generated file's text from the whole template by the functions above, each compared
// with the C runtime's streams: the read, the text up to its first zero, the names replaced
// into a buffer sized for the written result, the line ends put in place.
Generated WholeText(const std::string& raw, const std::string& name, const std::string& replacement, int replaceAll,
                    int textModeRead)
{
    std::string text = raw;
    size_t length = textModeRead ? TextModeRead(raw.data(), raw.size(), &text[0]) : raw.size();
    text.resize(TextLength(text.data(), length));
    const size_t count = CountTemplateNames(text.data(), text.size(), name.data(), name.size());
    const size_t replaced = replaceAll ? count : count != 0;
    int fits = 0;
    const size_t written = WrittenReplacedTextLength(text.data(), text.size(), replaced, name.data(), name.size(),
                                                     replacement.data(), replacement.size(), &fits);
    EXPECT_EQ(1, fits);
    std::vector<char> buffer(written + 1);
    length = text.size();
    if (replaced) {
        EXPECT_EQ(1, ReplaceTemplateNames(text.data(), text.size(), name.data(), name.size(), replacement.data(),
                                          replacement.size(), replaceAll, buffer.data(), buffer.size()));
        length = ReplacedTextLength(text.size(), replaced, name.size(), replacement.size(), &fits);
    } else {
        std::copy(text.begin(), text.end(), buffer.begin());
    }
    EXPECT_EQ(1, TextModeWrite(buffer.data(), length, written));
    return {std::string(buffer.data(), written), replaced};
}

// The same template streamed in the pieces that end at each of cuts, each piece's output in a
// buffer of exactly its capacity with guard bytes behind it.
Generated Streamed(const std::string& raw, const std::vector<size_t>& cuts, const std::string& name,
                   const std::string& replacement, int replaceAll, int textModeRead)
{
    TemplateStream stream;
    TemplateStreamStart(&stream, name.data(), name.size(), replacement.data(), replacement.size(), replaceAll,
                        textModeRead);
    Generated result = {"", 0};
    size_t from = 0;
    for (size_t i = 0; i <= cuts.size(); ++i) {
        const bool finish = i == cuts.size();
        const size_t to = finish ? raw.size() : cuts[i];
        int fits = 0;
        const size_t capacity = TemplateStreamCapacity(to - from, name.size(), replacement.size(), &fits);
        EXPECT_EQ(1, fits);
        std::vector<char> out(capacity + 8, kUntouched);
        size_t length = capacity + 1;
        EXPECT_EQ(1, TemplateStreamFeed(&stream, raw.data() + from, to - from, out.data(), capacity, &length));
        EXPECT_LE(length, capacity);
        result.bytes.append(out.data(), std::min(length, capacity));
        if (finish) {
            EXPECT_EQ(1, TemplateStreamFinish(&stream, out.data(), capacity, &length));
            EXPECT_LE(length, capacity);
            result.bytes.append(out.data(), std::min(length, capacity));
        }
        EXPECT_EQ(std::string(8, kUntouched), std::string(out.data() + capacity, 8)) << "piece " << i;
        from = to;
    }
    result.replaced = stream.replaced;
    return result;
}

}  // namespace

// The streamed clone against the whole-text result, for every split of each text into two
// pieces and for pieces of 1, 2, 3 and 7 bytes: names, CR LF and 0x1A across every piece end.
// Beside the template name a name that overlaps itself, ending in a CR.
TEST(TemplateText, StreamingGivesTheWholeTextsResultInAnyPieces)
{
    std::vector<std::string> texts = {
        "",
        "*GPDFileName: \"80Normal.GPD\"\r\n*ModelName: \"80Normal\"\n*Include: 80Normal\n",
        "[80Normal]\r\nName=80Normal\r\n",
        "80normal 80NORMAL 80NormalENG.GPD x80Normal8 880Normal",
        "80Normal80Normal",
        std::string("a\0" "80Normal\0b", 12),
        "80Norma",
        "8 0Normal\r",
        "a\r\r\nb\r",
        "a\n\rb\n\r",
        "a=80Normal\r\n\x1A" "b=80Normal\r\n",
        "\x1A" "a=80Normal\r\n",
        "a\r\x1A\n80Normal",
        std::string("\0a\r\n\0\n", 7),
        "80Normal\r",
        "aaab\r aab\r\n aab\raab\r",
        "aaaab\raab",
        "aab\r",
    };
    // Random texts from the bytes that matter, the names among them.
    const std::string pieces[] = {"80Normal", "aab\r", "8", "80", "a", "b", "\r", "\n", "\r\n", std::string(1, '\0'),
                                  "\x1A", "x"};
    std::mt19937 random(12);
    for (int i = 0; i < 300; ++i) {
        std::string text;
        for (size_t n = random() % 12; n; --n)
            text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        texts.push_back(text);
    }

    for (const std::string& name : {kName, std::string("aab\r")}) {
        for (const std::string& replacement : {std::string("KR-620"), std::string("a longer\nname")}) {
            for (int ini = 0; ini <= 1; ++ini) {
                for (const std::string& text : texts) {
                    SCOPED_TRACE(testing::PrintToString(text) + " name " + testing::PrintToString(name) +
                                 " replacement " + replacement + (ini ? " INI" : " GPD"));
                    const Generated whole = WholeText(text, name, replacement, !ini, ini);
                    std::vector<std::vector<size_t>> splits;
                    for (size_t cut = 0; cut <= text.size(); ++cut)
                        splits.push_back({cut});
                    for (size_t step : {1, 2, 3, 7}) {
                        std::vector<size_t> cuts;
                        for (size_t cut = step; cut < text.size(); cut += step)
                            cuts.push_back(cut);
                        splits.push_back(cuts);
                    }
                    for (const auto& cuts : splits) {
                        const Generated streamed = Streamed(text, cuts, name, replacement, !ini, ini);
                        ASSERT_EQ(whole.bytes, streamed.bytes) << "cut at " << testing::PrintToString(cuts);
                        ASSERT_EQ(whole.replaced, streamed.replaced) << "cut at " << testing::PrintToString(cuts);
                    }
                }
            }
        }
    }
}
