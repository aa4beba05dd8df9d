#pragma once
// The main window: it owns the open document (TTintwellDocument: the picture,
// the image parts, the selection and the current settings, every edit an undo
// step) and shows it: the composite the view shows, the parts as rows of the
// parts grid that follow every edit, undo and redo. It keeps zoom, painting
// mode and brush size, maps the mouse to the picture and turns commands into
// document edits.
//
// The dialogs and the picture files are reached through seams (the On...
// members below): until they are assigned, those commands do nothing visible.

#include "document/TintwellDocument.h"
#include "grid/nvGrid.h"
#include "grid/nvOffscreenPaint.h"
#include "platform/Bitmap.h"
#include "recolour/ImagePart.h"
#include "recolour/TintwellSettings.h"

#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QActionGroup;
class QCloseEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QLabel;
class QMenu;
class QMenuBar;
class QWheelEvent;
class QScrollArea;
class QSplitter;
class QToolBar;
class TAppSettings;
namespace tw {
struct ScrollBoxState;
}

namespace tw {
class TAbout;
class THelpModule;
} // namespace tw

// The save dialog's answer: the file name (empty when the user cancels) and the
// file type filter chosen in it, as the dialog lists it ("PNG Image File
// (*.png)"; empty when none was chosen). A name alone converts, for answers
// without a filter.
struct TSaveChoice {
    TSaveChoice(QString fileName = {}, QString filter = {})
        : FileName(std::move(fileName)), Filter(std::move(filter)) {}
    QString FileName;
    QString Filter;
};

// The answer to "Save the parts of NAME as a project before ...?".
enum class TSaveAnswer { Save, Discard, Cancel };
// The answer to "NAME is W × H; Save Picture writes w × h. Replace it with the
// smaller picture?".
enum class TReplaceAnswer { Replace, SaveFullSize, Cancel };

// What the window is started with.
struct TFormMainOptions {
    QStringList Arguments; // command-line arguments, without the program's name
    tw::THelpModule* Help = nullptr;
    // Where the window keeps what it remembers between runs; empty: the
    // user's settings file. Tests give one of their own.
    QString SettingsFile;
    // Plain message box; tests replace it.
    std::function<void(const QString&)> ShowMessage;
    // The Exit question; true for OK. Tests replace it.
    std::function<bool()> ConfirmQuit;
    // The question asked while there are unsaved changes ("Save the parts of
    // NAME as a project before quitting?"), Save / Discard / Cancel. Tests
    // replace it.
    std::function<TSaveAnswer(const QString& question)> ConfirmSaveChanges;
    // The picture file dialogs: the chosen file's full path, empty when the
    // user cancels; the save dialog starts with the suggested file (its type
    // preselected) and tells the filter chosen. Tests replace them.
    std::function<QString()> ChooseOpenPicture;
    std::function<TSaveChoice(const QString& caption, const QString& suggestion)> ChooseSavePicture;
    // "<name> exists already, replace?"; true for OK. Tests replace it.
    std::function<bool(const QString& fileName)> ConfirmReplace;
    // A save would replace a larger picture: the question says both sizes and
    // what the command writes; offerFullSize adds "Save Full-Size Instead".
    // Tests replace it.
    std::function<TReplaceAnswer(const QString& question, bool offerFullSize)> ConfirmReplaceSmaller;
    // The project file dialogs (save true: "Save Project"); empty when cancelled.
    std::function<QString(bool save)> ChooseProjectFile;
    // A project's picture is not where the project says: where is it now? Empty when cancelled.
    std::function<QString(const QString& missing)> ChooseMovedPicture;
    // A project's picture has changed since the project was saved: open it all the same?
    std::function<bool(const QString& picture)> ConfirmChangedPicture;
};

class TFormMain : public QMainWindow {
    Q_OBJECT

  public:
    explicit TFormMain(TFormMainOptions options = {}, QWidget* parent = nullptr);
    ~TFormMain() override;

