// SPDX-License-Identifier: Apache-2.0
// Context rules for the polyphonic characters the lexicon leaves to their
// neighbours. A rule looks at the characters and words around one; what it
// finds sets the reading of the character read on its own (a word of one
// character) and of one in a word whose reading the lexicon only derived
// from its characters (跑得, 率军); its fallback, used when it finds
// nothing, only that of a character read on its own. A reading the lexicon
// gives for a word is never changed here.
#include <string>
#include <string_view>

#include "reading_context.h"

namespace speech::mandarin {

namespace {

bool in(std::u32string_view set, char32_t c) { return c != U'\0' && set.find(c) != std::u32string_view::npos; }

// Numerals and the words that count with a measure word after them.
constexpr std::u32string_view kCounting = U"一二三四五六七八九十两几数每半百千万";
constexpr std::u32string_view kDemonstratives = U"这那哪某各每";
constexpr std::u32string_view kPronouns = U"我你他她它您";

struct Context {
    const RunReading &run;
    std::size_t i;
    // The characters around, also past the run's ends (RunReading::seen): a
    // number there is a numeral, a Latin word no phrase edge.
    char32_t prev(std::size_t k = 1) const { return run.seen(static_cast<std::ptrdiff_t>(i) - static_cast<std::ptrdiff_t>(k)); }
    char32_t next(std::size_t k = 1) const { return run.seen(static_cast<std::ptrdiff_t>(i + k)); }
    bool at_end() const { return next() == U'\0'; }
    bool at_start() const { return prev() == U'\0'; }
    // The word before this character, or the characters before it in its
    // own word (慢慢 of 慢慢地); empty at the start of the run.
    std::u32string word_before() const {
        std::size_t k = run.chars[i].in_word;
        if (k > 0) return std::u32string(run.word_of(i).substr(0, k));
        return i == 0 ? std::u32string() : run.word_of(i - 1);
    }
    // After a numeral, or a demonstrative and a numeral (这两只, 第三行).
    bool after_count() const { return in(kCounting, prev()) || in(kDemonstratives, prev()); }
};

// 得: de5 after a verb or adjective (跑得快); de2 "to get" at the start of
// a clause or before 了/过 (得了奖); dei3 "must" after an adverb (还得, 就得).
const char *read_de(const Context &x) {
    bool modal_place =
        in(U"还也就都总又可只", x.prev()) || in(kPronouns, x.prev()) || (x.prev() == U'们' && in(kPronouns, x.prev(2)));
    if (modal_place && !x.at_end() && !in(U"了到过很太非更", x.next())) return "dei3";
    if (x.at_start() || in(U"了过", x.next())) return "de2";
    return "de5";
}

// 地: de5 between an adverbial and its verb (慢慢地走, 突然地, 预见性地).
const char *read_di(const Context &x) {
    if (x.at_end()) return nullptr;
    std::u32string w = x.word_before();
    if (w.size() >= 2 && w[w.size() - 1] == w[w.size() - 2]) return "de5";
    if (!w.empty() && in(U"然性般样心意力断续觉乎快慢静悄轻", w.back()) && w.size() >= 2) return "de5";
    return nullptr;
}

// 了: liao3 in a potential complement at the end of a phrase (走不了,
// 受得了); else le5.
const char *read_le(const Context &x) {
    if (in(U"不得", x.prev()) && x.i >= 2 && (x.at_end() || in(U"吗呢吧啊", x.next()))) return "liao3";
    return "le5";
}

// 着: zhao2 as a result (睡着, 找着了); zhuo2 "to apply" before 手/陆/重/眼
// when read alone; zhe5 the aspect marker.
const char *read_zhe(const Context &x) {
    if (in(U"睡找猜点烧着", x.prev()) && (x.at_end() || in(U"了吗呢", x.next()))) return "zhao2";
    if (in(U"急火凉迷", x.next()) && x.run.single(x.i + 1)) return "zhao2";
    return "zhe5";
}

// 还: huan2 "to return" before what is returned or given back, or ending a
// phrase (借了不还); hai2 "still" alone.
const char *read_huan(const Context &x) {
    if (in(U"给钱债款书清原账贷乡俗礼", x.next()) || x.at_end()) return "huan2";
    return nullptr;
}

// 行: hang2 "row" after a count (两行字, 第三行); else the lexicon's xing2.
const char *read_xing(const Context &x) {
    if (in(U"两几数每", x.prev()) || (x.prev(2) == U'第' && in(kCounting, x.prev()))) return "hang2";
    return nullptr;
}

// 长: zhang3 "to grow" before a result, and "head of" after an office
// (校长 局长 are words; 副长 县长 read alone); else chang2 "long".
const char *read_chang(const Context &x) {
    if (in(U"得大出成高满了起胖", x.next())) return "zhang3";
    if (in(U"校部局市省县区队班组科处院所站行社村乡镇厅司署团营连排船机列首酋族家兄师州府路", x.prev()))
        return "zhang3";
    return nullptr;
}

// 重: chong2 "again" before a verb (重录, 重写); else zhong4 "heavy".
const char *read_zhong_heavy(const Context &x) {
    if (in(U"新建复返组演修写录拍播申提逢叠整见现回启置游印选订装编排来做开生犯述审刊制", x.next()))
        return "chong2";
    return nullptr;
}

// 中: zhong4 "to hit" before what hits (中弹, 中毒, 中奖, 中了计).
const char *read_zhong_middle(const Context &x) {
    if (in(U"弹毒奖标暑风箭枪计招彩", x.next())) return "zhong4";
    return nullptr;
}

// 好: hao4 "to be fond of" before an activity (好学, 好奇, 好战).
const char *read_hao(const Context &x) {
    if (in(U"学奇客战色斗胜强动玩吃读饮酒", x.next()) && !in(U"很太真最挺多", x.prev())) return "hao4";
    return nullptr;
}

// 教: jiao1 "to teach" before who or what is taught; else jiao4.
const char *read_jiao(const Context &x) {
    if (in(U"我你他她它们人书给孩学大小", x.next())) return "jiao1";
    if (in(U"来会要请去在不", x.prev()) && !x.at_end()) return "jiao1";
    return nullptr;
}

// 只: zhi1 a measure word after a count (一只, 这只猫), but zhi3 "only"
// before a verb (这只是).
const char *read_zhi(const Context &x) {
    if (x.after_count() && !in(U"是有能要会好不得在见可用", x.next())) return "zhi1";
    return nullptr;
}

// 种: zhong4 "to plant" before what is planted, unless counted (一种花).
const char *read_zhong_kind(const Context &x) {
    if (x.after_count()) return "zhong3";
    if (in(U"地田菜树花草粮麦稻瓜豆", x.next()) || in(U"了过下上出", x.next())) return "zhong4";
    return nullptr;
}

// 数: shu3 "to count" before 一/不/得/着 or after 可/难/不/历; shu4 "number".
const char *read_shu(const Context &x) {
    if (in(U"不得着过完清一", x.next()) || in(U"可难不历细", x.prev())) return "shu3";
    return nullptr;
}

// 干: gan4 "to do" before its object or a particle; gan1 "dry" after a
// degree word or a drying verb.
const char *read_gan(const Context &x) {
    if (in(U"很太挺晒烘风变擦吹烤", x.prev())) return "gan1";
    if (in(U"活事嘛吗什啥了过掉完", x.next())) return "gan4";
    return nullptr;
}

// 应: ying4 "to answer" before what it answers; ying1 "should" alone.
const char *read_ying(const Context &x) {
    if (in(U"对付邀聘征运变验答声试和酬急届接战援令约召", x.next())) return "ying4";
    return nullptr;
}

// 为: wei4 "for" before 了/什/何 and the one served.
const char *read_wei(const Context &x) {
    if (in(U"了什何此", x.next())) return "wei4";
    return nullptr;
}

// 将: jiang4 "general" after a state or a rank, or ending a phrase.
const char *read_jiang(const Context &x) {
    if (in(U"大名猛武主守副敌魏蜀吴汉秦楚晋宋辽金元明清唐隋虎骁良战降", x.prev()) &&
        (x.at_end() || in(U"军领帅士官之", x.next()) || !x.run.single(x.i + 1)))
        return "jiang4";
    return nullptr;
}

// 钉: ding4 "to nail" before where or how (钉在, 钉入, 钉十字架) or after
// 被/把; else ding1 "a nail".
const char *read_ding(const Context &x) {
    if (in(U"在入上住死进到好着了十", x.next()) || in(U"被把将", x.prev())) return "ding4";
    return nullptr;
}

// 挣: zheng4 "to earn" read alone; 挣扎 zheng1 is a word.
const char *read_zheng(const Context &) { return "zheng4"; }

// 率: shuai4 "to lead" beginning a word or alone (率军, 粟裕率新四军);
// rates are words (效率).
const char *read_lv(const Context &x) { return x.run.chars[x.i].in_word == 0 ? "shuai4" : nullptr; }

// 载: zai3 "year" after a count (三载); else zai4.
const char *read_zai(const Context &x) {
    if (in(kCounting, x.prev())) return "zai3";
    return nullptr;
}

// 更: geng1 "night watch" after a count (五更); else geng4.
const char *read_geng(const Context &x) {
    if (in(kCounting, x.prev()) && x.prev() != U'更') return "geng1";
    return nullptr;
}

// 过: guo5 the aspect marker before a particle or ending a phrase (去过了,
// 来过吗); else guo4.
const char *read_guo(const Context &x) {
    if (!x.at_start() && (x.at_end() || in(U"了的吗呢吧", x.next())) && !in(U"不难通经超", x.prev()))
        return "guo5";
    return nullptr;
}

// 少: shao4 "young" before 年/女/爷/妇.
const char *read_shao(const Context &x) {
    if (in(U"年女爷妇帅将校", x.next())) return "shao4";
    return nullptr;
}

// 发: fa4 "hair" after its colour or length.
const char *read_fa(const Context &x) {
    if (in(U"头白黑金银红长短卷秀毛理削假", x.prev())) return "fa4";
    return nullptr;
}

// 便: pian2 in 便宜 read alone; bian4 otherwise.
const char *read_bian(const Context &x) {
    if (x.next() == U'宜') return "pian2";
    return nullptr;
}

// 看: kan1 "to watch over" before 守/护/管/门.
const char *read_kan(const Context &x) {
    if (in(U"守护管门家", x.next())) return "kan1";
    return nullptr;
}

// 都: du1 "capital" after a capital's role or before a city word.
const char *read_du(const Context &x) {
    if (in(U"首国古故旧建迁定京陪帝", x.prev()) || in(U"城市会督", x.next())) return "du1";
    return nullptr;
}

// 会: kuai4 in accounting (会计) read alone.
const char *read_hui(const Context &x) {
    if (x.next() == U'计') return "kuai4";
    return nullptr;
}

// 要: yao1 "to demand" before 求/挟.
const char *read_yao(const Context &x) {
    if (in(U"求挟", x.next())) return "yao1";
    return nullptr;
}

struct Rule {
    char32_t c;
    const char *(*read)(const Context &);
    const char *fallback;  // for a character read on its own
};

constexpr Rule kRules[] = {
    {U'得', read_de, nullptr},
    {U'地', read_di, nullptr},
    {U'了', read_le, nullptr},
    {U'着', read_zhe, nullptr},
    {U'还', read_huan, "hai2"},
    {U'行', read_xing, nullptr},
    {U'长', read_chang, "chang2"},
    {U'重', read_zhong_heavy, nullptr},
    {U'中', read_zhong_middle, nullptr},
    {U'好', read_hao, nullptr},
    {U'教', read_jiao, nullptr},
    {U'只', read_zhi, "zhi3"},
    {U'种', read_zhong_kind, nullptr},
    {U'数', read_shu, nullptr},
    {U'干', read_gan, nullptr},
    {U'应', read_ying, "ying1"},
    {U'为', read_wei, nullptr},
    {U'将', read_jiang, nullptr},
    {U'率', read_lv, nullptr},
    {U'载', read_zai, nullptr},
    {U'更', read_geng, nullptr},
    {U'过', read_guo, nullptr},
    {U'少', read_shao, nullptr},
    {U'发', read_fa, nullptr},
    {U'便', read_bian, nullptr},
    {U'看', read_kan, nullptr},
    {U'都', read_du, "dou1"},
    {U'会', read_hui, nullptr},
    {U'要', read_yao, nullptr},
    {U'钉', read_ding, nullptr},
    {U'挣', read_zheng, nullptr},
};

}  // namespace

void apply_context_rules(RunReading &run) {
    for (std::size_t i = 0; i < run.size(); ++i) {
        CharReading &cr = run.chars[i];
        if (cr.source == Source::word) continue;
        for (const Rule &rule : kRules) {
            if (rule.c != cr.c) continue;
            const char *s = rule.read(Context{run, i});
            if (s == nullptr && cr.source == Source::character && run.single(i)) s = rule.fallback;
            if (s != nullptr) {
                cr.syllable = s;
                cr.source = Source::rule;
            }
            break;
        }
    }
}

}  // namespace speech::mandarin
