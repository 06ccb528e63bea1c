// SPDX-License-Identifier: Apache-2.0
#include "safe_xml.h"

// Debian's expat is built with DTD support, and its amplification limits
// are declared only then.
#ifndef XML_DTD
#define XML_DTD 1
#endif
#include <expat.h>

#include <climits>
#include <cstring>
#include <memory>

namespace speech::xml {
namespace {

struct Reader {
    XML_Parser parser = nullptr;
    Handler *handler = nullptr;
    int depth = 0;
    std::string message;  // set when we stopped the parser ourselves
    unsigned long line = 0, column = 0;  // where
    std::size_t stop_offset = 0;  // the byte after the markup it stopped in
    bool stopped = false;
};

// Stops the parser where it stands with the reason in `r.message`.
void stop(Reader &r) {
    if (r.stopped) return;
    r.stopped = true;
    r.line = XML_GetCurrentLineNumber(r.parser);
    r.column = XML_GetCurrentColumnNumber(r.parser) + 1;
    r.stop_offset = static_cast<std::size_t>(XML_GetCurrentByteIndex(r.parser) + XML_GetCurrentByteCount(r.parser));
    XML_StopParser(r.parser, XML_FALSE);
}

void stop(Reader &r, std::string message) {
    if (r.stopped) return;
    r.message = std::move(message);
    stop(r);
}

// The handler writes a refusal's reason straight into the reader's message.
void XMLCALL on_start(void *data, const XML_Char *name, const XML_Char **attrs) {
    Reader &r = *static_cast<Reader *>(data);
    if (r.stopped) return;
    if (++r.depth > kMaxDepth) return stop(r, "elements nested more than " + std::to_string(kMaxDepth) + " deep");
    if (!r.handler->start(Name(name), Attributes(attrs), r.message)) stop(r);
}

void XMLCALL on_end(void *data, const XML_Char *name) {
    Reader &r = *static_cast<Reader *>(data);
    if (r.stopped) return;
    --r.depth;
    if (!r.handler->end(Name(name), r.message)) stop(r);
}

void XMLCALL on_text(void *data, const XML_Char *s, int len) {
    Reader &r = *static_cast<Reader *>(data);
    if (r.stopped) return;
    if (!r.handler->text(std::string_view(s, static_cast<std::size_t>(len)), r.message)) stop(r);
}

void XMLCALL on_doctype(void *data, const XML_Char *, const XML_Char *, const XML_Char *, int) {
    stop(*static_cast<Reader *>(data), "a document type declaration is not allowed");
}

void XMLCALL on_entity(void *data, const XML_Char *, int, const XML_Char *, int, const XML_Char *, const XML_Char *,
                       const XML_Char *, const XML_Char *) {
    stop(*static_cast<Reader *>(data), "an entity declaration is not allowed");
}

int XMLCALL on_external_entity(XML_Parser, const XML_Char *, const XML_Char *, const XML_Char *, const XML_Char *) {
    return XML_STATUS_ERROR;  // never opened
}

struct ParserFree {
    void operator()(XML_ParserStruct *p) const { XML_ParserFree(p); }
};

}  // namespace

std::string Error::text() const {
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

std::string_view Name::local() const {
    const char *local = written_, *p = written_;
    for (; *p != '\0'; ++p)
        if (*p == ':') local = p + 1;
    return std::string_view(local, static_cast<std::size_t>(p - local));
}

const char *Attributes::find(std::string_view name) const {
    for (const char **a = list_; a != nullptr && a[0] != nullptr; a += 2)
        if (name == a[0]) return a[1];
    return nullptr;
}

namespace {

using ParserPtr = std::unique_ptr<XML_ParserStruct, ParserFree>;

// A parser for `r` with every guard set; null when out of memory.
ParserPtr make_parser(Reader &r) {
    ParserPtr parser(XML_ParserCreate("UTF-8"));
    if (!parser) return parser;
    XML_Parser p = parser.get();
    r.parser = p;
    XML_SetUserData(p, &r);
    XML_SetElementHandler(p, on_start, on_end);
    XML_SetCharacterDataHandler(p, on_text);
    XML_SetStartDoctypeDeclHandler(p, on_doctype);
    XML_SetEntityDeclHandler(p, on_entity);
    XML_SetExternalEntityRefHandler(p, on_external_entity);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4)
    // A second line behind the refused declarations.
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(p, 10.0f);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(p, 1u << 20);
#endif
    return parser;
}

// A guarded parser reading into `handler`; null, with the reason in
// `error`, when out of memory.
ParserPtr start_parser(Reader &r, Handler &handler, Error &error) {
    r.handler = &handler;
    ParserPtr parser = make_parser(r);
    if (!parser) error.message = "out of memory";
    return parser;
}

bool result(XML_Status status, const Reader &r, Error &error) {
    if (status == XML_STATUS_OK && !r.stopped) return true;
    error.message = r.stopped ? r.message : XML_ErrorString(XML_GetErrorCode(r.parser));
    error.line = r.stopped ? r.line : XML_GetCurrentLineNumber(r.parser);
    error.column = r.stopped ? r.column : XML_GetCurrentColumnNumber(r.parser) + 1;
    return false;
}

}  // namespace

bool parse(std::string_view document, Handler &handler, Error &error) {
    error = Error{};
    // Blanks before an XML declaration (which must come first) are dropped;
    // the lines they held still count in a message.
    unsigned long skipped_lines = 0;
    const std::size_t first = document.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && first > 0 && document.substr(first, 5) == "<?xml") {
        for (std::size_t i = 0; i < first; ++i) skipped_lines += document[i] == '\n';
        document.remove_prefix(first);
    }
    Reader r;
    const ParserPtr parser = start_parser(r, handler, error);
    if (!parser) return false;
    // expat takes lengths as int: long documents go in parts.
    constexpr std::size_t kPart = 1u << 30;
    std::size_t from = 0;
    XML_Status status = XML_STATUS_OK;
    do {
        const std::size_t n = std::min(kPart, document.size() - from);
        const bool last = from + n == document.size();
        status = XML_Parse(parser.get(), document.data() + from, static_cast<int>(n), last ? XML_TRUE : XML_FALSE);
        from += n;
    } while (status == XML_STATUS_OK && from < document.size());
    if (result(status, r, error)) return true;
    error.line += skipped_lines;
    return false;
}

