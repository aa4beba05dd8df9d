#include "document/TintwellDocument.h"

#include "document/DocumentCommands.h"
#include "masking/PartGrower.h"
#include "masking/ToleranceSuggestion.h"
#include "platform/GraphicsLock.h"
#include "platform/PictureError.h"
#include "platform/PictureFile.h"
#include "recolour/PartRecolourer.h"
#include "recolour/StatedColours.h"

#include <algorithm>

TTintwellDocument::TTintwellDocument(QObject* parent) : QObject(parent) {
    connect(&stack_, &QUndoStack::cleanChanged, this, [this](bool clean) {
        emit ModifiedChanged(!clean);
        emit FileStateChanged();
    });
    connect(&stack_, &QUndoStack::indexChanged, this, [this] {
        if (exported_.Index >= 0) emit FileStateChanged();
    });
}

TTintwellDocument::~TTintwellDocument() {
    // The commands go first, quietly: they refer to the parts.
    stack_.blockSignals(true);
    stack_.clear();
}

// --- Starting over ------------------------------------------------------------------

void TTintwellDocument::NewDocument(tw::Bitmap picture, const QString& fileName, bool withBlankPart,
                                    tw::Bitmap fullPicture, tw::TPictureMetadata metadata) {
    stack_.clear();
    ++historySerial_;
    ++strokeSerial_;
    while (!parts_.empty()) {
        // Alive while the views hear of it.
        const std::unique_ptr<TImagePart> part = TakePart(PartCount() - 1);
    }
    {
        const TGraphicsLockGuard lock;
        picture_ = std::move(picture);
    }
    fullPicture_ = fullPicture.IsEmpty() ? picture_ : std::move(fullPicture);
    fullSize_ = fullPicture_.Rect().size();
    profile_ = TColourProfile(metadata.IccProfile);
    metadata_ = std::move(metadata);
    makeWorking_ = nullptr;
    partsOnDemand_.clear();
    // The variants go with the work on the picture before.
    if (!variants_.empty()) {
        variants_.clear();
        emit VariantsChanged();
    }
    fileName_ = fileName;
    projectFileName_.clear();
    exported_ = {};
    emit PictureReplaced();
    emit FileStateChanged();
    if (withBlankPart) {
        auto part = std::make_unique<TImagePart>(tw::Bitmap(picture_.Width(), picture_.Height(), tw::kWhite));
        part->Settings = settings_;
        TImagePart* blank = part.get();
        InsertPart(0, std::move(part));
        SelectOnly(blank);
    }
    emit SelectionChanged();
    emit Changed(picture_.Rect(), {});
}

void TTintwellDocument::OpenPicture(const QString& fileName) {
    // Read and reduce before anything changes: a file that fails leaves the document as it was.
    tw::PictureAtBothSizes picture = tw::LoadPictureAtBothSizes(fileName.toStdString());
    NewDocument(std::move(picture.Working), fileName, true, std::move(picture.Full),
                std::move(picture.Metadata));
}

void TTintwellDocument::RestoreDocument(tw::Bitmap picture, const QString& fileName,
                                        std::vector<std::unique_ptr<TImagePart>> parts,
                                        const TTintwellSettings& settings, tw::Bitmap fullPicture,
                                        std::vector<TColourVariant> variants, tw::TPictureMetadata metadata) {
    NewDocument(std::move(picture), fileName, false, std::move(fullPicture), std::move(metadata));
    for (auto& part : parts)
        InsertPart(PartCount(), std::move(part));
    variants_ = std::move(variants);
    emit VariantsChanged();
    for (TPartEntry& e : parts_)
        e.Selected = true;
    current_ = Part(0);
    settings_ = settings;
    emit SelectionChanged();
    emit Changed(picture_.Rect(), {});
}

void TTintwellDocument::NewStreamedDocument(QSize fullSize, std::function<tw::Bitmap()> makeWorking,
                                            const QString& fileName, tw::TPictureMetadata metadata) {
    NewDocument({}, fileName, false, {}, std::move(metadata));
    fullSize_ = fullSize;
    makeWorking_ = std::move(makeWorking);
}

