// SPDX-License-Identifier: GPL-3.0-or-later
// TPGN on an own database: the rows are database numbers (all of them, or
// the filter list when filtered or sorted), and games are read, added,
// replaced and deleted through TChessDatabase.
#include "ChessDatabase.h"
#include "PGN.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>

namespace fs = std::filesystem;

namespace kb {

bool TPGN::DatabaseBusy() const {
    return database_ && database_->Busy();
}

int TPGN::GameCount() {
    if (database_) return static_cast<int>(database_->GetValidCount());
    return static_cast<int>(starts_.size());
}

void TPGN::KeepOpen(bool Value) {
    keepOpen_ = Value;
    if (database_) database_->SetKeepOpen(Value);
}

void TPGN::ShowError(const std::string& Text) {
    if (OnShowError) OnShowError(Text);
}

std::pair<int64_t, int64_t> TPGN::Stamp() const {
    return {generation_, database_ ? database_->Generation() : 0};
}

bool TPGN::StillSameGame(int GameNo) const {
    auto it = handedOut_.find(GameNo);
    return it == handedOut_.end() || it->second == Stamp();
}

// Database progress goes to OnPGNTrace; rows are not painted meanwhile.
void TPGN::DBProgress(bool& Cancel, int Percent) {
    const bool was = drawingSuppressed_;
    drawingSuppressed_ = true;
    TCancelMode mode = cmGoOn;
    Trace(Percent, mode);
    drawingSuppressed_ = was;
    if (mode == cmCancel) Cancel = true;
}

bool TPGN::OpenDatabase(const std::string& Path, bool Create) {
    indexMissing_ = true;
    expectedStep_ = 0;
    std::error_code ec;
    const std::string index = Path + "idx";
    if (fs::exists(index, ec)) {
        indexMissing_ = false;
        const auto size = fs::file_size(index, ec);
        if (!ec) expectedStep_ = std::llround(static_cast<double>(size / 8) / StepDivisor);
    }
    auto db = std::make_unique<TChessDatabase>();
    db->OnCheckStep = [this](TCustomDatabase*, int64_t& Step, bool&) { Step = expectedStep_; };
    auto fileError = [this, Path](TCustomDatabase*) {
        ShowError("Serious error while reading file " + Path);
    };
    // While opening, a shown error is remembered, so that a refusal is not
    // told twice.
    bool told = false;
    db->OnFileError = [&fileError, &told](TCustomDatabase* D) {
        fileError(D);
        told = true;
    };
    const bool missing = indexMissing_;
    db->OnBeforeCreateIndex = [this, missing](TCustomDatabase*) {
        if (!missing)
            ShowError("Error in database. Index file will be recreated - it could take a longer "
                      "while.");
    };
    auto progress = [this](TCustomDatabase*, bool& Cancel, int Percent) {
        DBProgress(Cancel, Percent);
    };
    db->OnCheckProgress = progress;
    db->OnRebuildProgress = progress;
    db->Notation = DatabaseNotation;
    {
        BusyScope busy(*this);
        db->Open(Path, Create);
    }
    db->OnFileError = fileError;
    expectedStep_ = 0;
    if (db->FileName().empty()) {
        openRefusal_ = told                                ? TOpenRefusal::None
                       : db->LastError() == dbeNotDatabase ? TOpenRefusal::NotDatabase
                       : Create && !fs::exists(Path, ec)   ? TOpenRefusal::NotCreated
                                                           : TOpenRefusal::DatabaseNotOpened;
        return false;
    }

    BeginRowsChange();
    Close();
    rows_.clear();
    gameNos_.clear();
    starts_.clear();
    lastEnd_ = 0;
    database_ = std::move(db);
    database_->SetKeepOpen(keepOpen_);
    filterList_.reset();
    fileName_ = Path;
    loaded_ = true;
    scanIncomplete_ = false;
    sortKey_ = skFileOrder;
    ++generation_;
    dbRows_ = static_cast<int>(database_->GetCount());
    EndRowsChange();
    TCancelMode mode = cmGoOn;
    Trace(0, mode);
    if (OnRepaint) OnRepaint();
    return true;
}

void TPGN::AddDatabaseRow(int Number) {
    if (filterList_) filterList_->push_back(Number);
    ++dbRows_;
}

bool TPGN::DBAppend(int& GameNo, const std::string& Text) {
    int64_t number = -1;
    const bool ok =
        RawRecords ? database_->AddRecord(number, Text) : database_->AddGame(number, Text);
    if (!ok || number < 0) return false;
    BeginRowsChange();
    AddDatabaseRow(static_cast<int>(number));
    EndRowsChange();
    GameNo = static_cast<int>(number);
    handedOut_[GameNo] = Stamp();
    if (OnRepaint) OnRepaint();
    return true;
}

bool TPGN::DBReplace(int GameNo, const std::string& Text) {
    // A number from before a compress or rebuild names another game now.
    if (GameNo < 0 || !StillSameGame(GameNo)) return false;
    const bool ok =
        RawRecords ? database_->ReplaceRecord(Text, GameNo) : database_->ReplaceGame(Text, GameNo);
    if (ok && OnRepaint) OnRepaint();
    return ok;
}

void TPGN::DBApplyFilter(TCancelMode& Mode) {
    BeginRowsChange();
    dbRows_ = 0;
    const int count = static_cast<int>(database_->GetCount());
    if (NoFilter || !OnFilterRequest) {
        NoFilter = false;
        filterList_.reset();
        dbRows_ = count;
    } else {
        database_->SetKeepOpen(true);
        filterList_ = std::make_unique<std::vector<int32_t>>();
        int lastPercent = -1;
        for (int n = 0; n < count; ++n) {
            if (Accepts(n)) filterList_->push_back(n);
            TraceIfChanged(Percent(n + 1, count), lastPercent, Mode);
            if (Mode == cmCancel) break;
        }
        database_->SetKeepOpen(keepOpen_);
        dbRows_ = static_cast<int>(filterList_->size());
    }
    EndRowsChange();
}

void TPGN::DBSort(uint8_t Key, TCancelMode& Mode) {
    if (Key == sortKey_) {
        if (Key == skFileOrder || !filterList_) return;
        BeginRowsChange();
        std::reverse(filterList_->begin(), filterList_->end());
        EndRowsChange();
        return;
    }
    if (Key == skFileOrder) {
        // All games again, in database order (a filter is given up).
        BeginRowsChange();
        filterList_.reset();
        dbRows_ = static_cast<int>(database_->GetCount());
        sortKey_ = Key;
        EndRowsChange();
        return;
    }
    std::vector<int32_t> order;
    if (filterList_) {
        order = *filterList_;
    } else {
        order.resize(static_cast<size_t>(database_->GetCount()));
        std::iota(order.begin(), order.end(), 0);
    }
    std::vector<uint32_t> perm;
    database_->SetKeepOpen(true);
    const bool sorted = SortOrder(order, Key, Mode, perm);
    database_->SetKeepOpen(keepOpen_);
    if (!sorted) return;
    std::vector<int32_t> result(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        result[i] = order[perm[i]];
    BeginRowsChange();
    filterList_ = std::make_unique<std::vector<int32_t>>(std::move(result));
    dbRows_ = static_cast<int>(filterList_->size());
    sortKey_ = Key;
    EndRowsChange();
}

bool TPGN::DeleteDatabase() {
    if (!database_ || busy_) return false;
    BeginRowsChange();
    dbRows_ = 0;
    filterList_.reset();
    EndRowsChange();
    bool ok;
    {
        BusyScope busy(*this);
        ok = database_->DeleteDatabaseFiles();
    }
    if (ok) SetFileName("");
    return ok;
}

bool TPGN::Compress() {
    if (!database_ || busy_) return false;
    bool ok;
    {
        BusyScope busy(*this);
        Hourglass(true);
        ok = database_->Compress();
        Hourglass(false);
    }
    if (ok) {
        // Game numbers change: rows show the new numbering, and numbers
        // handed out before no longer name the same games.
        ++generation_;
        BeginRowsChange();
        filterList_.reset();
        sortKey_ = skFileOrder;
        dbRows_ = static_cast<int>(database_->GetCount());
        EndRowsChange();
    }
    TCancelMode mode = cmGoOn;
    Trace(0, mode);
    if (OnRepaint) OnRepaint();
    return ok;
}

} // namespace kb