    // What the window remembers between runs.
    TAppSettings& Settings() { return *settings_; }

    // --- The document ---
    TTintwellDocument Document;
    const tw::Bitmap& PictureBitmap; // the document's picture
    tw::Bitmap ViewBitmap;
    TnvOffscreenPaint* ImageView = nullptr;
    QPoint CursorViewPos{0, 0};
    QPoint CursorPicturePos{0, 0};
    const TTintwellSettings& CurrentSettings; // the document's current settings
    uint8_t ZoomIndex = 4;
    tw::ColorValue ColorAtCursor = 0;

    // --- Controls ---
    QScrollArea* ScrollBox2 = nullptr;
    QLabel* LabelFilename = nullptr;
    QLabel* LabelColorAtCurs = nullptr;
    QLabel* LabelColorAtCursHSV = nullptr;
    QLabel* Label1 = nullptr; // "Online help"
    QLabel* Label2 = nullptr; // "New version check"
    QLabel* LabelSelectHint = nullptr;
    // The status bar's fields: zoom, picture size, parts shown.
    QLabel* LabelZoom = nullptr;
    QLabel* LabelPictureSize = nullptr;
    QLabel* LabelPartsShown = nullptr;
    QSplitter* Splitter1 = nullptr;
    TnvGrid* nvGridImageParts = nullptr;
    QToolBar* ToolBarTools = nullptr;
    QMenu* PopupMenuParts = nullptr;
    tw::TAbout* About = nullptr;

    // --- Commands ---
    QAction* ActionFillMode = nullptr;
    QAction* ActionBrushMode = nullptr;
    QAction* ActionEraseMode = nullptr;
    QAction* ActionChangeColor = nullptr;
    QAction* ActionDeleteImagePart = nullptr;
    QAction* ActionJoinSelectedImageParts = nullptr;
    QAction* ActionLoadimagepartfromfile = nullptr;
    QAction* ActionAddImagePart = nullptr;
    QAction* ActionBrushSmall = nullptr;
    QAction* ActionBrushMedium = nullptr;
    QAction* ActionBrushLarge = nullptr;
    QAction* ActionOrgImageInBack = nullptr;
    QAction* ActionZoomPlus = nullptr;
    QAction* ActionZoomMinus = nullptr;
    QAction* ActionZoomFit = nullptr;      // the whole picture in view
    QAction* ActionZoom100 = nullptr;      // one picture pixel per screen pixel
    QAction* ActionShowAllParts = nullptr; // every part in the view, selected or not
    QAction* ActionBrushSmaller = nullptr; // the brush size one step down
    QAction* ActionBrushLarger = nullptr;  // and up
    QAction* ActionExit = nullptr;
    QAction* ActionHelp = nullptr;
    QAction* ActionAbout = nullptr;
    QAction* OpenPicture1 = nullptr;
    QAction* SaveCompletePicture = nullptr;
    QAction* SaveImagePart = nullptr;
    QAction* SaveFullSizePicture = nullptr; // "Save Full-Size Picture..."
    QAction* EditCut1 = nullptr;
    QAction* EditCopy1 = nullptr;
    QAction* EditPaste1 = nullptr;
    QAction* EditDelete1 = nullptr;
    QAction* ActionUndo = nullptr; // "Undo <name>"
    QAction* ActionRedo = nullptr; // "Redo <name>"
    QActionGroup* ModeGroup = nullptr;
    QActionGroup* BrushSizeGroup = nullptr;

