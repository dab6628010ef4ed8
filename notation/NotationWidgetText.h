// SPDX-License-Identifier: GPL-3.0-or-later
// Game text is bytes; the screen and the clipboard need characters. A valid
// UTF-8 sequence is read as UTF-8, any other byte as Windows-1252, so text
// from old files and text typed here both show as written.
#pragma once

#include <QString>

#include <array>

#include <cstddef>
#include <string>
#include <string_view>

namespace kb {

// Length of the valid UTF-8 sequence starting at Pos (1 for ASCII), 0 when
// none starts there. Pos must be inside Text.
size_t Utf8SequenceAt(std::string_view Text, size_t Pos);

// True when the byte at Pos continues a valid UTF-8 sequence that started
// before it; such bytes are no character of their own.
bool ContinuesCharacter(std::string_view Text, size_t Pos);

// The character that starts at byte Pos, with its byte length in Len (1 for
// a byte read as Windows-1252). Control characters read as a blank, so that
// a line break kept in a comment takes the room of a blank.
char32_t CharacterAt(std::string_view Text, size_t Pos, size_t& Len);

// The whole text as characters, decoded as above (control characters kept).
QString DecodeGameText(std::string_view Text);

// Text from the clipboard or the user, stored as UTF-8.
std::string EncodeGameText(const QString& Text);

// The sign texts a notation shows for signs whose character the user has
// not chosen: the Unicode sign where some installed font draws it, its plain
// spelling where none does ("+/=" rather than an empty box). Looked up once.
const std::array<std::string, 19>& ShowableSignTexts();

} // namespace kb
