// SPDX-License-Identifier: GPL-3.0-or-later
#include "About.h"

#include "DialogsLng.h"
#include "Local.h"
#include "SchachProcs.h"
#include "Schachfiguren.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QVBoxLayout>

#include <algorithm>

#ifndef KB_VERSION
#define KB_VERSION ""
#endif

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

QLabel* Line(const QString& Caption, QWidget* Parent) {
    auto* label = new QLabel(Caption, Parent);
    label->setWordWrap(true);
    return label;
}

// Labels side by side, as one line of text.
QHBoxLayout* Row(std::initializer_list<QWidget*> Widgets) {
    auto* row = new QHBoxLayout;
    row->setSpacing(3);
    for (QWidget* w : Widgets)
        row->addWidget(w);
    row->addStretch();
    return row;
}

} // namespace

QPixmap ProgramPicture(int Size) {
    QImage picture(Size, Size, QImage::Format_RGB32);
    {
        QPainter p(&picture);
        const int cells = 4;
        for (int y = 0; y < cells; ++y)
            for (int x = 0; x < cells; ++x)
                p.fillRect(QRect(QPoint(x * Size / cells, y * Size / cells),
                                 QPoint((x + 1) * Size / cells - 1, (y + 1) * Size / cells - 1)),
                           (x + y) % 2 ? QColor(120, 80, 40) : QColor(240, 220, 180));
    }
    // The knight is drawn from the same glyphs as the board's pieces.
    kb::DrawFigurFromStrip(picture, picture.rect(), kb::BuildFigurenStrip(Size), kb::Springer);
    QPainter p(&picture);
    p.setPen(QColor(60, 40, 20));
    p.drawRect(0, 0, Size - 1, Size - 1);
    p.end();
    return QPixmap::fromImage(picture);
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(ProgramPicture(size));
    return icon;
}

TLinkLabel::TLinkLabel(const QString& Caption, const QUrl& Url, QWidget* Parent)
    : QLabel(Caption, Parent), Url(Url) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    setPalette(p);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint()))
        emit Clicked();
    QLabel::mouseReleaseEvent(Event);
}

