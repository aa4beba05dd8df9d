#pragma once
// Every question the main window asks and every file it asks for, in one
// place: the desktop's message boxes and file dialogs (TDialogPrompts), or
// answers a test gives.

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

class QWidget;

// The save dialog's answer: the file name (empty when the user cancels) and the
// file type filter chosen in it, as the dialog lists it ("PNG Image File
// (*.png)"; empty when none was chosen).
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

class TUserPrompts {
  public:
    virtual ~TUserPrompts() = default;

    // A plain message with OK.
    virtual void ShowMessage(const QString& text) = 0;
    // "Sure you want to quit?"; true for OK.
    virtual bool ConfirmQuit() = 0;
    // The question asked while there are unsaved changes: Save, Discard or Cancel.
    virtual TSaveAnswer AskSaveChanges(const QString& question) = 0;
    // "<name> exists already, replace?"; true for OK.
    virtual bool ConfirmReplace(const QString& fileName) = 0;
    // A save would replace a larger picture: the question says both sizes and
    // what the command writes; offerFullSize adds "Save Full-Size Instead".
    virtual TReplaceAnswer ConfirmReplaceSmaller(const QString& question, bool offerFullSize) = 0;
    // A project's picture has changed since the project was saved: open it all the same?
    virtual bool ConfirmChangedPicture(const QString& picture, const QString& details) = 0;
    // Several files to be written exist already (names); true to replace them all.
    virtual bool ConfirmReplaceFiles(const QStringList& names) = 0;
    // The question of the size to save colour variants at: true for the
    // picture's own size, false for the working size, nullopt to cancel.
    virtual std::optional<bool> AskVariantsFullSize(const QString& question) = 0;

    // The file dialogs: the chosen file's full path, empty when the user
    // cancels. folder: where the dialog starts.
    virtual QString ChooseOpenPicture(const QString& folder) = 0;
    // Starts with the suggested file (its type preselected) when there is one.
    virtual TSaveChoice ChooseSavePicture(const QString& caption, const QString& folder,
                                          const QString& suggestion) = 0;
    // A .bmp or .png part file to load.
    virtual QString ChoosePartFile(const QString& folder) = 0;
    // save true: "Save Project", starting with the suggested file when there is one.
    virtual QString ChooseProjectFile(bool save, const QString& folder, const QString& suggestion) = 0;
    // A project's picture is not where the project says: where is it now?
    virtual QString ChooseMovedPicture(const QString& missing, const QString& folder) = 0;
};

// The desktop's own message boxes and file dialogs, modal to the window.
// shareHelp lets a dialog answer F1 with its help page.
class TDialogPrompts : public TUserPrompts {
    Q_DECLARE_TR_FUNCTIONS(TDialogPrompts)

  public:
    using THelpSharing = std::function<void(QWidget* dialog, const QString& keyword)>;
    TDialogPrompts(QWidget* window, THelpSharing shareHelp);

    void ShowMessage(const QString& text) override;
    bool ConfirmQuit() override;
    TSaveAnswer AskSaveChanges(const QString& question) override;
    bool ConfirmReplace(const QString& fileName) override;
    TReplaceAnswer ConfirmReplaceSmaller(const QString& question, bool offerFullSize) override;
    bool ConfirmChangedPicture(const QString& picture, const QString& details) override;
    bool ConfirmReplaceFiles(const QStringList& names) override;
    std::optional<bool> AskVariantsFullSize(const QString& question) override;
    QString ChooseOpenPicture(const QString& folder) override;
    TSaveChoice ChooseSavePicture(const QString& caption, const QString& folder,
                                  const QString& suggestion) override;
    QString ChoosePartFile(const QString& folder) override;
    QString ChooseProjectFile(bool save, const QString& folder, const QString& suggestion) override;
    QString ChooseMovedPicture(const QString& missing, const QString& folder) override;

    // The file types the save dialog with this caption lists, the one it
    // preselects first: parts offer PNG first, as they load back from it.
    static QStringList SaveFilters(const QString& caption);
    // ".png" for "PNG Image File (*.png)"; empty for anything else.
    static QString FilterExtension(const QString& filter);
    // ".jpg, .jpeg, ... or .wmf": the extensions a picture can be saved under, but for except.
    static QString WritableExtensions(const QString& except = {});
    static QString PartSaveCaption();

  private:
    QWidget* window_;
    THelpSharing shareHelp_;
};
