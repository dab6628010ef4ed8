// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChessPrint.h"

#include "ChessPrintDiagram.h"
#include "IniFile.h"
#include "NotationWidgetText.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cstring>

namespace kb {

namespace {

const QColor Maroon(0x80, 0x00, 0x00);
constexpr char32_t NonBreakingHyphen = 0x2011;

void SetFontProps(TPrintFont& F, const QString& Name, int Size, bool Bold, const QColor& Color,
                  QFont::StyleHint Hint) {
    F.Font = QFont(Name);
    F.Font.setStyleHint(Hint);
    F.Font.setPointSize(Size);
    F.Font.setBold(Bold);
    F.Color = Color;
}

QTextCharFormat CharFormat(const TPrintFont& F) {
    QTextCharFormat f;
    f.setFont(F.Font);
    f.setForeground(F.Color);
    return f;
}

QTextBlockFormat BlockFormat(uint8_t Kind) {
    QTextBlockFormat b;
    // Diagram lines in a chess font hold blanks: they must not wrap there.
    b.setNonBreakableLines(Kind == pkDiagram);
    return b;
}

} // namespace

TQRChessRichText::TQRChessRichText()
    : hiddenNotation_(std::make_unique<TNotation>()),
      diagramObject_(std::make_unique<TDiagramObject>()),
      hiddenRichEdit_(std::make_unique<QTextDocument>()),
      measureDoc_(std::make_unique<QTextDocument>()) {
    hiddenNotation_->SignTexts = ShowableSignTexts();
    SetFontProps(FontHeadLine, QStringLiteral("Arial"), 12, true, Maroon, QFont::SansSerif);
    SetFontProps(FontHVar, QStringLiteral("Courier New"), 10, true, Maroon, QFont::Monospace);
    SetFontProps(Font1Var, QStringLiteral("Courier New"), 10, false, Maroon, QFont::Monospace);
    SetFontProps(Font2Var, QStringLiteral("Courier New"), 8, false, Qt::black, QFont::Monospace);
    SetFontProps(FontDia, QStringLiteral("1Echecs"), 20, false, Qt::black, QFont::AnyStyle);
    SetFontProps(FontResult, QStringLiteral("Arial"), 12, true, Maroon, QFont::SansSerif);
    SetFontProps(FontComment, QStringLiteral("Arial"), 10, false, Maroon, QFont::SansSerif);
    SetupDocument(*hiddenRichEdit_);
    SetupDocument(*measureDoc_);
}

TQRChessRichText::~TQRChessRichText() {
    ClearPrintText();
    // The documents go before the object handler they use.
    hiddenRichEdit_.reset();
    measureDoc_.reset();
}

const TPrintFont& TQRChessRichText::FontOfKind(uint8_t Kind) const {
    switch (Kind) {
    case pkHeadline:
        return FontHeadLine;
    case pkDiagram:
        return FontDia;
    case pkResult:
        return FontResult;
    case pkMain:
        return FontHVar;
    case pkVar1:
        return Font1Var;
    case pkVar2:
        return Font2Var;
    default:
        return FontComment;
    }
}

bool TQRChessRichText::DrawnDiagrams() const {
    return !ChessFontInstalled(FontDia.Font.family());
}

void TQRChessRichText::SetupDocument(QTextDocument& Doc) const {
    Doc.setUndoRedoEnabled(false);
    Doc.setDocumentMargin(0);
    QTextOption option;
    // A word wider than the band still breaks rather than run out of it.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Doc.setDefaultTextOption(option);
    Doc.setDefaultFont(FontResult.Font);
    Doc.documentLayout()->setPaintDevice(device_);
    Doc.documentLayout()->registerHandler(TDiagramObject::Type, diagramObject_.get());
    Doc.setTextWidth(size_.width());
}

void TQRChessRichText::SetBounds(QPaintDevice* Device, const QSizeF& Size) {
    device_ = Device;
    size_ = Size;
    PrepareRenderer();
}

void TQRChessRichText::PrepareRenderer() {
    SetupDocument(*hiddenRichEdit_);
    SetupDocument(*measureDoc_);
    if (fenShown_) ShowFEN();
}

void TQRChessRichText::EndRun() {
    device_ = nullptr;
    hiddenRichEdit_->clear();
    measureDoc_->clear();
    PrepareRenderer();
}

void TQRChessRichText::ClearPrintText() {
    text_.ClearPrintText();
}

void TQRChessRichText::SetFEN(const std::string& Value) {
    if (Value == fen_) return;
    fen_ = Value;
    PrepareRenderer();
    ShowFEN();
}

void TQRChessRichText::ShowFEN() {
    const std::string text =
        FENToFontDiagram(fen_, FontDia.Font.family().toStdString(), IniValueReader(FontIniFile));
    fenShown_ = true;
    hiddenRichEdit_->clear();
    SetupDocument(*hiddenRichEdit_);
    if (text.empty()) return;
    const std::vector<TPrintSegment> runs = {{1, static_cast<int32_t>(text.size()), pkDiagram}};
    FillDocument(*hiddenRichEdit_, text, runs, 1, static_cast<int32_t>(text.size()), nullptr);
}

void TQRChessRichText::FillDocument(QTextDocument& Doc, const std::string& Text,
                                    const std::vector<TPrintSegment>& Runs, int32_t First,
                                    int32_t Last, std::vector<int32_t>* Map) const {
    Doc.clear();
    SetupDocument(Doc);
    if (Map) Map->clear();
    QTextCursor cur(&Doc);
    // One edit for the whole fill: the layout then runs once at its end,
    // not again over the whole paragraph after every run inserted.
    struct TEdit {
        QTextCursor& Cursor;
        explicit TEdit(QTextCursor& C) : Cursor(C) { Cursor.beginEditBlock(); }
        ~TEdit() { Cursor.endEditBlock(); }
    } edit(cur);
    const bool drawn = DrawnDiagrams();
    const TChessFontChars chars =
        ChessFontCharsFor(FontDia.Font.family().toStdString(), FontIniFile);
    const qreal diaPoints = FontDia.Font.pointSizeF() > 0 ? FontDia.Font.pointSizeF() : 20.0;

    auto segAt = [&](int32_t p) {
        auto it = std::upper_bound(Runs.begin(), Runs.end(), p,
                                   [](int32_t v, const TPrintSegment& s) { return v < s.Start; });
        return it == Runs.begin() ? Runs.begin() : std::prev(it);
    };
    auto it = segAt(First);
    if (it == Runs.end()) return;
    cur.setBlockFormat(BlockFormat(it->Kind));
    cur.setBlockCharFormat(CharFormat(FontOfKind(it->Kind)));

    QString run;
    QTextCharFormat fmt;
    int64_t filled = 0;
    struct TCount {
        TLayoutWork& Work;
        const int64_t& Filled;
        ~TCount() {
            Work.Chars += Filled;
            Work.Largest = std::max(Work.Largest, Filled);
        }
    } count{work_, filled};
    auto flush = [&] {
        if (run.isEmpty()) return;
        filled += run.size();
        cur.insertText(run, fmt);
        run.clear();
    };
    auto add = [&](char32_t c, int32_t p) {
        if (QChar::requiresSurrogates(c)) {
            run += QChar(QChar::highSurrogate(c));
            run += QChar(QChar::lowSurrogate(c));
            if (Map) Map->push_back(p);
        } else {
            run += QChar(static_cast<char16_t>(c));
        }
        if (Map) Map->push_back(p);
    };
    auto lineBreak = [&](int32_t p, uint8_t kind) {
        // CR LF is one break, also when the LF opens the next run.
        const int32_t n = Text[static_cast<size_t>(p - 1)] == '\r' && p < Last &&
                                  Text[static_cast<size_t>(p)] == '\n'
                              ? 2
                              : 1;
        // A break that ends the range opens no empty line below it.
        if (p + n - 1 >= Last) return n;
        flush();
        cur.insertBlock(BlockFormat(kind), fmt);
        if (Map) Map->push_back(p);
        return n;
    };

    int32_t p = First;
    for (; it != Runs.end() && p <= Last; ++it) {
        const int32_t end = std::min(it->End(), Last);
        if (p > end) continue;
        const uint8_t kind = it->Kind;
        fmt = CharFormat(FontOfKind(kind));
        if (kind == pkDiagram && drawn) {
            while (p <= end && (Text[static_cast<size_t>(p - 1)] == '\r' ||
                                Text[static_cast<size_t>(p - 1)] == '\n'))
                p += lineBreak(p, kind);
            TSchachbrett board;
            if (p <= end &&
                ParseFontDiagram(std::string_view(Text).substr(static_cast<size_t>(p - 1),
                                                               static_cast<size_t>(end - p + 1)),
                                 chars, board)) {
                flush();
                cur.insertText(QString(QChar::ObjectReplacementCharacter),
                               TDiagramObject::Format(board, diaPoints));
                if (Map) Map->push_back(p);
                p = end + 1;
                continue;
            }
        }
        while (p <= end) {
            const char c = Text[static_cast<size_t>(p - 1)];
            if (c == '\r' || c == '\n') {
                p += lineBreak(p, kind);
                continue;
            }
            if (kind == pkDiagram) {
                // Chess-font text is single bytes of the font's code page.
                add(static_cast<unsigned char>(c), p);
                ++p;
                continue;
            }
            size_t len = 1;
            char32_t ch = CharacterAt(Text, static_cast<size_t>(p - 1), len);
            // Castling and results stay whole at a line end.
            if (ch == '-' && kind != pkComment && kind != pkHeadline) ch = NonBreakingHyphen;
            add(ch, p);
            p += static_cast<int32_t>(std::max<size_t>(len, 1));
        }
        flush();
    }
    flush();
}

int32_t TQRChessRichText::EstimateLast(int32_t First) const {
    // Enough text to fill the band half again, from line breaks and text
    // length in each run's font; the measuring extends it when short. The
    // walk stops inside a run, so that a long comment, tag or move list is
    // not laid out whole again for every band it fills.
    const auto& segs = text_.Segments;
    const std::string& t = text_.PrintText;
    const auto length = static_cast<int32_t>(t.size());
    const qreal width = std::max<qreal>(size_.width(), 1);
    const qreal room = size_.height() * 1.5;
    qreal height = 0;
    int32_t last = First;
    for (int j = text_.SegmentAt(First); j < static_cast<int>(segs.size()); ++j) {
        const TPrintSegment& s = segs[static_cast<size_t>(j)];
        const QFontMetricsF fm(FontOfKind(s.Kind).Font, device_);
        const qreal lineHeight = fm.lineSpacing();
        const qreal charWidth = std::max<qreal>(fm.averageCharWidth(), 0.01);
        qreal lineWidth = 0;
        height += lineHeight;
        for (int32_t p = std::max(s.Start, First); p <= s.End(); ++p) {
            last = p;
            if (t[static_cast<size_t>(p - 1)] == '\n') {
                height += lineHeight;
                lineWidth = 0;
            } else if ((lineWidth += charWidth) > width) {
                height += lineHeight;
                lineWidth = charWidth;
            }
            if (height > room) return std::min(last, length);
        }
    }
    return std::min(last, length);
}

TChunkFit TQRChessRichText::FitChars(int32_t First) {
    const auto length = static_cast<int32_t>(text_.PrintText.size());
    const qreal height = size_.height();
    int32_t last = EstimateLast(First);
    std::vector<int32_t> map;
    while (true) {
        FillDocument(*measureDoc_, text_.PrintText, text_.Segments, First, last, &map);
        QTextDocument& d = *measureDoc_;
        d.documentLayout()->documentSize(); // lays out the whole text
        auto posOf = [&](int docPos) {
            return docPos >= 0 && docPos < static_cast<int>(map.size())
                       ? map[static_cast<size_t>(docPos)]
                       : last + 1;
        };
        int lineNo = 0;
        int32_t firstLineEnd = last;
        int32_t lastFit = -1;
        // The line that no longer fits is followed by another one: then the
        // measured text was cut below it, and its start (where the band
        // ends) is where the whole text would have put it.
        bool followed = false;
        for (QTextBlock b = d.begin(); b.isValid() && !followed; b = b.next()) {
            const QTextLayout* lay = b.layout();
            if (!lay) continue;
            const qreal top = lay->position().y();
            for (int i = 0; i < lay->lineCount(); ++i) {
                const QTextLine ln = lay->lineAt(i);
                const int docPos = b.position() + ln.textStart();
                if (lineNo == 1) firstLineEnd = posOf(docPos) - 1;
                ++lineNo;
                if (lastFit >= 0 && lineNo >= 2) {
                    followed = true;
                    break;
                }
                if (lastFit < 0 && top + ln.y() + ln.height() > height + 0.5)
                    lastFit = posOf(docPos) - 1;
            }
        }
        if (last >= length) {
            if (lastFit >= 0) return {lastFit, firstLineEnd};
            return {length, firstLineEnd};
        }
        if (followed) return {lastFit, firstLineEnd};
        // All of it fits, or the text ends right at the line that does not:
        // measure more.
        last = std::min<int32_t>(length, last + std::max<int32_t>(last - First + 1, 256));
    }
}

bool TQRChessRichText::NextChunk() {
    try {
        cancelled_ = false;
        if (text_.PrintText.empty()) {
            PrepareRenderer();
            text_.FirstPosition = FirstPosition;
            text_.DiagramFont = FontDia.Font.family().toStdString();
            text_.FontIniFile = FontIniFile;
            text_.OnBuildProgress = OnBuildProgress;
            if (!text_.BuildText(PGNGames, *hiddenNotation_)) {
                cancelled_ = true;
                hiddenRichEdit_->clear();
                return false;
            }
        }
        fenShown_ = false;
        if (!text_.NextChunk([this](int32_t First) { return FitChars(First); })) {
            hiddenRichEdit_->clear();
            return false;
        }
        FillDocument(*hiddenRichEdit_, text_.PrintText, text_.Segments, text_.ChunkFirst,
                     text_.ChunkLast, nullptr);
        return true;
    } catch (...) {
        // Anything failing here ends the report.
        ClearPrintText();
        return false;
    }
}

void TQRChessRichText::Print(QPainter& Painter, const QPointF& TopLeft) {
    Painter.save();
    Painter.translate(TopLeft);
    const QRectF band(QPointF(0, 0), size_);
    Painter.setClipRect(band, Qt::IntersectClip);
    hiddenRichEdit_->drawContents(&Painter, band);
    Painter.restore();
}

} // namespace kb
