#include "shell/ui_text.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {
// True when `s` is well-formed UTF-8 (no overlongs or surrogates checked beyond lead bytes).
bool ValidUtf8(const std::string &s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = s[i];
        const int extra = c < 0x80         ? 0
                          : (c >> 5) == 6  ? 1
                          : (c >> 4) == 14 ? 2
                          : (c >> 3) == 30 ? 3
                                           : -1;
        if (extra < 0 || i + extra >= s.size() + (extra == 0 ? 1 : 0)) return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        i += extra + 1;
    }
    return true;
}
} // namespace

TEST(UiText, EmptyUntilFilledThenEnglish) {
    TUiText t;
    EXPECT_EQ(t[0], "");
    t.Fill();
    EXPECT_EQ(t[0], "Language");
    EXPECT_EQ(t[76], "Can't find the USBMSR!");
    EXPECT_EQ(t[129], "Ibutton Current Port:");
    for (int i = 0; i < TUiText::kCount; ++i) {
        EXPECT_EQ(t[i], TUiText::English(i)) << i;
        EXPECT_FALSE(t[i].empty()) << i;
    }
}

TEST(UiText, TextsKeepTheirExactCharacters) {
    TUiText t;
    t.Fill();
    EXPECT_EQ(t[104], "SEND:\r\n");
    EXPECT_EQ(t[105], "RECEIVE:\r\n");
    EXPECT_EQ(t[113], "USB_HID port is connected! \r");
    EXPECT_EQ(t[114], "USB_HID port not connected! \r");
    EXPECT_EQ(t[42], "Support IBM  Card");
    EXPECT_EQ(t[122], "Scanning port : ");
    EXPECT_EQ(t[123], "Scanning port COM ");
    EXPECT_EQ(t[80], "\"LOAD \"successful");
    EXPECT_EQ(t[111], "\"SAVE \"successful");
    EXPECT_EQ(t[11], "Nomal Mode");
    EXPECT_EQ(t[69], "Recevie:");
    EXPECT_EQ(t[77], "Your magcard's mark defined too mand codes in one or more layers");
    EXPECT_EQ(t[71], "Are you sure to close the application program?");
    EXPECT_EQ(t[72], "The LORVANE.dll Is Not Open!");
    EXPECT_EQ(t[75], "The COM.dll Open Error!");
}

TEST(UiText, EqualTextsAreSeparateEntries) {
    TUiText t;
    t.Fill();
    EXPECT_EQ(t[41], t[61]);
    EXPECT_EQ(t[17], t[117]);
    EXPECT_EQ(t[23], t[63]);
    EXPECT_NE(&t[41], &t[61]);
    EXPECT_NE(TUiText::Chinese(17), std::string(TUiText::Chinese(117))); // 测试磁卡 / 测试MSR
}

TEST(UiText, ChineseColumnIsUtf8AndKeptBeside) {
    EXPECT_STREQ(TUiText::Chinese(0), "语言");
    EXPECT_STREQ(TUiText::Chinese(104), "发送：\r\n");
    EXPECT_STREQ(TUiText::Chinese(105), "接收：\r\n");
    EXPECT_STREQ(TUiText::Chinese(113), "USB_HID已经连接设备\r");
    EXPECT_STREQ(TUiText::Chinese(123), "正在扫描 COM");
    EXPECT_STREQ(TUiText::Chinese(86), "IC卡下点失败!");
    for (int i = 0; i < TUiText::kCount; ++i) {
        ASSERT_NE(TUiText::Chinese(i), nullptr);
        EXPECT_TRUE(ValidUtf8(TUiText::Chinese(i))) << i;
        for (const char *p = TUiText::English(i); *p; ++p)
            EXPECT_LT(static_cast<unsigned char>(*p), 0x80) << i;
    }
}

TEST(UiText, IndexOutsideTheTableReadsEmpty) {
    TUiText t;
    t.Fill();
    EXPECT_EQ(t[-1], "");
    EXPECT_EQ(t[130], "");
    EXPECT_EQ(TUiText::English(130), nullptr);
    EXPECT_EQ(TUiText::Chinese(-1), nullptr);
}
