// SPDX-License-Identifier: GPL-3.0-or-later
// The material dialog: pictures, ranges, "Leeren", Esc, the round trip
// with the list's filter, and its captions in both languages.
#include "Brett.h"
#include "DialogsLng.h"
#include "Local.h"
#include "UfrmMaterial.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

using namespace kb;

namespace {

// Pixels of a picture that differ from its top left corner (the background).
int Drawn(const QLabel* l) {
    const QImage img = l->pixmap().toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixel(x, y) != img.pixel(0, 0);
    return n;
}

TPiecesFilter SomeFilter() {
    TPiecesFilter f;
    f.Reset();
    int k = 0;
    for (int code : {5, 2, 3, 4, 1, -5, -2, -3, -4, -1}) {
        const size_t i = TPiecesFilter::Index(code);
        f.Enabled[i] = k % 3 != 0;
        f.Min[i] = k % 2;
        f.Max[i] = 2 + k % 5;
        ++k;
    }
    return f;
}

} // namespace

TEST(Material, PicturesAndRanges) {
    TfrmMaterial dlg;
    const QLabel* white[] = {dlg.fImage2, dlg.fImage3, dlg.fImage4, dlg.fImage5, dlg.fImage6};
    const QLabel* black[] = {dlg.fsImage2, dlg.fsImage3, dlg.fsImage4, dlg.fsImage5, dlg.fsImage6};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(white[i]->pixmap().size(), QSize(32, 32));
        EXPECT_GT(Drawn(white[i]), 20) << i;
        EXPECT_GT(Drawn(black[i]), 20) << i;
        EXPECT_NE(white[i]->pixmap().toImage(), black[i]->pixmap().toImage()) << i;
        if (i > 0) {
            EXPECT_NE(white[i]->pixmap().toImage(), white[i - 1]->pixmap().toImage());
        }
    }
    EXPECT_FALSE(dlg.Brett1->isVisible());
    for (const auto& r : dlg.Rows()) {
        const int max = r.Code == 5 || r.Code == -5 ? 9 : (r.Code == 1 || r.Code == -1 ? 8 : 10);
        EXPECT_EQ(r.Min->maximum(), max) << r.Code;
        EXPECT_EQ(r.Max->maximum(), max) << r.Code;
        EXPECT_EQ(r.Min->value(), 0);
        EXPECT_FALSE(r.Box->isChecked());
    }
    EXPECT_TRUE(dlg.bCancel->isDefault());
}

TEST(Material, FilterRoundTripAndLeeren) {
    const TPiecesFilter f = SomeFilter();
    TfrmMaterial dlg;
    dlg.LoadFilter(f);
    TPiecesFilter back;
    back.Reset();
    dlg.StoreFilter(back);
    for (int code : {5, 2, 3, 4, 1, -5, -2, -3, -4, -1}) {
        const size_t i = TPiecesFilter::Index(code);
        EXPECT_EQ(back.Enabled[i], f.Enabled[i]) << code;
        EXPECT_EQ(back.Min[i], f.Min[i]) << code;
        EXPECT_EQ(back.Max[i], f.Max[i]) << code;
    }
    EXPECT_FALSE(back.IsEmpty());

    QTest::mouseClick(dlg.bEmpty, Qt::LeftButton);
    for (const auto& r : dlg.Rows()) {
        EXPECT_FALSE(r.Box->isChecked());
        EXPECT_EQ(r.Min->value(), 0);
        EXPECT_EQ(r.Max->value(), 0);
    }
    dlg.StoreFilter(back);
    EXPECT_TRUE(back.IsEmpty());
}

TEST(Material, OkKeepsTheChoiceCancelKeepsTheFilter) {
    TPiecesFilter filter = SomeFilter();
    const TPiecesFilter before = filter;
    TAnswerer answers;
    answers.Dialog = [](QDialog& d) {
        auto& m = dynamic_cast<TfrmMaterial&>(d);
        m.cbwQ->setChecked(true);
        m.sewQa->setValue(1);
        m.sewQe->setValue(1);
        m.cbbP->setChecked(false);
        return mrCancel;
    };
    {
        TAnswererScope scope(answers);
        EXPECT_FALSE(TfrmMaterial::EditFilter(filter));
    }
    EXPECT_EQ(filter.Enabled, before.Enabled);
    EXPECT_EQ(filter.Min, before.Min);
    EXPECT_EQ(filter.Max, before.Max);

    // OK: the choice is kept, and the dialog opened again shows it.
    auto ok = answers.Dialog;
    answers.Dialog = [ok](QDialog& d) {
        ok(d);
        return mrOk;
    };
    {
        TAnswererScope scope(answers);
        EXPECT_TRUE(TfrmMaterial::EditFilter(filter));
    }
    const size_t q = TPiecesFilter::Index(5), p = TPiecesFilter::Index(-1);
    EXPECT_TRUE(filter.Enabled[q]);
    EXPECT_EQ(filter.Min[q], 1);
    EXPECT_FALSE(filter.Enabled[p]);
    bool shown = false;
    answers.Dialog = [&](QDialog& d) {
        auto& m = dynamic_cast<TfrmMaterial&>(d);
        shown = m.cbwQ->isChecked() && m.sewQa->value() == 1 && !m.cbbP->isChecked();
        return mrCancel;
    };
    TAnswererScope scope(answers);
    TfrmMaterial::EditFilter(filter);
    EXPECT_TRUE(shown);
}

TEST(Material, EscapeCancels) {
    TfrmMaterial dlg;
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
    // Other keys still reach the controls.
    TfrmMaterial other;
    other.show();
    other.sewRa->setFocus();
    QTest::keyClick(other.sewRa, Qt::Key_Up);
    EXPECT_EQ(other.sewRa->value(), 1);
    EXPECT_TRUE(other.isVisible());
}

TEST(Material, CaptionsInBothLanguages) {
    ResetStringTable();
    TfrmMaterial dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Material"));
    EXPECT_EQ(dlg.bEmpty->text(), QStringLiteral("Leeren"));
    EXPECT_EQ(dlg.bCancel->text(), QStringLiteral("Abbrechen"));
    LanguageColumn = 1;
    ApplyLanguage();
    EXPECT_EQ(dlg.bEmpty->text(), QStringLiteral("Empty"));
    EXPECT_EQ(dlg.bCancel->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(dlg.bOk->text(), QStringLiteral("OK"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Material"));
    LanguageColumn = 0;
    ApplyLanguage();
    EXPECT_EQ(dlg.bEmpty->text(), QStringLiteral("Leeren"));
    ResetStringTable();
}
