// SPDX-License-Identifier: Apache-2.0
// Numbers and the signs around them, for each rdn.
#include <gtest/gtest.h>

#include "front_end_test_util.h"
#include "numbers.h"

namespace speech::mandarin {
namespace {

using testing::tokens_of;

TEST(Cardinal, MandarinGroupingAndZeros) {
    const struct {
        const char *digits, *reading;
    } cases[] = {
        {"0", "ling2"},
        {"000", "ling2"},
        {"7", "qi1"},
        {"10", "shi2"},
        {"15", "shi2 wu3"},
        {"20", "er4 shi2"},
        {"101", "yi4 bai3 ling2 yi1"},
        {"110", "yi4 bai3 yi1 shi2"},
        {"1001", "yi4 qian1 ling2 yi1"},
        {"2000", "liang3 qian1"},
        {"10000", "yi2 wan4"},
        {"10020", "yi2 wan4 ling2 er4 shi2"},
        {"12000", "yi2 wan4 liang3 qian1"},
        {"20000", "liang3 wan4"},
        {"100000", "shi2 wan4"},
        {"1234567", "yi4 bai3 er4 shi2 san1 wan4 si4 qian1 wu3 bai3 liu4 shi2 qi1"},
        {"100000000", "yi2 yi4"},
        {"100000001", "yi2 yi4 ling2 yi1"},
        {"100010000", "yi2 yi4 ling2 yi2 wan4"},
        {"1000000000000", "yi2 wan4 yi4"},
        {"00012", "shi2 er4"},
        {"12345678901234567", "yi1 er4 san1 si4 wu3 liu4 qi1 ba1 jiu3 ling2 yi1 er4 san1 si4 wu3 liu4 qi1"},
    };
    for (const auto &c : cases) EXPECT_EQ(cardinal(c.digits), c.reading) << c.digits;
}

struct Case {
    const char *text;
    const char *tokens;  // "TEXT:READING / ..."
};

template <std::size_t N>
void check_all(const Case (&cases)[N], int rdn) {
    for (const Case &c : cases) EXPECT_EQ(tokens_of(c.text, rdn), c.tokens) << "rdn " << rdn << ": " << c.text;
}

TEST(Numbers, ByContext) {
    const Case cases[] = {
        {"10000", "10000:yi2 wan4"},
        {"1,234,567", "1,234,567:yi4 bai3 er4 shi2 san1 wan4 si4 qian1 wu3 bai3 liu4 shi2 qi1"},
        {"2个", "2:liang3 / 个:ge4"},
        {"2 个", "2:liang3 / 个:ge4"},
        {"12个", "12:shi2 er4 / 个:ge4"},
        {"第2", "第:di4 / 2:er4"},
        {"第2个", "第:di4 / 2:er4 / 个:ge4"},
        {"第2000名", "第:di4 / 2000:er4 qian1 / 名:zi4"},
        {"2000名", "2000:liang3 qian1 / 名:zi4"},
        {"1个", "1:yi2 / 个:ge4"},
        {"1天", "1:yi4 / 天:tian1"},
        {"1号", "1:yi1 / 号:hao4"},
        {"2点", "2:liang3 / 点:dian3"},
        {"3.14", "3.14:san1 dian3 yi1 si4"},
        {"2.5个", "2.5:er4 dian3 wu3 / 个:ge4"},
        {"-5", "-5:fu4 wu3"},
        {"我-5", "我:wo3 / -5:fu4 wu3"},
        {"2/3", "2/3:san1 fen1 zhi1 er4"},
        {"3.5%", "3.5%:bai3 fen1 zhi1 san1 dian3 wu3"},
        {"-2%", "-2%:fu4 bai3 fen1 zhi1 er4"},
        {"5‰", "5‰:qian1 fen1 zhi1 wu3"},
        {"2023年", "2023:er4 ling2 er4 san1 / 年:nian2"},
        {"2年", "2:liang3 / 年:nian2"},
        {"13800138000", "13800138000:yao1 san1 ba1 ling2 ling2 yao1 san1 ba1 ling2 ling2 ling2"},
        {"1500000", "1500000:yi4 bai3 wu3 shi2 wan4"},
        {"007", "007:ling2 ling2 qi1"},
        {"电话 110", "电:dian4 / 话:hua4 / 110:yao1 yao1 ling2"},
        {"010-12345678", "010-12345678:ling2 yao1 ling2 yao1 er4 san1 si4 wu3 liu4 qi1 ba1"},
        {"120元", "120:yi4 bai3 er4 shi2 / 元:yuan2"},
        {"2元", "2:liang3 / 元:yuan2"},
        {"1.2.3", "1.2.3:yi1 dian3 er4 dian3 san1"},
        {"1+1=2", "1:yi1 / +:jia1 / 1:yi1 / =:deng3 yu2 / 2:er4"},
        {"3，500", "3:san1 / ，: / 500:wu3 bai3"},
        {"90年代", "90:jiu3 ling2 / 年:nian2 / 代:zi4"},
    };
    check_all(cases, 0);
}

TEST(Numbers, DatesTimesRatiosRanges) {
    const Case cases[] = {
        {"2023年5月6日", "2023:er4 ling2 er4 san1 / 年:nian2 / 5:wu3 / 月:yue4 / 6:liu4 / 日:ri4"},
        {"2023-05-06", "2023-05-06:er4 ling2 er4 san1 nian2 wu3 yue4 liu4 ri4"},
        {"2023/5/6", "2023/5/6:er4 ling2 er4 san1 nian2 wu3 yue4 liu4 ri4"},
        {"2023-13-06", "2023-13-06:er4 ling2 er4 san1 yao1 san1 ling2 liu4"},
        {"12:30", "12:30:shi2 er4 dian3 san1 shi2 fen1"},
        {"8:05", "8:05:ba1 dian3 ling2 wu3 fen1"},
        {"2:00", "2:00:liang3 dian3"},
        {"23:59:30", "23:59:30:er4 shi2 san1 dian3 wu3 shi2 jiu3 fen1 san1 shi2 miao3"},
        {"3:2", "3:2:san1 bi3 er4"},
        {"25:30", "25:30:er4 shi2 wu3 bi3 san1 shi2"},
        {"3-5", "3-5:san1 dao4 wu3"},
        {"3~5", "3~5:san1 dao4 wu3"},
        {"3-2", "3-2:san1 bi3 er4"},
        {"2-2", "2-2:er4 bi3 er4"},
        {"10000-20000", "10000-20000:yi2 wan4 dao4 liang3 wan4"},
        {"90-100", "90-100:jiu3 shi2 dao4 yi4 bai3"},
        {"1937-1945年", "1937-1945:yi1 jiu3 san1 qi1 dao4 yi1 jiu3 si4 wu3 / 年:nian2"},
        {"12：30", "12：30:shi2 er4 dian3 san1 shi2 fen1"},
        {"9:00-17:30", "9:00-17:30:jiu3 dian3 dao4 shi2 qi1 dian3 san1 shi2 fen1"},
        {"2023-05-06~2023-05-08", "2023-05-06~2023-05-08:er4 ling2 er4 san1 nian2 wu3 yue4 liu4 ri4 dao4 er4 ling2 er4 san1 nian2 wu3 yue4 ba1 ri4"},
        {"12:00-", "12:00:shi2 er4 dian3 / -:"},
        {"3～5个", "3～5:san1 dao4 wu3 / 个:ge4"},
        {"2-3个", "2-3:liang3 dao4 san1 / 个:ge4"},
        {"3-5km", "3-5km:san1 dao4 wu3 gong1 li3"},
        {"-5~-3℃", "-5~-3℃:fu4 wu3 dao4 fu4 san1 she4 shi4 du4"},
        {"3%-5%", "3%-5%:bai3 fen1 zhi1 san1 dao4 bai3 fen1 zhi1 wu3"},
        {"400-800-8888", "400-800-8888:si4 ling2 ling2 ba1 ling2 ling2 ba1 ba1 ba1 ba1"},
    };
    check_all(cases, 0);
}

TEST(Numbers, CurrencyAndUnits) {
    const Case cases[] = {
        {"¥120", "¥120:yi4 bai3 er4 shi2 yuan2"},
        {"￥2", "￥2:liang3 yuan2"},
        {"$1", "$1:yi4 mei3 yuan2"},
        {"€3.5", "€3.5:san1 dian3 wu3 ou1 yuan2"},
        {"£10", "£10:shi2 ying1 bang4"},
        {"-$5", "-$5:fu4 wu3 mei3 yuan2"},
        {"25℃", "25℃:er4 shi2 wu3 she4 shi4 du4"},
        {"2℃", "2℃:er4 she4 shi4 du4"},
        {"-3°C", "-3°C:fu4 san1 she4 shi4 du4"},
        {"5km", "5km:wu3 gong1 li3"},
        {"2m", "2m:liang3 mi3"},
        {"30cm", "30cm:san1 shi2 li2 mi3"},
        {"5mm", "5mm:wu3 hao2 mi3"},
        {"2kg", "2kg:liang3 gong1 jin1"},
        {"500g", "500g:wu3 bai3 ke4"},
        {"1.5L", "1.5L:yi1 dian3 wu3 sheng1"},
        {"250ml", "250ml:er4 bai3 wu3 shi2 hao2 sheng1"},
        {"100m²", "100m²:yi4 bai3 ping2 fang1 mi3"},
        {"120km/h", "120km/h:yi4 bai3 er4 shi2 gong1 li3 mei3 xiao3 shi2"},
        {"5 kg", "5:wu3 / kg:gong1 jin1"},
        {"5mmol", "5:wu3 / mmol:en:mmol"},
        {"5G", "5:wu3 / G:en:G."},
    };
    check_all(cases, 0);
}

// After a number and its Han unit a range sign is 到; a minus elsewhere.
TEST(Numbers, RangesAfterAHanUnit) {
    const Case cases[] = {
        {"3月-5月", "3:san1 / 月:yue4 / -:dao4 / 5:wu3 / 月:yue4"},
        {"9点-17点", "9:jiu3 / 点:dian3 / -:dao4 / 17:shi2 qi1 / 点:dian3"},
        {"1937年-1945年", "1937:yi1 jiu3 san1 qi1 / 年:nian2 / -:dao4 / 1945:yi1 jiu3 si4 wu3 / 年:nian2"},
        {"3天～5天", "3:san1 / 天:tian1 / ～:dao4 / 5:wu3 / 天:tian1"},
        {"2个 — 3个", "2:liang3 / 个:ge4 / —:dao4 / 3:san1 / 个:ge4"},
        {"第2天-第5天", "第:di4 / 2:er4 / 天:tian1 / -:dao4 / 第:di4 / 5:wu3 / 天:tian1"},
        {"气温-5", "气:zi4 / 温:zi4 / -5:fu4 wu3"},
        {"3天，-5", "3:san1 / 天:tian1 / ，: / -5:fu4 wu3"},
        {"3 - -5", "3:san1 / -: / -5:fu4 wu3"},
    };
    check_all(cases, 0);
}

// A sign written once for a range, or apart from its number, is said as if
// written with each number; a unit apart makes its number count.
TEST(Numbers, SignsAndUnitsApartOrShared) {
    const Case cases[] = {
        {"50-60%", "50-60%:bai3 fen1 zhi1 wu3 shi2 dao4 bai3 fen1 zhi1 liu4 shi2"},
        {"¥50-60", "¥50-60:wu3 shi2 yuan2 dao4 liu4 shi2 yuan2"},
        {"5‰~8", "5‰~8:qian1 fen1 zhi1 wu3 dao4 qian1 fen1 zhi1 ba1"},
        {"¥ 120", "¥: / 120:yi4 bai3 er4 shi2 yuan2"},
        {"$ 2", "$: / 2:liang3 mei3 yuan2"},
        {"5 %", "5:bai3 fen1 zhi1 wu3 / %:"},
        {"2 ‰", "2:qian1 fen1 zhi1 er4 / ‰:"},
        {"2 kg", "2:liang3 / kg:gong1 jin1"},
        {"2 km", "2:liang3 / km:gong1 li3"},
        {"2h", "2h:liang3 xiao3 shi2"},
        {"¥\n120", "¥:yuan2 / 120:yi4 bai3 er4 shi2"},
    };
    check_all(cases, 0);
}

TEST(Numbers, AsValues) {
    const Case cases[] = {
        {"2023年", "2023:liang3 qian1 ling2 er4 shi2 san1 / 年:nian2"},
        {"13800138000", "13800138000:yi4 bai3 san1 shi2 ba1 yi4 ling2 yi1 shi2 san1 wan4 ba1 qian1"},
        {"007", "007:qi1"},
        {"2个", "2:liang3 / 个:ge4"},
        {"2023-05-06", "2023-05-06:liang3 qian1 ling2 er4 shi2 san1 nian2 wu3 yue4 liu4 ri4"},
        {"3.5%", "3.5%:bai3 fen1 zhi1 san1 dian3 wu3"},
        {"010-12345678", "010-12345678:shi2 yi4 qian1 er4 bai3 san1 shi2 si4 wan4 wu3 qian1 liu4 bai3 qi1 shi2 ba1"},
    };
    check_all(cases, 1);
}

TEST(Numbers, DigitByDigit) {
    const Case cases[] = {
        {"120元", "120:yi1 er4 ling2 / 元:yuan2"},
        {"3.5%", "3.5%:bai3 fen1 zhi1 san1 dian3 wu3"},
        {"2个", "2:er4 / 个:ge4"},
        {"10000", "10000:yi1 ling2 ling2 ling2 ling2"},
        {"1,234", "1,234:yi1 er4 san1 si4"},
        {"13800138000", "13800138000:yi1 san1 ba1 ling2 ling2 yi1 san1 ba1 ling2 ling2 ling2"},
        {"2023-05-06", "2023-05-06:er4 ling2 er4 san1 nian2 ling2 wu3 yue4 ling2 liu4 ri4"},
        {"12:30", "12:30:yi1 er4 dian3 san1 ling2 fen1"},
        {"2/3", "2/3:san1 fen1 zhi1 er4"},
        {"-15℃", "-15℃:fu4 yi1 wu3 she4 shi4 du4"},
        {"¥25", "¥25:er4 wu3 yuan2"},
        {"3-5", "3-5:san1 dao4 wu3"},
    };
    check_all(cases, 2);
}

}  // namespace
}  // namespace speech::mandarin
