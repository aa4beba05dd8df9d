// The main window's files: opening pictures and projects, saving the result
// (at the working size, or at the picture's own size in the background),
// single parts and projects, pictures dropped on the window, and the recent
// files.

#include "app/MainWindow.h"

#include "app/AppSettings.h"
#include "app/PictureView.h"
#include "document/ColourVariants.h"
#include "document/ProjectFile.h"
#include "document/ResultSaveJob.h"
#include "masking/PartGrower.h"
#include "platform/ErrorReport.h"
#include "platform/GraphicsLock.h"
#include "platform/PictureFile.h"
#include "platform/WebpCodec.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int kProgressSteps = 1000;
constexpr int kShowProgressAfterMs = 500;

// The wait cursor for the length of a block, restored on every way out.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

bool IsProject(const QString& path) {
    return path.endsWith(QLatin1String(kProjectExtension), Qt::CaseInsensitive);
}

} // namespace

// --- Opening ------------------------------------------------------------------------

void TMainWindow::openPicture() {
    tw::RunReportingErrors([this] {
        if (!MaySkipUnsavedChanges(tr("opening another picture"))) return;
        const QString file = prompts_->ChooseOpenPicture(pictureFolder_);
        if (!file.isEmpty()) OpenPictureFile(file);
    });
}

void TMainWindow::OpenPictureFile(const QString& fileName) {
    {
        const WaitCursor wait;
        // A file that fails leaves the document as it was; one that opens
        // starts a new history.
        document_.OpenPicture(fileName);
    }
    fileNameLabel_->setText(QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath()));
    RememberFile(fileName, false);
    view_->ShowWhole();
}

void TMainWindow::OpenFile(const QString& path) {
    tw::RunReportingErrors([this, path] {
        if (!MaySkipUnsavedChanges(IsProject(path) ? tr("opening a project") : tr("opening another picture")))
            return;
        if (IsProject(path))
            OpenProjectFile(path);
        else
            OpenPictureFile(path);
    });
}

// --- Saving pictures ------------------------------------------------------------------

void TMainWindow::savePicture() {
    tw::RunReportingErrors([this] {
        const QString caption = PictureSaveCaption(tr("Save Picture"));
        const TSaveChoice choice =
            prompts_->ChooseSavePicture(caption, pictureFolder_, SuggestedSaveName(caption));
        if (!choice.FileName.isEmpty()) SaveResult(choice.FileName, choice.Filter);
    });
}

bool TMainWindow::SaveResult(const QString& fileName, const QString& filter) {
    bool fullSizeInstead = false;
    const QString target = SaveTarget(fileName, filter, TSaveKind::Picture, &fullSizeInstead);
    if (target.isEmpty()) return false;
    if (fullSizeInstead) {
        if (FitsFullSizeFormat(target)) StartFullSizeSave(target);
        return false; // written later, if at all
    }
    const TTintwellDocument::TStateKey state = document_.StateKey();
    {
        const tw::Bitmap result = document_.ComposeResult();
        const WaitCursor wait;
        tw::SavePicture(result, target.toStdString(), document_.ResultSaveOptions());
    }
    pictureFolder_ = QFileInfo(target).absolutePath();
    // A picture keeps the result, not the work: the parts are still unsaved.
    document_.MarkExported(state);
    return true;
}

void TMainWindow::savePart() {
    tw::RunReportingErrors([this] {
        if (!document_.CurrentPart()) return;
        const QString caption = TDialogPrompts::PartSaveCaption();
        const TSaveChoice choice =
            prompts_->ChooseSavePicture(caption, pictureFolder_, SuggestedSaveName(caption));
        if (!choice.FileName.isEmpty()) SavePartFile(choice.FileName, choice.Filter);
    });
}

bool TMainWindow::SavePartFile(const QString& fileName, const QString& filter) {
    const TImagePart* part = document_.CurrentPart();
    if (!part) return false;
    tw::Bitmap copy;
    {
        const TGraphicsLockGuard lock;
        copy.Assign(part->Bitmap);
    }
    const QString target = SaveTarget(fileName, filter, TSaveKind::Part);
    if (target.isEmpty()) return false;
    {
        const WaitCursor wait;
        tw::SavePicture(copy, target.toStdString());
    }
    pictureFolder_ = QFileInfo(target).absolutePath();
    return true;
}

