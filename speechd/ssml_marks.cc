// SPDX-License-Identifier: Apache-2.0
#include "ssml_marks.h"

#include <expat.h>

#include <memory>

namespace sd_tts {

namespace {

struct ParserDeleter {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};
using Parser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter>;

bool blank(std::string_view s) {
    return s.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// Positions come from expat as byte offsets into the one buffer it parses.
class Splitter {
  public:
    explicit Splitter(std::string_view input) : input_(input) {}

    bool run(std::string &error) {
        Parser parser(XML_ParserCreate("UTF-8"));
        if (!parser) {
            error = "out of memory";
            return false;
        }
        parser_ = parser.get();
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &Splitter::on_start, &Splitter::on_end);
        XML_SetCharacterDataHandler(parser_, &Splitter::on_text);
        // No document type: nothing in a message may define entities.
        XML_SetStartDoctypeDeclHandler(parser_, &Splitter::on_doctype);
        if (XML_Parse(parser_, input_.data(), static_cast<int>(input_.size()), XML_TRUE) == XML_STATUS_ERROR) {
            error = std::string(XML_ErrorString(XML_GetErrorCode(parser_))) + " at line " +
                    std::to_string(XML_GetCurrentLineNumber(parser_)) + ", column " +
                    std::to_string(XML_GetCurrentColumnNumber(parser_));
            return false;
        }
        MessagePart last;
        last.document = reopened_ + std::string(input_.substr(cursor_));
        if (!speakable_) last.document.clear();
        parts_.push_back(std::move(last));
        return true;
    }

    std::vector<MessagePart> take() { return std::move(parts_); }

  private:
    struct Open {
        std::string name;
        std::string start_tag;  // as written
    };

    std::string_view here() const {
        const auto at = static_cast<std::size_t>(XML_GetCurrentByteIndex(parser_));
        const auto n = static_cast<std::size_t>(XML_GetCurrentByteCount(parser_));
        return at <= input_.size() ? input_.substr(at, n) : std::string_view();
    }
    std::size_t offset() const { return static_cast<std::size_t>(XML_GetCurrentByteIndex(parser_)); }

    static void XMLCALL on_doctype(void *self, const XML_Char *, const XML_Char *, const XML_Char *, int) {
        XML_StopParser(static_cast<Splitter *>(self)->parser_, XML_FALSE);
    }

    static void XMLCALL on_start(void *data, const XML_Char *name, const XML_Char **attrs) {
        auto *self = static_cast<Splitter *>(data);
        const std::string element(name);
        if (element == "mark") {
            std::string mark;
            for (int i = 0; attrs[i] != nullptr; i += 2)
                if (std::string_view(attrs[i]) == "name") mark = attrs[i + 1];
            self->at_mark(mark);
            return;
        }
        if (element == "break" || element == "audio") self->speakable_ = true;
        self->open_.push_back(Open{element, std::string(self->here())});
    }

    static void XMLCALL on_end(void *data, const XML_Char *name) {
        auto *self = static_cast<Splitter *>(data);
        if (std::string_view(name) == "mark") {
            // The end tag of <mark ...></mark> belongs to the mark, not to
            // the stretch after it (for <mark/> expat reports no bytes).
            if (self->offset() == self->cursor_) self->cursor_ += self->here().size();
            return;
        }
        if (!self->open_.empty()) self->open_.pop_back();
    }

    static void XMLCALL on_text(void *data, const XML_Char *s, int len) {
        auto *self = static_cast<Splitter *>(data);
        if (!blank(std::string_view(s, static_cast<std::size_t>(len)))) self->speakable_ = true;
    }

    void at_mark(const std::string &name) {
        const std::size_t at = offset();
        MessagePart part;
        if (speakable_) {
            part.document = reopened_ + std::string(input_.substr(cursor_, at - cursor_));
            for (auto it = open_.rbegin(); it != open_.rend(); ++it) part.document += "</" + it->name + ">";
        }
        part.mark_after = name;
        part.has_mark = true;
        parts_.push_back(std::move(part));
        cursor_ = at + here().size();
        reopened_.clear();
        for (const Open &o : open_) reopened_ += o.start_tag;
        speakable_ = false;
    }

    std::string_view input_;
    XML_Parser parser_ = nullptr;
    std::vector<Open> open_;
    std::vector<MessagePart> parts_;
    std::size_t cursor_ = 0;
    std::string reopened_;
    bool speakable_ = false;
};

void XMLCALL collect_text(void *data, const XML_Char *s, int len) {
    static_cast<std::string *>(data)->append(s, static_cast<std::size_t>(len));
}

}  // namespace

std::vector<MessagePart> split_at_marks(std::string_view message, std::string &warning) {
    warning.clear();
    Splitter splitter(message);
    if (splitter.run(warning)) return splitter.take();
    MessagePart whole;
    if (!blank(message)) whole.document = std::string(message);
    whole.is_ssml = false;
    return {whole};
}

std::string ssml_text(std::string_view message) {
    std::string text;
    Parser parser(XML_ParserCreate("UTF-8"));
    if (!parser) return std::string(message);
    XML_SetUserData(parser.get(), &text);
    XML_SetCharacterDataHandler(parser.get(), collect_text);
    if (XML_Parse(parser.get(), message.data(), static_cast<int>(message.size()), XML_TRUE) == XML_STATUS_ERROR)
        return std::string(message);
    return text;
}

}  // namespace sd_tts
