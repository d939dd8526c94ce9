// TDataSet: the open and close sequences, the record window and movement.
#include "data/DataSet.h"

#include <algorithm>

#include "common/Exceptions.h"
#include "common/Text.h"

namespace parvell {

TDataSet::TDataSet(std::string name) : name_(std::move(name)), fieldDefs_(this) {}

TDataSet::~TDataSet() {
    // The concrete dataset has closed already (DestroyingClose); what is left is owned memory.
    destroying_ = true;
    for (TDataSource* source : std::vector<TDataSource*>(sources_)) source->SetDataSet(nullptr);
    window_.clear();
}

void TDataSet::DatabaseError(std::string_view message) const {
    if (name_.empty()) throw EDatabaseError(std::string(message));
    throw EDatabaseError(name_ + ": " + std::string(message));
}

void TDataSet::SetActive(bool value) {
    if (loading_) {
        activeWhenLoaded_ = value;
        return;
    }
    if (value && mode_ == DataSetMode::Inactive) {
        OpenSequence();
    } else if (!value && Active()) {
        CloseSequence();
    }
}

void TDataSet::BeginLoading() {
    loading_ = true;
}

void TDataSet::EndLoading() {
    if (!loading_) return;
    loading_ = false;
    if (activeWhenLoaded_) {
        activeWhenLoaded_ = false;
        SetActive(true);
    }
}

void TDataSet::SetMode(DataSetMode mode) {
    if (mode_ == mode) return;
    mode_ = mode;
    Notify(TDataEvent::ModeChanged, 0);
}

void TDataSet::OpenSequence() {
    DoBeforeOpen();
    try {
        autoCreatedFields_ = NumFields() == 0;
        CursorOpen();
        openComplete_ = true;
        if (CursorIsOpen()) {
            int size = 1;
            for (TDataSource* source : sources_) size = std::max(size, source->MaxBufferCount());
            ResizeWindow(size);
            while (windowFill_ < windowSize_ && FetchNextRecord()) {
            }
            while (windowFill_ < windowSize_ && FetchPriorRecord()) {
            }
        }
        atStart_ = true;
    } catch (...) {
        if (!openComplete_) {
            SetMode(DataSetMode::Inactive);
            try {
                CloseCursorSide();
            } catch (...) {
                // The failure of the open is what the caller needs to see.
            }
            throw;
        }
        SetMode(DataSetMode::Browse);
        DoAfterOpen();
        throw;
    }
    SetMode(DataSetMode::Browse);
    DoAfterOpen();
}

void TDataSet::CloseSequence() {
    if (!destroying_) DoBeforeClose();
    SetMode(DataSetMode::Inactive);
    CloseCursorSide();
    if (!destroying_) DoAfterClose();
}

void TDataSet::DestroyingClose() {
    destroying_ = true;
    if (Active()) CloseSequence();
}

void TDataSet::CloseCursorSide() {
    openComplete_ = false;
    for (int i = 0; i < fields_.Count(); ++i) fields_.At(i).ClearCaches();
    ClearWindow();
    std::vector<std::unique_ptr<TRecordBuffer>> buffers = std::move(window_);
    window_.clear();
    for (auto& buffer : buffers) DisposeRecordBuffer(std::move(buffer));
    CursorClose();
    windowSize_ = 0;
    autoCreatedFields_ = false;
}

void TDataSet::ClearWindow() {
    windowFill_ = 0;
    activeSlot_ = 0;
    cursorSlot_ = -1;
    atStart_ = true;
    atEnd_ = true;
}

// Grows or shrinks the buffer array to size + 1 slots. Records beyond the new size are dropped,
// oldest first as long as they lie before the current record.
void TDataSet::ResizeWindow(int size) {
    size = std::max(size, 1);
    if (size == windowSize_ && !window_.empty()) return;
    while (windowFill_ > size) {
        if (activeSlot_ > 0) {
            std::rotate(window_.begin(), window_.begin() + 1, window_.begin() + windowFill_);
            --activeSlot_;
        }
        --windowFill_;
        cursorSlot_ = -1;  // the record the cursor sat on may be gone
    }
    const size_t slots = static_cast<size_t>(size) + 1;
    while (window_.size() > slots) {
        DisposeRecordBuffer(std::move(window_.back()));
        window_.pop_back();
    }
    while (window_.size() < slots) window_.push_back(NewRecordBuffer());
    windowSize_ = size;
}

// Called when a viewer changes the number of records it wants while the dataset is open.
void TDataSet::UpdateWindowSize() {
    if (!Active() || !CursorIsOpen()) return;
    int size = 1;
    for (TDataSource* source : sources_) size = std::max(size, source->MaxBufferCount());
    if (size == windowSize_) return;
    const bool grows = size > windowSize_;
    ResizeWindow(size);
    if (grows && windowFill_ > 0) {
        while (windowFill_ < windowSize_ && FetchNextRecord()) {
        }
        while (windowFill_ < windowSize_ && FetchPriorRecord()) {
        }
    }
    Notify(TDataEvent::RecordsChanged, 0);
}

void TDataSet::SyncCursorTo(int slot) {
    if (cursorSlot_ == slot) return;
    TRecordBuffer* buffer = window_[static_cast<size_t>(slot)].get();
    switch (BufferPositionFlag(buffer)) {
        case TBufferPosition::BeforeFirst:
            CursorFirst();
            break;
        case TBufferPosition::AfterLast:
            CursorLast();
            break;
        case TBufferPosition::OnRecord:
            CursorSetToRecord(buffer);
            break;
        default:
            break;
    }
    cursorSlot_ = slot;
}

bool TDataSet::FetchNextRecord() {
    if (windowFill_ > 0) SyncCursorTo(windowFill_ - 1);
    TFetchResult result;
    try {
        result = CursorFetch(window_[static_cast<size_t>(windowFill_)].get(), TFetchMode::FetchNext,
                             true);
    } catch (...) {
        cursorSlot_ = -1;  // where the cursor stopped is not known
        throw;
    }
    if (result != TFetchResult::FetchOk) {
        cursorSlot_ = -1;
        return false;
    }
    if (windowFill_ == 0) {
        windowFill_ = 1;
        activeSlot_ = 0;
        atStart_ = false;
        atEnd_ = false;
    } else if (windowFill_ < windowSize_) {
        ++windowFill_;
    } else {
        // Full: the oldest buffer becomes the scratch slot, the fetched record the last slot.
        std::rotate(window_.begin(), window_.begin() + 1, window_.end());
    }
    cursorSlot_ = windowFill_ - 1;
    return true;
}

bool TDataSet::FetchPriorRecord() {
    if (windowFill_ > 0) SyncCursorTo(0);
    TFetchResult result;
    try {
        result = CursorFetch(window_[static_cast<size_t>(windowFill_)].get(),
                             TFetchMode::FetchPrior, true);
    } catch (...) {
        cursorSlot_ = -1;
        throw;
    }
    if (result != TFetchResult::FetchOk) {
        cursorSlot_ = -1;
        return false;
    }
    if (windowFill_ == 0) {
        windowFill_ = 1;
        activeSlot_ = 0;
        atStart_ = false;
        atEnd_ = false;
    } else {
        // The scratch slot moves to the front; in a full window the newest record's buffer
        // becomes the scratch slot.
        std::rotate(window_.begin(), window_.begin() + windowFill_,
                    window_.begin() + windowFill_ + 1);
        if (windowFill_ < windowSize_) {
            ++windowFill_;
            ++activeSlot_;
        }
    }
    cursorSlot_ = 0;
    return true;
}

void TDataSet::CheckActive() {
    if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
    Notify(TDataEvent::FinishEdits, 0);
}

void TDataSet::MoveFirst() {
    RefillFromEdge(false);
}

void TDataSet::MoveLast() {
    RefillFromEdge(true);
}

void TDataSet::RefillFromEdge(bool fromEnd) {
    CheckActive();
    DoBeforeScroll();
    // The flag of the edge the window now starts from; set whether the refill succeeds or not.
    bool& atEdge = fromEnd ? atEnd_ : atStart_;
    auto finish = [&] {
        atEdge = true;
        Notify(TDataEvent::RecordsChanged, 0);
        DoAfterScroll();
    };
    try {
        ClearWindow();
        if (fromEnd) {
            CursorLast();
        } else {
            CursorFirst();
        }
        auto fetch = [&] { return fromEnd ? FetchPriorRecord() : FetchNextRecord(); };
        if (fetch()) {
            while (windowFill_ < windowSize_ && fetch()) {
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

int TDataSet::MoveRelative(int distance) {
    CheckActive();
    DoBeforeScroll();
    if ((distance > 0 && atEnd_) || (distance < 0 && atStart_)) return 0;
    atStart_ = false;
    atEnd_ = false;
    const int oldFill = windowFill_;
    int scrolled = 0;
    int moved = 0;
    auto finish = [&] {
        if (windowFill_ == oldFill) {
            Notify(TDataEvent::WindowScrolled, scrolled);
        } else {
            Notify(TDataEvent::RecordsChanged, 0);
        }
        DoAfterScroll();
    };
    try {
        for (; distance > 0; --distance) {
            if (activeSlot_ < windowFill_ - 1) {
                ++activeSlot_;
            } else {
                const bool rotates = windowFill_ >= windowSize_;
                if (!FetchNextRecord()) {
                    atEnd_ = true;
                    break;
                }
                if (rotates) ++scrolled;
                if (activeSlot_ < windowFill_ - 1) ++activeSlot_;
            }
            ++moved;
        }
        for (; distance < 0; ++distance) {
            if (activeSlot_ > 0) {
                --activeSlot_;
            } else {
                const bool rotates = windowFill_ >= windowSize_;
                if (!FetchPriorRecord()) {
                    atStart_ = true;
                    break;
                }
                if (rotates) --scrolled;
                if (activeSlot_ > 0) --activeSlot_;
            }
            ++moved;
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return moved;
}

void TDataSet::DoBeforeOpen() {
    if (events_.BeforeOpen) events_.BeforeOpen(*this);
}
void TDataSet::DoAfterOpen() {
    if (events_.AfterOpen) events_.AfterOpen(*this);
}
void TDataSet::DoBeforeClose() {
    if (events_.BeforeClose) events_.BeforeClose(*this);
}
void TDataSet::DoAfterClose() {
    if (events_.AfterClose) events_.AfterClose(*this);
}
void TDataSet::DoBeforeScroll() {
    if (events_.BeforeScroll) events_.BeforeScroll(*this);
}
void TDataSet::DoAfterScroll() {
    if (events_.AfterScroll) events_.AfterScroll(*this);
}

void TDataSet::DisableControls() {
    ++disableCount_;
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ == 0 && eventsHeldBack_) {
        eventsHeldBack_ = false;
        Notify(TDataEvent::RecordsChanged, 0);
    }
}

void TDataSet::Notify(TDataEvent event, int info) {
    if (disableCount_ > 0) {
        eventsHeldBack_ = true;
        return;
    }
    // By index, without a copy: a move notifies on every record and must not allocate. A source
    // that detaches while being notified shortens the list; the bound check covers that.
    for (size_t i = 0; i < sources_.size(); ++i) sources_[i]->Notify(event, info);
}

}  // namespace parvell