TTintwellSettings TTintwellDocument::InPictureColours(const TTintwellSettings& settings) const {
    return ::InPictureColours(settings, profile_);
}

void TTintwellDocument::SetProjectFileName(const QString& fileName) {
    projectFileName_ = fileName;
    emit FileStateChanged();
}

TTintwellDocument::TStateKey TTintwellDocument::StateKey() const {
    return {stack_.index(), historySerial_};
}

void TTintwellDocument::MarkExported(const TStateKey& state) {
    exported_ = state;
    emit FileStateChanged();
}

// --- Parts and selection --------------------------------------------------------------

TImagePart* TTintwellDocument::Part(int index) const {
    return index >= 0 && index < PartCount() ? parts_[static_cast<size_t>(index)].Part.get() : nullptr;
}

int TTintwellDocument::IndexOf(const TImagePart* part) const {
    for (size_t i = 0; i < parts_.size(); ++i)
        if (parts_[i].Part.get() == part) return static_cast<int>(i);
    return -1;
}

bool TTintwellDocument::IsSelected(const TImagePart* part) const {
    const int index = IndexOf(part);
    return index >= 0 && parts_[static_cast<size_t>(index)].Selected;
}

std::vector<TImagePart*> TTintwellDocument::SelectedParts() const {
    std::vector<TImagePart*> selected;
    for (const TPartEntry& e : parts_)
        if (e.Selected) selected.push_back(e.Part.get());
    return selected;
}

TImagePart* TTintwellDocument::FirstSelectedPart() const {
    for (const TPartEntry& e : parts_)
        if (e.Selected) return e.Part.get();
    return nullptr;
}

int TTintwellDocument::SelectedCount() const {
    return static_cast<int>(
        std::count_if(parts_.begin(), parts_.end(), [](const TPartEntry& e) { return e.Selected; }));
}

TSelectionState TTintwellDocument::Selection() const {
    return {SelectedParts(), current_, settings_};
}

void TTintwellDocument::SetSelected(TImagePart* part, bool selected) {
    const int index = IndexOf(part);
    if (index < 0 || parts_[static_cast<size_t>(index)].Selected == selected) return;
    parts_[static_cast<size_t>(index)].Selected = selected;
    TakeSettingsOfFirstSelected();
    emit SelectionChanged();
}

void TTintwellDocument::SetSelection(const std::vector<TImagePart*>& parts) {
    bool changed = false;
    for (TPartEntry& e : parts_) {
        const bool selected = std::find(parts.begin(), parts.end(), e.Part.get()) != parts.end();
        changed |= e.Selected != selected;
        e.Selected = selected;
    }
    if (!changed) return;
    TakeSettingsOfFirstSelected();
    emit SelectionChanged();
}

void TTintwellDocument::SetCurrentPart(TImagePart* part) {
    if (part && IndexOf(part) < 0) part = nullptr;
    if (part == current_) return;
    current_ = part;
    emit SelectionChanged();
}

void TTintwellDocument::SetCurrentSettings(const TTintwellSettings& settings) {
    if (settings == settings_) return;
    settings_ = settings;
    emit SelectionChanged();
}

void TTintwellDocument::TakeSettingsOfFirstSelected() {
    if (const TImagePart* first = FirstSelectedPart()) settings_ = first->Settings;
}

void TTintwellDocument::SelectOnly(TImagePart* part) {
    for (TPartEntry& e : parts_)
        e.Selected = e.Part.get() == part;
    current_ = part;
}

void TTintwellDocument::RestoreSelection(const TSelectionState& state) {
    for (TPartEntry& e : parts_)
        e.Selected =
            std::find(state.Selected.begin(), state.Selected.end(), e.Part.get()) != state.Selected.end();
    current_ = state.Current;
    settings_ = state.Settings;
}

void TTintwellDocument::InsertPart(int index, std::unique_ptr<TImagePart> part) {
    TImagePart* inserted = part.get();
    for (TColourVariant& v : variants_)
        if (!v.Goal) v.Parts.insert(v.Parts.begin() + index, part->Settings);
    parts_.insert(parts_.begin() + index, TPartEntry{std::move(part), false});
    emit PartInserted(index, inserted);
}

