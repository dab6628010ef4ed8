#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes one-game PGN files whose single game grows by doubling, for timing
# `kbbench print-pdf` on long text:
#   comment N  one comment of N words after the first move
#   tag N      a tag value (White) of N characters without a blank
#   tagwords N a tag value (Event) of N characters, words and blanks
#   moves N    a game of N moves (knights going out and back)
#   bytes N    one comment of about N bytes
# Usage: print_series.py KIND N OUT.pgn
import sys

WORDS = ["the", "knight", "moves", "back", "again", "while", "black", "waits",
         "for", "a", "better", "square", "and", "white", "keeps", "control"]


def words(count):
    return " ".join(WORDS[(i * 7 + i // 16) % len(WORDS)] for i in range(count))


def chars(count):
    text = words(count // 3 + 16)
    return text[:count].rstrip()


def header(event="Series", white="Alpha"):
    return (f'[Event "{event}"]\n[Site "Bay"]\n[Date "2026.12.07"]\n[Round "1"]\n'
            f'[White "{white}"]\n[Black "Beta"]\n[Result "1-0"]\n\n')


def wrap(text, width=79):
    out, line = [], ""
    for w in text.split(" "):
        if line and len(line) + 1 + len(w) > width:
            out.append(line)
            line = w
        else:
            line = f"{line} {w}" if line else w
    if line:
        out.append(line)
    return "\n".join(out)


def main():
    kind, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    if kind == "comment":
        game = header() + wrap("1. e4 {" + words(n) + "} e5 2. Nf3 Nc6 1-0") + "\n"
    elif kind == "bytes":
        game = header() + wrap("1. e4 {" + chars(n) + "} e5 2. Nf3 Nc6 1-0") + "\n"
    elif kind == "tag":
        value = "".join("abcdefghijklmnopqrstuvwxyz0123456789"[i % 36] for i in range(n))
        game = header(white=value) + "1. e4 e5 2. Nf3 Nc6 1-0\n"
    elif kind == "tagwords":
        game = header(chars(n)) + "1. e4 e5 2. Nf3 Nc6 1-0\n"
    elif kind == "moves":
        cycle = [("Nf3", "Nf6"), ("Ng1", "Ng8"), ("Nc3", "Nc6"), ("Nb1", "Nb8")]
        moves = " ".join(f"{i + 1}. {cycle[i % 4][0]} {cycle[i % 4][1]}" for i in range(n))
        game = header() + wrap(moves + " 1-0") + "\n"
    else:
        sys.exit("kind must be comment, bytes, tag, tagwords or moves")
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        f.write(game)


if __name__ == "__main__":
    main()
