// SPDX-License-Identifier: Apache-2.0
#include "pinyin_syllables.h"

#include <array>

namespace speech::mandarin {
namespace {

// The syllables of standard Mandarin as Hanyu Pinyin writes them, without
// tones, v for ü (lv, nv, lve, nve; after j, q, x and y ü is written u).
// lue and nue, the common spellings of lve and nve without ü, are taken
// too. The interjections written m, n, ng, hm, hng and ê are left out: in
// Latin text they are letters, units and codes far more often than pinyin.
constexpr std::string_view kSyllables[] = {
    // no initial
    "a", "o", "e", "ai", "ei", "ao", "ou", "an", "en", "ang", "eng", "er",
    "yi", "ya", "yo", "ye", "yao", "you", "yan", "yin", "yang", "ying", "yong",
    "yu", "yue", "yuan", "yun",
    "wu", "wa", "wo", "wai", "wei", "wan", "wen", "wang", "weng",
    // b p m f
    "ba", "bo", "bai", "bei", "bao", "ban", "ben", "bang", "beng",
    "bi", "bie", "biao", "bian", "bin", "bing", "bu",
    "pa", "po", "pai", "pei", "pao", "pou", "pan", "pen", "pang", "peng",
    "pi", "pie", "piao", "pian", "pin", "ping", "pu",
    "ma", "mo", "me", "mai", "mei", "mao", "mou", "man", "men", "mang", "meng",
    "mi", "mie", "miao", "miu", "mian", "min", "ming", "mu",
    "fa", "fo", "fei", "fou", "fan", "fen", "fang", "feng", "fu",
    // d t n l
    "da", "de", "dai", "dei", "dao", "dou", "dan", "den", "dang", "deng", "dong",
    "di", "dia", "die", "diao", "diu", "dian", "ding",
    "du", "duo", "dui", "duan", "dun",
    "ta", "te", "tai", "tao", "tou", "tan", "tang", "teng", "tong",
    "ti", "tie", "tiao", "tian", "ting", "tu", "tuo", "tui", "tuan", "tun",
    "na", "ne", "nai", "nei", "nao", "nou", "nan", "nen", "nang", "neng", "nong",
    "ni", "nie", "niao", "niu", "nian", "nin", "niang", "ning",
    "nu", "nuo", "nuan", "nv", "nve", "nue",
    "la", "lo", "le", "lai", "lei", "lao", "lou", "lan", "lang", "leng", "long",
    "li", "lia", "lie", "liao", "liu", "lian", "lin", "liang", "ling",
    "lu", "luo", "luan", "lun", "lv", "lve", "lue",
    // g k h
    "ga", "ge", "gai", "gei", "gao", "gou", "gan", "gen", "gang", "geng", "gong",
    "gu", "gua", "guo", "guai", "gui", "guan", "gun", "guang",
    "ka", "ke", "kai", "kei", "kao", "kou", "kan", "ken", "kang", "keng", "kong",
    "ku", "kua", "kuo", "kuai", "kui", "kuan", "kun", "kuang",
    "ha", "he", "hai", "hei", "hao", "hou", "han", "hen", "hang", "heng", "hong",
    "hu", "hua", "huo", "huai", "hui", "huan", "hun", "huang",
    // j q x
    "ji", "jia", "jie", "jiao", "jiu", "jian", "jin", "jiang", "jing", "jiong",
    "ju", "jue", "juan", "jun",
    "qi", "qia", "qie", "qiao", "qiu", "qian", "qin", "qiang", "qing", "qiong",
    "qu", "que", "quan", "qun",
    "xi", "xia", "xie", "xiao", "xiu", "xian", "xin", "xiang", "xing", "xiong",
    "xu", "xue", "xuan", "xun",
    // zh ch sh r
    "zha", "zhe", "zhi", "zhai", "zhei", "zhao", "zhou", "zhan", "zhen", "zhang",
    "zheng", "zhong", "zhu", "zhua", "zhuo", "zhuai", "zhui", "zhuan", "zhun", "zhuang",
    "cha", "che", "chi", "chai", "chao", "chou", "chan", "chen", "chang", "cheng",
    "chong", "chu", "chua", "chuo", "chuai", "chui", "chuan", "chun", "chuang",
    "sha", "she", "shi", "shai", "shei", "shao", "shou", "shan", "shen", "shang",
    "sheng", "shu", "shua", "shuo", "shuai", "shui", "shuan", "shun", "shuang",
    "re", "ri", "rao", "rou", "ran", "ren", "rang", "reng", "rong",
    "ru", "rua", "ruo", "rui", "ruan", "run",
    // z c s
    "za", "ze", "zi", "zai", "zei", "zao", "zou", "zan", "zen", "zang", "zeng",
    "zong", "zu", "zuo", "zui", "zuan", "zun",
    "ca", "ce", "ci", "cai", "cao", "cou", "can", "cen", "cang", "ceng",
    "cong", "cu", "cuo", "cui", "cuan", "cun",
    "sa", "se", "si", "sai", "sao", "sou", "san", "sen", "sang", "seng",
    "song", "su", "suo", "sui", "suan", "sun",
};

constexpr std::size_t longest_syllable() {
    std::size_t n = 0;
    for (const std::string_view s : kSyllables) n = s.size() > n ? s.size() : n;
    return n;
}
static_assert(longest_syllable() <= kMaxSyllableLetters, "a syllable's key must hold all its letters");

// The syllables' keys in an open-addressing table: a lookup is a multiply
// and, nearly always, one compare (the table is a fifth full).
class SyllableSet {
  public:
    SyllableSet() {
        for (const std::string_view s : kSyllables) {
            std::uint32_t key = 0;
            for (const char c : s) key = syllable_key_add(key, c);
            std::size_t i = home(key);
            while (slots_[i] != 0 && slots_[i] != key) i = (i + 1) & kMask;
            slots_[i] = key;
        }
    }
    bool contains(std::uint32_t key) const {
        for (std::size_t i = home(key);; i = (i + 1) & kMask) {
            if (slots_[i] == key) return key != 0;
            if (slots_[i] == 0) return false;
        }
    }

  private:
    static constexpr std::size_t kBits = 11;
    static constexpr std::size_t kMask = (std::size_t{1} << kBits) - 1;
    static std::size_t home(std::uint32_t key) { return (key * 2654435761u) >> (32 - kBits); }
    std::array<std::uint32_t, std::size_t{1} << kBits> slots_{};
};

}  // namespace

bool is_pinyin_syllable_key(std::uint32_t key) {
    static const SyllableSet set;
    return set.contains(key);
}

bool is_pinyin_syllable(std::string_view s) {
    if (s.empty() || s.size() > kMaxSyllableLetters) return false;
    std::uint32_t key = 0;
    for (const char c : s) {
        if (c < 'a' || c > 'z') return false;
        key = syllable_key_add(key, c);
    }
    return is_pinyin_syllable_key(key);
}

}  // namespace speech::mandarin
