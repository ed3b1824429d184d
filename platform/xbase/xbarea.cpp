#include "platform/xbase/xbarea.h"

#include <algorithm>
#include <strings.h>
#include <unistd.h>
#include <vector>

#include "platform/xbase/xberror.h"

namespace xbase {

EngineSettings& Settings() {
    static EngineSettings s;
    return s;
}

// Holds the table's header lock (count and indexes) for a shared open; a
// no-op on exclusive opens, and nested holds share the outer one.
class WorkArea::HeaderLock {
public:
    HeaderLock(WorkArea& a, LockKind kind) : a_(a) {
        if (a_.Exclusive() || a_.headerLockDepth_++ > 0)
            return;
        if (kind == LockKind::Write && a_.ReadOnly())
            kind = LockKind::Read;
        File& file = a_.dbf_.GetFile();
        bool granted = file.Lock(kLockHeader, 1, kind, a_.LockTimeoutMs());
        // A repair after a killed writer takes as long as the table is big:
        // waited for, as a failed open would cost a whole pass.
        while (!granted && RepairRunning(file))
            granted = file.Lock(kLockHeader, 1, kind, a_.LockTimeoutMs());
        if (!granted) {
            --a_.headerLockDepth_;
            throw Error(XB_ERR_LOCKED, "Table is locked by another user: " + a_.dbf_.Path());
        }
        held_ = true;
        try {
            a_.Revalidate();
            a_.validated_ = true;
        } catch (...) {
            a_.ForgetPages();
            --a_.headerLockDepth_;
            a_.dbf_.GetFile().Unlock(kLockHeader, 1);
            throw;
        }
    }
    ~HeaderLock() {
        if (a_.Exclusive())
            return;
        if (--a_.headerLockDepth_ == 0 && held_) {
            a_.validated_ = false;
            a_.dbf_.GetFile().Unlock(kLockHeader, 1);
        }
    }

private:
    static bool RepairRunning(File& file) {
        if (!file.Lock(kLockRepair, 1, LockKind::Read, 0))
            return true;
        file.Unlock(kLockRepair, 1);
        return false;
    }