TAboutBox::TAboutBox(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Info"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    // Small print, so that the credits keep their lines.
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() * 0.9));
    setFont(small);

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* col = new QVBoxLayout(panel);
    col->setSpacing(4);

    Icon = new QLabel(panel);
    Icon->setObjectName(QStringLiteral("Icon"));
    Icon->setPixmap(ProgramPicture(32));
    ProductName = new QLabel(QStringLiteral("Kestrelbay " KB_VERSION), panel);
    QFont bold = ProductName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    ProductName->setFont(bold);
    auto* freeware = new QLabel(QStringLiteral("Freeware"), panel);
    auto* nameCol = new QVBoxLayout;
    nameCol->addWidget(ProductName);
    nameCol->addWidget(freeware);
    auto* head = new QHBoxLayout;
    head->addWidget(Icon);
    head->addLayout(nameCol);
    head->addStretch();
    col->addLayout(head);

    lCreated = new QLabel(U("Erstellt mit"), panel);
    lLibrary =
        new TLinkLabel(QStringLiteral("Qt."), QUrl(QStringLiteral("https://www.qt.io/")), panel);
    col->addLayout(Row({lCreated, lLibrary}));
    lPictures = Line(U("Die Figurenbilder stehen unter der"), panel);
    lPictures->setWordWrap(false);
    lGnu = new TLinkLabel(QStringLiteral("GNU GPL."),
                          QUrl(QStringLiteral("https://www.gnu.org/licenses/gpl-3.0.html")), panel);
    col->addLayout(Row({lPictures, lGnu}));
    lCredits = Line(U("Das Analysemodul MiniMax wurde für Kestrelbay\n"
                      "von dessen Entwicklern geschrieben;\n"
                      "die Programmdatei wird ungepackt ausgeliefert."),
                    panel);
    col->addWidget(lCredits);

    auto* divider = new QFrame(panel);
    divider->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    col->addWidget(divider);

    lFischer = new TLinkLabel(
        U("Fischer-Random-Chess-Regeln"),
        QUrl(QStringLiteral("https://en.wikipedia.org/wiki/Fischer_random_chess")), panel);
    col->addWidget(lFischer);
    lFischerHint = Line(U("(Ausführen der Fischer-Rochade mit gedrückter <Strg>-Taste)"), panel);
    col->addWidget(lFischerHint);
    lPrinting = Line(U("Drucken nur möglich mit installierten Fonts"), panel);
    col->addWidget(lPrinting);
    const QUrl fonts(QStringLiteral("http://www.enpassant.dk/chess/fonteng.htm"));
    lFont = new TLinkLabel(QStringLiteral("1Echecs,"), fonts, panel);
    lFontNT = new TLinkLabel(QStringLiteral("Chess Merida."), fonts, panel);
    col->addLayout(Row({lFont, lFontNT}));
    lFontHint = Line(U("(in \"Optionen\" wählen - Merida für NT empfohlen)"), panel);
    col->addWidget(lFontHint);
    lParameters = Line(U("Optionale Parameter:\n"
                         "\"kestrelbay ~/xxx.pgn 0\"\n"
                         "( = Erste Partie aus der Datei xxx.pgn laden )\n"
                         "Damit eignet es sich als PGN-Betrachter für Webseiten -\n"
                         "\"Optionen - Endung .pgn zuordnen\" wählen"),
                       panel);
    col->addWidget(lParameters);
    lStatusHint = Line(U("Beachten Sie die Hinweise in der Statuszeile;\n"
                         "eine gedrückte STRG-Taste bei der Zugeingabe erzeugt eine Variante,\n"
                         "ALT überschreibt die restlichen Züge."),
                       panel);
    col->addWidget(lStatusHint);
    col->addStretch();

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(mrOk); });

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->addWidget(panel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addStretch();
    outer->addLayout(buttons);
    setMinimumSize(320, 445);
    setFixedWidth(360);

    for (TLinkLabel* link : {lLibrary, lGnu, lFischer, lFont, lFontNT})
        connect(link, &TLinkLabel::Clicked, this, [this, link] { OpenLink(link); });
    FormCreate();

    RegisterCaption(lCreated, 135);
    RegisterCaption(lPictures, 136);
    RegisterCaption(lCredits, 137);
    RegisterCaption(lFischer, 138);
    RegisterCaption(lFischerHint, 139);
    RegisterCaption(lPrinting, 140);
    RegisterCaption(lParameters, 141);
    RegisterCaption(lFontHint, 190);
    RegisterCaption(lStatusHint, 230);
    RegisterCaption(OKButton, 169);
}

void TAboutBox::FormCreate() {
    // The short hint stays empty; the status line shows the address.
    for (TLinkLabel* link : {lLibrary, lGnu, lFischer, lFont, lFontNT}) {
        link->setObjectName(link == lLibrary   ? "lLibrary"
                            : link == lGnu     ? "lGnu"
                            : link == lFischer ? "lFischer"
                            : link == lFont    ? "lFont"
                                               : "lFontNT");
        SetHint(link, u'|' + link->Url.toString());
    }
}

void TAboutBox::OpenLink(const TLinkLabel* Label) {
    QDesktopServices::openUrl(Label->Url);
}

bool TAboutBox::event(QEvent* Event) {
    if (Event->type() == QEvent::StatusTip && parentWidget()) {
        QStatusTipEvent tip(static_cast<QStatusTipEvent*>(Event)->tip());
        QCoreApplication::sendEvent(parentWidget(), &tip);
        return true;
    }
    return QDialog::event(Event);
}

void TAboutBox::reject() {
    done(mrCancel);
}
