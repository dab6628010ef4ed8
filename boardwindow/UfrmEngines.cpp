// SPDX-License-Identifier: GPL-3.0-or-later
// TfrmEngines: the list of external engine programs.
#include "UfrmEngines.h"

#include "BrettWinFrame.h"
#include "Local.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QVBoxLayout>

TfrmEngines::TfrmEngines(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("frmEngines"));
    setWindowTitle(QStringLiteral("Winboard-Engines"));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    bAdd = new QPushButton(QStringLiteral("Hinzufügen"), this);
    bAdd->setObjectName(QStringLiteral("bAdd"));
    bRemove = new QPushButton(QStringLiteral("Entfernen"), this);
    bRemove->setObjectName(QStringLiteral("bRemove"));
    bOk = new QPushButton(QStringLiteral("Ok"), this);
    bOk->setObjectName(QStringLiteral("bOk"));
    bOk->setDefault(true);
    // Enter is OK wherever the focus stands, also on a button just clicked.
    bAdd->setAutoDefault(false);
    bRemove->setAutoDefault(false);
    connect(bAdd, &QPushButton::clicked, this, &TfrmEngines::bAddClick);
    connect(bRemove, &QPushButton::clicked, this, &TfrmEngines::bRemoveClick);
    connect(bOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(bAdd);
    buttons->addWidget(bRemove);
    buttons->addStretch(1);
    buttons->addWidget(bOk);
    auto* row = new QHBoxLayout(this);
    row->addWidget(ListBox1, 1);
    row->addLayout(buttons);
    resize(460, 220);
    ApplyLanguage();
}

namespace {

// Folders and executable files, tested row by row: with the file model's
// own Executable filter the dialog lists no file at all.
class TExecutableFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int Row, const QModelIndex& Parent) const override {
        const auto* fs = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!fs) return true;
        const QModelIndex i = fs->index(Row, 0, Parent);
        if (fs->isDir(i)) return true;
        const QFileInfo info(fs->filePath(i));
        return info.isFile() && info.isExecutable();
    }
};

} // namespace

void TfrmEngines::SetupFileDialog(QFileDialog& Dlg) {
    Dlg.setFileMode(QFileDialog::ExistingFile);
    // Engines are executable files; on this system they carry no extension.
    Dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    Dlg.setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    Dlg.setProxyModel(new TExecutableFilter(&Dlg));
}

QString TfrmEngines::ShowFileDialog() {
    QFileDialog dlg(this);
    SetupFileDialog(dlg);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().constFirst();
}

void TfrmEngines::bAddClick() {
    if (ListBox1->count() >= MaxEngines) return;
    bw::LockBoards(true);
    const QString file = ChooseFile ? ChooseFile() : ShowFileDialog();
    bw::LockBoards(false);
    if (file.isEmpty()) return;
    const QFileInfo info(file);
    if (!info.isFile() || !info.isExecutable()) return;
    ListBox1->addItem(info.absoluteFilePath());
    UpdateButtons();
}

void TfrmEngines::bRemoveClick() {
    const int row = ListBox1->currentRow();
    if (row < 0 || !ListBox1->currentItem() || !ListBox1->currentItem()->isSelected()) return;
    delete ListBox1->takeItem(row);
    UpdateButtons();
}

void TfrmEngines::UpdateButtons() {
    bAdd->setEnabled(ListBox1->count() < MaxEngines);
}

QStringList TfrmEngines::Engines() const {
    QStringList list;
    for (int i = 0; i < ListBox1->count(); ++i)
        list << ListBox1->item(i)->text();
    return list;
}

void TfrmEngines::SetEngines(const QStringList& Engines) {
    ListBox1->clear();
    for (const QString& e : Engines.mid(0, MaxEngines))
        ListBox1->addItem(e);
    UpdateButtons();
}

void TfrmEngines::ApplyLanguage() {
    RegisterCaption(bAdd, 173);
    RegisterCaption(bRemove, 174);
    RegisterCaption(bOk, 169);
}