    WorkArea& a_;
    bool held_ = false;
};

WorkArea::~WorkArea() {
    try {
        Close();
    } catch (...) {
    }
}

int WorkArea::LockTimeoutMs() const {
    return Settings().lockTimeoutSec * 1000;
}

namespace {

std::string WithExtension(const std::string& path, const char* ext) {
    std::size_t slash = path.find_last_of("/\\");
    std::size_t dot = path.find_last_of('.');
    std::string base = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                           ? path
                           : path.substr(0, dot);
    return ResolveNoCase(base + ext);
}

bool HasExtension(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    std::size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

} // namespace

void WorkArea::Open(const std::string& input, int mode, int driver) {
    indexStamp_.reset();
    recordStamp_.reset();
    mode_ = mode;
    driver_ = driver;
    std::string path = ResolveNoCase(input);
    if (!FileExistsNoCase(path) && !HasExtension(input))
        path = ResolveNoCase(input + ".dbf");
    bool exclusive = mode == XB_EXCLUSIVE;
    // A pack puts a new file in the table's place: a description opened
    // just before that, and locked just after, would be a file nobody else
    // sees. The lock counts only while the name still leads to it.
    for (int tries = 0;; ++tries) {
        dbf_.Open(path, mode != XB_READONLY);
        if (!dbf_.GetFile().Lock(kLockOpen, 1, exclusive ? LockKind::Write : LockKind::Read, 0))
            throw Error(XB_ERR_LOCKED, exclusive ? "Table is in use: " + path
                                                 : "Table is open exclusively: " + path);
        if (dbf_.GetFile().StillAt(path) || tries == 3)
            break;
        dbf_.Close();
    }
    if (dbf_.HasMemoFields()) {
        std::string memoPath = WithExtension(path, ".fpt");
        memo_.Open(memoPath, mode != XB_READONLY);
    }
    indexes_ = MakeIndexSet(*this);
    indexes_->KeepPages(true); // trusted while the stamp holds (Revalidate)
    indexes_->OnStructuralChange([this] { WidenIndexChange(); });
    std::string cdx = WithExtension(path, ".cdx");
    if (FileExistsNoCase(cdx)) {
        HeaderLock lock(*this, LockKind::Read);
        indexes_->OpenBag(cdx, mode != XB_READONLY);
    }
    order_ = 0;
    RepairKilledChange();
    GoTop();
}

void WorkArea::Close() {
    if (!dbf_.GetFile().IsOpen())
        return;
    std::exception_ptr failure;
    try {
        Commit();
    } catch (...) {
        failure = std::current_exception();
    }
    indexes_.reset();
    memo_.Close();
    dbf_.Close(); // closing the description drops its locks
    locks_.clear();
    if (failure)
        std::rethrow_exception(failure);
}

void WorkArea::RequireWritable() const {
    if (ReadOnly())
        throw Error(XB_ERR_READONLY, "Table is open read-only: " + dbf_.Path());
}

void WorkArea::RequireExclusive(const char* what) const {
    if (!Exclusive())
        throw Error(XB_ERR_EXCLUSIVE,
                    std::string(what) + " needs the table open exclusively: " + dbf_.Path());
}

void WorkArea::RequireOrder() const {
    if (order_ == 0)
        throw Error(XB_ERR_INDEX, "No current order: " + dbf_.Path());
}

void WorkArea::Revalidate() {
    if (Exclusive() || (turbo_ && Settings().headerCache))
        return;
    const DbfFile::Stamp now = dbf_.ReadStamp();
    if (indexStamp_ != now) {
        if (indexes_)
            indexes_->DropPages();
        indexStamp_ = now;
    }
    if (recordStamp_ != now) {
        dbf_.Cache().Invalidate();
        recordStamp_ = now;
    }
}

void WorkArea::Reread() {
    ForgetPages();
    if (memo_.IsOpen())
        memo_.Invalidate();
    if (eof_ || dirty_ || pendingAppend_ || Exclusive())
        return;
    // The record it stands on too, keeping the entry a walk goes on from.
    HeaderLock lock(*this, LockKind::Read);
    dbf_.RefreshCount();
    if (recno_ > dbf_.Count())
        return;
    std::optional<IndexPos> at = std::move(landed_);
    Load(recno_, true);
    landed_ = std::move(at);
}

void WorkArea::ForgetRecords() {
    dbf_.Cache().Invalidate();
    recordStamp_.reset();
}

// The entry a walk stands on is a place among the keys, not a page: it is
// kept, so the walk goes on from there.
void WorkArea::ForgetPages() {
    ForgetRecords();
    if (indexes_)
        indexes_->DropPages();
    indexStamp_.reset();
}

void WorkArea::Refresh() {
    if (Exclusive() || (turbo_ && Settings().headerCache))
        return;
    // Under the lock the stamp was read (with the count) when it was taken.
    if (!validated_) {
        ForgetRecords();
        dbf_.RefreshCount();
    }
    if (memo_.IsOpen())
        memo_.Invalidate();
}

template <class F> bool WorkArea::UnderStamp(const DbfFile::Stamp& seen, F&& step) {
    validated_ = true;
    bool done = false;
    try {
        step();
        done = true;
    } catch (...) {
        // A failure on pages in the middle of a change is not the step's own.
        validated_ = false;
        if (dbf_.ReadStamp() == seen)
            throw;
    }
    validated_ = false;
    return done && dbf_.ReadStamp() == seen;
}

template <class F> void WorkArea::ReadIndexed(F&& step) {
    const bool optimistic = !Exclusive() && !(turbo_ && Settings().headerCache) &&
                            headerLockDepth_ == 0 && indexStamp_ && indexStamp_ == recordStamp_;
    if (optimistic) {
        // The stamp read after the step tells whether anyone started a change
        // since the pages kept were checked; only then is the step run again.
        const DbfFile::Stamp seen = *indexStamp_;
        const std::uint32_t recno = recno_;
        savedRec_ = rec_; // into buffers kept for this: no allocation per step
        savedDisk_ = disk_;
        const bool eof = eof_, bof = bof_, dirty = dirty_;
        std::optional<IndexPos> landed = landed_;
        const int landedOrder = landedOrder_;
        if (UnderStamp(seen, step))
            return;
        ForgetPages();
        landed_ = std::move(landed);
        landedOrder_ = landedOrder;
        recno_ = recno;
        rec_.swap(savedRec_);
        disk_.swap(savedDisk_);
        eof_ = eof;
        bof_ = bof;
        dirty_ = dirty;
    }
    HeaderLock lock(*this, LockKind::Read);
    step();
}

template <class F> void WorkArea::Change(F&& write) {
    if (Exclusive()) {
        write();
        return;
    }
    try {
        dbf_.RaiseCounter();
        write();
    } catch (...) {
        ForgetPages(); // the files' state is not known now
        throw;
    }
    indexStamp_ = recordStamp_ = dbf_.CurrentStamp();
}

std::uint32_t WorkArea::RecCount() {
    if (!Exclusive())
        dbf_.RefreshCount();
    return dbf_.Count();
}

void WorkArea::SetEof() {
    landed_.reset();
    recno_ = dbf_.Count() + 1;
    rec_ = dbf_.BlankRecord();
    disk_ = rec_;
    eof_ = true;
    dirty_ = false;
}

void WorkArea::Load(std::uint32_t recno, bool fresh) {
    landed_.reset();
    if (fresh)
        dbf_.ReadRecordFresh(recno, rec_);
    else
        dbf_.ReadRecord(recno, rec_);
    disk_ = rec_;
    recno_ = recno;
    eof_ = false;
    dirty_ = false;
}

bool WorkArea::Visible(const std::string& record, std::uint32_t recno) {
    if (Settings().deleted && record[0] == '*')
        return false;
    if (filter_) {
        EvalResult r = filter_->Eval(*this, record, recno);
        if (!r.logical)
            return false;
    }
    return true;
}

bool WorkArea::VisibleAt(std::uint32_t recno) {
    landed_.reset();
    std::string& tmp = scratch_;
    dbf_.ReadRecord(recno, tmp);
    if (!Visible(tmp, recno))
        return false;
    rec_ = tmp;
    disk_ = tmp;
    recno_ = recno;
    eof_ = false;
    dirty_ = false;
    return true;
}

bool WorkArea::InScope(const std::string& key) const {
    if (scopeLow_ && key.compare(0, scopeLow_->size(), *scopeLow_) < 0)
        return false;
    if (scopeHigh_ && key.compare(0, scopeHigh_->size(), *scopeHigh_) > 0)
        return false;
    return true;
}

// ---- navigation ---------------------------------------------------------------

void WorkArea::GoTop() {
    Commit();
    bof_ = false;
    if (order_ == 0) {
        HeaderLock lock(*this, LockKind::Read); // no record read while one is written
        Refresh();
        for (std::uint32_t r = 1; r <= dbf_.Count(); ++r)
            if (VisibleAt(r))
                return;
        SetEof();
        bof_ = true;
        return;
    }
    ReadIndexed([&] {
        Refresh(); // under the lock: the count agrees with the index
        if (KnownEmpty()) {
            SetEof();
            bof_ = true;
            return;
        }
        SettleForward(TopPos());
        if (eof_) {
            bof_ = true;
            NoteEmpty();
        }
    });
}

void WorkArea::GoBottom() {
    Commit();
    bof_ = false;
    if (order_ == 0) {
        HeaderLock lock(*this, LockKind::Read);
        Refresh();
        for (std::uint32_t r = dbf_.Count(); r >= 1; --r)
            if (VisibleAt(r))
                return;
        SetEof();
        bof_ = true;
        return;
    }
    ReadIndexed([&] {
        Refresh();
        if (KnownEmpty()) {
            SetEof();
            bof_ = true;
            return;
        }
        SettleBackward(BottomPos());
        if (eof_) {
            bof_ = true;
            NoteEmpty();
        }
    });
}

std::optional<IndexPos> WorkArea::TopPos() {
    if (indexes_->Descending(order_))
        return scopeHigh_ ? indexes_->SeekLast(order_, *scopeHigh_) : indexes_->Last(order_);
    if (!scopeLow_)
        return indexes_->First(order_);
    bool found = false;
    return indexes_->Seek(order_, *scopeLow_, found);
}

std::optional<IndexPos> WorkArea::BottomPos() {
    if (!indexes_->Descending(order_))
        return scopeHigh_ ? indexes_->SeekLast(order_, *scopeHigh_) : indexes_->Last(order_);
    if (!scopeLow_)
        return indexes_->First(order_);
    bool found = false;
    return indexes_->Seek(order_, *scopeLow_, found);
}

bool WorkArea::BeyondScope(const std::string& key, bool up) const {
    if (up)
        return scopeHigh_ && key.compare(0, scopeHigh_->size(), *scopeHigh_) > 0;
    return scopeLow_ && key.compare(0, scopeLow_->size(), *scopeLow_) < 0;
}

// Only a step on pages checked against the table's stamp (under the lock,
// or without it and accepted only when the stamp has not moved) can say so.
bool WorkArea::KnownEmpty() const {
    return emptyScope_ && validated_ && !Exclusive() && !(turbo_ && Settings().headerCache) &&
           indexStamp_ && *indexStamp_ == emptyScope_->stamp && emptyScope_->order == order_ &&
           emptyScope_->low == scopeLow_ && emptyScope_->high == scopeHigh_ &&
           emptyScope_->filter == filterGeneration_ && emptyScope_->deleted == Settings().deleted;
}

void WorkArea::NoteEmpty() {
    emptyScope_.reset();
    if (!validated_ || Exclusive() || (turbo_ && Settings().headerCache) || !indexStamp_)
        return;
    emptyScope_ = EmptyScope{*indexStamp_,      order_, scopeLow_, scopeHigh_, filterGeneration_,
                             Settings().deleted};
}

void WorkArea::SettleForward(std::optional<IndexPos> p) {
    bool desc = indexes_->Descending(order_);
    while (p) {
        const bool inScope = InScope(p->key);
        if (!inScope && BeyondScope(p->key, !desc)) // descending: the tag backwards
            break;
        if (inScope && p->recno >= 1 && p->recno <= dbf_.Count() && VisibleAt(p->recno)) {
            Landed(std::move(*p));
            return;
        }
        p = desc ? indexes_->Prior(order_, *p) : indexes_->Next(order_, *p);
    }
    SetEof();
}

// Backwards; nothing found leaves BOF set and the first visible record current.
void WorkArea::SettleBackward(std::optional<IndexPos> p) {
    bool desc = indexes_->Descending(order_);
    while (p) {
        const bool inScope = InScope(p->key);
        if (!inScope && BeyondScope(p->key, desc))
            break;
        if (inScope && p->recno >= 1 && p->recno <= dbf_.Count() && VisibleAt(p->recno)) {
            Landed(std::move(*p));
            return;
        }
        p = desc ? indexes_->Next(order_, *p) : indexes_->Prior(order_, *p);
    }
    SetEof();
}

void WorkArea::Landed(IndexPos&& at) {
    landed_ = std::move(at);
    landedOrder_ = order_;
}

std::optional<IndexPos> WorkArea::CurrentPos() {
    if (eof_)
        return std::nullopt;
    // The entry a step of this order landed on is the record's own while
    // nothing was read, written or dropped since.
    if (landed_ && landedOrder_ == order_ && landed_->recno == recno_) {
        std::optional<IndexPos> at = std::move(landed_); // the step lands anew
        landed_.reset();
        return at;
    }
    auto key = indexes_->KeyFor(order_, disk_, recno_);
    if (!key)
        return std::nullopt;
    return IndexPos{*key, recno_};
}

void WorkArea::StepNatural(int dir) {
    if (dir > 0) {
        if (eof_)
            return;
        for (std::uint32_t r = recno_ + 1; r <= dbf_.Count(); ++r)
            if (VisibleAt(r))
                return;
        SetEof();
        return;
    }
    std::uint32_t start = eof_ ? dbf_.Count() : recno_ - 1;
    for (std::uint32_t r = start; r >= 1; --r)
        if (VisibleAt(r))
            return;
    // Before the first record: BOF, standing on the first visible one.
    bof_ = true;
    for (std::uint32_t r = 1; r <= dbf_.Count(); ++r)
        if (VisibleAt(r))
            return;
    SetEof();
}

void WorkArea::StepOrdered(int dir, std::optional<IndexPos> cur) {
    bool desc = indexes_->Descending(order_);
    if (dir > 0) {
        if (eof_)
            return;
        if (!cur) {
            SetEof();
            return;
        }
        SettleForward(desc ? indexes_->Prior(order_, *cur) : indexes_->Next(order_, *cur));
        return;
    }
    if (eof_) {
        // From the end of file: the scope's last entry, by a seek. Finding
        // none there, every entry of the scope was looked at: it is empty.
        if (!KnownEmpty())
            SettleBackward(BottomPos());
        if (eof_) {
            bof_ = true;
            NoteEmpty();
        }
        return;
    }
    std::optional<IndexPos> p;
    if (cur)
        p = desc ? indexes_->Next(order_, *cur) : indexes_->Prior(order_, *cur);
    SettleBackward(p);
    if (eof_) {
        bof_ = true;
        SettleForward(TopPos());
    }
}

void WorkArea::Skip(int count) {
    Commit();
    const auto step = [&] {
        Refresh();
        if (count == 0) {
            if (!eof_) {
                // Reading the record again keeps the entry it was reached by.
                std::optional<IndexPos> at = std::move(landed_);
                const int atOrder = landedOrder_;
                Load(recno_);
                landed_ = std::move(at);
                landedOrder_ = atOrder;
            }
            return;
        }
        int dir = count > 0 ? 1 : -1;
        if (dir > 0)
            bof_ = false;
        for (long i = 0; i < std::labs(count); ++i) {
            if (order_ == 0) {
                StepNatural(dir);
            } else {
                StepOrdered(dir, CurrentPos());
            }
            if ((dir > 0 && eof_) || (dir < 0 && bof_))
                break;
        }
    };
    if (order_ > 0) {
        ReadIndexed(step);
    } else {
        // Under the lock writers change records in: no record read half
        // written, and the pages kept serve while the stamp holds.
        HeaderLock lock(*this, LockKind::Read);
        step();
    }
}

void WorkArea::Go(std::int32_t recno) {
    Commit();
    bof_ = false;
    // The record comes from the file, not from the pages kept: another
    // program may have written it in place without raising the change
    // counter. The pages stay; the next step checks them as ever.
    const bool fresh = !Exclusive() && !(turbo_ && Settings().headerCache);
    // Under the lock writers change records in: never half of a change.
    std::optional<HeaderLock> lock;
    if (fresh) {
        lock.emplace(*this, LockKind::Read);
        dbf_.RefreshCount();
        if (memo_.IsOpen())
            memo_.Invalidate();
    }
    if (recno < 1 || static_cast<std::uint32_t>(recno) > dbf_.Count()) {
        SetEof();
        return;
    }
    // Back to the record it stands on: the entry it was reached by still
    // leads on (as Skip(0) keeps it), so a walk goes on from where it was
    // even when another program has changed the record's key meanwhile.
    std::optional<IndexPos> at;
    const int atOrder = landedOrder_;
    if (!eof_ && recno_ == static_cast<std::uint32_t>(recno))
        at = std::move(landed_);
    Load(static_cast<std::uint32_t>(recno), fresh);
    if (at) {
        landed_ = std::move(at);
        landedOrder_ = atOrder;
    }
}

std::uint32_t WorkArea::CountVisible() {
    Commit();
    std::optional<HeaderLock> lock;
    if (order_ > 0 && hasScope_)
        lock.emplace(*this, LockKind::Read);
    Refresh();
    std::uint32_t n = 0;
    std::string tmp;
    if (order_ == 0 || !hasScope_) {
        for (std::uint32_t r = 1; r <= dbf_.Count(); ++r) {
            dbf_.ReadRecord(r, tmp);
            if (Visible(tmp, r))
                ++n;
        }
        return n;
    }
    // The scope's entries in the tag's own order: from its low end by a seek.
    std::optional<IndexPos> p;
    if (scopeLow_) {
        bool found = false;
        p = indexes_->Seek(order_, *scopeLow_, found);
    } else {
        p = indexes_->First(order_);
    }
    while (p) {
        if (scopeHigh_ && p->key.compare(0, scopeHigh_->size(), *scopeHigh_) > 0)
            break;
        if (InScope(p->key)) {
            dbf_.ReadRecord(p->recno, tmp);
            if (Visible(tmp, p->recno))
                ++n;
        }
        p = indexes_->Next(order_, *p);
    }
    return n;
}

std::uint32_t WorkArea::OrderRecNo() {
    if (eof_)
        return 0;
    if (order_ == 0)
        return recno_;
    HeaderLock lock(*this, LockKind::Read);
    bool desc = indexes_->Descending(order_);
    std::uint32_t n = 0;
    std::optional<IndexPos> p = desc ? indexes_->Last(order_) : indexes_->First(order_);
    while (p) {
        ++n;
        if (p->recno == recno_)
            return n;
        p = desc ? indexes_->Prior(order_, *p) : indexes_->Next(order_, *p);
    }
    return 0;
}

bool WorkArea::MayHaveVanished() const {
    return !Exclusive() && (Settings().deleted || filter_ != nullptr);
}

// ---- writing ------------------------------------------------------------------

void WorkArea::PutRecord(const std::string& buf) {
    if (eof_ && !pendingAppend_)
        throw Error(XB_ERR_RANGE, "No current record");
    std::string next = buf;
    next.resize(static_cast<std::size_t>(dbf_.RecSize()), ' ');
    rec_ = next;
    dirty_ = pendingAppend_ || rec_ != disk_;
}

int WorkArea::Append() {
    Commit();
    RequireWritable();
    Refresh();
    rec_ = dbf_.BlankRecord();
    disk_ = rec_;
    recno_ = dbf_.Count() + 1;
    eof_ = false;
    bof_ = false;
    pendingAppend_ = true;
    dirty_ = true;
    return XB_APPEND_OK;
}

void WorkArea::SetDeleted(bool deleted) {
    if (eof_ && !pendingAppend_)
        throw Error(XB_ERR_RANGE, "No current record");
    RequireWritable();
    rec_[0] = deleted ? '*' : ' ';
    dirty_ = true;
    Commit();
}

void WorkArea::Discard() {
    if (pendingAppend_) {
        pendingAppend_ = false;
        SetEof();
        return;
    }
    rec_ = disk_;
    dirty_ = false;
}

void WorkArea::Commit() {
    if (pendingAppend_)
        landed_.reset(); // a new record has no entry yet; a changed one moves in WriteChanged
    if (pendingAppend_)
        CommitNew();
    else if (dirty_ && !eof_)
        CommitExisting();
    dirty_ = false;
}

void WorkArea::RepairKilledChange() {
    // The mark is only ever set under the header lock, so a mark seen under
    // it was left by a writer that died. A reader would otherwise follow
    // tags that lack the records written last (a received row, say, that
    // the next look-up misses) until the next writer came.
    if (ReadOnly() || OrderCount() == 0 || !dbf_.IndexChangeOpen())
        return;
    try {
        HeaderLock lock(*this, LockKind::Write);
        if (!dbf_.IndexChangeOpen())
            return;
        Change([&] {
            RepairMarked();
            EndIndexChange();
        });
    } catch (const Error& e) {
        if (e.Code() != XB_ERR_LOCKED)
            throw;
        // Another user holds the table now: the next writer repairs them.
    }
}

void WorkArea::RepairMarked() {
    const std::uint32_t recno = dbf_.IndexChangeRecord();
    // Marked for this record while it is put right: a stop in a split of
    // its own widens the mark as any change does.
    changeOpen_ = true;
    changeRecord_ = recno;
    if (recno != 0) {
        RepairRecord(recno);
        return;
    }
    // Every tree again: other programs wait for it (see HeaderLock) rather
    // than give up after the lock's time-out.
    const bool held =
        Exclusive() || dbf_.GetFile().Lock(kLockRepair, 1, LockKind::Write, LockTimeoutMs());
    try {
        indexes_->RepairAll();
    } catch (...) {
        if (held && !Exclusive())
            dbf_.GetFile().Unlock(kLockRepair, 1);
        throw;
    }
    if (held && !Exclusive())
        dbf_.GetFile().Unlock(kLockRepair, 1);
}

// A writer changes one record's entries in an order that leaves, at every
// moment, only entries that agree with the record as the file holds it:
// the old entries go before the record is written, the new ones come after.
// What a stop leaves is therefore a record with some of its entries
// missing, which this puts back.
void WorkArea::RepairRecord(std::uint32_t recno) {
    dbf_.RefreshCount();
    if (recno > dbf_.Count())
        return; // the append stopped before its count: no entry was made
    std::string record;
    dbf_.ReadRecordFresh(recno, record);
    const bool live = record[0] != '*';
    for (int o = 1; o <= OrderCount(); ++o) {
        if (!indexes_->Unusable(o).empty())
            continue;
        const auto key = indexes_->KeyFor(o, record, recno);
        if (key && !indexes_->Contains(o, *key, recno))
            (void)InsertKey(o, *key, recno, live);
    }
}

void WorkArea::BeginIndexChange(std::uint32_t recno) {
    // Set still: a writer was killed between a record and its keys. What it
    // left is put right before anything else changes.
    if (dbf_.IndexChangeOpen())
        RepairMarked();
    dbf_.SetIndexChangeOpen(true, recno);
    changeOpen_ = true;
    changeRecord_ = recno;
}

void WorkArea::EndIndexChange() {
    dbf_.SetIndexChangeOpen(false);
    changeOpen_ = false;
    changeRecord_ = 0;
}

void WorkArea::WidenIndexChange() {
    if (!changeOpen_ || changeRecord_ == 0)
        return;
    dbf_.WidenIndexChange();
    changeRecord_ = 0;
}

std::optional<std::uint32_t> WorkArea::InsertKey(int order, const std::string& key,
                                                 std::uint32_t recno, bool live) {
    if (!indexes_->Unique(order)) {
        indexes_->Insert(order, key, recno);
        return std::nullopt;
    }
    // A unique tag holds one record a key: the first, unless that one is
    // deleted and this one is live. Deleted rows are hidden, so a live row
    // must be the one the tag leads to.
    const std::optional<std::uint32_t> holder = indexes_->Holder(order, key);
    if (!holder) {
        indexes_->Insert(order, key, recno);
        return std::nullopt;
    }
    if (*holder == recno || !live || *holder > dbf_.Count() || !dbf_.IsDeleted(*holder))
        return std::nullopt;
    (void)indexes_->Remove(order, key, *holder);
    indexes_->Insert(order, key, recno);
    return holder;
}

void WorkArea::CommitExisting() {
    RequireWritable();
    bool autoLock = !Exclusive() && !locks_.count(recno_);
    if (autoLock &&
        !dbf_.GetFile().Lock(kLockRecordBase + recno_, 1, LockKind::Write, LockTimeoutMs()))
        throw Error(XB_ERR_LOCKED, "Record " + std::to_string(recno_) +
                                       " is locked by another user: " + dbf_.Path());
    try {
        HeaderLock lock(*this, LockKind::Write);
        // The keys to take away are those of the record as the file holds
        // it, whoever wrote it last.
        std::string old;
        dbf_.ReadRecordFresh(recno_, old);
        Change([&] { WriteChanged(old); });
        disk_ = rec_;
        dirty_ = false;
    } catch (...) {
        if (autoLock)
            dbf_.GetFile().Unlock(kLockRecordBase + recno_, 1);
        throw;
    }
    if (autoLock)
        dbf_.GetFile().Unlock(kLockRecordBase + recno_, 1);
}

void WorkArea::WriteChanged(const std::string& old) {
    // Every key first, so a key that cannot be computed changes nothing.
    std::vector<std::optional<std::string>> olds, news;
    for (int o = 1; o <= OrderCount(); ++o) {
        olds.push_back(indexes_->KeyFor(o, old, recno_));
        news.push_back(indexes_->KeyFor(o, rec_, recno_));
    }
    const bool live = rec_[0] != '*';
    const bool recalled = old[0] == '*' && live;
    std::vector<int> moving, claiming;
    for (int o = 1; o <= OrderCount(); ++o) {
        const auto i = static_cast<std::size_t>(o - 1);
        if (olds[i] != news[i])
            moving.push_back(o);
        else if (recalled && news[i] && indexes_->Unique(o) &&
                 indexes_->Holder(o, *news[i]) != recno_)
            claiming.push_back(o); // a recalled row takes its key from a deleted one
    }
    if (moving.empty() && claiming.empty()) {
        dbf_.WriteRecord(recno_, rec_);
        return;
    }
    BeginIndexChange(recno_);
    bool written = false;
    try {
        for (int o : moving)
            if (const auto& oldKey = olds[static_cast<std::size_t>(o - 1)])
                (void)indexes_->Remove(o, *oldKey, recno_);
        dbf_.WriteRecord(recno_, rec_);
        written = true;
        for (int o : moving)
            if (const auto& newKey = news[static_cast<std::size_t>(o - 1)])
                (void)InsertKey(o, *newKey, recno_, live);
        for (int o : claiming)
            (void)InsertKey(o, *news[static_cast<std::size_t>(o - 1)], recno_, live);
    } catch (...) {
        // A refused change is not made: the old record goes back with its
        // entries. Failing that, the mark leaves it to the next writer.
        try {
            if (written) {
                for (int o : moving)
                    if (const auto& newKey = news[static_cast<std::size_t>(o - 1)])
                        (void)indexes_->Remove(o, *newKey, recno_);
                dbf_.WriteRecord(recno_, old);
            }
            RepairRecord(recno_);
            EndIndexChange();
        } catch (...) {
            if (written)
                WidenChangeQuietly();
        }
        throw;
    }
    if (std::find(moving.begin(), moving.end(), order_) != moving.end()) {
        landed_.reset();
        if (const auto& newKey = news[static_cast<std::size_t>(order_ - 1)])
            Landed(IndexPos{*newKey, recno_});
    }
    EndChangeQuietly();
}

// The change is whole once its entries are in: a mark that cannot be taken
// away only sends the next writer to a record that needs nothing.
void WorkArea::EndChangeQuietly() {
    try {
        EndIndexChange();
    } catch (...) {
        changeOpen_ = false;
        changeRecord_ = 0;
    }
}

void WorkArea::WidenChangeQuietly() {
    try {
        WidenIndexChange();
    } catch (...) {
    }
}

void WorkArea::CommitNew() {
    RequireWritable();
    HeaderLock lock(*this, LockKind::Write);
    // Under the lock the count cannot move (a shared open read it when the
    // lock was taken): keys are made for the number the record will get,
    // before anything is written.
    if (Exclusive())
        dbf_.RefreshCount();
    std::uint32_t expected = dbf_.Count() + 1;
    std::vector<std::optional<std::string>> keys;
    for (int o = 1; o <= OrderCount(); ++o)
        keys.push_back(indexes_->KeyFor(o, rec_, expected));
    std::uint32_t recno = 0;
    Change([&] {
        if (OrderCount() > 0)
            BeginIndexChange(expected);
        recno = dbf_.AppendRecord(rec_);
        StopPoint("record-before-keys", dbf_.Path());
        const bool live = rec_[0] != '*';
        int done = 0;
        std::vector<std::pair<int, std::uint32_t>> displaced;
        try {
            for (int o = 1; o <= OrderCount(); ++o, ++done)
                if (const auto& key = keys[static_cast<std::size_t>(o - 1)])
                    if (const auto holder = InsertKey(o, *key, recno, live))
                        displaced.emplace_back(o, *holder);
        } catch (...) {
            TakeBack(recno, keys, done, displaced);
            throw;
        }
        if (OrderCount() > 0)
            EndChangeQuietly();
    });
    pendingAppend_ = false;
    recno_ = recno;
    disk_ = rec_;
    dirty_ = false;
    eof_ = false;
    // The new record stays locked until the caller unlocks it.
    if (Exclusive() || dbf_.GetFile().Lock(kLockRecordBase + recno, 1, LockKind::Write, 0))
        locks_.insert(recno);
}

// An insert refused after its record was written leaves nothing: the record
// is marked deleted first (so a stop from here on leaves no live row), its
// entries go, and the table is cut back to its count before.
void WorkArea::TakeBack(std::uint32_t recno, const std::vector<std::optional<std::string>>& keys,
                        int done, const std::vector<std::pair<int, std::uint32_t>>& displaced) {
    try {
        std::string dead = rec_;
        dead[0] = '*';
        dbf_.WriteRecord(recno, dead);
        for (int o = 1; o <= done; ++o)
            if (const auto& key = keys[static_cast<std::size_t>(o - 1)])
                (void)indexes_->Remove(o, *key, recno);
        for (const auto& [o, holder] : displaced)
            indexes_->Insert(o, *keys[static_cast<std::size_t>(o - 1)], holder);
        dbf_.RefreshCount();
        if (dbf_.Count() == recno)
            dbf_.TruncateTo(recno - 1);
        if (OrderCount() > 0)
            EndIndexChange();
    } catch (...) {
        // The first failure is the one reported; the record is deleted, and
        // the mark sends the next writer to every tree.
        WidenChangeQuietly();
    }
}

bool WorkArea::Lock(std::uint32_t recno) {
    if (recno == 0)
        recno = recno_;
    if (pendingAppend_ && recno == recno_)
        return true; // locked when it is written
    if (recno < 1 || recno > RecCount())
        throw Error(XB_ERR_RANGE, "Record " + std::to_string(recno) + " out of range");
    if (locks_.count(recno) || ReadOnly())
        return true;
    if (!Exclusive() &&
        !dbf_.GetFile().Lock(kLockRecordBase + recno, 1, LockKind::Write, LockTimeoutMs()))
        return false;
    locks_.insert(recno);
    // Locking the current record reads it again: another user may have
    // changed it since it was read. Unsaved changes of our own stay.
    if (!Exclusive() && recno == recno_ && !eof_ && !dirty_) {
        ForgetRecords();
        Load(recno_);
    }
    return true;
}

void WorkArea::Unlock(std::uint32_t recno) {
    Commit();
    if (recno == 0) {
        if (!Exclusive())
            for (auto r : locks_)
                dbf_.GetFile().Unlock(kLockRecordBase + r, 1);
        locks_.clear();
        return;
    }
    if (locks_.erase(recno) && !Exclusive())
        dbf_.GetFile().Unlock(kLockRecordBase + recno, 1);
}

// ---- fields and memos ----------------------------------------------------------

int WorkArea::FieldIndex(const std::string& name) const {
    const auto& fields = dbf_.Fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (::strcasecmp(fields[i].name.c_str(), name.c_str()) == 0)
            return static_cast<int>(i);
    return -1;
}

const FieldDesc& WorkArea::FieldByName(const char* name) const {
    if (!name)
        throw Error(XB_ERR_ARGUMENT, "No field name given");
    std::string n = name;
    while (!n.empty() && n.back() == ' ')
        n.pop_back();
    int i = FieldIndex(n);
    if (i < 0)
        throw Error(XB_ERR_FIELD, "Field not found: " + n);
    return dbf_.Fields()[static_cast<std::size_t>(i)];
}

void WorkArea::SetFieldBytes(const FieldDesc& f, const std::string& value) {
    if (eof_ && !pendingAppend_)
        throw Error(XB_ERR_RANGE, "No current record");
    RequireWritable();
    std::string v = value;
    v.resize(static_cast<std::size_t>(f.width), ' ');
    rec_.replace(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.width), v);
    dbf_.SetFlagBit(rec_, f.nullBit, false);
    dirty_ = true;
}

void WorkArea::SetVarValue(const FieldDesc& f, const std::string& value) {
    if (eof_ && !pendingAppend_)
        throw Error(XB_ERR_RANGE, "No current record");
    RequireWritable();
    dbf_.SetVarValue(f, rec_, value);
    dbf_.SetFlagBit(rec_, f.nullBit, false);
    dirty_ = true;
}

std::uint32_t WorkArea::MemoBlock(const FieldDesc& f, const std::string& record) const {
    const char* p = record.data() + f.offset;
    if (f.width == 4) {
        const auto* u = reinterpret_cast<const unsigned char*>(p);
        return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
    }
    std::uint32_t n = 0;
    for (int i = 0; i < f.width; ++i) {
        char c = p[i];
        if (c >= '0' && c <= '9')
            n = n * 10 + static_cast<std::uint32_t>(c - '0');
        else if (c != ' ' && c != '\0')
            ThrowCorrupt(dbf_.Path(), "memo reference of field " + f.name, "not a block number");
    }
    return n;
}

void WorkArea::ReadMemo(const FieldDesc& f, const std::string& record, std::uint32_t& type,
                        std::string& data) {
    if (!memo_.IsOpen())
        throw Error(XB_ERR_FIELD, "Table has no memo file: " + dbf_.Path());
    memo_.Read(MemoBlock(f, record), type, data);
}

void WorkArea::WriteMemo(const FieldDesc& f, std::uint32_t type, const std::string& data) {
    if (!memo_.IsOpen())
        throw Error(XB_ERR_FIELD, "Table has no memo file: " + dbf_.Path());
    if (eof_ && !pendingAppend_)
        throw Error(XB_ERR_RANGE, "No current record");
    RequireWritable();
    std::uint32_t block =
        memo_.Write(MemoBlock(f, rec_), type, data, !Exclusive(), LockTimeoutMs());
    std::string ref;
    if (f.width == 4) {
        for (int i = 0; i < 4; ++i)
            ref.push_back(static_cast<char>(block >> (8 * i)));
    } else if (block != 0) {
        ref = std::to_string(block);
        ref.insert(0, static_cast<std::size_t>(std::max(0, f.width - static_cast<int>(ref.size()))),
                   ' ');
    }
    SetFieldBytes(f, ref);
}

// ---- indexes ------------------------------------------------------------------

// An index file name as the caller gives it: without a folder it lies beside
// the table, without an extension it is a .cdx, and a bag named like the
// table in any case ("Sent" beside sent.dbf) is the table's own index.
std::string WorkArea::IndexPath(const std::string& file) const {
    std::string name = file;
    for (char& c : name)
        if (c == '\\')
            c = '/';
    std::string folder;
    std::size_t slash = dbf_.Path().find_last_of('/');
    if (slash != std::string::npos)
        folder = dbf_.Path().substr(0, slash + 1);
    if (name.find('/') == std::string::npos)
        name = folder + name;
    if (!HasExtension(name))
        name += ".cdx";
    std::string structural = WithExtension(dbf_.Path(), ".cdx");
    if (::strcasecmp(name.c_str(), structural.c_str()) == 0)
        return structural;
    return ResolveNoCase(name);
}

int WorkArea::IndexOpen(const std::string& file) {
    Commit();
    std::string path = IndexPath(file);
    if (!FileExistsNoCase(path))
        throw Error(XB_ERR_NOFILE, "Index file not found: " + path);
    int first;
    {
        HeaderLock lock(*this, LockKind::Read);
        first = indexes_->OpenBag(path, !ReadOnly());
    }
    if (first > 0)
        SetOrder(first);
    return first;
}

int WorkArea::IndexTag(const std::string& file, const std::string& tag, const std::string& expr,
                       bool unique, bool descending, const std::string& cond) {
    RequireWritable();
    RequireExclusive("Building an index tag");
    Commit();
    std::string structural = WithExtension(dbf_.Path(), ".cdx");
    std::string path = file.empty() ? structural : IndexPath(file);
    int order = indexes_->CreateTag(path, tag, expr, cond, unique, descending);
    if (path == structural)
        dbf_.SetStructuralIndexFlag();
    order_ = order;
    scopeLow_.reset();
    scopeHigh_.reset();
    hasScope_ = false;
    GoTop();
    return order;
}

int WorkArea::SetOrder(int order) {
    if (order < 0 || order > OrderCount())
        throw Error(XB_ERR_INDEX, "No order " + std::to_string(order) + ": " + dbf_.Path());
    if (order > 0) {
        std::string why = indexes_->Unusable(order);
        if (!why.empty())
            throw Error(XB_ERR_EXPRESSION, why);
    }
    int previous = order_;
    if (order != order_) {
        landed_.reset();
        scopeLow_.reset();
        scopeHigh_.reset();
        hasScope_ = false;
    }
    order_ = order;
    return previous;
}

int WorkArea::TagOrder(const std::string& tag) const {
    for (int o = 1; o <= OrderCount(); ++o)
        if (::strcasecmp(indexes_->Info(o).tag.c_str(), tag.c_str()) == 0)
            return o;
    return 0;
}

std::string WorkArea::CurrentKey() {
    RequireOrder();
    if (eof_)
        return "";
    std::string key = indexes_->KeyFor(order_, rec_, recno_).value_or("");
    if (indexes_->NullFlagged(order_) && !key.empty())
        key.erase(0, 1); // the value's key, as a seek takes it
    return key;
}

bool WorkArea::Seek(const std::string& key) {
    RequireOrder();
    Commit();
    bof_ = false;
    bool hit = false;
    ReadIndexed([&] {
        hit = false;
        Refresh();
        std::string bytes = indexes_->SearchKey(order_, key, Settings().exact);
        bool found = false;
        std::optional<IndexPos> p = indexes_->Seek(order_, bytes, found);
        while (p && p->key.compare(0, bytes.size(), bytes) == 0) {
            if (InScope(p->key) && p->recno >= 1 && p->recno <= dbf_.Count() &&
                VisibleAt(p->recno)) {
                Landed(std::move(*p));
                hit = true;
                return;
            }
            p = indexes_->Next(order_, *p);
        }
        if (Settings().softSeek)
            SettleForward(p);
        else
            SetEof();
    });
    return hit;
}

void WorkArea::SetScope(const char* low, const char* high) {
    if (!low && !high) {
        scopeLow_.reset();
        scopeHigh_.reset();
        hasScope_ = false;
        return;
    }
    RequireOrder();
    // Search keys come from the tag's definition alone: no page is read, so
    // no lock is taken (the next step checks the pages it reads).
    scopeLow_.reset();
    scopeHigh_.reset();
    if (low)
        scopeLow_ = indexes_->SearchKey(order_, low, false);
    if (high)
        scopeHigh_ = indexes_->SearchKey(order_, high, false);
    hasScope_ = true;
}

// ---- filters and expressions ---------------------------------------------------

void WorkArea::SetFilter(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == ' ')
        t.pop_back();
    ++filterGeneration_;
    if (t.empty()) {
        filter_.reset();
        filterText_.clear();
        return;
    }
    auto compiled = CompileExpr(*this, t);
    if (compiled->Type() != XB_EVAL_LOGICAL)
        throw Error(XB_ERR_EXPRESSION, "A filter must be a logical expression: " + t);
    filter_ = std::move(compiled);
    filterText_ = t;
}