std::unique_ptr<TImagePart> TTintwellDocument::TakePart(int index) {
    std::unique_ptr<TImagePart> part = std::move(parts_[static_cast<size_t>(index)].Part);
    parts_.erase(parts_.begin() + index);
    for (TColourVariant& v : variants_)
        if (!v.Goal) v.Parts.erase(v.Parts.begin() + index);
    if (current_ == part.get()) current_ = nullptr;
    emit PartRemoved(index, part.get());
    return part;
}

// --- Edits -------------------------------------------------------------------------

TImagePart* TTintwellDocument::AddPart(const QString& name, const tw::Bitmap& bitmap, QPoint anchor,
                                       const std::optional<TPartGrowth>& growth) {
    auto part = std::make_unique<TImagePart>(bitmap);
    part->Growth = growth;
    part->AnchorX = anchor.x();
    part->AnchorY = anchor.y();
    part->Settings = settings_;
    if (settings_.NeedsReference() && !bitmap.IsEmpty()) {
        // Match colour goes from the new part's own colour, fixed now; a grown
        // part's walk painted it from none.
        part->Settings = WithPartReference(settings_, picture_, part->Bitmap);
        if (growth) RecolourPart(InPictureColours(part->Settings), picture_, part->Bitmap);
    }
    TImagePart* added = part.get();
    Push(std::make_unique<TAddPartEdit>(name, std::move(part)));
    return added;
}

TImagePart* TTintwellDocument::AddGrownPart(const tw::Bitmap& mask, QPoint anchor,
                                            const std::optional<TPartGrowth>& growth) {
    return AddPart(QStringLiteral("Add this"), mask, anchor, growth);
}

bool TTintwellDocument::ReshapeCurrentPart(const tw::Bitmap& mask, bool remove,
                                           const std::optional<TPartGrowth>& growth) {
    TImagePart* part = current_;
    if (!part || mask.Width() != part->Bitmap.Width() || mask.Height() != part->Bitmap.Height() ||
        part->Bitmap.Width() != picture_.Width() || part->Bitmap.Height() != picture_.Height())
        return false;
    tw::Bitmap shaped;
    shaped.Assign(part->Bitmap);
    TTintwellSettings settings = part->Settings;
    std::vector<QPoint> joined;
    for (int y = 0; y < mask.Height(); ++y) {
        const uint32_t* m = mask.Row(y);
        const uint32_t* p = part->Bitmap.Row(y);
        for (int x = 0; x < mask.Width(); ++x) {
            if (tw::ColorFromRgb32(m[x]) == tw::kWhite) continue;
            if (remove)
                shaped.SetPixel(x, y, tw::kWhite);
            else if (tw::ColorFromRgb32(p[x]) == tw::kWhite)
                joined.emplace_back(x, y);
        }
    }
    if (!joined.empty()) {
        for (const QPoint& at : joined)
            shaped.SetPixel(at.x(), at.y(), picture_.Pixel(at.x(), at.y()));
        if (settings.NeedsReference()) {
            // Match colour without its own colour fixed yet: fixed now, from the
            // part as it becomes; its pixels are still the picture's.
            settings = WithPartReference(settings, picture_, shaped);
            RecolourPart(InPictureColours(settings), picture_, shaped);
        } else {
            tw::Bitmap scratch;
            const TPartRecolourer recolourer(InPictureColours(settings), picture_, scratch);
            for (const QPoint& at : joined)
                shaped.SetPixel(at.x(), at.y(), recolourer.TransformColor(picture_.Pixel(at.x(), at.y())));
        }
    }
    // Grown, and grown again: the part is still what its grows make.
    std::optional<TPartGrowth> grown;
    if (part->Growth && growth) {
        grown = part->Growth;
        grown->Then.push_back({growth->Seed, growth->SeedColor, growth->Rules, remove});
    }
    Push(std::make_unique<TReshapePartEdit>(remove ? QStringLiteral("Remove from current part")
                                                   : QStringLiteral("Add to current part"),
                                            part, std::move(shaped), std::move(grown), settings));
    return true;
}

TImagePart* TTintwellDocument::AddBlankPart() {
    return AddPart(QStringLiteral("Add image part"),
                   tw::Bitmap(picture_.Width(), picture_.Height(), tw::kWhite), QPoint(0, 0));
}

