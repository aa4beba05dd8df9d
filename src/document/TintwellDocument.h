#pragma once
// The open document: the picture at the working size, the ordered image parts,
// which of them are selected and which is current, the current settings and
// the picture's file name. Every change of the picture's parts is one command
// on the document's undo stack; views hear of changes through the signals and
// repaint what they name.
//
// Parts are owned here (or, while removed, by the command that can bring them
// back) and never move in memory, so a view may keep pointers to them across
// undo and redo. Index 0 is the first part, drawn on top of all others.
//
// The batch tool drives a document too, with parts made on demand: each is
// made only while a result is composed and dropped once drawn, with no undo
// history, so memory does not grow with the number of parts.

#include "colour/ColourProfile.h"
#include "colour/HSV.h"
#include "fullsize/FullSizeComposer.h"
#include "platform/Bitmap.h"
#include "platform/PictureFile.h"
#include "platform/PictureMetadata.h"
#include "recolour/ColourVariant.h"
#include "recolour/ImagePart.h"
#include "recolour/TintwellSettings.h"
#include "recolour/WalkerRules.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QUndoStack>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TDocumentEdit;
class TUndoEntry;

enum class TStrokeKind { Brush, Erase };

// What one brush or erase dab did.
struct TDab {
    TStrokeKind Kind = TStrokeKind::Brush;
    TImagePart* Part = nullptr; // the current part it went to; null: none, nothing changed
    QRect Square;               // the dab's square in picture coordinates, unclipped
    QRect Changed;              // the part pixels it may have changed; empty: none
};

// Which parts are selected, which is current and the current settings: what
// undo and redo put back along with the pixels.
struct TSelectionState {
    std::vector<TImagePart*> Selected; // in part order
    TImagePart* Current = nullptr;
    TTintwellSettings Settings;
    bool operator==(const TSelectionState&) const = default;
};

class TTintwellDocument : public QObject {
    Q_OBJECT

  public:
    // How many bytes of saved pixels and parts the history keeps at most.
    static constexpr int64_t kHistoryBytes = int64_t{256} * 1024 * 1024;

    explicit TTintwellDocument(QObject* parent = nullptr);
    ~TTintwellDocument() override;

    // --- Starting over (not undoable: each starts a new history) ---
    // The picture with one blank part (or none), nothing to undo, no unsaved
    // changes. fullPicture: the picture at its own size, when picture is a
    // reduction of it; empty: picture is that too. metadata: what the
    // picture's file carries besides the pixels (its colour profile among it).
    void NewDocument(tw::Bitmap picture, const QString& fileName, bool withBlankPart = true,
                     tw::Bitmap fullPicture = {}, tw::TPictureMetadata metadata = {});
    // Loads the file at its own size and at the working size and starts a new
    // document with them. A file that cannot be read throws a PictureError
    // before anything changes.
    void OpenPicture(const QString& fileName);
    // The picture with the given parts (each the picture's size), in order, all
    // selected, the first current, and the colour variants; nothing to undo,
    // no unsaved changes. fullPicture as for NewDocument.
    void RestoreDocument(tw::Bitmap picture, const QString& fileName,
                         std::vector<std::unique_ptr<TImagePart>> parts, const TTintwellSettings& settings,
                         tw::Bitmap fullPicture = {}, std::vector<TColourVariant> variants = {},
                         tw::TPictureMetadata metadata = {});
    // A picture never held whole at its own size (the batch tool's streamed
    // JPEG results): the document keeps that size and, once makeWorking has made
    // it in StreamFullSizeResult while the first rows are being read, the
    // working picture. It starts without parts and with nothing to undo.
    void NewStreamedDocument(QSize fullSize, std::function<tw::Bitmap()> makeWorking, const QString& fileName,
                             tw::TPictureMetadata metadata = {});