    // --- Seams for the dialogs and the picture files ---
    // Fill click: the picture, the seed (left = right = px, top = bottom = py),
    // the click in view pixels and a copy of CurrentSettings. The dialog adds
    // its mask through AddImagePart.
    std::function<void(const tw::Bitmap& picture, const QRect& seed, QPoint viewPos,
                       TTintwellSettings settings)>
        OnShowMaskDialog;
    // "Change color...": shows the colour settings dialog for the part (null:
    // none selected) starting from settings; returns true on OK with the
    // dialog's result in settings.
    std::function<bool(TImagePart* part, TTintwellSettings& settings)> OnShowColorSettings;
    // The file commands ("&Open Picture...", "&Save Picture...", "&Save Image
    // part..."): each shows its file dialog and, when the user confirms, does
    // the work.
    std::function<void()> OnOpenPicture;
    std::function<void()> OnSavePicture;
    std::function<void()> OnSaveImagePart;
    std::function<void()> OnSaveFullSizePicture;

    // --- Picture files ---
    // Opens the picture file as the new document: the picture at the working
    // size and one blank part. A file that cannot be read throws before
    // anything changes.
    void OpenPicture1Accept(const QString& fileName);
    // Writes the result picture: the picture with every part drawn over it.
    // filter: the save dialog's file type filter, see SavePictureByExtension.
    // Returns true when the picture was written; the document is then saved.
    bool SaveCompletePictureAccept(const QString& fileName, const QString& filter = {});
    // Starts writing the result at the picture's own size on a worker thread,
    // with the same questions as SaveCompletePictureAccept; a progress dialog
    // with Cancel shows when it takes longer than half a second, and a
    // cancelled save writes nothing. Returns false when nothing is to be
    // written: the user kept the old file, or the name cannot be written
    // (an icon larger than 256 pixels among them: the user is told).
    bool SaveFullSizePictureAccept(const QString& fileName, const QString& filter = {});
    bool FullSizeSaveRunning() const;
    void CancelFullSizeSave();
    // The worker's outcome, back on the GUI thread.
    void FinishFullSizeSave(class TFullSizeSave* save, std::exception_ptr failure, bool written,
                            const QString& target, const TTintwellDocument::TStateKey& state);
    // Writes the current row's part bitmap.
    void SaveImagePartAccept(const QString& fileName, const QString& filter = {});
    // Writes the bitmap in the format the extension names, asking before it
    // replaces a file. A name without extension gets the extension of the
    // filter chosen in the save dialog ("PNG Image File (*.png)"), or ".bmp"
    // when no filter names one. Returns false when nothing was written: the
    // user kept the old file, or the extension names no format we write (the
    // user is told which extensions can be written).
    bool SavePictureByExtension(const tw::Bitmap& bitmap, const QString& fileName, const QString& filter = {},
                                bool part = false);
    // The result picture as it would be saved.
    tw::Bitmap ComposeResultPicture();
    // The name the save dialog with this caption suggests: the opened
    // picture's name with "-recoloured" (or "-part<N>" for a part), in its
    // folder and format ("Save Image part" keeps PNG).
    QString SuggestedSaveName(const QString& caption) const;
    // File > Open Recent: the pictures and projects opened last. A file that
    // is gone is taken off the list, and the user told.
    QMenu* RecentMenu = nullptr;
    QAction* ClearRecentFilesAction = nullptr;
    void OpenRecentFile(const QString& path);
    // Project files: the picture's name, its parts and settings. Opening asks
    // for a moved picture and before opening a changed one, and changes
    // nothing unless everything could be read. Saving returns true when the
    // project was written; the document is then saved.
    QAction* OpenProjectAction = nullptr;
    QAction* SaveProjectAction = nullptr;
    void OpenProjectAccept(const QString& fileName);
    bool SaveProjectAccept(const QString& fileName);
    // Whether a drag carries exactly one local picture file we can open; its path.
    static QString DroppablePicture(const QMimeData* data);

    // Lets one of our modal windows answer F1 with its help page (keyword; its
    // controls' own keywords still come first) and makes it modal to this
    // window only, so that a help window opened before it stays usable.
    void ShareHelpWith(QWidget* window, const QString& keyword = {});