void TMainWindow::loadPart() {
    tw::RunReportingErrors([this] {
        const QString path = prompts_->ChoosePartFile(pictureFolder_);
        if (path.isEmpty()) return;
        document_.LoadPartFromFile(path);
        pictureFolder_ = QFileInfo(path).absolutePath();
    });
}

QString TMainWindow::SuggestedSaveName(const QString& caption) const {
    const bool part = caption == TDialogPrompts::PartSaveCaption();
    if (document_.FileName().isEmpty())
        return QDir(pictureFolder_)
            .filePath(part ? QStringLiteral("part.png") : QStringLiteral("recoloured.png"));
    const QFileInfo picture(document_.FileName());
    QString extension = QString::fromStdString(tw::ExtensionOf(picture.fileName().toStdString()));
    // HEIC and AVIF are read only: their results are suggested as JPEG.
    if (!part && tw::LoadFormatFor(extension.toStdString()) == tw::PictureFormat::Heif)
        extension = QStringLiteral(".jpg");
    else if (part || tw::SaveFormatFor(extension.toStdString()) == tw::PictureFormat::Unknown)
        extension = QStringLiteral(".png");
    QString suffix = QStringLiteral("-recoloured");
    if (part) {
        const int index = document_.IndexOf(document_.CurrentPart());
        suffix = QStringLiteral("-part%1").arg(index >= 0 ? index + 1 : 1);
    }
    return picture.dir().filePath(picture.completeBaseName() + suffix + extension);
}

QString TMainWindow::PictureSaveCaption(const QString& command) const {
    if (tw::LoadFormatFor(document_.FileName().toStdString()) != tw::PictureFormat::Heif) return command;
    return tr("%1 (HEIC and AVIF are not written: save as JPEG or another type)").arg(command);
}

QString TMainWindow::WithExtension(const QString& fileName, const QString& filter) {
    QString target = fileName;
    if (tw::ExtensionOf(target.toStdString()).empty()) {
        // The filter the user chose says the format; a bitmap when none does.
        const QString chosen = TDialogPrompts::FilterExtension(filter);
        target += chosen.isEmpty() ? QStringLiteral(".bmp") : chosen;
    }
    return target;
}

QString TMainWindow::SaveTarget(const QString& fileName, const QString& filter, TSaveKind kind,
                                bool* fullSizeInstead) {
    const QString target = WithExtension(fileName, filter);
    const std::string path = target.toStdString();
    // A name we cannot write is refused before the replace question: asking
    // about a file we would then leave alone would only mislead.
    if (tw::SaveFormatFor(path) == tw::PictureFormat::Unknown) {
        prompts_->ShowMessage(
            tr("Cannot save %1: pictures are saved as %2 files. Nothing was written.")
                .arg(QString::fromStdString(tw::DisplayName(path)), TDialogPrompts::WritableExtensions()));
        return {};
    }
    if (kind == TSaveKind::FullSize && !FitsFullSizeFormat(target)) return {};
    const QFileInfo existing(target);
    if (!existing.exists()) return target;
    // Replacing a photo with a smaller picture loses what the file held; say
    // so plainly. A file whose size cannot be read gets the plain question.
    const QSize written = kind == TSaveKind::FullSize ? document_.FullPicture().Rect().size()
                                                      : document_.Picture().Rect().size();
    QSize size;
    if (existing.isFile()) {
        if (existing.absoluteFilePath() == QFileInfo(document_.FileName()).absoluteFilePath())
            size = document_.FullPicture().Rect().size();
        else
            size = QImageReader(target).size();
    }
    if (!size.isValid() || (size.width() <= written.width() && size.height() <= written.height()))
        return prompts_->ConfirmReplace(target) ? target : QString();
    const QString command = kind == TSaveKind::FullSize ? tr("Save Full-Size Picture")
                            : kind == TSaveKind::Part   ? tr("Save Image part")
                                                        : tr("Save Picture");
    const QString question = tr("%1 is %2 × %3; %4 writes %5 × %6. Replace it with the smaller picture?")
                                 .arg(existing.fileName())
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(command)
                                 .arg(written.width())
                                 .arg(written.height());
    const bool offer =
        kind == TSaveKind::Picture && fullSizeInstead && document_.FullPicture().Rect().size() != written;
    switch (prompts_->ConfirmReplaceSmaller(question, offer)) {
    case TReplaceAnswer::Replace:
        return target;
    case TReplaceAnswer::SaveFullSize:
        if (!offer) return {};
        *fullSizeInstead = true;
        return target;
    case TReplaceAnswer::Cancel:
        break;
    }
    return {};
}