void TTintwellDocument::CheckPartFileType(const std::string& file) {
    const tw::PictureFormat format = tw::LoadFormatFor(file);
    if (format != tw::PictureFormat::Bmp && format != tw::PictureFormat::Png)
        throw tw::PictureError("cannot read " + tw::DisplayName(file) +
                               ": image parts are read from bitmap (.bmp) or PNG (.png) files only");
}

tw::Bitmap TTintwellDocument::ReadPartFile(const std::string& file) {
    CheckPartFileType(file);
    return tw::LoadPicture(file);
}

TImagePart* TTintwellDocument::LoadPartFromFile(const QString& path) {
    return AddPart(QStringLiteral("Load image part from file"), ReadPartFile(path.toStdString()),
                   QPoint(0, 0));
}

bool TTintwellDocument::DeleteSelectedParts() {
    std::vector<TImagePart*> selected = SelectedParts();
    if (selected.empty()) return false;
    Push(std::make_unique<TRemovePartsEdit>(QStringLiteral("Delete image part"), std::move(selected)));
    return true;
}

bool TTintwellDocument::JoinSelectedParts() {
    std::vector<TImagePart*> selected = SelectedParts();
    if (selected.size() < 2) return false;
    Push(std::make_unique<TJoinPartsEdit>(std::move(selected)));
    return true;
}

bool TTintwellDocument::ClearParts() {
    if (parts_.empty()) return false;
    std::vector<TImagePart*> all;
    for (const TPartEntry& e : parts_)
        all.push_back(e.Part.get());
    Push(std::make_unique<TRemovePartsEdit>(QStringLiteral("Clear image parts"), std::move(all)));
    return true;
}

void TTintwellDocument::ChangeColor(const TTintwellSettings& settings) {
    std::vector<TImagePart*> selected = SelectedParts();
    if (selected.empty() && settings == settings_) return;
    Push(std::make_unique<TChangeColorEdit>(settings, std::move(selected)));
}

void TTintwellDocument::SetVariants(std::vector<TColourVariant> variants) {
    if (variants == variants_) return;
    Push(std::make_unique<TVariantsEdit>(std::move(variants)));
}

void TTintwellDocument::AddPartOnDemand(TPartMaker maker) {
    partsOnDemand_.push_back(std::move(maker));
}

void TTintwellDocument::AddGrownPartOnDemand(QPoint seed, const TWalkerRules& rules,
                                             const TTintwellSettings& settings) {
    AddGrownPartOnDemand(TPartGrowth{seed, 0, rules, {}}, settings);
}

void TTintwellDocument::AddGrownPartOnDemand(const TPartGrowth& growth, const TTintwellSettings& settings) {
    AddPartOnDemand([growth, settings, profile = profile_](const tw::Bitmap& picture) {
        // The walks paint the part's pixels recoloured already.
        TGrownPart grown = GrowSteps(picture, growth, ::InPictureColours(settings, profile));
        TMadePart made{std::move(grown.Mask), settings, grown.Growth};
        if (settings.NeedsReference()) {
            // Match colour goes from the grown part's own colour.
            made.Settings = WithPartReference(settings, picture, made.Bitmap);
            RecolourPart(::InPictureColours(made.Settings, profile), picture, made.Bitmap);
        }
        return made;
    });
}

void TTintwellDocument::BeginStroke() {
    ++strokeSerial_;
}

void TTintwellDocument::EndStroke() {
    ++strokeSerial_;
}

