// SPDX-License-Identifier: Apache-2.0
#include "pinyin_syllables.h"

#include <algorithm>
#include <array>
#include <vector>

namespace speech::mandarin {
namespace {

using std::string_view_literals::operator""sv;

// The syllables of standard Mandarin as Hanyu Pinyin writes them, without
// tones, v for ü (lv, nv, lve, nve; after j, q, x and y ü is written u).
// lue and nue, the common spellings of lve and nve without ü, are taken
// too. The interjections written m, n, ng, hm, hng and ê are left out: in
// Latin text they are letters, units and codes far more often than pinyin.
constexpr std::array kSyllables = {
    // no initial
    "a"sv, "o"sv, "e"sv, "ai"sv, "ei"sv, "ao"sv, "ou"sv, "an"sv, "en"sv, "ang"sv, "eng"sv, "er"sv,
    "yi"sv, "ya"sv, "yo"sv, "ye"sv, "yao"sv, "you"sv, "yan"sv, "yin"sv, "yang"sv, "ying"sv, "yong"sv,
    "yu"sv, "yue"sv, "yuan"sv, "yun"sv,
    "wu"sv, "wa"sv, "wo"sv, "wai"sv, "wei"sv, "wan"sv, "wen"sv, "wang"sv, "weng"sv,
    // b p m f
    "ba"sv, "bo"sv, "bai"sv, "bei"sv, "bao"sv, "ban"sv, "ben"sv, "bang"sv, "beng"sv,
    "bi"sv, "bie"sv, "biao"sv, "bian"sv, "bin"sv, "bing"sv, "bu"sv,
    "pa"sv, "po"sv, "pai"sv, "pei"sv, "pao"sv, "pou"sv, "pan"sv, "pen"sv, "pang"sv, "peng"sv,
    "pi"sv, "pie"sv, "piao"sv, "pian"sv, "pin"sv, "ping"sv, "pu"sv,
    "ma"sv, "mo"sv, "me"sv, "mai"sv, "mei"sv, "mao"sv, "mou"sv, "man"sv, "men"sv, "mang"sv, "meng"sv,
    "mi"sv, "mie"sv, "miao"sv, "miu"sv, "mian"sv, "min"sv, "ming"sv, "mu"sv,
    "fa"sv, "fo"sv, "fei"sv, "fou"sv, "fan"sv, "fen"sv, "fang"sv, "feng"sv, "fu"sv,
    // d t n l
    "da"sv, "de"sv, "dai"sv, "dei"sv, "dao"sv, "dou"sv, "dan"sv, "den"sv, "dang"sv, "deng"sv, "dong"sv,
    "di"sv, "dia"sv, "die"sv, "diao"sv, "diu"sv, "dian"sv, "ding"sv,
    "du"sv, "duo"sv, "dui"sv, "duan"sv, "dun"sv,
    "ta"sv, "te"sv, "tai"sv, "tao"sv, "tou"sv, "tan"sv, "tang"sv, "teng"sv, "tong"sv,
    "ti"sv, "tie"sv, "tiao"sv, "tian"sv, "ting"sv, "tu"sv, "tuo"sv, "tui"sv, "tuan"sv, "tun"sv,
    "na"sv, "ne"sv, "nai"sv, "nei"sv, "nao"sv, "nou"sv, "nan"sv, "nen"sv, "nang"sv, "neng"sv, "nong"sv,
    "ni"sv, "nie"sv, "niao"sv, "niu"sv, "nian"sv, "nin"sv, "niang"sv, "ning"sv,
    "nu"sv, "nuo"sv, "nuan"sv, "nv"sv, "nve"sv, "nue"sv,
    "la"sv, "lo"sv, "le"sv, "lai"sv, "lei"sv, "lao"sv, "lou"sv, "lan"sv, "lang"sv, "leng"sv, "long"sv,
    "li"sv, "lia"sv, "lie"sv, "liao"sv, "liu"sv, "lian"sv, "lin"sv, "liang"sv, "ling"sv,
    "lu"sv, "luo"sv, "luan"sv, "lun"sv, "lv"sv, "lve"sv, "lue"sv,
    // g k h
    "ga"sv, "ge"sv, "gai"sv, "gei"sv, "gao"sv, "gou"sv, "gan"sv, "gen"sv, "gang"sv, "geng"sv, "gong"sv,
    "gu"sv, "gua"sv, "guo"sv, "guai"sv, "gui"sv, "guan"sv, "gun"sv, "guang"sv,
    "ka"sv, "ke"sv, "kai"sv, "kei"sv, "kao"sv, "kou"sv, "kan"sv, "ken"sv, "kang"sv, "keng"sv, "kong"sv,
    "ku"sv, "kua"sv, "kuo"sv, "kuai"sv, "kui"sv, "kuan"sv, "kun"sv, "kuang"sv,
    "ha"sv, "he"sv, "hai"sv, "hei"sv, "hao"sv, "hou"sv, "han"sv, "hen"sv, "hang"sv, "heng"sv, "hong"sv,
    "hu"sv, "hua"sv, "huo"sv, "huai"sv, "hui"sv, "huan"sv, "hun"sv, "huang"sv,
    // j q x
    "ji"sv, "jia"sv, "jie"sv, "jiao"sv, "jiu"sv, "jian"sv, "jin"sv, "jiang"sv, "jing"sv, "jiong"sv,
    "ju"sv, "jue"sv, "juan"sv, "jun"sv,
    "qi"sv, "qia"sv, "qie"sv, "qiao"sv, "qiu"sv, "qian"sv, "qin"sv, "qiang"sv, "qing"sv, "qiong"sv,
    "qu"sv, "que"sv, "quan"sv, "qun"sv,
    "xi"sv, "xia"sv, "xie"sv, "xiao"sv, "xiu"sv, "xian"sv, "xin"sv, "xiang"sv, "xing"sv, "xiong"sv,
    "xu"sv, "xue"sv, "xuan"sv, "xun"sv,
    // zh ch sh r
    "zha"sv, "zhe"sv, "zhi"sv, "zhai"sv, "zhei"sv, "zhao"sv, "zhou"sv, "zhan"sv, "zhen"sv, "zhang"sv,
    "zheng"sv, "zhong"sv, "zhu"sv, "zhua"sv, "zhuo"sv, "zhuai"sv, "zhui"sv, "zhuan"sv, "zhun"sv, "zhuang"sv,
    "cha"sv, "che"sv, "chi"sv, "chai"sv, "chao"sv, "chou"sv, "chan"sv, "chen"sv, "chang"sv, "cheng"sv,
    "chong"sv, "chu"sv, "chua"sv, "chuo"sv, "chuai"sv, "chui"sv, "chuan"sv, "chun"sv, "chuang"sv,
    "sha"sv, "she"sv, "shi"sv, "shai"sv, "shei"sv, "shao"sv, "shou"sv, "shan"sv, "shen"sv, "shang"sv,
    "sheng"sv, "shu"sv, "shua"sv, "shuo"sv, "shuai"sv, "shui"sv, "shuan"sv, "shun"sv, "shuang"sv,
    "re"sv, "ri"sv, "rao"sv, "rou"sv, "ran"sv, "ren"sv, "rang"sv, "reng"sv, "rong"sv,
    "ru"sv, "rua"sv, "ruo"sv, "rui"sv, "ruan"sv, "run"sv,
    // z c s
    "za"sv, "ze"sv, "zi"sv, "zai"sv, "zei"sv, "zao"sv, "zou"sv, "zan"sv, "zen"sv, "zang"sv, "zeng"sv,
    "zong"sv, "zu"sv, "zuo"sv, "zui"sv, "zuan"sv, "zun"sv,
    "ca"sv, "ce"sv, "ci"sv, "cai"sv, "cao"sv, "cou"sv, "can"sv, "cen"sv, "cang"sv, "ceng"sv,
    "cong"sv, "cu"sv, "cuo"sv, "cui"sv, "cuan"sv, "cun"sv,
    "sa"sv, "se"sv, "si"sv, "sai"sv, "sao"sv, "sou"sv, "san"sv, "sen"sv, "sang"sv, "seng"sv,
    "song"sv, "su"sv, "suo"sv, "sui"sv, "suan"sv, "sun"sv,
};

}  // namespace

bool is_pinyin_syllable(std::string_view s) {
    static const std::vector<std::string_view> sorted = [] {
        std::vector<std::string_view> v(kSyllables.begin(), kSyllables.end());
        std::sort(v.begin(), v.end());
        return v;
    }();
    return std::binary_search(sorted.begin(), sorted.end(), s);
}

}  // namespace speech::mandarin