EvalResult WorkArea::Evaluate(const std::string& text) {
    auto compiled = CompileExpr(*this, text);
    return compiled->Eval(*this, rec_, recno_);
}

// ---- maintenance ---------------------------------------------------------------

void WorkArea::Pack() {
    RequireWritable();
    RequireExclusive("Pack");
    Commit();
    // The live records go to a new file beside the table, which then takes
    // the table's place in one step: stopped at any moment, the table is as
    // it was or packed, every live record in it once. The new file carries
    // the index mark until its tags are built, so an open after a stop in
    // between builds them.
    const std::string path = dbf_.Path();
    RemoveLeftBeside(path, "pack");
    const std::string temp = TempBeside(path, "pack");
    ::unlink(temp.c_str());
    File copy;
    try {
        copy.Create(temp);
        copy.MatchMode(dbf_.GetFile());
        // Held before the copy has the table's name: nobody opens it before
        // this pack is done with it.
        if (!copy.Lock(kLockOpen, 1, LockKind::Write, 0))
            throw Error(XB_ERR_LOCKED, "Table is in use: " + temp);
        dbf_.WriteLiveCopy(copy, OrderCount() > 0);
        ReplaceFile(temp, path);
    } catch (...) {
        copy.Close();
        ::unlink(temp.c_str());
        throw;
    }
    landed_.reset();
    locks_.clear();
    dbf_.Adopt(copy);
    if (OrderCount() > 0) {
        indexes_->RebuildAll();
        dbf_.SetIndexChangeOpen(false);
    }
    GoTop();
}

void WorkArea::Zap() {
    RequireWritable();
    RequireExclusive("Zap");
    pendingAppend_ = false;
    dirty_ = false;
    if (OrderCount() > 0)
        dbf_.SetIndexChangeOpen(true);
    dbf_.TruncateTo(0);
    if (memo_.IsOpen())
        memo_.Reset();
    if (OrderCount() > 0) {
        indexes_->RebuildAll();
        dbf_.SetIndexChangeOpen(false);
    }
    GoTop();
}

} // namespace xbase
