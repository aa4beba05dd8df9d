#include "document/DocumentCommands.h"

#include "platform/GraphicsLock.h"
#include "recolour/PartRecolourer.h"

#include <algorithm>

// --- TDocumentEdit ------------------------------------------------------------

void TDocumentEdit::Redo(TTintwellDocument& doc) {
    const TSelectionState was = doc.Selection();
    if (!done_) {
        before_ = was;
        Apply(doc, true);
        after_ = doc.Selection();
        done_ = true;
    } else {
        Apply(doc, false);
        doc.RestoreSelection(after_);
    }
    if (!(after_ == was)) emit doc.SelectionChanged();
}

void TDocumentEdit::Undo(TTintwellDocument& doc) {
    const TSelectionState was = doc.Selection();
    Revert(doc);
    doc.RestoreSelection(before_);
    if (!(before_ == was)) emit doc.SelectionChanged();
}

// --- TUndoEntry ---------------------------------------------------------------

TUndoEntry::TUndoEntry(TTintwellDocument& doc, std::unique_ptr<TDocumentEdit> edit)
    : doc_(doc), edit_(std::move(edit)) {
    setText(edit_->Name());
}

void TUndoEntry::redo() {
    if (std::exchange(skipRedo_, false) || doc_.Rebuilding() || !edit_) return;
    edit_->Redo(doc_);
}

void TUndoEntry::undo() {
    if (doc_.Rebuilding() || !edit_) return;
    edit_->Undo(doc_);
}

bool TUndoEntry::mergeWith(const QUndoCommand* other) {
    const auto* entry = static_cast<const TUndoEntry*>(other);
    if (doc_.Rebuilding() || !edit_ || !entry->edit_) return false;
    return edit_->MergeWith(doc_, *entry->edit_);
}

// --- TAddPartEdit ---------------------------------------------------------------

TAddPartEdit::TAddPartEdit(QString name, std::unique_ptr<TImagePart> part)
    : TDocumentEdit(std::move(name)), held_(std::move(part)), part_(held_.get()) {}

int64_t TAddPartEdit::Bytes() const {
    return kOverhead + (held_ ? BytesOf(held_->Bitmap) : 0);
}

void TAddPartEdit::Apply(TTintwellDocument& doc, bool first) {
    if (first) index_ = doc.PartCount();
    InsertPart(doc, index_, std::move(held_));
    if (first) SelectOnly(doc, part_);
    NotifyChanged(doc, part_->Bitmap.Rect(), {part_});
}

void TAddPartEdit::Revert(TTintwellDocument& doc) {
    held_ = TakePart(doc, index_);
    NotifyChanged(doc, part_->Bitmap.Rect(), {});
}

// --- TRemovePartsEdit -------------------------------------------------------------

TRemovePartsEdit::TRemovePartsEdit(QString name, std::vector<TImagePart*> parts)
    : TDocumentEdit(std::move(name)), parts_(std::move(parts)) {}

int64_t TRemovePartsEdit::Bytes() const {
    int64_t bytes = kOverhead;
    for (const auto& [index, part] : removed_)
        bytes += BytesOf(part->Bitmap);
    return bytes;
}

QRect TRemovePartsEdit::Area() const {
    QRect area;
    for (const TImagePart* part : parts_)
        area |= part->Bitmap.Rect();
    return area;
}

void TRemovePartsEdit::RemoveParts(TTintwellDocument& doc) {
    std::vector<int> indexes;
    indexes.reserve(parts_.size());
    for (const TImagePart* part : parts_)
        indexes.push_back(doc.IndexOf(part));
    // The highest index first, so that the lower ones stay where they are.
    std::sort(indexes.rbegin(), indexes.rend());
    removed_.reserve(indexes.size());
    for (int index : indexes)
        removed_.emplace_back(index, TakePart(doc, index));
}

void TRemovePartsEdit::ReinsertParts(TTintwellDocument& doc) {
    for (auto it = removed_.rbegin(); it != removed_.rend(); ++it)
        InsertPart(doc, it->first, std::move(it->second));
    removed_.clear();
}

void TRemovePartsEdit::Apply(TTintwellDocument& doc, bool) {
    RemoveParts(doc);
    NotifyChanged(doc, Area(), {});
}

void TRemovePartsEdit::Revert(TTintwellDocument& doc) {
    ReinsertParts(doc);
    NotifyChanged(doc, Area(), {});
}

// --- TJoinPartsEdit ---------------------------------------------------------------

TJoinPartsEdit::TJoinPartsEdit(std::vector<TImagePart*> selected)
    : TRemovePartsEdit(QStringLiteral("Join selected image parts"),
                       std::vector<TImagePart*>(selected.begin() + 1, selected.end())),
      survivor_(selected.front()), joined_(std::move(selected)) {}

int64_t TJoinPartsEdit::Bytes() const {
    return TRemovePartsEdit::Bytes() + BytesOf(other_);
}