    // --- What the document holds ---
    const tw::Bitmap& Picture() const { return picture_; }
    // The picture at the file's own size (after EXIF orientation); the parts
    // stay at Picture()'s size.
    const tw::Bitmap& FullPicture() const { return fullPicture_; }
    // The picture's own size, also for a streamed document.
    QSize FullSize() const { return fullSize_; }
    const QString& FileName() const { return fileName_; }
    // What the picture's file carries besides the pixels, for the results.
    const tw::TPictureMetadata& Metadata() const { return metadata_; }
    // The picture's colour profile.
    const TColourProfile& Profile() const { return profile_; }
    // Settings as the picture's pixels are recoloured with them: the colours
    // stated in sRGB converted into the picture's values (InPictureColours).
    // Every recolouring of the document goes through this; parts keep their
    // settings as stated.
    TTintwellSettings InPictureColours(const TTintwellSettings& settings) const;
    int PartCount() const { return static_cast<int>(parts_.size()); }
    TImagePart* Part(int index) const;
    int IndexOf(const TImagePart* part) const; // -1 when not in the document
    const TTintwellSettings& CurrentSettings() const { return settings_; }

    // --- Selection, current part and settings (views and tools; not undoable) ---
    bool IsSelected(const TImagePart* part) const;
    std::vector<TImagePart*> SelectedParts() const;
    TImagePart* FirstSelectedPart() const;
    int SelectedCount() const;
    // Each change of the selection makes the first selected part's settings the
    // current ones, as a click on a part in the parts list does.
    void SetSelected(TImagePart* part, bool selected);
    void SetSelection(const std::vector<TImagePart*>& parts);
    TImagePart* CurrentPart() const { return current_; }
    void SetCurrentPart(TImagePart* part);
    void SetCurrentSettings(const TTintwellSettings& settings);
    // The first selected part's settings become the current ones (a press in
    // the view does this before the brush paints).
    void TakeSettingsOfFirstSelected();
    TSelectionState Selection() const;

    // --- Edits: each is one undo step ---
    // "Add this": a part grown by the mask dialog; anchor in picture coordinates.
    // growth: how the walk grew it, when it ran to its end.
    TImagePart* AddGrownPart(const tw::Bitmap& mask, QPoint anchor,
                             const std::optional<TPartGrowth>& growth = std::nullopt);
    // "Add to current part" (remove false) and "Remove from current part": the
    // pixels of mask that are not white join the current part, recoloured with
    // the part's own settings, or leave it. growth: how mask was grown; a grown
    // part keeps it as its next step, else (or without it) the part is kept as
    // its bitmap, as after a brush stroke. False, changing nothing, without a
    // current part or with a mask of another size.
    bool ReshapeCurrentPart(const tw::Bitmap& mask, bool remove,
                            const std::optional<TPartGrowth>& growth = std::nullopt);
    // A white part of the picture's size.
    TImagePart* AddBlankPart();
    // A part read from a .bmp or .png file (any other file is refused with a
    // PictureError), not recoloured. Parts are masks: a lossy file would smear
    // white into near-white.
    TImagePart* LoadPartFromFile(const QString& path);
    // The one rule for part files, shared with the batch tool: the bitmap of a
    // .bmp or .png file; any other file is refused with a PictureError.
    static tw::Bitmap ReadPartFile(const std::string& path);
    // The file-type half of that rule, without reading the file.
    static void CheckPartFileType(const std::string& path);
    static QString PartFileFilter() { return QStringLiteral("Images (*.bmp *.png)"); }
    // Each returns false, changing nothing, when there is nothing to do: no
    // part selected, fewer than two selected, no parts.
    bool DeleteSelectedParts();
    // The selected parts become the first of them: lower numbers lie on top.
    bool JoinSelectedParts();
    bool ClearParts();
    // "Change color...": the settings become the current ones and every selected
    // part is recoloured with them from the picture.
    void ChangeColor(const TTintwellSettings& settings);
    // "Colour Variants...": the list saved in the project. Variants with
    // settings per part follow the parts: a part added gives them its
    // settings, a part removed takes its entry with it.
    const std::vector<TColourVariant>& Variants() const { return variants_; }
    void SetVariants(std::vector<TColourVariant> variants);