    // True when "/close" asked this instance to end.
    bool CloseRequested() const { return closeRequested_; }
    static bool IsCloseSwitch(const QStringList& arguments);
    // The picture the command line names: the first argument that is no
    // switch ("/close", "/debug", "-debug"); empty when there is none.
    static QString PictureArgument(const QStringList& arguments);
    // Opens that picture; one that cannot be read is reported as any failed
    // open is, and the start picture stays.
    void OpenArgumentPicture();
    // Where the next file dialog starts: the folder of the last picture or
    // part opened or saved in this run.
    const QString& PictureFolder() const { return pictureFolder_; }
    // The file types the save dialog with this caption lists, the one it
    // preselects first: parts offer PNG first, as they load back from it.
    static QStringList SaveFilters(const QString& caption);

    void FormCreate();
    void InitDocument();
    // Enables (execute false) or runs (execute true) one command.
    void DispatchAction(QAction* action, bool execute, bool& handled);
    // The idle-time pass over every command.
    void UpdateActions();

    void RedrawLater();
    // "work.tintwell* - Tintwell", or "photo.jpg* (no project) - Tintwell": the
    // project's name, or the picture's without one; "*" while there are changes
    // no project holds; "exported" once a picture of this state is written.
    void UpdateTitle();
    // With unsaved changes, asks whether to save the parts as a project before
    // what (e.g. "opening another picture") and saves on request (the start
    // picture, which no project can hold: the result picture). True to go on:
    // no changes, Discard, or Save that wrote the project.
    bool MaySkipUnsavedChanges(const QString& what);

    // --- Image view ---
    void ResizeView();
    void RebuildViewBitmap();
    void PaintView(TnvOffscreenPaint& sender);
    // Sets the two colour labels from ColorAtCursor, or to "Color at cursor"
    // while the last paint found no picture pixel under the cursor.
    void ShowColorAtCursor();
    void DrawCursorMarks(TPaintCanvas& canvas, QPoint point, double scale);
    int BrushRadius() const;
    void TrackViewMouse(TShiftState shift, int X, int Y);
    void ImageViewMouseMove(TnvOffscreenPaint& sender, TShiftState shift, int X, int Y);
    void ImageViewMouseDown(TnvOffscreenPaint& sender, TMouseButton button, TShiftState shift, int X, int Y);
    void ImageViewMouseUp(TnvOffscreenPaint& sender, TMouseButton button, TShiftState shift, int X, int Y);
    void ImageViewClick(TnvOffscreenPaint& sender);
    // Scale of the view (ZoomFactor of ZoomIndex).
    double ZoomFactor() const;
    // Zooms to the step (clamped to the table) so that the picture point at
    // anchor (viewport coordinates) stays where it is, as far as scrolling can.
    void ZoomTo(int index, QPoint anchor);
    // The largest step at which the whole picture fits the view.
    uint8_t FitZoomIndex() const;
    // Sizes the view for a picture just opened: whole, from its top-left
    // corner, and not enlarged beyond 100 %.
    void ShowNewPictureWhole();
    // The centre of the part of the picture the view shows, in viewport coordinates.
    QPoint ViewCentre() const;
    // The status bar's texts follow zoom, picture and parts.
    void UpdateStatus();
    QString PictureSizeText() const;

