// SPDX-License-Identifier: GPL-3.0-or-later
// TfPGNSave: the game-data dialog.
#include "PGNSave.h"

#include "BrettWinFrame.h"
#include "Local.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {

// Header values are written between double quotes: a quote or a backslash
// would break the tag line, whether typed or pasted.
const QRegularExpression& HeaderText() {
    static const QRegularExpression re(QStringLiteral("[^\"\\\\]*"));
    return re;
}

} // namespace

TfPGNSave::TfPGNSave(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("fPGNSave"));
    setWindowTitle(QStringLiteral("Partiedaten"));
    auto* validator = new QRegularExpressionValidator(HeaderText(), this);

    auto edit = [&](const char* Name, int Max) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(Name));
        e->setMaxLength(Max);
        e->setValidator(validator);
        connect(e, &QLineEdit::textChanged, this, [this] { eWeissChange(); });
        return e;
    };
    auto spin = [&](const char* Name, int Max, int Chars) {
        auto* s = new QSpinBox(this);
        s->setObjectName(QString::fromLatin1(Name));
        s->setRange(0, Max);
        if (Chars > 0)
            s->setFixedWidth(
                s->fontMetrics().horizontalAdvance(QString(Chars + 1, QLatin1Char('0'))) + 36);
        connect(s, &QSpinBox::valueChanged, this, [this] { eWeissChange(); });
        return s;
    };
    auto label = [&](const QString& Text) { return new QLabel(Text, this); };

    eWeiss = edit("eWeiss", 200);
    eSchwarz = edit("eSchwarz", 200);
    eQuelle = edit("eQuelle", 200);
    eSite = edit("eSite", 200);
    eKommentator = edit("eKommentator", 200);
    eeco = edit("eeco", 10);
    sewElo = spin("sewElo", 10000, 5);
    sesElo = spin("sesElo", 10000, 5);
    seJahr = spin("seJahr", 10000, 4);
    seMonat = spin("seMonat", 12, 2);
    seTag = spin("seTag", 31, 2);
    // Stored in 16 bits.
    seRunde = spin("seRunde", 65535, 5);

    lWeiss = label(QStringLiteral("Weiß:"));
    lSchwarz = label(QStringLiteral("Schwarz:"));
    lQuelle = label(QStringLiteral("Ereignis:"));
    lSite = label(QStringLiteral("Ort:"));
    lJahr = label(QStringLiteral("Jahr:"));
    lMonat = label(QStringLiteral("Monat:"));
    lTag = label(QStringLiteral("Tag:"));
    lRunde = label(QStringLiteral("Runde:"));
    lKommentator = label(QStringLiteral("Kommentare:"));

    auto* grid = new QGridLayout;
    grid->addWidget(lWeiss, 0, 0);
    grid->addWidget(eWeiss, 0, 1);
    grid->addWidget(label(QStringLiteral("Elo:")), 0, 2);
    grid->addWidget(sewElo, 0, 3);
    grid->addWidget(lSchwarz, 1, 0);
    grid->addWidget(eSchwarz, 1, 1);
    grid->addWidget(label(QStringLiteral("Elo:")), 1, 2);
    grid->addWidget(sesElo, 1, 3);
    grid->addWidget(lQuelle, 2, 0);
    grid->addWidget(eQuelle, 2, 1, 1, 3);
    grid->addWidget(lSite, 3, 0);
    grid->addWidget(eSite, 3, 1, 1, 3);

    auto* date = new QHBoxLayout;
    for (auto [l, s] : {std::pair{lJahr, seJahr}, std::pair{lMonat, seMonat},
                        std::pair{lTag, seTag}, std::pair{lRunde, seRunde}}) {
        date->addWidget(l);
        date->addWidget(s);
        date->addSpacing(8);
    }
    date->addStretch(1);
    grid->addLayout(date, 4, 0, 1, 4);
    grid->addWidget(lKommentator, 5, 0);
    grid->addWidget(eKommentator, 5, 1);
    grid->addWidget(label(QStringLiteral("ECO:")), 5, 2);
    grid->addWidget(eeco, 5, 3);
    grid->setColumnStretch(1, 1);

    GroupBox3 = new QGroupBox(QStringLiteral("Ergebnis"), this);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    auto* results = new QHBoxLayout(GroupBox3);
    rbGewinn = new QRadioButton(QStringLiteral("1 - 0"), GroupBox3);
    rbRemis = new QRadioButton(QStringLiteral("1/2 - 1/2"), GroupBox3);
    rbVerlust = new QRadioButton(QStringLiteral("0 - 1"), GroupBox3);
    rbKeinErgebnis = new QRadioButton(QStringLiteral("Kein Ergebnis"), GroupBox3);
    rbGewinn->setObjectName(QStringLiteral("rbGewinn"));
    rbRemis->setObjectName(QStringLiteral("rbRemis"));
    rbVerlust->setObjectName(QStringLiteral("rbVerlust"));
    rbKeinErgebnis->setObjectName(QStringLiteral("rbKeinErgebnis"));
    for (QRadioButton* r : {rbGewinn, rbRemis, rbVerlust, rbKeinErgebnis}) {
        results->addWidget(r);
        connect(r, &QRadioButton::toggled, this, [this] {
            eWeissChange();
            ResultTabStop();
        });
    }
    results->addStretch(1);

    lFileName = label(QStringLiteral("Speichern in:"));
    lFileName->setObjectName(QStringLiteral("lFileName"));
    cbFileName = new QComboBox(this);
    cbFileName->setObjectName(QStringLiteral("cbFileName"));
    cbFileName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbFileName->setMinimumContentsLength(40);
    lFileName->setVisible(false);
    cbFileName->setVisible(false);
    auto* target = new QHBoxLayout;
    target->addWidget(lFileName);
    target->addWidget(cbFileName, 1);

    bOk = new QPushButton(QStringLiteral("OK"), this);
    bOk->setObjectName(QStringLiteral("bOk"));
    bOk->setDefault(true);
    bCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    connect(bOk, &QPushButton::clicked, this, &TfPGNSave::bOkClick);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);

    auto* col = new QVBoxLayout(this);
    col->addLayout(grid);
    col->addWidget(GroupBox3);
    col->addLayout(target);
    col->addLayout(buttons);

    // Tab follows the fields as they stand, row by row.
    QWidget* const order[] = {eWeiss,         sewElo,     eSchwarz, sesElo,  eQuelle,
                              eSite,          seJahr,     seMonat,  seTag,   seRunde,
                              eKommentator,   eeco,       rbGewinn, rbRemis, rbVerlust,
                              rbKeinErgebnis, cbFileName, bOk,      bCancel};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    ApplyLanguage();
}

