// SPDX-License-Identifier: Apache-2.0
// XML documents from people the host may not trust (SSML, lexicons), read
// with expat so that nothing but the given bytes is ever read: a document
// type declaration is refused outright (so no entity can be declared, and
// no DTD or external entity is ever loaded), parameter entities are never
// parsed, and elements nest at most kMaxDepth deep.
#ifndef SPEECH_SSML_SAFE_XML_H
#define SPEECH_SSML_SAFE_XML_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace speech::xml {

inline constexpr int kMaxDepth = 64;

// Why a document was refused, and where (line and column from 1).
struct Error {
    std::string message;
    unsigned long line = 0;
    unsigned long column = 0;
    // "line L, column C: message"
    std::string text() const;
};

// An element's attributes as expat gives them: name, value, ..., null.
class Attributes {
  public:
    explicit Attributes(const char **list) : list_(list) {}
    // The value of `name`, or null.
    const char *find(std::string_view name) const;
    const char **list() const { return list_; }

  private:
    const char **list_;
};

// An element's name as written ("pls:lexeme") and without its prefix
// ("lexeme"), found only when asked for.
class Name {
  public:
    explicit Name(const char *written) : written_(written) {}
    std::string_view written() const { return written_; }
    std::string_view local() const;

  private:
    const char *written_;
};

// What the document's content is given to. A handler that returns false
// stops the reading with the message it set in `error`.
class Handler {
  public:
    virtual ~Handler() = default;
    virtual bool start(const Name &name, const Attributes &attributes, std::string &error) = 0;
    virtual bool end(const Name &name, std::string &error) = 0;
    virtual bool text(std::string_view text, std::string &error) = 0;
};

// Reads `document` (UTF-8, whatever its declaration says); true when it is
// well-formed and the handler took all of it, else false with `error`.
bool parse(std::string_view document, Handler &handler, Error &error);

// Where the start tag of `document`'s root element ends (the offset of the
// byte after it) and the name written in it; false when the document's
// beginning does not parse, holds what parse() refuses, or has no root
// element in its first 64 KB.
bool root_start(std::string_view document, std::size_t &tag_end, std::string &name);

// The same with the document read piece by piece into the parser's own
// buffer: `read` fills up to `capacity` bytes and returns how many, 0 at the
// end, or -1 with a message (a file is never held whole in memory).
using ReadPiece = std::function<long(char *buffer, std::size_t capacity, std::string &message)>;
bool parse_stream(const ReadPiece &read, Handler &handler, Error &error);

}  // namespace speech::xml

#endif  // SPEECH_SSML_SAFE_XML_H