namespace {

// Stops at the root element's start tag and notes where it ends.
class RootFinder final : public Handler {
  public:
    bool start(const Name &name, const Attributes &, std::string &error) override {
        name_ = std::string(name.written());
        error = kFound;
        return false;
    }
    bool end(const Name &, std::string &) override { return true; }
    bool text(std::string_view, std::string &) override { return true; }
    static constexpr const char *kFound = "found";
    std::string name_;
};

}  // namespace

bool root_start(std::string_view document, std::size_t &tag_end, std::string &name) {
    RootFinder finder;
    Reader r;
    Error error;
    const ParserPtr parser = start_parser(r, finder, error);
    if (!parser) return false;
    // The prolog and the root's tag lie near the start; a document that
    // keeps them longer is read as a whole instead.
    const std::size_t n = std::min<std::size_t>(document.size(), 1u << 16);
    XML_Parse(parser.get(), document.data(), static_cast<int>(n), XML_FALSE);
    if (!r.stopped || r.message != RootFinder::kFound) return false;
    tag_end = r.stop_offset;
    name = finder.name_;
    return tag_end <= document.size();
}

bool parse_stream(const ReadPiece &read, Handler &handler, Error &error) {
    error = Error{};
    Reader r;
    const ParserPtr parser = start_parser(r, handler, error);
    if (!parser) return false;
    constexpr int kPiece = 64 << 10;
    for (;;) {
        void *buffer = XML_GetBuffer(parser.get(), kPiece);
        if (buffer == nullptr) {
            error.message = "out of memory";
            return false;
        }
        const long n = read(static_cast<char *>(buffer), kPiece, error.message);
        if (n < 0) return false;
        const XML_Status status = XML_ParseBuffer(parser.get(), static_cast<int>(n), n == 0 ? XML_TRUE : XML_FALSE);
        if (status != XML_STATUS_OK || r.stopped || n == 0) return result(status, r, error);
    }
}

}  // namespace speech::xml
