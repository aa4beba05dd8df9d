#pragma once
// The document's edits, one class per kind, and the undo stack entry that
// carries an edit. An edit keeps what it needs to go back and forth: the parts
// it took out, the bitmaps it replaced, the old pixels of the rectangle a
// stroke touched. The entry only forwards, so the document can move edits to a
// fresh stack when it drops the oldest steps.

#include "document/TintwellDocument.h"

#include <QUndoCommand>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class TDocumentEdit {
  public:
    explicit TDocumentEdit(QString name) : name_(std::move(name)) {}
    virtual ~TDocumentEdit() = default;
    TDocumentEdit(const TDocumentEdit&) = delete;
    TDocumentEdit& operator=(const TDocumentEdit&) = delete;

    const QString& Name() const { return name_; }
    // The first call does the edit; later calls do it again after an Undo. The
    // selection is put back as the edit left it, or as it was before.
    void Redo(TTintwellDocument& doc);
    void Undo(TTintwellDocument& doc);

    // Edits of one kind with the same id may be merged into the step before.
    virtual int Id() const { return -1; }
    virtual bool MergeWith(TTintwellDocument&, const TDocumentEdit&) { return false; }
    // The bytes this edit keeps (saved pixels, parts held while out of the document).
    virtual int64_t Bytes() const = 0;

  protected:
    // Apply must change nothing when it throws.
    virtual void Apply(TTintwellDocument& doc, bool first) = 0;
    virtual void Revert(TTintwellDocument& doc) = 0;

    // What an edit may do to the document.
    static void InsertPart(TTintwellDocument& doc, int index, std::unique_ptr<TImagePart> part) {
        doc.InsertPart(index, std::move(part));
    }
    static std::unique_ptr<TImagePart> TakePart(TTintwellDocument& doc, int index) {
        return doc.TakePart(index);
    }
    static void SelectOnly(TTintwellDocument& doc, TImagePart* part) { doc.SelectOnly(part); }
    static void SetSettings(TTintwellDocument& doc, const TTintwellSettings& s) { doc.settings_ = s; }
    static std::vector<TColourVariant>& VariantsOf(TTintwellDocument& doc) { return doc.variants_; }
    static void NotifyVariantsChanged(TTintwellDocument& doc) { emit doc.VariantsChanged(); }
    static void NotifyChanged(TTintwellDocument& doc, const QRect& rect, const QList<TImagePart*>& parts) {
        emit doc.Changed(rect, parts);
    }
    static int64_t BytesOf(const tw::Bitmap& b) { return b.Image().sizeInBytes(); }
    static constexpr int64_t kOverhead = 256; // the edit and its stack entry themselves

  private:
    QString name_;
    TSelectionState before_;
    TSelectionState after_;
    bool done_ = false;
};

// One entry of the document's QUndoStack.
class TUndoEntry : public QUndoCommand {
  public:
    TUndoEntry(TTintwellDocument& doc, std::unique_ptr<TDocumentEdit> edit);
    // The edit was done before it was pushed, so the push's redo is skipped.
    void redo() override;
    void undo() override;
    int id() const override { return edit_ ? edit_->Id() : -1; }
    bool mergeWith(const QUndoCommand* other) override;

    const TDocumentEdit* Edit() const { return edit_.get(); }
    std::unique_ptr<TDocumentEdit> TakeEdit() { return std::move(edit_); }

  private:
    TTintwellDocument& doc_;
    std::unique_ptr<TDocumentEdit> edit_;
    bool skipRedo_ = true;
};

// Adds one part at the end; it becomes the only selected part and the current one.
class TAddPartEdit : public TDocumentEdit {
  public:
    TAddPartEdit(QString name, std::unique_ptr<TImagePart> part);
    int64_t Bytes() const override;

  protected:
    void Apply(TTintwellDocument& doc, bool first) override;
    void Revert(TTintwellDocument& doc) override;

  private:
    std::unique_ptr<TImagePart> held_; // while undone
    TImagePart* part_;
    int index_ = -1;
};

// Takes parts out of the document (delete, clear, and the joined ones).
class TRemovePartsEdit : public TDocumentEdit {
  public:
    TRemovePartsEdit(QString name, std::vector<TImagePart*> parts);
    int64_t Bytes() const override;

  protected:
    void Apply(TTintwellDocument& doc, bool first) override;
    void Revert(TTintwellDocument& doc) override;
    void RemoveParts(TTintwellDocument& doc);
    void ReinsertParts(TTintwellDocument& doc);
    QRect Area() const;

  private:
    std::vector<TImagePart*> parts_;
    // While done: the parts taken out, highest index first.
    std::vector<std::pair<int, std::unique_ptr<TImagePart>>> removed_;
};

