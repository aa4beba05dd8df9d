#pragma once
// The main window as the tests use it: its questions and file dialogs
// answered by the test (TScriptedPrompts), its actions and controls found by
// object name, the mouse and keys sent as events.

#include "app/MainWindow.h"
#include "app/PictureView.h"
#include "app/PressWhen.h"
#include "app/TintwellApplication.h"
#include "app/UserPrompts.h"
#include "grid/nvGrid.h"
#include "grid/nvOffscreenPaint.h"
#include "platform/DeferredCalls.h"
#include "support/WidgetLookup.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace twtest {

// The pixels a part holds (not white).
inline int PartPixels(const tw::Bitmap& part) {
    int n = 0;
    for (int y = 0; y < part.Height(); ++y)
        for (int x = 0; x < part.Width(); ++x)
            n += part.Pixel(x, y) != tw::kWhite;
    return n;
}

// Collects what the application's error handler would show, while it lives.
struct ShownErrors {
    std::vector<std::string> messages;
    std::function<void(const std::string&)> saved;
    TTintwellApplication* app = static_cast<TTintwellApplication*>(QCoreApplication::instance());
    ShownErrors() {
        saved = app->ShowError;
        app->ShowError = [this](const std::string& m) { messages.push_back(m); };
    }
    ~ShownErrors() { app->ShowError = saved; }
};

// What the questions and file dialogs answer, and what they were asked.
struct TAnswers {
    std::vector<QString> messages;
    bool answerQuit = true;
    int quitQuestions = 0;
    std::vector<QString> saveQuestions;
    TSaveAnswer answerSave = TSaveAnswer::Discard;
    std::vector<QString> replaceQuestions;
    bool answerReplace = true;
    std::vector<QString> smallerQuestions; // "|full size offered" appended when it was
    TReplaceAnswer answerSmaller = TReplaceAnswer::Cancel;
    std::vector<QString> changedQuestions; // "picture|details"
    bool openChanged = true;
    QString openChoice;             // the open dialog's answer; empty: Cancel
    QString saveChoice;             // the save dialogs' answer
    QString saveFilter;             // the file type filter chosen in them
    std::vector<QString> saveQueue; // answers before saveChoice, first first
    std::vector<QString> saveCaptions, saveSuggestions, saveFolders;
    QString partChoice;
    QString projectChoice;
    std::vector<QString> projectSuggestions;
    QString moved; // where a moved picture is now
    std::vector<QString> movedQuestions;
    std::vector<QStringList> replaceFilesQuestions;
    bool answerReplaceFiles = true;
    std::vector<QString> sizeQuestions;
    std::optional<bool> answerFullSize = false;
};

// Every question answered as the test says, and every question recorded.
struct TScriptedPrompts : TUserPrompts {
    explicit TScriptedPrompts(TAnswers& answers) : a(answers) {}
    TAnswers& a;

    void ShowMessage(const QString& text) override { a.messages.push_back(text); }
    bool ConfirmQuit() override {
        ++a.quitQuestions;
        return a.answerQuit;
    }
    TSaveAnswer AskSaveChanges(const QString& question) override {
        a.saveQuestions.push_back(question);
        return a.answerSave;
    }
    bool ConfirmReplace(const QString& fileName) override {
        a.replaceQuestions.push_back(fileName);
        return a.answerReplace;
    }
    TReplaceAnswer ConfirmReplaceSmaller(const QString& question, bool offerFullSize) override {
        a.smallerQuestions.push_back(question + (offerFullSize ? "|full size offered" : ""));
        return a.answerSmaller;
    }
    bool ConfirmChangedPicture(const QString& picture, const QString& details) override {
        a.changedQuestions.push_back(picture + "|" + details);
        return a.openChanged;
    }
    bool ConfirmReplaceFiles(const QStringList& names) override {
        a.replaceFilesQuestions.push_back(names);
        return a.answerReplaceFiles;
    }
    std::optional<bool> AskVariantsFullSize(const QString& question) override {
        a.sizeQuestions.push_back(question);
        return a.answerFullSize;
    }
    QString ChooseOpenPicture(const QString&) override { return a.openChoice; }
    TSaveChoice ChooseSavePicture(const QString& caption, const QString& folder,
                                  const QString& suggestion) override {
        a.saveCaptions.push_back(caption);
        a.saveFolders.push_back(folder);
        a.saveSuggestions.push_back(suggestion);
        if (!a.saveQueue.empty()) {
            const QString next = a.saveQueue.front();
            a.saveQueue.erase(a.saveQueue.begin());
            return TSaveChoice(next, a.saveFilter);
        }
        return TSaveChoice(a.saveChoice, a.saveFilter);
    }
    QString ChoosePartFile(const QString&) override { return a.partChoice; }
    QString ChooseProjectFile(bool, const QString&, const QString& suggestion) override {
        a.projectSuggestions.push_back(suggestion);
        return a.projectChoice;
    }
    QString ChooseMovedPicture(const QString& missing, const QString&) override {
        a.movedQuestions.push_back(missing);
        return a.moved;
    }
};

// A main window with scripted prompts and settings of its own (a file given,
// or a fresh one).
struct TWindow : TAnswers {
    std::unique_ptr<QTemporaryDir> settingsFolder;
    std::unique_ptr<TMainWindow> window;