void TfPGNSave::ResultTabStop() {
    // The results are one stop for Tab, at the checked one (the arrows move
    // within them); with none checked, at the first.
    const QRadioButton* const all[] = {rbGewinn, rbRemis, rbVerlust, rbKeinErgebnis};
    const bool any = std::any_of(std::begin(all), std::end(all),
                                 [](const QRadioButton* r) { return r->isChecked(); });
    bool first = true;
    for (QRadioButton* r : {rbGewinn, rbRemis, rbVerlust, rbKeinErgebnis}) {
        const bool stop = any ? r->isChecked() : first;
        r->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
        first = false;
    }
}

void TfPGNSave::ShowSaveTarget(bool Visible) {
    FSaveTarget = Visible;
    lFileName->setVisible(Visible);
    cbFileName->setVisible(Visible);
}

void TfPGNSave::bOkClick() {
    if (FSaveTarget && cbFileName->currentText().isEmpty()) {
        bw::Message(bw::Text(7), bw::TMsgType::Information, bw::mbOK);
        return;
    }
    if (FChanged)
        accept();
    else
        reject();
}

void TfPGNSave::ApplyLanguage() {
    RegisterText(this, 149, windowTitle(), [this](const QString& s) { setWindowTitle(s); });
    const std::pair<QObject*, int> items[] = {
        {lWeiss, 150},       {lSchwarz, 151},  {lQuelle, 152},   {lSite, 153},
        {lJahr, 154},        {lMonat, 155},    {lTag, 156},      {lRunde, 157},
        {lKommentator, 158}, {lFileName, 161}, {GroupBox3, 159}, {rbKeinErgebnis, 160},
        {bCancel, 162},      {bOk, 169}};
    for (const auto& [o, n] : items)
        RegisterCaption(o, n);
}