    // --- Parts made on demand (the batch tool; no undo step) ---
    // What a part made on demand is once made on the working picture.
    struct TMadePart {
        tw::Bitmap Bitmap; // the picture's size; white is "not in the part"
        TTintwellSettings Settings;
        std::optional<TPartGrowth> Growth;
    };
    using TPartMaker = std::function<TMadePart(const tw::Bitmap& picture)>;
    // A part made only while a result is composed, on the thread that composes
    // it, one at a time, and dropped again once drawn. Parts on demand lie below
    // the document's own parts, the first added on top; views do not show them.
    void AddPartOnDemand(TPartMaker maker);
    // A part grown from seed under rules and recoloured with settings, made on
    // demand (grown in place, so composed on the GUI thread).
    void AddGrownPartOnDemand(QPoint seed, const TWalkerRules& rules, const TTintwellSettings& settings);
    // The same for every step of growth (GrowSteps), seeds as given.
    void AddGrownPartOnDemand(const TPartGrowth& growth, const TTintwellSettings& settings);
    int PartsOnDemandCount() const { return static_cast<int>(partsOnDemand_.size()); }

    // Brush and erase: the dabs between BeginStroke and EndStroke are one undo
    // step. A dab paints the current part with the current settings; its square
    // has 2r x 2r pixels (brush) or 2r - 1 x 2r - 1 (erase) from (x - r, y - r),
    // and is the point's pixel alone when r is 0.
    void BeginStroke();
    TDab Dab(TStrokeKind kind, QPoint at, int radius);
    void EndStroke();

    // --- History ---
    // Read it, label actions from it; the document alone pushes onto it.
    QUndoStack& UndoStack() { return stack_; }
    // Undo and redo through these (or the actions below): they keep the history
    // within its bound afterwards, as a step undone may hold a part again.
    void Undo();
    void Redo();
    // Unsaved work: changes since the document was opened, or last saved as a project.
    bool IsModified() const { return !stack_.isClean(); }
    // The document as it is now has been saved (as a project: only a project keeps the work).
    void MarkSaved() { stack_.setClean(); }
    // The project file that holds the document: the one it was opened from or
    // last saved to; empty while there is none. A new picture has none.
    const QString& ProjectFileName() const { return projectFileName_; }
    void SetProjectFileName(const QString& fileName);
    // Where the history stands: a picture written from this state shows the
    // state as long as the history has not moved on from it.
    struct TStateKey {
        int Index = -1;
        uint64_t History = 0; // counts the times steps were dropped, which makes an index mean another state
        bool operator==(const TStateKey&) const = default;
    };
    TStateKey StateKey() const;
    // A picture of the document in that state has been written ("exported"):
    // the work itself is not saved by it, so the document stays modified.
    void MarkExported(const TStateKey& state);
    bool IsExported() const { return exported_.Index >= 0 && exported_ == StateKey(); }
    // Oldest steps are dropped while the history keeps more bytes than this.
    void SetHistoryLimit(int64_t bytes);
    int64_t HistoryLimit() const { return historyLimit_; }
    int64_t HistoryBytes() const;

