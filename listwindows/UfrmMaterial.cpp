// SPDX-License-Identifier: GPL-3.0-or-later
#include "UfrmMaterial.h"

#include "Brett.h"
#include "DialogsLng.h"
#include "Local.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kb {

namespace {

QSpinBox* Spin(QWidget* Parent, int Max) {
    auto* s = new QSpinBox(Parent);
    s->setRange(0, Max);
    s->setValue(0);
    return s;
}

} // namespace

TfrmMaterial::TfrmMaterial(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle(QStringLiteral("Material"));
    RegisterCaption(this, 244);

    auto box = [this] { return new QCheckBox(this); };
    auto pic = [this] {
        auto* l = new QLabel(this);
        l->setFixedSize(32, 32);
        return l;
    };
    cbwQ = box(), cbwR = box(), cbwB = box(), cbwN = box(), cbwP = box();
    cbbQ = box(), cbbR = box(), cbbB = box(), cbbN = box(), cbbP = box();
    sewQa = Spin(this, 9), sewQe = Spin(this, 9), sebQa = Spin(this, 9), sebQe = Spin(this, 9);
    sewRa = Spin(this, 10), sewRe = Spin(this, 10), sebRa = Spin(this, 10), sebRe = Spin(this, 10);
    sewBa = Spin(this, 10), sewBe = Spin(this, 10), sebBa = Spin(this, 10), sebBe = Spin(this, 10);
    sewNa = Spin(this, 10), sewNe = Spin(this, 10), sebNa = Spin(this, 10), sebNe = Spin(this, 10);
    sewPa = Spin(this, 8), sewPe = Spin(this, 8), sebPa = Spin(this, 8), sebPe = Spin(this, 8);
    fImage2 = pic(), fImage3 = pic(), fImage4 = pic(), fImage5 = pic(), fImage6 = pic();
    fsImage2 = pic(), fsImage3 = pic(), fsImage4 = pic(), fsImage5 = pic(), fsImage6 = pic();

    Brett1 = new TBrett(this);
    Brett1->hide();

    bEmpty = new QPushButton(QStringLiteral("Leeren"), this);
    RegisterCaption(bEmpty, 245);
    bOk = new QPushButton(QStringLiteral("OK"), this);
    RegisterCaption(bOk, 169);
    bCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    RegisterCaption(bCancel, 168);
    bOk->setAutoDefault(false);
    bEmpty->setAutoDefault(false);
    bCancel->setDefault(true);
    connect(bEmpty, &QPushButton::clicked, this, [this] { bEmptyClick(); });
    connect(bOk, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    connect(bCancel, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });

    auto* grid = new QGridLayout;
    const std::array<QLabel*, 5> white = {fImage2, fImage3, fImage4, fImage5, fImage6};
    const std::array<QLabel*, 5> black = {fsImage2, fsImage3, fsImage4, fsImage5, fsImage6};
    const std::array<TRow, 10> rows = Rows();
    for (int i = 0; i < 5; ++i) {
        const auto u = static_cast<size_t>(i);
        const TRow& w = rows[u];
        const TRow& b = rows[u + 5];
        grid->addWidget(white[u], i, 0);
        grid->addWidget(w.Box, i, 1);
        grid->addWidget(w.Min, i, 2);
        grid->addWidget(new QLabel(QStringLiteral("-"), this), i, 3);
        grid->addWidget(w.Max, i, 4);
        grid->setColumnMinimumWidth(5, 24);
        grid->addWidget(black[u], i, 6);
        grid->addWidget(b.Box, i, 7);
        grid->addWidget(b.Min, i, 8);
        grid->addWidget(new QLabel(QStringLiteral("-"), this), i, 9);
        grid->addWidget(b.Max, i, 10);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bEmpty);
    buttons->addStretch(1);
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);
    auto* main = new QVBoxLayout(this);
    main->addLayout(grid);
    main->addSpacing(8);
    main->addLayout(buttons);

    FormCreate();
}

TfrmMaterial::~TfrmMaterial() = default;

std::array<TfrmMaterial::TRow, 10> TfrmMaterial::Rows() const {
    return {{{5, cbwQ, sewQa, sewQe},
             {2, cbwR, sewRa, sewRe},
             {3, cbwB, sewBa, sewBe},
             {4, cbwN, sewNa, sewNe},
             {1, cbwP, sewPa, sewPe},
             {-5, cbbQ, sebQa, sebQe},
             {-2, cbbR, sebRa, sebRe},
             {-3, cbbB, sebBa, sebBe},
             {-4, cbbN, sebNa, sebNe},
             {-1, cbbP, sebPa, sebPe}}};
}

void TfrmMaterial::FormCreate() {
    Brett1->SetFiguren(TFigurenset::F32);
    const QImage& strip = Brett1->GetFigurenBitmap();
    const std::array<QLabel*, 10> pictures = {fImage2,  fImage3,  fImage4,  fImage5,  fImage6,
                                              fsImage2, fsImage3, fsImage4, fsImage5, fsImage6};
    const std::array<TRow, 10> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        // The piece with its mask, so that the dialog's colour shows around it.
        QImage img(32, 32, QImage::Format_RGB32);
        img.fill(palette().color(QPalette::Window));
        DrawFigurFromStrip(img, img.rect(), strip, rows[i].Code);
        pictures[i]->setPixmap(QPixmap::fromImage(img));
    }
}

void TfrmMaterial::FormShow() {
    // The captions follow the language through their registrations.
}

void TfrmMaterial::FormKeyDown(QKeyEvent* Event) {
    if (Event->key() == Qt::Key_Escape) {
        done(QDialog::Rejected);
        Event->accept();
    }
}

void TfrmMaterial::bEmptyClick() {
    for (const TRow& r : Rows()) {
        r.Box->setChecked(false);
        r.Min->setValue(0);
        r.Max->setValue(0);
    }
}

void TfrmMaterial::LoadFilter(const TPiecesFilter& Filter) {
    for (const TRow& r : Rows()) {
        const size_t i = TPiecesFilter::Index(r.Code);
        r.Box->setChecked(Filter.Enabled[i]);
        r.Min->setValue(Filter.Min[i]);
        r.Max->setValue(Filter.Max[i]);
    }
}

void TfrmMaterial::StoreFilter(TPiecesFilter& Filter) const {
    for (const TRow& r : Rows()) {
        const size_t i = TPiecesFilter::Index(r.Code);
        Filter.Enabled[i] = r.Box->isChecked();
        Filter.Min[i] = r.Min->value();
        Filter.Max[i] = r.Max->value();
    }
}

bool TfrmMaterial::EditFilter(TPiecesFilter& Filter, QWidget* Parent) {
    TfrmMaterial dlg(Parent);
    dlg.LoadFilter(Filter);
    if (ExecDialog(dlg) != mrOk) return false;
    dlg.StoreFilter(Filter);
    return true;
}

void TfrmMaterial::keyPressEvent(QKeyEvent* Event) {
    Event->ignore();
    FormKeyDown(Event);
    if (!Event->isAccepted()) QDialog::keyPressEvent(Event);
}

void TfrmMaterial::showEvent(QShowEvent* Event) {
    FormShow();
    QDialog::showEvent(Event);
}

} // namespace kb