    // --- Image parts ---
    void AddImagePart(const tw::Bitmap& bitmap, QPoint anchor,
                      const std::optional<TPartGrowth>& growth = std::nullopt);
    void AddBlankImagePart();
    void ClearImageParts();
    TImagePart* ImagePartAt(int row);
    TImagePart* FirstSelectedImagePart();
    bool RowSelected(int row);
    int SelectedRowCount();
    void DeleteSelectedImageParts();
    void JoinSelectedImageParts();
    void LoadImagePartFromFile();
    // Adds the picture file as a part; throws a PictureError for anything but
    // a readable .bmp or .png.
    void LoadImagePartFrom(const QString& path);
    void ApplyColorSettings();
    void nvGridImagePartsUserRenderCell(TVokGridView_Custom& grid, TPaintCanvas& canvas, TVokCell& cell,
                                        const TRect& rect, bool& defaultDraw);
    bool nvGridImagePartsEditorCanModify(TVokGridView_Custom& grid, TVokCell* cell);
    void nvGridImagePartsCellSelectionChanged(TVokGridView_Custom& grid, TVokCell* cell);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    QAction* MakeAction(const QString& caption, const QString& hint, const QString& icon,
                        const QKeySequence& shortcut = {}, bool checkable = false);
    void CreateActions();
    void CreateLayout();
    void CreateGrid();
    // The view commands and keys, their menus, tool button and status fields.
    void CreateViewCommands();
    void CreateViewMenus(QMenuBar* bar);
    bool DispatchViewAction(QAction* action, bool execute);
    // Ctrl+wheel over the view zooms around the cursor.
    bool ViewWheel(QWidget* watched, QWheelEvent* event);
    void ActionTriggered(QAction* action);
    bool HasCurrentCell();
    void ShowHelp();
    // What zoomed painting needs to know of ScrollBox2.
    tw::ScrollBoxState ViewBoxState() const;
    void SetChecked(QAction* on);
    void ConnectPictureFiles();
    void ConnectFullSizeSave();
    // The filter's extension added to a name without one.
    static QString WithExtension(const QString& fileName, const QString& filter);
    // What the file a save dialog names is to be: the target, after the
    // replace questions; empty when nothing is to be written, the user told
    // why. A larger picture is replaced only after its own question, which for
    // Save Picture offers the full-size save instead (fullSizeInstead).
    enum class TSaveKind { Picture, FullSize, Part };
    QString SaveTarget(const QString& fileName, const QString& filter, TSaveKind kind,
                       bool* fullSizeInstead = nullptr);
    // Starts the full-size save to target, whose questions are answered.
    void StartFullSizeSave(const QString& target);
    // Saves the project to its own file, or asks for one the first time.
    bool SaveProjectAsked();
    void CreateRecentMenu(QMenu* file);
    void RebuildRecentMenu();
    // A file opened or saved: first on the recent list; its folder where the dialogs start.
    void RememberFile(const QString& path, bool project);
    void SaveWindowState();
    // Whether a full-size result can go to target; false with the user told
    // when an icon could not hold it.
    bool FitsFullSizeFormat(const QString& target);
    void ConnectProjectFiles();
    // The parts grid follows the document.
    void ConnectDocument();
    void InsertPartRow(int index, TImagePart* part);
    void RemovePartRow(TImagePart* part);
    void ShowDocumentSelection();
    // The grid's selection and focused row become the document's.
    void TakeGridSelection();
    int RowOf(const TImagePart* part);
    void ShowChanged(const QRect& rect);

    TFormMainOptions options_;
    std::unique_ptr<TAppSettings> settings_;
    std::vector<QAction*> actions_;
    class TFullSizeSave* fullSizeSave_ = nullptr; // a child; the running full-size save
    QString pictureFolder_;                       // where the file dialogs start: the last picture's folder
    QString projectFolder_;                       // where the project dialogs start
    bool closeRequested_ = false;
    bool updating_ = false;
    // The grid is being set from the document: its selection events are ours.
    bool showingSelection_ = false;
    // A dab shows itself in the view; its Changed needs no recomposing.
    bool dabbing_ = false;
    // Exit has asked its questions; the close that follows asks none.
    bool closeConfirmed_ = false;
    // The checked mode and brush size, for a command that turns out disabled.
    QAction* shownMode_ = nullptr;
    QAction* shownBrushSize_ = nullptr;
    // The mouse is over the view, so CursorViewPos is a real position.
    bool mouseSeen_ = false;
    // The last paint read ColorAtCursor from the picture under the cursor.
    bool colorAtCursorKnown_ = false;
    // Wheel turn not yet used for a zoom step (eighths of a degree).
    int wheelTurn_ = 0;
};
