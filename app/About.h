// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: product name, credits, usage hints and links that open web
// pages in the user's browser.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <QUrl>

class QIcon;
class QPushButton;

// The program's own picture: a white knight of the board's pieces on a
// corner of a board, Size pixels square.
QPixmap ProgramPicture(int Size);
// The window icon: the picture in the sizes a desktop asks for.
QIcon ProgramIcon();

// A label drawn as a link: blue, underlined, hand cursor; a click opens Url.
class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    TLinkLabel(const QString& Caption, const QUrl& Url, QWidget* Parent);
    QUrl Url;

signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* Event) override;
};

class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* Parent = nullptr);

    // Esc closes as cancelled.
    void reject() override;

    QLabel* Icon;
    QLabel* ProductName;
    QLabel* lCreated;
    TLinkLabel* lLibrary;
    QLabel* lPictures;
    TLinkLabel* lGnu;
    QLabel* lCredits;
    TLinkLabel* lFischer;
    QLabel* lFischerHint;
    QLabel* lPrinting;
    TLinkLabel* lFont;
    TLinkLabel* lFontNT;
    QLabel* lFontHint;
    QLabel* lParameters;
    QLabel* lStatusHint;
    QPushButton* OKButton;

protected:
    // Status tips stop at a dialog; the box hands them on to its owner's status line.
    bool event(QEvent* Event) override;

private:
    void FormCreate();
    void OpenLink(const TLinkLabel* Label);
};