    // --- Pixels for views and files ---
    // Whether views show every part or only the selected ones (the default).
    // A way of looking, not an edit: no undo step, no change signal.
    void SetShowAllParts(bool on) { showAllParts_ = on; }
    // Saved results without the photo's Exif, XMP and IPTC (the profile stays).
    void SetStripMetadata(bool on) { stripMetadata_ = on; }
    // How a result of the picture is written: with its metadata and profile.
    tw::TSaveOptions ResultSaveOptions() const;
    bool ShowsAllParts() const { return showAllParts_; }
    // How many parts a view shows.
    int ShownPartCount() const { return showAllParts_ ? PartCount() : SelectedCount(); }
    // The view: the picture (or white) with the shown parts over it, lower
    // numbers on top.
    tw::Bitmap ComposeView(bool showPicture) const;
    // Recomposes one rectangle of a view made by ComposeView.
    void ComposeViewRect(tw::Bitmap& view, const QRect& rect, bool showPicture) const;
    // The quick update of a view after a dab: the brushed square as the part now
    // holds it, or the erased square as the background shows it.
    void ShowDabInView(tw::Bitmap& view, const TDab& dab, bool showPicture) const;
    // The result picture as it is saved: the picture with every part over it,
    // whatever the selection, lower numbers on top.
    tw::Bitmap ComposeResult() const;
    // The result at the full picture's size: every part carried up with a
    // border that follows the object, lower numbers on top. Empty when cancelled.
    // Both programs compose through the document, so that their files agree.
    std::optional<tw::Bitmap> ComposeFullSizeResult(const TFullSizeOptions& options = {}) const;
    // The same result of a streamed document, its rows read through readRows
    // and written through writeRows a band at a time (ComposeFullSizeRows),
    // never the whole picture held. false when cancelled.
    bool StreamFullSizeResult(const TReadRows& readRows, const TWriteRows& writeRows,
                              const TFullSizeOptions& options = {});
    // What ComposeFullSizeResult reads, copied for another thread: the pixels
    // are shared until either side changes them, so this costs little.
    struct TFullSizeSource {
        tw::Bitmap FullPicture, Picture;
        tw::TPictureMetadata Metadata;
        TColourProfile Profile;
        std::vector<tw::Bitmap> Bitmaps;
        std::vector<TTintwellSettings> Settings;
        std::vector<std::optional<TPartGrowth>> Growths;
        std::vector<TPartMaker> PartsOnDemand;
        bool StripMetadata = false;
        // How its results are written, as ResultSaveOptions.
        tw::TSaveOptions SaveOptions() const;
        std::optional<tw::Bitmap> Compose(const TFullSizeOptions& options) const;
        // Every part, the document's own first; one made on demand goes to scratch.
        int PartCount() const { return static_cast<int>(Bitmaps.size() + PartsOnDemand.size()); }
        TFullSizePart PartAt(int index, tw::Bitmap& scratch) const;
        // The same parts recoloured with other settings, one for each of the
        // document's own parts (a colour variant's).
        TFullSizeSource WithSettings(const std::vector<TTintwellSettings>& settings) const;
        // The result at the working size, as ComposeResult draws it.
        tw::Bitmap ComposeWorking() const;
    };
    TFullSizeSource FullSizeSource() const;
    // The tolerances that admit the square of the half width around the seed.
    THSVValues SuggestTolerance(QPoint seed, int halfWidth) const;

  signals:
    // Pixels changed in rect (picture coordinates): the view there, and the
    // thumbnails of the parts named.
    void Changed(const QRect& rect, const QList<TImagePart*>& parts);
    // A part went in at index / came out of index (still alive during the call).
    void PartInserted(int index, TImagePart* part);
    void PartRemoved(int index, TImagePart* part);
    // The selection, the current part or the current settings changed.
    void SelectionChanged();
    // A new picture: everything is to be shown afresh.
    void PictureReplaced();
    void ModifiedChanged(bool modified);
    // The project file, the exported mark or the modified state changed: what a title shows.
    void FileStateChanged();
    // The list of colour variants changed.
    void VariantsChanged();

  private:
    friend class TDocumentEdit;
    friend class TUndoEntry;

    struct TPartEntry {
        std::unique_ptr<TImagePart> Part;
        bool Selected = false;
    };

    TImagePart* AddPart(const QString& name, const tw::Bitmap& bitmap, QPoint anchor,
                        const std::optional<TPartGrowth>& growth = std::nullopt);
    void Push(std::unique_ptr<TDocumentEdit> edit);
    void TrimHistory();
    void RebuildHistory(int dropOldest, int dropNewest);
    TUndoEntry* EntryAt(int index) const;

    // For the commands.
    void InsertPart(int index, std::unique_ptr<TImagePart> part);
    std::unique_ptr<TImagePart> TakePart(int index);
    void SelectOnly(TImagePart* part);
    void RestoreSelection(const TSelectionState& state);
    bool Rebuilding() const { return rebuilding_; }

    tw::Bitmap picture_;
    tw::Bitmap fullPicture_;
    QSize fullSize_;
    tw::TPictureMetadata metadata_;
    TColourProfile profile_;
    std::function<tw::Bitmap()> makeWorking_; // a streamed document's, until it has made picture_
    std::vector<TPartMaker> partsOnDemand_;
    QString fileName_;
    QString projectFileName_;
    TStateKey exported_;
    uint64_t historySerial_ = 0;
    std::vector<TPartEntry> parts_;
    std::vector<TColourVariant> variants_;
    TImagePart* current_ = nullptr;
    TTintwellSettings settings_ = TTintwellSettings::Initial();
    QUndoStack stack_;
    int64_t historyLimit_ = kHistoryBytes;
    uint64_t strokeSerial_ = 1;
    bool rebuilding_ = false;
    bool showAllParts_ = false;
    bool stripMetadata_ = false;
};
