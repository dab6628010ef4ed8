// SPDX-License-Identifier: GPL-3.0-or-later
// Byte codes of the compact game record, shared by its writer (here) and its
// reader (the database).
#pragma once

namespace kb::gamerecord {

// Header item codes. Number items carry a 16-bit value, text items a text
// ended by TextEnd.
enum TItem : unsigned char {
    itWhiteElo = 0x03,
    itBlackElo = 0x04,
    itMoveCount = 0x05,
    itEventYear = 0x06,
    itTimeBase = 0x07,
    itTimeIncrement = 0x08,
    itWhite = 0x09,
    itBlack = 0x0A,
    itEvent = 0x0B,
    itAnnotator = 0x0C,
    itSite = 0x0D,
    itResult = 0x0E,
    itECO = 0x0F,
    itRound = 0x10,
    itWhiteGMT = 0x11,
    itBlackGMT = 0x12,
    itDateTimeFormat = 0x13,
    itGameId = 0x14,
    itMetaDescription = 0x15,
    itMetaKeywords = 0x16,
    itFEN = 0x17,
    itComment = 0x18,
    itEventMonth = 0x19,
    itEventDay = 0x1A,
    itYear = 0x1B,
    itMonth = 0x1C,
    itDay = 0x1D,
    // The Round tag's text where the number does not say it ("1.1"). Its
    // bytes are all above 0x1D, so a reader that knows only the codes up to
    // itDay skips the whole item byte by byte and keeps the number.
    itRoundText = 0x1E,
};

constexpr char TextEnd = 0x01;   // ends a text item and a comment
constexpr char HeaderEnd = 0x02; // ends the header items

} // namespace kb::gamerecord