bool TMainWindow::FitsFullSizeFormat(const QString& target) {
    const tw::Bitmap& full = document_.FullPicture();
    const tw::PictureFormat format = tw::SaveFormatFor(target.toStdString());
    if (format == tw::PictureFormat::Webp) {
        if (full.Width() <= tw::kMaxWebpSide && full.Height() <= tw::kMaxWebpSide) return true;
        prompts_->ShowMessage(
            tr("Cannot save %1: WebP pictures hold at most %2 pixels on a side and the full-size picture "
               "is %3 x %4. Save it as %5 instead. Nothing was written.")
                .arg(QString::fromStdString(tw::DisplayName(target.toStdString())))
                .arg(tw::kMaxWebpSide)
                .arg(full.Width())
                .arg(full.Height())
                .arg(TDialogPrompts::WritableExtensions(QStringLiteral(".webp"))));
        return false;
    }
    if (format != tw::PictureFormat::Ico || (full.Width() <= 256 && full.Height() <= 256)) return true;
    prompts_->ShowMessage(
        tr("Cannot save %1: icons hold at most 256 x 256 pixels and the full-size picture is %2 x "
           "%3. Save it as %4 instead. Nothing was written.")
            .arg(QString::fromStdString(tw::DisplayName(target.toStdString())))
            .arg(full.Width())
            .arg(full.Height())
            .arg(TDialogPrompts::WritableExtensions(QStringLiteral(".ico"))));
    return false;
}

// --- The full-size save -------------------------------------------------------------

void TMainWindow::saveFullSizePicture() {
    tw::RunReportingErrors([this] {
        if (FullSizeSaveRunning()) return;
        // An icon too small for the picture is refused with the reason, and the
        // dialog comes again for another type.
        const QString caption = PictureSaveCaption(tr("Save Full-Size Picture"));
        for (;;) {
            const TSaveChoice choice =
                prompts_->ChooseSavePicture(caption, pictureFolder_, SuggestedSaveName(caption));
            if (choice.FileName.isEmpty()) return;
            if (!FitsFullSizeFormat(WithExtension(choice.FileName, choice.Filter))) continue;
            SaveFullSize(choice.FileName, choice.Filter);
            return;
        }
    });
}

bool TMainWindow::SaveFullSize(const QString& fileName, const QString& filter) {
    if (FullSizeSaveRunning()) return false;
    const QString target = SaveTarget(fileName, filter, TSaveKind::FullSize);
    if (target.isEmpty()) return false;
    StartFullSizeSave(target);
    return true;
}

void TMainWindow::StartFullSizeSave(const QString& target) {
    if (FullSizeSaveRunning()) return;
    // The picture shows the document as it is now, whatever happens to it meanwhile.
    const TTintwellDocument::TStateKey state = document_.StateKey();
    RunSaveJob(new TResultSaveJob(document_.FullSizeSource(), target.toStdString(), this),
               tr("Saving the full-size picture..."), "fullSizeProgress",
               [this, state, target](bool written) {
                   if (!written) return;
                   pictureFolder_ = QFileInfo(target).absolutePath();
                   // The result of the document as it was when the save began; the parts are still unsaved.
                   document_.MarkExported(state);
               });
}

