// SPDX-License-Identifier: GPL-3.0-or-later
// TTimeDlg: thinking time of a clock.
#include "UTimedlg.h"

#include "Local.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TTimeDlg::TTimeDlg(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("TimeDlg"));
    setWindowTitle(QStringLiteral("Bedenkzeit"));
    SpinEdit1 = new QSpinBox(this);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setRange(1, 1000);
    SpinEdit2 = new QSpinBox(this);
    SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
    SpinEdit2->setRange(0, 1000);
    Label1 = new QLabel(QStringLiteral("Minuten   +"), this);
    Label2 = new QLabel(QStringLiteral("Sekunden pro Zug"), this);
    cbOnlyOneClock = new QCheckBox(QStringLiteral("Nur diese Uhr stellen"), this);
    cbOnlyOneClock->setObjectName(QStringLiteral("cbOnlyOneClock"));
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Abbrechen"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(SpinEdit1);
    row->addWidget(Label1);
    row->addWidget(SpinEdit2);
    row->addWidget(Label2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* col = new QVBoxLayout(this);
    col->addLayout(row);
    col->addWidget(cbOnlyOneClock);
    col->addLayout(buttons);
    ApplyLanguage();
}

void TTimeDlg::ApplyLanguage() {
    RegisterText(this, 198, windowTitle(), [this](const QString& s) { setWindowTitle(s); });
    const std::pair<QObject*, int> items[] = {
        {Label1, 199}, {Label2, 200}, {cbOnlyOneClock, 258}, {Button1, 169}, {Button2, 168}};
    for (const auto& [o, n] : items)
        RegisterCaption(o, n);
}
