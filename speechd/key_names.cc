// SPDX-License-Identifier: Apache-2.0
#include "key_names.h"

#include <cctype>
#include <vector>

namespace sd_tts {

namespace {

struct Name {
    const char *key;
    const char *mandarin;
    const char *english;
};

// Signs and blanks that a voice would otherwise pass over as punctuation.
constexpr Name kSigns[] = {
    {" ", "空格", "space"},          {"\t", "制表符", "tab"},          {"\n", "换行", "new line"},
    {",", "逗号", "comma"},          {".", "点", "dot"},               {";", "分号", "semicolon"},
    {":", "冒号", "colon"},          {"!", "叹号", "exclamation mark"}, {"?", "问号", "question mark"},
    {"'", "单引号", "apostrophe"},   {"\"", "双引号", "quote"},        {"(", "左括号", "left paren"},
    {")", "右括号", "right paren"},  {"[", "左方括号", "left bracket"}, {"]", "右方括号", "right bracket"},
    {"{", "左花括号", "left brace"}, {"}", "右花括号", "right brace"},  {"<", "小于号", "less than"},
    {">", "大于号", "greater than"}, {"&", "和号", "and"},             {"-", "减号", "dash"},
    {"_", "下划线", "underscore"},   {"/", "斜杠", "slash"},           {"\\", "反斜杠", "backslash"},
    {"|", "竖线", "bar"},            {"@", "艾特", "at"},              {"#", "井号", "number sign"},
    {"$", "美元符号", "dollar"},     {"%", "百分号", "percent"},       {"^", "脱字符", "caret"},
    {"*", "星号", "star"},           {"+", "加号", "plus"},            {"=", "等号", "equals"},
    {"~", "波浪号", "tilde"},        {"`", "反引号", "grave"},         {"，", "逗号", "comma"},
    {"。", "句号", "full stop"},     {"、", "顿号", "enumeration comma"}, {"；", "分号", "semicolon"},
    {"：", "冒号", "colon"},         {"！", "叹号", "exclamation mark"}, {"？", "问号", "question mark"},
    {"“", "左引号", "left quote"},   {"”", "右引号", "right quote"},   {"‘", "左单引号", "left single quote"},
    {"’", "右单引号", "right single quote"}, {"（", "左括号", "left paren"}, {"）", "右括号", "right paren"},
    {"《", "左书名号", "left title mark"}, {"》", "右书名号", "right title mark"}, {"…", "省略号", "ellipsis"},
    {"—", "破折号", "dash"},         {"·", "间隔号", "middle dot"},
};

// The symbolic key names of SSIP and the modifiers.
constexpr Name kKeys[] = {
    {"space", "空格", "space"},         {"underscore", "下划线", "underscore"}, {"double-quote", "双引号", "double quote"},
    {"alt", "Alt", "alt"},              {"control", "Control", "control"},     {"hyper", "Hyper", "hyper"},
    {"meta", "Meta", "meta"},           {"shift", "Shift", "shift"},           {"super", "Super", "super"},
    {"backspace", "退格", "backspace"}, {"break", "Break", "break"},           {"delete", "删除", "delete"},
    {"down", "下", "down"},             {"end", "End", "end"},                 {"enter", "回车", "enter"},
    {"escape", "Escape", "escape"},     {"home", "Home", "home"},              {"insert", "插入", "insert"},
    {"left", "左", "left"},             {"menu", "菜单", "menu"},              {"next", "Page Down", "page down"},
    {"num-lock", "数字锁定", "num lock"}, {"pause", "暂停", "pause"},          {"print", "打印", "print"},
    {"prior", "Page Up", "page up"},    {"return", "回车", "return"},          {"right", "右", "right"},
    {"scroll-lock", "滚动锁定", "scroll lock"}, {"tab", "制表", "tab"},        {"up", "上", "up"},
    {"window", "窗口", "window"},       {"kp-enter", "小键盘 回车", "keypad enter"},
};

const Name *find(const Name *begin, const Name *end, std::string_view key) {
    for (const Name *n = begin; n != end; ++n)
        if (key == n->key) return n;
    return nullptr;
}

const char *said(const Name &n, const SpellingStyle &style) { return style.mandarin ? n.mandarin : n.english; }

// The UTF-8 characters of `text`.
std::vector<std::string_view> characters(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (i + n > text.size()) n = text.size() - i;
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

// The SSML of one character without the surrounding speak element.
std::string character_body(std::string_view c, const SpellingStyle &style) {
    if (const Name *n = find(std::begin(kSigns), std::end(kSigns), c)) return said(*n, style);
    // Whatever is left of the markup characters never goes in raw.
    if (c.empty() || c == "<" || c == "&" || c == ">") return std::string();
    if (c.size() == 1 && std::iscntrl(static_cast<unsigned char>(c[0]))) return std::string();
    std::string body;
    if (c.size() == 1 && std::isupper(static_cast<unsigned char>(c[0])) && style.announce_capitals)
        body = style.mandarin ? "大写 " : "capital ";
    if (c.size() == 1 && std::isalnum(static_cast<unsigned char>(c[0])))
        return body + "<say-as interpret-as=\"characters\">" + std::string(c) + "</say-as>";
    return body + std::string(c);
}

std::string document(const std::string &body) { return "<speak>" + body + "</speak>"; }

}  // namespace

std::string char_document(std::string_view c, const SpellingStyle &style) {
    return document(character_body(c, style));
}

std::string key_document(std::string_view key, const SpellingStyle &style) {
    std::string body;
    // Modifiers come first, each followed by an underscore; the key itself
    // may be "_" only as a whole name, never after a modifier.
    while (true) {
        const std::size_t us = key.find('_');
        if (us == std::string_view::npos || us == 0 || us + 1 == key.size()) break;
        const Name *mod = find(std::begin(kKeys), std::end(kKeys), key.substr(0, us));
        if (mod == nullptr) break;
        body += std::string(said(*mod, style)) + " ";
        key.remove_prefix(us + 1);
    }
    if (const Name *n = find(std::begin(kKeys), std::end(kKeys), key)) return document(body + said(*n, style));
    if (key.size() >= 2 && key.size() <= 3 && (key[0] == 'f' || key[0] == 'F') &&
        key.substr(1).find_first_not_of("0123456789") == std::string_view::npos)
        return document(body + "F " + std::string(key.substr(1)));
    if (key.size() > 3 && key.substr(0, 3) == "kp-")
        return document(body + (style.mandarin ? "小键盘 " : "keypad ") + character_body(key.substr(3), style));
    if (characters(key).size() == 1) return document(body + character_body(key, style));
    // An unknown name: said as written, without its markup characters.
    std::string plain;
    for (const std::string_view c : characters(key))
        plain += (c == "<" || c == "&" || c == ">" || c == "-") ? std::string(" ") : std::string(c);
    return document(body + plain);
}

std::string spelled_document(std::string_view text, const SpellingStyle &style) {
    std::string body;
    for (const std::string_view c : characters(text)) {
        if (c == "\r") continue;
        const std::string said = character_body(c, style);
        if (said.empty()) continue;
        if (!body.empty()) body += style.mandarin ? "，" : ", ";
        body += said;
    }
    return document(body);
}

}  // namespace sd_tts