TDab TTintwellDocument::Dab(TStrokeKind kind, QPoint at, int radius) {
    TDab dab;
    dab.Kind = kind;
    dab.Part = current_;
    const int r = radius;
    if (r <= 0)
        dab.Square = QRect(at.x(), at.y(), 1, 1); // the smallest dab still covers the point
    else if (kind == TStrokeKind::Brush)
        dab.Square = QRect(at.x() - r, at.y() - r, 2 * r, 2 * r);
    else
        dab.Square = QRect(at.x() - r, at.y() - r, 2 * r - 1, 2 * r - 1);
    if (!current_) return dab;
    dab.Changed = dab.Square.intersected(current_->Bitmap.Rect());
    // The brush takes its pixels from the picture, so it stops at the picture's edge.
    if (kind == TStrokeKind::Brush) dab.Changed = dab.Changed.intersected(picture_.Rect());
    if (dab.Changed.isEmpty()) return dab;
    TTintwellSettings paint = settings_;
    std::optional<TTintwellSettings> partSettings;
    if (kind == TStrokeKind::Brush && paint.NeedsReference()) {
        // Match colour paints from the part's own colour: fixed by the part's
        // first dab (its pixels and the dab's square) and kept from then on.
        const TTintwellSettings& own = current_->Settings;
        if (own.Reference && own.ForAnotherPicture() == paint) {
            paint = own;
        } else {
            tw::Bitmap covered = current_->Bitmap;
            covered.FillRect(dab.Changed, 0); // anything not white is in the part
            paint = WithPartReference(paint, picture_, covered);
            if (own == settings_) partSettings = paint;
        }
    }
    Push(std::make_unique<TStrokeEdit>(kind, strokeSerial_, current_, paint, dab.Square, dab.Changed,
                                       std::move(partSettings)));
    return dab;
}

// --- History -------------------------------------------------------------------------

TUndoEntry* TTintwellDocument::EntryAt(int index) const {
    // Only the document pushes onto its stack, and only entries.
    return const_cast<TUndoEntry*>(static_cast<const TUndoEntry*>(stack_.command(index)));
}

void TTintwellDocument::Push(std::unique_ptr<TDocumentEdit> edit) {
    // Done before it goes on the stack: an edit that fails leaves no entry.
    edit->Redo(*this);
    // The steps to redo go, or a dab merges into the stroke before: either way
    // a state at some index is no longer the one it was.
    const int before = stack_.index();
    if (before < stack_.count()) ++historySerial_;
    stack_.push(new TUndoEntry(*this, std::move(edit)));
    if (stack_.index() == before) {
        ++historySerial_;
        if (exported_.Index >= 0) emit FileStateChanged();
    }
    TrimHistory();
}

void TTintwellDocument::Undo() {
    stack_.undo();
    TrimHistory();
}

void TTintwellDocument::Redo() {
    stack_.redo();
    TrimHistory();
}

int64_t TTintwellDocument::HistoryBytes() const {
    int64_t total = 0;
    for (int i = 0; i < stack_.count(); ++i)
        if (const TDocumentEdit* edit = EntryAt(i)->Edit()) total += edit->Bytes();
    return total;
}

void TTintwellDocument::SetHistoryLimit(int64_t bytes) {
    historyLimit_ = std::max<int64_t>(0, bytes);
    TrimHistory();
}

void TTintwellDocument::TrimHistory() {
    const int count = stack_.count();
    std::vector<int64_t> bytes(static_cast<size_t>(count));
    int64_t total = 0;
    for (int i = 0; i < count; ++i) {
        const TDocumentEdit* edit = EntryAt(i)->Edit();
        bytes[static_cast<size_t>(i)] = edit ? edit->Bytes() : 0;
        total += bytes[static_cast<size_t>(i)];
    }
    if (total <= historyLimit_) return;
    // The oldest steps go first; steps to redo only when nothing is left to undo.
    int oldest = 0, newest = 0;
    const int index = stack_.index();
    while (total > historyLimit_ && oldest < index)
        total -= bytes[static_cast<size_t>(oldest++)];
    while (total > historyLimit_ && oldest + newest < count)
        total -= bytes[static_cast<size_t>(count - 1 - newest++)];
    RebuildHistory(oldest, newest);
}

