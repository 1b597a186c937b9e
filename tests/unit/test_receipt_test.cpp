// The raw test receipt's bytes, as a receipt printer of the ESC/POS command set takes them.
#include <gtest/gtest.h>

#include <string>

#include "install/test_receipt.h"

namespace {

const TestReceiptLabels kEnglish = {L"Test receipt", L"Model:", L"Printer:", L"Port:",
                                    L"Driver:",      L"Release:", L"Date and time:"};
const TestReceiptLabels kChinese = {L"测试小票", L"型号:", L"打印机:", L"端口:", L"驱动程序:", L"版本:", L"日期和时间:"};

TestReceiptFacts Facts(const wchar_t* name, UINT codePage, int chinese)
{
    return {L"KR-620", name, L"LPT1:", L"kr-620", L"2.29.0", {2026, 3, 0, 4, 5, 6, 7, 0}, codePage, chinese};
}

std::string Compose(const TestReceiptFacts& facts, const TestReceiptLabels& labels, size_t capacity = 4096)
{
    BYTE out[4096] = {};
    size_t length = 0;
    if (!ComposeTestReceipt(facts, labels, out, capacity, &length))
        return "refused " + std::to_string(GetLastError()) + ", needs " + std::to_string(length);
    return std::string(reinterpret_cast<const char*>(out), length);
}

TEST(TestReceipt, EveryLineThenTheFeedAndCutAndNoCommandFromAName)
{
    std::string ascii;
    for (char c = 0x20; c <= 0x7E; ++c)
        ascii += c;
    const std::string receipt = Compose(Facts(L"Front desk", 1252, 0), kEnglish);
    EXPECT_EQ(std::string("\x1b@Test receipt\nModel: KR-620\nPrinter: Front desk\nPort: LPT1:\nDriver: kr-620\n"
                          "Release: 2.29.0\nDate and time: 2026-03-04 05:06:07\n") +
                  ascii + "\n\x1dVB" + std::string(1, '\0'),
              receipt);
    EXPECT_NE(std::string::npos, Compose(Facts(L"Till\x1b\n\x7fi", 1252, 0), kEnglish).find("Printer: Till???i\n"));
    // Refused whole, not cut, when one byte does not fit.
    EXPECT_EQ(receipt, Compose(Facts(L"Front desk", 1252, 0), kEnglish, receipt.size()));
    EXPECT_EQ("refused 122, needs " + std::to_string(receipt.size()),
              Compose(Facts(L"Front desk", 1252, 0), kEnglish, receipt.size() - 1));
}

TEST(TestReceipt, DoubleByteTextGoesInTheChineseModeOnAChineseSystemOnly)
{
    const std::string on = "\x1c&", off = "\x1c.";
    const std::string title = "\xb2\xe2\xca\xd4\xd0\xa1\xc6\xb1", label = "\xb4\xf2\xd3\xa1\xbb\xfa",
                      name = "\xc7\xb0\xcc\xa8";
    const std::string chinese = Compose(Facts(L"前台1", 936, 1), kChinese);
    EXPECT_EQ(0u, chinese.find("\x1b@" + on + title + off + "\n"));
    EXPECT_NE(std::string::npos, chinese.find("\n" + on + label + off + ": " + on + name + off + "1\n"));
    EXPECT_NE(std::string::npos, Compose(Facts(L"前台1", 936, 0), kChinese).find("\n" + label + ": " + name + "1\n"));
}

} // namespace
