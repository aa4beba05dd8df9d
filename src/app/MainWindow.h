#pragma once
// The main window: the open document shown in the picture view and the parts
// list, its commands as actions (menus, tool bar, keys), the two dialogs, and
// the picture and project files. It keeps its state to itself: tests find its
// controls and actions by object name and drive it through them.

#include "app/UserPrompts.h"
#include "document/TintwellDocument.h"

#include <QMainWindow>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QCloseEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QMimeData;
class TAppSettings;
class TColourSettingsDialog;
class TColourVariantsDialog;
class TResultSaveJob;
class TGrowPartDialog;
class TPartsList;
class TPictureView;

namespace tw {
class TAboutBox;
class THelpModule;
} // namespace tw

// What the window is started with.
struct TMainWindowSetup {
    QStringList Arguments; // command-line arguments, without the program's name
    tw::THelpModule* Help = nullptr;
    // Where the window keeps what it remembers between runs; empty: the
    // user's settings file. Tests give one of their own.
    QString SettingsFile;
    // The questions and file dialogs; none: the desktop's own.
    std::unique_ptr<TUserPrompts> Prompts;
};

class TMainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit TMainWindow(TMainWindowSetup setup = {}, QWidget* parent = nullptr);
    ~TMainWindow() override;

    // The open document: the picture, its parts, the selection, the history.
    TTintwellDocument& Document() { return document_; }
    // What the window remembers between runs.
    TAppSettings& Settings() { return *settings_; }

    // True when "/close" asked this instance to end before the user works in it.
    bool CloseRequested() const { return closeRequested_; }
    static bool IsCloseSwitch(const QStringList& arguments);
    // The picture the command line names: the first argument that is no
    // switch ("/close", "/debug", "-debug"); empty when there is none.
    static QString PictureArgument(const QStringList& arguments);
    // Whether a drag carries exactly one local picture file we can open; its path.
    static QString DroppablePicture(const QMimeData* data);

    // Opens a picture or project by its path, as the recent-files menu, a
    // drop and the command line do: asks about unsaved changes first; a file
    // that cannot be read is reported and changes nothing.
    void OpenFile(const QString& path);
    // Whether a full-size save is running in the background.
    bool FullSizeSaveRunning() const { return saveJob_ != nullptr; }
    void CancelFullSizeSave();

    // Lets one of our modal windows answer F1 with its help page (keyword; its
    // controls' own keywords still come first) and makes it modal to this
    // window only, so that a help window opened before it stays usable.
    void ShareHelpWith(QWidget* window, const QString& keyword = {});

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private slots:
    // File
    void openPicture();
    void openProject();
    void savePicture();
    void saveFullSizePicture();
    void saveProject();
    void clearRecentFiles();
    void exit();
    // Edit
    void undo();
    void redo();
    void editText();
    // Parts
    void changeColour();
    void editColourVariants();
    void saveColourVariants();
    void addPart();
    void deletePart();
    void joinParts();
    void savePart();
    void loadPart();
    // View and tools
    void chooseTool();
    void chooseBrushSize();
    void smallerBrush();
    void largerBrush();
    void zoomIn();
    void zoomOut();
    void zoomToFit();
    void zoom100();
    void toggleShowAllParts(bool on);
    void toggleKeepMetadata(bool on);
    void toggleOriginalInBackground(bool on);
    void toggleShowOriginal(bool on);
    // Help
    void showHelp();
    void showAbout();

  private:
    // --- Building the window ---
    QAction* MakeAction(const char* name, const QString& caption, const QString& hint, const QString& icon,
                        const QKeySequence& shortcut = {}, bool checkable = false);
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateLayout();
    void CreateStatusBar();
    void CreateDialogs();
    void ConnectDocument();
    // Enabling follows the document, the view and the keyboard focus.
    void UpdateActions();
    void UpdateStatus();
    void UpdateColourLabels();
    // "work.tintwell* - Tintwell", or "photo.jpg* (no project) - Tintwell": the
    // project's name, or the picture's without one; "*" while there are changes
    // no project holds; "exported" once a picture of this state is written.
    void UpdateTitle();
    void StartWithStartPicture();
    void OpenArgumentPicture();
    // Fill: Shift+click opens the mask dialog ready to add to the current
    // part, Ctrl+click ready to take away from it.
    void GrowPartAt(QPoint picturePoint, QPoint surfacePoint, Qt::KeyboardModifiers modifiers = {});

    // --- Questions ---
    // With unsaved changes, asks whether to save the parts as a project before
    // what (e.g. "opening another picture") and saves on request (the start
    // picture, which no project can hold: the result picture). True to go on:
    // no changes, Discard, or Save that wrote the project.
    bool MaySkipUnsavedChanges(const QString& what);

    // --- Picture files ---
    void OpenPictureFile(const QString& fileName);
    // Writes the result at the working size; false when nothing was written.
    bool SaveResult(const QString& fileName, const QString& filter);
    bool SavePartFile(const QString& fileName, const QString& filter);
    // Starts writing the result at the picture's own size in the background
    // after the save's questions; false when nothing is to be written.
    bool SaveFullSize(const QString& fileName, const QString& filter);
    void StartFullSizeSave(const QString& target);
    // Starts writing every colour variant's result (named after base) and
    // their contact sheet in the background.
    void StartVariantsSave(const QString& base, bool fullSize);
    // Where the contact sheet of variants named after base goes: cups-contact-sheet.png.
    static QString VariantsSheetPath(const QString& base);
    // Runs a save job with a progress dialog; done hears how it ended.
    void RunSaveJob(TResultSaveJob* job, const QString& label, const char* progressName,
                    std::function<void(bool written)> done);
    // The name a save dialog with this caption suggests: the opened
    // picture's name with "-recoloured" (or "-part<N>" for a part), in its
    // folder and format ("Save Image part" keeps PNG).
    QString SuggestedSaveName(const QString& caption) const;
    // A picture save dialog's caption: the command, and for a HEIC or AVIF
    // picture the note that such files are read, not written.
    QString PictureSaveCaption(const QString& command) const;
    // What the file a save dialog names is to be: the target, after the
    // replace questions; empty when nothing is to be written, the user told
    // why. A larger picture is replaced only after its own question, which for
    // Save Picture offers the full-size save instead (fullSizeInstead).
    enum class TSaveKind { Picture, FullSize, Part };
    QString SaveTarget(const QString& fileName, const QString& filter, TSaveKind kind,
                       bool* fullSizeInstead = nullptr);
    // The filter's extension added to a name without one.
    static QString WithExtension(const QString& fileName, const QString& filter);
    // Whether a full-size result can go to target; false with the user told
    // when an icon could not hold it.
    bool FitsFullSizeFormat(const QString& target);

    // --- Projects ---
    void OpenProjectFile(const QString& fileName);
    bool SaveProjectFile(const QString& fileName);
    // Saves the project to its own file, or asks for one the first time.
    bool SaveProjectAsked();

    // --- Remembered between runs ---
    void RebuildRecentMenu();
    void OpenRecentFile(const QString& path);
    // A file opened or saved: first on the recent list; its folder where the dialogs start.
    void RememberFile(const QString& path, bool project);
    void SaveWindowState();

    TTintwellDocument document_;
    QStringList arguments_;
    tw::THelpModule* help_ = nullptr;
    std::unique_ptr<TAppSettings> settings_;
    std::unique_ptr<TUserPrompts> prompts_;

    TPictureView* view_ = nullptr;
    TPartsList* partsList_ = nullptr;
    QLabel* fileNameLabel_ = nullptr;
    QLabel* colourLabel_ = nullptr;
    QLabel* hsvLabel_ = nullptr;
    QLabel* helpLink_ = nullptr;
    QLabel* versionLink_ = nullptr;
    QLabel* zoomLabel_ = nullptr;
    QLabel* pictureSizeLabel_ = nullptr;
    QLabel* partsShownLabel_ = nullptr;
    QMenu* partsMenu_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    TGrowPartDialog* growDialog_ = nullptr;
    TColourSettingsDialog* colourDialog_ = nullptr;
    TColourVariantsDialog* variantsDialog_ = nullptr;
    tw::TAboutBox* about_ = nullptr;
    TResultSaveJob* saveJob_ = nullptr; // a child; the running full-size save

    // The actions, each with its own slot.
    struct TActions {
        QAction *Fill, *Brush, *Erase, *ChangeColour, *DeletePart, *JoinParts, *LoadPart, *AddPart;
        QAction *SmallBrush, *MediumBrush, *LargeBrush, *SmallerBrush, *LargerBrush;
        QAction *OriginalInBackground, *ShowAllParts, *ZoomIn, *ZoomOut, *ZoomFit, *Zoom100, *ShowOriginal;
        QAction* KeepMetadata;
        QAction *Exit, *Help, *About, *OpenPicture, *SavePicture, *SaveFullSize, *SavePart;
        QAction *OpenProject, *SaveProject, *ClearRecent, *ColourVariants, *SaveVariants;
        QAction *Cut, *Copy, *Paste, *Delete, *Undo, *Redo;
    } actions_{};
    QActionGroup* tools_ = nullptr;
    QActionGroup* brushSizes_ = nullptr;

    QString pictureFolder_; // where the picture dialogs start
    QString projectFolder_; // where the project dialogs start
    bool closeRequested_ = false;
    // Exit has asked its questions; the close that follows asks none.
    bool closeConfirmed_ = false;
};