void TTintwellDocument::RebuildHistory(int dropOldest, int dropNewest) {
    // QUndoStack cannot drop its oldest commands, so the kept edits move to a
    // fresh stack: pushed without running them, then stepped back to where the
    // document stands without running them either.
    const int count = stack_.count();
    const int index = stack_.index() - dropOldest;
    const int keptCount = count - dropOldest - dropNewest;
    int clean = stack_.cleanIndex() - dropOldest;
    if (stack_.cleanIndex() < 0 || clean < 0 || clean > keptCount) clean = -1;
    std::vector<std::unique_ptr<TDocumentEdit>> kept;
    kept.reserve(static_cast<size_t>(keptCount));
    for (int i = dropOldest; i < dropOldest + keptCount; ++i)
        kept.push_back(EntryAt(i)->TakeEdit());

    ++historySerial_; // indices shift
    rebuilding_ = true;
    stack_.clear(); // the dropped edits go with their entries
    for (int i = 0; i < keptCount; ++i) {
        if (i == clean) stack_.setClean();
        stack_.push(new TUndoEntry(*this, std::move(kept[static_cast<size_t>(i)])));
    }
    if (clean == keptCount) stack_.setClean();
    while (stack_.index() > index)
        stack_.undo();
    if (clean < 0) stack_.resetClean();
    rebuilding_ = false;
}

// --- Pixels ----------------------------------------------------------------------------

tw::Bitmap TTintwellDocument::ComposeView(bool showPicture) const {
    const TGraphicsLockGuard lock;
    tw::Bitmap view;
    if (showPicture)
        view.Assign(picture_);
    else
        view = tw::Bitmap(picture_.Width(), picture_.Height());
    // Lower numbers are drawn last and so lie on top.
    for (auto it = parts_.rbegin(); it != parts_.rend(); ++it)
        if (showAllParts_ || it->Selected) view.DrawTransparent(0, 0, it->Part->Bitmap);
    return view;
}

void TTintwellDocument::ComposeViewRect(tw::Bitmap& view, const QRect& rect, bool showPicture) const {
    const TGraphicsLockGuard lock;
    const QRect area = rect.intersected(view.Rect());
    if (area.isEmpty()) return;
    if (showPicture)
        view.CopyRect(area.x(), area.y(), picture_, area);
    else
        view.FillRect(area, tw::kWhite);
    for (auto it = parts_.rbegin(); it != parts_.rend(); ++it)
        if (showAllParts_ || it->Selected) view.DrawTransparentIn(area, 0, 0, it->Part->Bitmap);
}

void TTintwellDocument::ShowDabInView(tw::Bitmap& view, const TDab& dab, bool showPicture) const {
    if (!dab.Part || IndexOf(dab.Part) < 0) return;
    if (showAllParts_) {
        // Other parts may lie under the square: compose it properly.
        ComposeViewRect(view, dab.Square, showPicture);
        return;
    }
    if (dab.Kind == TStrokeKind::Brush) {
        // The whole painted square, the same pixels the part now holds.
        const QRect painted = dab.Square.intersected(dab.Part->Bitmap.Rect());
        view.CopyRect(painted.x(), painted.y(), dab.Part->Bitmap, painted);
    } else if (showPicture) {
        const QRect inPicture = dab.Square.intersected(picture_.Rect());
        view.CopyRect(inPicture.x(), inPicture.y(), picture_, inPicture);
    } else {
        view.FillRect(dab.Square, tw::kWhite);
    }
}

tw::Bitmap TTintwellDocument::ComposeResult() const {
    tw::Bitmap result;
    {
        const TGraphicsLockGuard lock;
        result.Assign(picture_);
    }
    // One part after the other into the one result; lower numbers are drawn
    // last and win. A part made on demand goes once it is drawn.
    for (auto it = partsOnDemand_.rbegin(); it != partsOnDemand_.rend(); ++it)
        result.DrawTransparent(0, 0, (*it)(picture_).Bitmap);
    const TGraphicsLockGuard lock;
    for (auto it = parts_.rbegin(); it != parts_.rend(); ++it)
        result.DrawTransparent(0, 0, it->Part->Bitmap);
    return result;
}

TTintwellDocument::TFullSizeSource TTintwellDocument::FullSizeSource() const {
    const TGraphicsLockGuard lock;
    TFullSizeSource source{fullPicture_, picture_, metadata_,      profile_,      {},
                           {},           {},       partsOnDemand_, stripMetadata_};
    for (const TPartEntry& e : parts_) {
        source.Bitmaps.push_back(e.Part->Bitmap);
        source.Settings.push_back(e.Part->Settings);
        source.Growths.push_back(e.Part->Growth);
    }
    return source;
}

