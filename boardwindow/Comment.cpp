// SPDX-License-Identifier: GPL-3.0-or-later
// TKomm: the comment dialog.
#include "Comment.h"

#include "Local.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TKomm::TKomm(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("Komm"));
    setWindowTitle(QStringLiteral("Kommentar eingeben"));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    bOk = new QPushButton(QStringLiteral("OK"), this);
    bOk->setObjectName(QStringLiteral("bOk"));
    bOk->setDefault(true);
    bCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    Button3 = new QPushButton(QStringLiteral("Diagramm einfügen"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    connect(bOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TKomm::Button3Click);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button3);
    buttons->addStretch(1);
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);
    auto* col = new QVBoxLayout(this);
    col->addWidget(Memo1, 1);
    col->addLayout(buttons);
    resize(420, 220);
    ApplyLanguage();
}

void TKomm::Button3Click() {
    // As if typed: line break, the marker, line break.
    Memo1->insertPlainText(QStringLiteral("\n") + QChar(0x7F) + QStringLiteral("\n"));
    Memo1->setFocus();
}

void TKomm::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    Memo1->setFocus();
}

void TKomm::ApplyLanguage() {
    RegisterText(this, 142, windowTitle(), [this](const QString& s) { setWindowTitle(s); });
    RegisterCaption(Button3, 143);
    RegisterCaption(bCancel, 144);
    RegisterCaption(bOk, 169);
}