// The selected parts become the first of them; the others are removed.
class TJoinPartsEdit : public TRemovePartsEdit {
  public:
    explicit TJoinPartsEdit(std::vector<TImagePart*> selected);
    int64_t Bytes() const override;

  protected:
    void Apply(TTintwellDocument& doc, bool first) override;
    void Revert(TTintwellDocument& doc) override;

  private:
    TImagePart* survivor_;
    std::vector<TImagePart*> joined_;
    tw::Bitmap other_; // the survivor's bitmap before (while done) or after (while undone)
    std::optional<TPartGrowth> otherGrowth_; // and its growth (a joined part has none)
};

// "Add to current part" and "Remove from current part": the part's bitmap,
// growth and settings exchanged for the reshaped ones.
class TReshapePartEdit : public TDocumentEdit {
  public:
    TReshapePartEdit(QString name, TImagePart* part, tw::Bitmap bitmap, std::optional<TPartGrowth> growth,
                     const TTintwellSettings& settings);
    int64_t Bytes() const override { return kOverhead + BytesOf(other_); }

  protected:
    void Apply(TTintwellDocument& doc, bool first) override;
    void Revert(TTintwellDocument& doc) override { Apply(doc, false); }

  private:
    TImagePart* part_;
    // The part's after (while undone) or before (while done).
    tw::Bitmap other_;
    std::optional<TPartGrowth> otherGrowth_;
    TTintwellSettings otherSettings_;
};

// "Change color...": new current settings and the parts recoloured with them.
class TChangeColorEdit : public TDocumentEdit {
  public:
    TChangeColorEdit(const TTintwellSettings& settings, std::vector<TImagePart*> parts);
    int64_t Bytes() const override;

  protected:
    void Apply(TTintwellDocument& doc, bool first) override;
    void Revert(TTintwellDocument& doc) override;

  private:
    // What a part had before (while done) or after (while undone).
    struct TKept {
        TImagePart* Part;
        tw::Bitmap Bitmap;
        TTintwellSettings Settings;
        int32_t AnchorX = 0;
        int32_t AnchorY = 0;
    };
    void Exchange(TTintwellDocument& doc);

    TTintwellSettings settings_;
    std::vector<TKept> kept_;
};

// "Colour Variants...": the list replaced by another.
class TVariantsEdit : public TDocumentEdit {
  public:
    explicit TVariantsEdit(std::vector<TColourVariant> variants)
        : TDocumentEdit(QStringLiteral("Colour variants")), variants_(std::move(variants)) {}
    int64_t Bytes() const override;

  protected:
    void Apply(TTintwellDocument& doc, bool first) override;
    void Revert(TTintwellDocument& doc) override;

  private:
    // The list that is not the document's: the new one while undone, the old while done.
    std::vector<TColourVariant> variants_;
};

// One brush or erase stroke on one part. Keeps the old pixels of the rectangle
// its dabs touched, in a buffer that grows with some slack as dabs arrive.
class TStrokeEdit : public TDocumentEdit {
  public:
    static constexpr int kId = 1;
    // partSettings: settings the part takes with the stroke (Match colour's
    // reference fixed by its first dab), none when they stay.
    TStrokeEdit(TStrokeKind kind, uint64_t serial, TImagePart* part, const TTintwellSettings& settings,
                const QRect& square, const QRect& changed,
                std::optional<TTintwellSettings> partSettings = std::nullopt);
    int Id() const override { return kId; }
    bool MergeWith(TTintwellDocument& doc, const TDocumentEdit& other) override;
    int64_t Bytes() const override;
    const QRect& Touched() const { return touched_; }
    // Pixels the buffer has room for.
    int64_t BufferPixels() const { return static_cast<int64_t>(saved_.size()); }

  protected:
    void Apply(TTintwellDocument& doc, bool first) override;
    void Revert(TTintwellDocument& doc) override;

  private:
    uint32_t* SavedAt(int x, int y) {
        return saved_.data() + static_cast<size_t>(y - room_.top()) * static_cast<size_t>(room_.width()) +
               (x - room_.left());
    }
    uint32_t SavedAt(int x, int y) const {
        return saved_[static_cast<size_t>(y - room_.top()) * static_cast<size_t>(room_.width()) +
                      (x - room_.left())];
    }
    void Exchange(TTintwellDocument& doc);

    TStrokeKind kind_;
    uint64_t serial_;
    TImagePart* part_;
    TTintwellSettings settings_; // the first dab's, for painting it
    QRect square_;               // the first dab's square
    QRect touched_;              // every saved pixel lies here
    QRect room_;                 // the buffer's extent, touched_ and some slack
    std::vector<uint32_t> saved_;
    // The part's growth before (while done) or after (while undone): a stroke
    // changes the shape the growth made.
    std::optional<TPartGrowth> growth_;
    // The part's settings after (while undone) or before (while done) the stroke, when it changes them.
    std::optional<TTintwellSettings> partSettings_;
};