void TJoinPartsEdit::Apply(TTintwellDocument& doc, bool first) {
    if (first) {
        // From the highest number down, each drawn over the ones before: the
        // lower number wins.
        tw::Bitmap merged;
        merged.Assign(joined_.back()->Bitmap);
        for (auto it = joined_.rbegin() + 1; it != joined_.rend(); ++it)
            merged.DrawTransparent(0, 0, (*it)->Bitmap);
        other_ = std::move(merged);
    }
    RemoveParts(doc);
    {
        const TGraphicsLockGuard lock;
        std::swap(survivor_->Bitmap, other_);
        std::swap(survivor_->Growth, otherGrowth_);
    }
    NotifyChanged(doc, Area() | survivor_->Bitmap.Rect() | other_.Rect(), {survivor_});
}

void TJoinPartsEdit::Revert(TTintwellDocument& doc) {
    {
        const TGraphicsLockGuard lock;
        std::swap(survivor_->Bitmap, other_);
        std::swap(survivor_->Growth, otherGrowth_);
    }
    ReinsertParts(doc);
    NotifyChanged(doc, Area() | survivor_->Bitmap.Rect() | other_.Rect(), {survivor_});
}

// --- TReshapePartEdit ---------------------------------------------------------------

TReshapePartEdit::TReshapePartEdit(QString name, TImagePart* part, tw::Bitmap bitmap,
                                   std::optional<TPartGrowth> growth, const TTintwellSettings& settings)
    : TDocumentEdit(std::move(name)), part_(part), other_(std::move(bitmap)), otherGrowth_(std::move(growth)),
      otherSettings_(settings) {}

void TReshapePartEdit::Apply(TTintwellDocument& doc, bool) {
    {
        const TGraphicsLockGuard lock;
        std::swap(part_->Bitmap, other_);
        std::swap(part_->Growth, otherGrowth_);
        std::swap(part_->Settings, otherSettings_);
    }
    NotifyChanged(doc, part_->Bitmap.Rect(), {part_});
}

// --- TChangeColorEdit ---------------------------------------------------------------

TChangeColorEdit::TChangeColorEdit(const TTintwellSettings& settings, std::vector<TImagePart*> parts)
    : TDocumentEdit(QStringLiteral("Change color...")), settings_(settings) {
    kept_.reserve(parts.size());
    for (TImagePart* part : parts)
        kept_.push_back({part, {}, {}, 0, 0});
}

int64_t TChangeColorEdit::Bytes() const {
    int64_t bytes = kOverhead;
    for (const TKept& k : kept_)
        bytes += BytesOf(k.Bitmap);
    return bytes;
}

void TChangeColorEdit::Apply(TTintwellDocument& doc, bool first) {
    if (first) {
        // Every part is recoloured into a copy first: an error leaves the parts alone.
        for (TKept& k : kept_) {
            k.Bitmap = k.Part->Bitmap;
            // Match colour takes each part's own colour to the goal: the one
            // fixed when the part was first matched, or else the middle of its pixels.
            TTintwellSettings settings = settings_;
            if (settings.NeedsReference()) {
                const TTintwellSettings& own = k.Part->Settings;
                if (own.MatchColour && own.Reference && !own.From)
                    settings.Reference = own.Reference;
                else
                    settings = WithPartReference(settings, doc.Picture(), k.Bitmap);
            }
            const QPoint anchor = RecolourPart(doc.InPictureColours(settings), doc.Picture(), k.Bitmap);
            k.Settings = settings;
            k.AnchorX = anchor.x();
            k.AnchorY = anchor.y();
        }
        SetSettings(doc, settings_);
    }
    Exchange(doc);
}

void TChangeColorEdit::Revert(TTintwellDocument& doc) {
    Exchange(doc);
}