    explicit TWindow(QStringList arguments = {}, QString settingsFile = {}, tw::THelpModule* help = nullptr) {
        if (settingsFile.isEmpty()) {
            settingsFolder = std::make_unique<QTemporaryDir>();
            settingsFile = settingsFolder->filePath(QStringLiteral("tintwell.conf"));
        }
        TMainWindowSetup setup;
        setup.Arguments = std::move(arguments);
        setup.SettingsFile = settingsFile;
        setup.Help = help;
        setup.Prompts = std::make_unique<TScriptedPrompts>(*this);
        window = std::make_unique<TMainWindow>(std::move(setup));
        Settle();
    }
    ~TWindow() {
        window.reset();
        TDeferredCalls::RunQueue();
    }
    TMainWindow* operator->() { return window.get(); }
    TTintwellDocument& Doc() { return window->Document(); }
    const tw::Bitmap& Picture() { return window->Document().Picture(); }

    // Deferred calls and posted events done, as after the event loop's turn.
    static void Settle() {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
        TDeferredCalls::RunQueue();
    }

    // --- Actions and controls ---
    QAction* Action(const char* name) { return Child<QAction>(window.get(), name); }
    // Triggers the action as a menu click would, if it is enabled.
    void Trigger(const char* name) {
        QAction* action = Action(name);
        if (action) action->trigger();
        Settle();
    }
    bool Enabled(const char* name) { return Enabled(Action(name)); }
    bool Enabled(const QAction* action) { return action && action->isEnabled(); }
    bool Checked(const char* name) { return Action(name) && Action(name)->isChecked(); }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(window.get(), static_cast<Qt::Key>(key), modifiers);
        Settle();
    }
    QString Label(const char* name) {
        QLabel* label = Child<QLabel>(window.get(), name);
        return label ? label->text() : QString();
    }
    QString Status() { return Label("zoom") + " | " + Label("pictureSize") + " | " + Label("partsShown"); }

    // --- The picture view ---
    TPictureView& View() { return *window->findChild<TPictureView*>(); }
    TnvOffscreenPaint& Surface() { return *View().Surface(); }
    const tw::Bitmap& ViewBitmap() { return View().ViewBitmap(); }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, QPointF(at), Surface().mapToGlobal(QPointF(at)), button, buttons, modifiers);
        QApplication::sendEvent(&Surface(), &event);
    }
    // The pointer over the surface (in zoomed picture pixels), left button down or not.
    void MoveTo(QPoint at, bool leftDown = false) {
        Mouse(QEvent::MouseMove, at, Qt::NoButton, leftDown ? Qt::LeftButton : Qt::NoButton);
    }
    void Press(QPoint at) { Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); }
    void Release(QPoint at) {
        Mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        Settle();
    }
    // A click: press and release in one place.
    void Click(QPoint at) {
        Press(at);
        Release(at);
    }
    // A stroke through the points, button down from the first to the last.
    void Stroke(const std::vector<QPoint>& points) {
        Press(points.front());
        for (size_t i = 1; i < points.size(); ++i)
            MoveTo(points[i], true);
        Release(points.back());
    }
    void SetZoom(int step) {
        View().ZoomTo(step, {0, 0});
        Settle();
    }

    // --- The parts list (row 1 is the first part) ---
    TnvGrid& Grid() { return *Child<TnvGrid>(window.get(), "partsList"); }
    TVokCell* Cell(int row) { return Grid().Cells(0, row); }
    bool RowSelected(int row) { return Cell(row) && Cell(row)->Selected(); }
    TImagePart* PartAt(int row) { return Doc().Part(row - 1); }
    // A plain click on a row: it becomes the only selected one and current.
    void Select(int row) {
        Grid().SetFocusedCell(Cell(row));
        Grid().RootCell().SelectCell(Cell(row), 0);
        Settle();
    }
    // Ctrl+click: adds the row to the selection.
    void AddToSelection(int row) {
        Grid().SetFocusedCell(Cell(row));
        Grid().RootCell().SelectCell(Cell(row), ssCtrl);
        Settle();
    }

    // --- Files ---
    void Open(const QString& path) {
        openChoice = path;
        Trigger("openPicture");
    }
    void Open(const std::string& path) { Open(QString::fromStdString(path)); }
    // Save Picture with the dialog answering fileName (and filter).
    void SavePicture(const QString& fileName, const QString& filter = {}) {
        saveChoice = fileName;
        saveFilter = filter;
        Trigger("savePicture");
    }
    void SavePart(const QString& fileName, const QString& filter = {}) {
        saveChoice = fileName;
        saveFilter = filter;
        Trigger("saveImagePart");
    }
    void SaveFullSize(const QString& fileName, const QString& filter = {}) {
        saveChoice = fileName;
        saveFilter = filter;
        Trigger("saveFullSizePicture");
    }
    bool WaitForFullSizeSave() {
        for (int i = 0; i < 600 && window->FullSizeSaveRunning(); ++i)
            QTest::qWait(50);
        return !window->FullSizeSaveRunning();
    }
    void LoadPart(const QString& path) {
        partChoice = path;
        Trigger("loadImagePart");
    }
    void SaveProject(const QString& path) {
        projectChoice = path;
        Trigger("saveProject");
    }
    void OpenProject(const QString& path) {
        projectChoice = path;
        Trigger("openProject");
    }
};

} // namespace twtest
