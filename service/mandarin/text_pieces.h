// SPDX-License-Identifier: Apache-2.0
// Where a long text is cut into the pieces the front end reads one at a
// time, so that memory stays bounded by a piece whatever the text's length.
#ifndef SPEECH_MANDARIN_TEXT_PIECES_H
#define SPEECH_MANDARIN_TEXT_PIECES_H

#include <cstddef>
#include <string_view>

namespace speech::mandarin {

// A piece is cut after at least this many bytes (unless the text ends
// first) and at most kPieceMax bytes.
inline constexpr std::size_t kPieceTarget = 16 * 1024;
inline constexpr std::size_t kPieceMax = 64 * 1024;

// The end of the piece of `text` that starts at `from`: after the first of
// the strongest breaks past kPieceTarget bytes within kPieceMax. From
// strongest to weakest: a sentence end or a line end; a clause mark; a
// blank; between two Han characters; between two characters that are not
// both letters or digits (so words and numbers stay whole) and not before a
// combining mark; and, for a text with none of these, any character boundary.
std::size_t piece_end(std::string_view text, std::size_t from);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_TEXT_PIECES_H