namespace {

// The smallest rectangle that holds a part's pixels (those not white).
QRect PartPixelsRect(const tw::Bitmap& part) {
    int left = part.Width(), right = -1, top = -1, bottom = -1;
    for (int y = 0; y < part.Height(); ++y)
        for (int x = 0; x < part.Width(); ++x)
            if (part.Pixel(x, y) != tw::kWhite) {
                left = std::min(left, x), right = std::max(right, x);
                if (top < 0) top = y;
                bottom = y;
            }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

void TChangeColorEdit::Exchange(TTintwellDocument& doc) {
    QRect area;
    QList<TImagePart*> parts;
    {
        const TGraphicsLockGuard lock;
        for (TKept& k : kept_) {
            std::swap(k.Part->Bitmap, k.Bitmap);
            std::swap(k.Part->Settings, k.Settings);
            std::swap(k.Part->AnchorX, k.AnchorX);
            std::swap(k.Part->AnchorY, k.AnchorY);
            // A recolouring changes only the part's own pixels: views (and the
            // full-size tiles) redraw no more than where they lie.
            area |= PartPixelsRect(k.Part->Bitmap) | PartPixelsRect(k.Bitmap);
            parts.append(k.Part);
        }
    }
    if (!parts.isEmpty()) NotifyChanged(doc, area, parts);
}

// --- TVariantsEdit -------------------------------------------------------------------

int64_t TVariantsEdit::Bytes() const {
    int64_t bytes = kOverhead;
    for (const TColourVariant& v : variants_)
        bytes += static_cast<int64_t>(sizeof v + v.Name.size() + v.Parts.size() * sizeof(TTintwellSettings));
    return bytes;
}

void TVariantsEdit::Apply(TTintwellDocument& doc, bool) {
    std::swap(VariantsOf(doc), variants_);
    NotifyVariantsChanged(doc);
}

void TVariantsEdit::Revert(TTintwellDocument& doc) {
    Apply(doc, false);
}

// --- TStrokeEdit ---------------------------------------------------------------------

TStrokeEdit::TStrokeEdit(TStrokeKind kind, uint64_t serial, TImagePart* part,
                         const TTintwellSettings& settings, const QRect& square, const QRect& changed,
                         std::optional<TTintwellSettings> partSettings)
    : TDocumentEdit(kind == TStrokeKind::Brush ? QStringLiteral("Brush stroke")
                                               : QStringLiteral("Erase stroke")),
      kind_(kind), serial_(serial), part_(part), settings_(settings), square_(square), touched_(changed),
      partSettings_(std::move(partSettings)) {}

int64_t TStrokeEdit::Bytes() const {
    return kOverhead + static_cast<int64_t>(saved_.size() * sizeof(uint32_t));
}

void TStrokeEdit::Apply(TTintwellDocument& doc, bool first) {
    if (!first) {
        Exchange(doc);
        return;
    }
    room_ = touched_;
    saved_.resize(static_cast<size_t>(room_.width()) * static_cast<size_t>(room_.height()));
    const tw::Bitmap& before = part_->Bitmap;
    for (int y = touched_.top(); y <= touched_.bottom(); ++y)
        std::copy_n(before.Row(y) + touched_.left(), touched_.width(), SavedAt(touched_.left(), y));
    growth_ = std::exchange(part_->Growth, std::nullopt);
    if (partSettings_) std::swap(part_->Settings, *partSettings_);
    tw::Bitmap& target = part_->Bitmap;
    if (kind_ == TStrokeKind::Brush) {
        TPartRecolourer things(doc.InPictureColours(settings_), doc.Picture(), target);
        things.PaintRect(square_.left(), square_.top(), square_.right(), square_.bottom());
    } else {
        target.FillRect(square_, tw::kWhite);
    }
    NotifyChanged(doc, touched_, {part_});
}

void TStrokeEdit::Revert(TTintwellDocument& doc) {
    Exchange(doc);
}

void TStrokeEdit::Exchange(TTintwellDocument& doc) {
    tw::Bitmap& target = part_->Bitmap;
    for (int y = touched_.top(); y <= touched_.bottom(); ++y)
        std::swap_ranges(target.Row(y) + touched_.left(), target.Row(y) + touched_.left() + touched_.width(),
                         SavedAt(touched_.left(), y));
    std::swap(part_->Growth, growth_);
    if (partSettings_) std::swap(part_->Settings, *partSettings_);
    NotifyChanged(doc, touched_, {part_});
}

bool TStrokeEdit::MergeWith(TTintwellDocument&, const TDocumentEdit& other) {
    const auto* dab = dynamic_cast<const TStrokeEdit*>(&other);
    if (!dab || dab->serial_ != serial_ || dab->part_ != part_ || dab->kind_ != kind_) return false;
    const QRect grown = touched_ | dab->touched_;
    if (!room_.contains(grown)) {
        // Room for a sixth more on every side, so that a stroke moving on does
        // not reallocate at every dab; the buffer stays under twice the
        // rectangle it serves.
        const int mx = grown.width() / 6, my = grown.height() / 6;
        const QRect room = grown.adjusted(-mx, -my, mx, my).intersected(part_->Bitmap.Rect());
        std::vector<uint32_t> saved(static_cast<size_t>(room.width()) * static_cast<size_t>(room.height()));
        for (int y = touched_.top(); y <= touched_.bottom(); ++y)
            std::copy_n(SavedAt(touched_.left(), y), touched_.width(),
                        saved.data() +
                            static_cast<size_t>(y - room.top()) * static_cast<size_t>(room.width()) +
                            (touched_.left() - room.left()));
        room_ = room;
        saved_.swap(saved);
    }
    // The pixels new to the rectangle were not touched by this stroke before
    // the dab: the dab saved them where it reached, the part still holds them
    // elsewhere.
    const tw::Bitmap& part = part_->Bitmap;
    const auto takeSpan = [&](int y, int from, int to) {
        const uint32_t* row = part.Row(y);
        for (int x = from; x <= to; ++x)
            *SavedAt(x, y) = dab->touched_.contains(x, y) ? dab->SavedAt(x, y) : row[x];
    };
    for (int y = grown.top(); y <= grown.bottom(); ++y) {
        if (y < touched_.top() || y > touched_.bottom()) {
            takeSpan(y, grown.left(), grown.right());
        } else {
            takeSpan(y, grown.left(), touched_.left() - 1);
            takeSpan(y, touched_.right() + 1, grown.right());
        }
    }
    touched_ = grown;
    return true;
}