tw::TSaveOptions TTintwellDocument::ResultSaveOptions() const {
    tw::TSaveOptions options;
    options.Metadata = metadata_;
    options.StripMetadata = stripMetadata_;
    return options;
}

tw::TSaveOptions TTintwellDocument::TFullSizeSource::SaveOptions() const {
    tw::TSaveOptions options;
    options.Metadata = Metadata;
    options.StripMetadata = StripMetadata;
    return options;
}

TFullSizePart TTintwellDocument::TFullSizeSource::PartAt(int index, tw::Bitmap& scratch) const {
    const auto k = static_cast<size_t>(index);
    // A border decided by the rules knows one seed colour: a part of several
    // grows has its border fitted to the picture instead.
    const auto border = [](std::optional<TPartGrowth> growth) {
        if (growth && !growth->Then.empty()) growth.reset();
        return growth;
    };
    if (k < Bitmaps.size())
        return {&Bitmaps[k], ::InPictureColours(Settings[k], Profile), border(Growths[k])};
    TMadePart made = PartsOnDemand[k - Bitmaps.size()](Picture);
    scratch = std::move(made.Bitmap);
    return {&scratch, ::InPictureColours(made.Settings, Profile), border(std::move(made.Growth))};
}

TTintwellDocument::TFullSizeSource
TTintwellDocument::TFullSizeSource::WithSettings(const std::vector<TTintwellSettings>& settings) const {
    TFullSizeSource source = *this;
    for (size_t i = 0; i < source.Bitmaps.size() && i < settings.size(); ++i) {
        // Recoloured as "Change color..." would: from the picture, with the
        // part's own colour worked out where Match colour needs it.
        source.Settings[i] = WithPartReference(settings[i], Picture, source.Bitmaps[i]);
        RecolourPart(::InPictureColours(source.Settings[i], Profile), Picture, source.Bitmaps[i]);
    }
    return source;
}

tw::Bitmap TTintwellDocument::TFullSizeSource::ComposeWorking() const {
    tw::Bitmap result;
    result.Assign(Picture);
    tw::Bitmap scratch;
    for (int i = PartCount() - 1; i >= 0; --i)
        result.DrawTransparent(0, 0, *PartAt(i, scratch).Bitmap);
    return result;
}

std::optional<tw::Bitmap> TTintwellDocument::TFullSizeSource::Compose(const TFullSizeOptions& options) const {
    // Both programs leave the border method and the unmixing at the composer's
    // defaults, so their pixels agree.
    std::optional<tw::Bitmap> result = ComposeFullSize(
        FullPicture, Picture, PartCount(), [this](int i, tw::Bitmap& scratch) { return PartAt(i, scratch); },
        options);
    // A new image takes its resolution from the screen, or a fixed guess
    // without one; files record it. One fixed value keeps the two programs'
    // files the same.
    if (result) {
        constexpr int kDotsPerMeter = 3780; // 96 dots per inch
        result->Image().setDotsPerMeterX(kDotsPerMeter);
        result->Image().setDotsPerMeterY(kDotsPerMeter);
    }
    return result;
}

std::optional<tw::Bitmap> TTintwellDocument::ComposeFullSizeResult(const TFullSizeOptions& options) const {
    return FullSizeSource().Compose(options);
}

bool TTintwellDocument::StreamFullSizeResult(const TReadRows& readRows, const TWriteRows& writeRows,
                                             const TFullSizeOptions& options) {
    TFullSizeSource source = FullSizeSource();
    return ComposeFullSizeRows(
        fullSize_,
        [&]() -> const tw::Bitmap& {
            // Made while the first rows are read, so that the decodings overlap.
            if (makeWorking_) {
                tw::Bitmap working = makeWorking_();
                const TGraphicsLockGuard lock;
                picture_ = std::move(working);
                makeWorking_ = nullptr;
            }
            source.Picture = picture_;
            return source.Picture;
        },
        source.PartCount(), [&](int i, tw::Bitmap& scratch) { return source.PartAt(i, scratch); }, readRows,
        writeRows, options);
}

THSVValues TTintwellDocument::SuggestTolerance(QPoint seed, int halfWidth) const {
    return ::SuggestTolerance(picture_, seed, halfWidth);
}