void TMainWindow::RunSaveJob(TResultSaveJob* job, const QString& label, const char* progressName,
                             std::function<void(bool written)> done) {
    saveJob_ = job;
    auto* progress = new QProgressDialog(label, tr("Cancel"), 0, kProgressSteps, this);
    progress->setObjectName(QLatin1String(progressName));
    progress->setWindowTitle(QStringLiteral("Tintwell"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(kShowProgressAfterMs);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setValue(0);
    connect(progress, &QProgressDialog::canceled, saveJob_, &TResultSaveJob::Cancel);
    auto* poll = new QTimer(progress);
    connect(poll, &QTimer::timeout, progress, [this, progress] {
        progress->setValue(static_cast<int>(saveJob_->Progress() * kProgressSteps));
    });
    poll->start(50);
    connect(saveJob_, &TResultSaveJob::finished, this,
            [this, progress, done = std::move(done)](bool written, std::exception_ptr failure) {
                delete progress;
                saveJob_->deleteLater();
                saveJob_ = nullptr;
                if (failure) {
                    tw::ReportException(failure);
                    return;
                }
                done(written);
            });
    saveJob_->Start();
}

// --- Colour variants ----------------------------------------------------------------

void TMainWindow::saveColourVariants() {
    tw::RunReportingErrors([this] {
        if (FullSizeSaveRunning() || document_.Variants().empty()) return;
        // The name the variants are named after: cups.jpg gives cups-navy.jpg.
        const QString caption = tr("Save Colour Variants");
        QString suggestion = SuggestedSaveName(tr("Save Picture"));
        suggestion.replace(QStringLiteral("-recoloured."), QStringLiteral("."));
        const TSaveChoice choice = prompts_->ChooseSavePicture(caption, pictureFolder_, suggestion);
        if (choice.FileName.isEmpty()) return;
        const QString base = WithExtension(choice.FileName, choice.Filter);
        if (tw::SaveFormatFor(base.toStdString()) == tw::PictureFormat::Unknown) {
            prompts_->ShowMessage(tr("Cannot save %1: pictures are saved as %2 files. Nothing was written.")
                                      .arg(QString::fromStdString(tw::DisplayName(base.toStdString())),
                                           TDialogPrompts::WritableExtensions()));
            return;
        }
        const QSize working = document_.Picture().Rect().size(), full = document_.FullPicture().Rect().size();
        bool fullSize = false;
        if (full != working) {
            const std::optional<bool> answer = prompts_->AskVariantsFullSize(
                tr("Save the %n colour variant(s) at the picture's own size (%1 × %2) or at the working size "
                   "(%3 × %4)?",
                   nullptr, static_cast<int>(document_.Variants().size()))
                    .arg(full.width())
                    .arg(full.height())
                    .arg(working.width())
                    .arg(working.height()));
            if (!answer) return;
            fullSize = *answer;
            if (fullSize && !FitsFullSizeFormat(base)) return;
        }
        QStringList existing;
        for (const TColourVariant& v : document_.Variants())
            if (const QString path = QString::fromStdString(VariantResultPath(base.toStdString(), v.Name));
                QFileInfo::exists(path))
                existing.append(QFileInfo(path).fileName());
        if (const QString sheet = VariantsSheetPath(base); QFileInfo::exists(sheet))
            existing.append(QFileInfo(sheet).fileName());
        if (!existing.isEmpty() && !prompts_->ConfirmReplaceFiles(existing)) return;
        StartVariantsSave(base, fullSize);
    });
}

QString TMainWindow::VariantsSheetPath(const QString& base) {
    const QFileInfo info(base);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-contact-sheet.png"));
}

void TMainWindow::StartVariantsSave(const QString& base, bool fullSize) {
    const TTintwellDocument::TFullSizeSource source = document_.FullSizeSource();
    std::vector<TResultSaveJob::TItem> items;
    for (const TColourVariant& v : document_.Variants()) {
        TResultSaveJob::TItem item{source,           VariantResultPath(base.toStdString(), v.Name),
                                   fullSize,         v.Name,
                                   VariantColour(v), VariantSettings(v, source.Settings)};
        items.push_back(std::move(item));
    }
    const int count = static_cast<int>(items.size());
    RunSaveJob(new TResultSaveJob(std::move(items), VariantsSheetPath(base).toStdString(), this),
               tr("Saving %n colour variant(s)...", nullptr, count), "variantsProgress",
               [this, base, count](bool written) {
                   if (!written) return;
                   pictureFolder_ = QFileInfo(base).absolutePath();
                   statusBar()->showMessage(
                       tr("Saved %n colour variant(s) and their contact sheet %1", nullptr, count)
                           .arg(QFileInfo(VariantsSheetPath(base)).fileName()),
                       8000);
               });
}

void TMainWindow::CancelFullSizeSave() {
    if (saveJob_) saveJob_->Cancel();
}

// --- Projects ---------------------------------------------------------------------

void TMainWindow::openProject() {
    tw::RunReportingErrors([this] {
        if (!MaySkipUnsavedChanges(tr("opening a project"))) return;
        const QString file = prompts_->ChooseProjectFile(
            false, projectFolder_.isEmpty() ? pictureFolder_ : projectFolder_, {});
        if (!file.isEmpty()) OpenProjectFile(file);
    });
}

void TMainWindow::OpenProjectFile(const QString& fileName) {
    const std::string path = fileName.toStdString();
    // Everything is read and checked before the document changes; a project
    // too large to hold is refused before its picture is read.
    const TProject project = ReadProject(path);
    CheckProjectPartsBudget(project);
    std::string picturePath = project.PicturePath(path);
    if (!QFileInfo::exists(QString::fromStdString(picturePath))) {
        const QString moved =
            prompts_->ChooseMovedPicture(QString::fromStdString(picturePath), pictureFolder_);
        if (moved.isEmpty()) return;
        picturePath = moved.toStdString();
    }
    const bool changed = PictureFileHash(picturePath) != project.PictureHash;
    tw::PictureAtBothSizes picture;
    if (changed) {
        // The parts are kept as they were saved; where a part grown from a seed
        // no longer fits the picture, the question says so.
        picture = LoadProjectPicture(project, picturePath);
        QStringList details;
        for (size_t i = 0; i < project.Parts.size(); ++i) {
            const std::optional<TPartGrowth>& growth = project.Parts[i].Growth;
            if (!growth) continue;
            const std::string mismatch = SeedColorMismatch(picture.Working, growth->Seed, *growth);
            if (!mismatch.empty())
                details << tr("Part %1: %2").arg(i + 1).arg(QString::fromStdString(mismatch));
        }
        if (!prompts_->ConfirmChangedPicture(QString::fromStdString(tw::DisplayName(picturePath)),
                                             details.join(QLatin1Char('\n'))))
            return;
    } else {
        picture = LoadProjectPicture(project, picturePath);
    }
    const QString pictureName = QString::fromStdString(picturePath);
    RestoreProject(document_, project, std::move(picture), pictureName);
    document_.SetProjectFileName(QFileInfo(fileName).absoluteFilePath());
    fileNameLabel_->setText(QDir::toNativeSeparators(QFileInfo(pictureName).absoluteFilePath()));
    pictureFolder_ = QFileInfo(pictureName).absolutePath();
    RememberFile(fileName, true);
    view_->ShowWhole();
}

void TMainWindow::saveProject() {
    tw::RunReportingErrors([this] {
        // The project's own file, or one named after the picture beside it.
        QString suggestion = document_.ProjectFileName();
        if (suggestion.isEmpty() && !document_.FileName().isEmpty()) {
            const QFileInfo picture(document_.FileName());
            suggestion =
                picture.dir().filePath(picture.completeBaseName() + QLatin1String(kProjectExtension));
        }
        const QString file = prompts_->ChooseProjectFile(
            true, projectFolder_.isEmpty() ? pictureFolder_ : projectFolder_, suggestion);
        if (!file.isEmpty()) SaveProjectFile(file);
    });
}

bool TMainWindow::SaveProjectFile(const QString& fileName) {
    QString target = fileName;
    if (!target.endsWith(QLatin1String(kProjectExtension))) target += QLatin1String(kProjectExtension);
    if (document_.FileName().isEmpty()) {
        prompts_->ShowMessage(
            tr("A project refers to its picture file: open a picture first. Nothing was written."));
        return false;
    }
    const QString absolute = QFileInfo(target).absoluteFilePath();
    // Saving the project to its own file again asks nothing.
    if (QFileInfo::exists(target) && absolute != document_.ProjectFileName() &&
        !prompts_->ConfirmReplace(target))
        return false;
    SaveProject(ProjectOfDocument(document_, target.toStdString()), target.toStdString());
    document_.MarkSaved();
    document_.SetProjectFileName(absolute);
    RememberFile(target, true);
    return true;
}

bool TMainWindow::SaveProjectAsked() {
    if (!document_.ProjectFileName().isEmpty()) return SaveProjectFile(document_.ProjectFileName());
    const QString file =
        prompts_->ChooseProjectFile(true, projectFolder_.isEmpty() ? pictureFolder_ : projectFolder_, {});
    return !file.isEmpty() && SaveProjectFile(file);
}

// --- Recent files and what is remembered -------------------------------------------

void TMainWindow::RememberFile(const QString& path, bool project) {
    const QString folder = QFileInfo(path).absolutePath();
    if (project) {
        projectFolder_ = folder;
        settings_->SetProjectFolder(folder);
    } else {
        pictureFolder_ = folder;
        settings_->SetPictureFolder(folder);
    }
    settings_->AddRecentFile(path);
    RebuildRecentMenu();
}

void TMainWindow::SaveWindowState() {
    settings_->SetWindowGeometry(saveGeometry());
    settings_->SetPictureFolder(pictureFolder_);
    if (!projectFolder_.isEmpty()) settings_->SetProjectFolder(projectFolder_);
}

void TMainWindow::clearRecentFiles() {
    settings_->ClearRecentFiles();
    RebuildRecentMenu();
}

void TMainWindow::RebuildRecentMenu() {
    if (!recentMenu_) return;
    recentMenu_->clear(); // the entries are the menu's own; "Clear Recent Files" is the window's
    const QStringList files = settings_->RecentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        // "&1 cups.jpg" with the folder as its hint: short, yet every entry can be told apart.
        QAction* open = recentMenu_->addAction(tr("&%1 %2").arg(
            i < 9 ? QString::number(i + 1) : QStringLiteral("1&0"), QFileInfo(path).fileName()));
        open->setStatusTip(QDir::toNativeSeparators(path));
        open->setToolTip(open->statusTip());
        // Opened once the menu is done: opening rebuilds the menu, entry and all.
        connect(open, &QAction::triggered, this,
                [this, path] { QTimer::singleShot(0, this, [this, path] { OpenRecentFile(path); }); });
    }
    recentMenu_->addSeparator();
    recentMenu_->addAction(actions_.ClearRecent);
    actions_.ClearRecent->setEnabled(!files.isEmpty());
}

void TMainWindow::OpenRecentFile(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        settings_->RemoveRecentFile(path);
        RebuildRecentMenu();
        prompts_->ShowMessage(tr("%1 cannot be found any more; it is taken off the recent files.")
                                  .arg(QDir::toNativeSeparators(path)));
        return;
    }
    OpenFile(path);
}

// --- Dropped files ------------------------------------------------------------

QString TMainWindow::DroppablePicture(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return {};
    const QString path = urls.first().toLocalFile();
    if (tw::LoadFormatFor(path.toStdString()) == tw::PictureFormat::Unknown) return {};
    return path;
}

void TMainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppablePicture(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppablePicture(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMainWindow::dropEvent(QDropEvent* event) {
    const QString path = DroppablePicture(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Opened once the drop is over, so that the program the file came from is
    // not kept waiting by the loading or by an error box.
    QTimer::singleShot(0, this, [this, path] { OpenFile(path); });
}
