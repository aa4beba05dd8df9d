// The main window's picture files: opening a picture as the new document,
// saving the result picture and single image parts, and pictures dropped on
// the window.

#include "app/Form_Main.h"

#include "platform/ErrorReport.h"

#include "app/AppSettings.h"
#include "colour/ThreadSafeBitmap.h"
#include "document/ProjectFile.h"
#include "platform/PictureFile.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace {

const QString kFilesHelp = QStringLiteral("Opening_and_saving.htm");
const QString kOpenFilter = QStringLiteral("Images (*.bmp *.jpg *.jpeg *.ico *.png)");
const QSize kPreviewSize(200, 150);
constexpr long long kMaxPreviewPixels = 40LL * 1000 * 1000;
const QString kBitmapFilter = QStringLiteral("Bitmaps (*.bmp)");
const QString kPngFilter = QStringLiteral("PNG Image File (*.png)");
const QString kPartSaveCaption = QStringLiteral("Save Image part");
// One filter per extension we write, so that the filter can name the format
// of a name typed without one.
const QStringList kSaveFilters = {QStringLiteral("JPEG Image File (*.jpg)"),
                                  QStringLiteral("JPEG Image File (*.jpeg)"),
                                  kBitmapFilter,
                                  QStringLiteral("Icons (*.ico)"),
                                  kPngFilter,
                                  QStringLiteral("Enhanced Metafiles (*.emf)"),
                                  QStringLiteral("Metafiles (*.wmf)")};

// ".png" for "PNG Image File (*.png)"; empty for anything else.
QString FilterExtension(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\(\\*(\\.[A-Za-z0-9]+)\\)\\s*$"));
    return pattern.match(filter).captured(1).toLower();
}

// ".jpg, .jpeg, ... or .wmf": the extensions a picture can be saved under,
// but for except.
QString WritableExtensions(const QString& except = {}) {
    QStringList extensions;
    for (const QString& filter : kSaveFilters)
        if (FilterExtension(filter) != except) extensions << FilterExtension(filter);
    const QString last = extensions.takeLast();
    return extensions.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

// The wait cursor for the length of a block, restored on every way out.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Where the file dialogs start before any picture was opened or saved.
QString StartFolder() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !pictures.isEmpty() && QDir(pictures).exists() ? pictures : QDir::homePath();
}

// A small picture of the file under the cursor in the open dialog. Decoded
// with our own loader, so it shows what opening would give.
void AddPreview(QFileDialog& dialog) {
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid) return;
    auto* preview = new QLabel(&dialog);
    preview->setFixedSize(kPreviewSize + QSize(8, 8));
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    grid->addWidget(preview, 1, grid->columnCount(), 1, 1);
    // Room for the preview without squeezing the file list.
    dialog.resize(860, 460);
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, [preview](const QString& path) {
        preview->clear();
        const std::string file = path.toStdString();
        const tw::PictureFormat format = tw::LoadFormatFor(file);
        if (!QFileInfo(path).isFile() || format == tw::PictureFormat::Unknown) return;
        // Only JPEG decodes at a fraction of its size: a preview is not worth
        // decoding a huge bitmap in full while the user browses.
        const QSize size = QImageReader(path).size();
        if (format != tw::PictureFormat::Jpeg && size.isValid() &&
            static_cast<long long>(size.width()) * size.height() > kMaxPreviewPixels) {
            preview->setText(QStringLiteral("No preview"));
            return;
        }
        try {
            const tw::Bitmap picture = tw::LoadPicture(file, kPreviewSize);
            preview->setPixmap(QPixmap::fromImage(
                picture.Image().scaled(kPreviewSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        } catch (const std::exception&) {
            preview->setText(QStringLiteral("No preview"));
        }
    });
}

} // namespace

void TFormMain::ConnectPictureFiles() {
    // The folders of last time, while they are still there.
    const QString remembered = settings_->PictureFolder();
    pictureFolder_ = !remembered.isEmpty() && QDir(remembered).exists() ? remembered : StartFolder();
    const QString projects = settings_->ProjectFolder();
    if (!projects.isEmpty() && QDir(projects).exists()) projectFolder_ = projects;
    if (!options_.ChooseOpenPicture)
        options_.ChooseOpenPicture = [this] {
            QFileDialog dialog(this, QStringLiteral("Open Picture"), pictureFolder_, kOpenFilter);
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFile);
            dialog.setOption(QFileDialog::DontUseNativeDialog); // the preview needs our own dialog
            AddPreview(dialog);
            ShareHelpWith(&dialog, kFilesHelp);
            return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
        };
    if (!options_.ChooseSavePicture)
        options_.ChooseSavePicture = [this](const QString& caption, const QString& suggestion) {
            QFileDialog dialog(this, caption, pictureFolder_);
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            const QStringList filters = SaveFilters(caption);
            dialog.setNameFilters(filters);
            // A name typed without extension gets the preselected type unless the
            // user picks another: the suggested name's, else a bitmap, or PNG for
            // a part; either loads back as a part.
            QString preselected = caption == kPartSaveCaption ? filters.first() : kBitmapFilter;
            const QString suggestedExtension =
                QString::fromStdString(tw::ExtensionOf(suggestion.toStdString()));
            for (const QString& filter : filters)
                if (!suggestedExtension.isEmpty() && FilterExtension(filter) == suggestedExtension)
                    preselected = filter;
            dialog.selectNameFilter(preselected);
            if (!suggestion.isEmpty()) {
                dialog.setDirectory(QFileInfo(suggestion).absolutePath());
                dialog.selectFile(suggestion);
            }
            // We ask ourselves before a file is replaced, after the extension is settled.
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
            ShareHelpWith(&dialog, kFilesHelp);
            if (dialog.exec() != QDialog::Accepted) return TSaveChoice();
            return TSaveChoice(dialog.selectedFiles().value(0), dialog.selectedNameFilter());
        };
    if (!options_.ConfirmReplace)
        options_.ConfirmReplace = [this](const QString& fileName) {
            return QMessageBox::warning(this, QStringLiteral("Tintwell"),
                                        fileName + QStringLiteral(" exists already, replace?"),
                                        QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
        };
    if (!options_.ConfirmReplaceSmaller)
        options_.ConfirmReplaceSmaller = [this](const QString& question, bool offerFullSize) {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Tintwell"), question, QMessageBox::NoButton,
                            this);
            QPushButton* replace = box.addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
            QPushButton* full = offerFullSize ? box.addButton(QStringLiteral("Save Full-Size Instead"),
                                                              QMessageBox::AcceptRole)
                                              : nullptr;
            QPushButton* cancel = box.addButton(QMessageBox::Cancel);
            box.setDefaultButton(full ? full : cancel);
            box.exec();
            if (box.clickedButton() == replace) return TReplaceAnswer::Replace;
            if (full && box.clickedButton() == full) return TReplaceAnswer::SaveFullSize;
            return TReplaceAnswer::Cancel;
        };

    OnOpenPicture = [this] {
        if (!MaySkipUnsavedChanges(QStringLiteral("opening another picture"))) return;
        const QString file = options_.ChooseOpenPicture();
        if (!file.isEmpty()) OpenPicture1Accept(file);
    };
    OnSavePicture = [this] {
        const QString caption = QStringLiteral("Save Picture");
        const TSaveChoice choice = options_.ChooseSavePicture(caption, SuggestedSaveName(caption));
        if (!choice.FileName.isEmpty()) SaveCompletePictureAccept(choice.FileName, choice.Filter);
    };
    OnSaveImagePart = [this] {
        if (!HasCurrentCell()) return;
        const TSaveChoice choice =
            options_.ChooseSavePicture(kPartSaveCaption, SuggestedSaveName(kPartSaveCaption));
        if (!choice.FileName.isEmpty()) SaveImagePartAccept(choice.FileName, choice.Filter);
    };
    setAcceptDrops(true);
    ConnectFullSizeSave();
}

void TFormMain::OpenPicture1Accept(const QString& fileName) {
    {
        const WaitCursor wait;
        // A file that fails leaves the document as it was; one that opens
        // starts a new history.
        Document.OpenPicture(fileName);
    }
    const QFileInfo info(fileName);
    LabelFilename->setText(QDir::toNativeSeparators(info.absoluteFilePath()));
    RememberFile(fileName, false);
    ShowNewPictureWhole();
}

tw::Bitmap TFormMain::ComposeResultPicture() {
    return Document.ComposeResult();
}

bool TFormMain::SaveCompletePictureAccept(const QString& fileName, const QString& filter) {
    bool fullSizeInstead = false;
    const QString target = SaveTarget(fileName, filter, TSaveKind::Picture, &fullSizeInstead);
    if (target.isEmpty()) return false;
    if (fullSizeInstead) {
        if (FitsFullSizeFormat(target)) StartFullSizeSave(target);
        return false; // written later, if at all
    }
    const TTintwellDocument::TStateKey state = Document.StateKey();
    {
        const tw::Bitmap result = ComposeResultPicture();
        const WaitCursor wait;
        tw::SavePicture(result, target.toStdString());
    }
    pictureFolder_ = QFileInfo(target).absolutePath();
    // A picture keeps the result, not the work: the parts are still unsaved.
    Document.MarkExported(state);
    return true;
}

QString TFormMain::SuggestedSaveName(const QString& caption) const {
    const QFileInfo picture(Document.FileName());
    const bool part = caption == kPartSaveCaption;
    if (Document.FileName().isEmpty())
        return QDir(pictureFolder_)
            .filePath(part ? QStringLiteral("part.png") : QStringLiteral("recoloured.png"));
    QString extension = QString::fromStdString(tw::ExtensionOf(picture.fileName().toStdString()));
    if (part || tw::SaveFormatFor(extension.toStdString()) == tw::PictureFormat::Unknown)
        extension = QStringLiteral(".png");
    QString suffix = QStringLiteral("-recoloured");
    if (part) {
        const int index = Document.IndexOf(Document.CurrentPart());
        suffix = QStringLiteral("-part%1").arg(index >= 0 ? index + 1 : 1);
    }
    return picture.dir().filePath(picture.completeBaseName() + suffix + extension);
}

void TFormMain::SaveImagePartAccept(const QString& fileName, const QString& filter) {
    TVokCell* current = nvGridImageParts->FocusedCell();
    if (!current || !current->RowItem()) return;
    TImagePart* part = ImagePartAt(current->RowItem()->Index());
    if (!part) return;
    tw::Bitmap copy;
    {
        const TGraphicsLockGuard lock;
        copy.Assign(part->Bitmap);
    }
    SavePictureByExtension(copy, fileName, filter, true);
}

QStringList TFormMain::SaveFilters(const QString& caption) {
    QStringList filters = kSaveFilters;
    // A part saved as JPEG could not be loaded back.
    if (caption == kPartSaveCaption) filters.move(filters.indexOf(kPngFilter), 0);
    return filters;
}

bool TFormMain::SavePictureByExtension(const tw::Bitmap& bitmap, const QString& fileName,
                                       const QString& filter, bool part) {
    const QString target = SaveTarget(fileName, filter, part ? TSaveKind::Part : TSaveKind::Picture);
    if (target.isEmpty()) return false;
    {
        const WaitCursor wait;
        tw::SavePicture(bitmap, target.toStdString());
    }
    pictureFolder_ = QFileInfo(target).absolutePath();
    return true;
}

QString TFormMain::WithExtension(const QString& fileName, const QString& filter) {
    QString target = fileName;
    if (tw::ExtensionOf(target.toStdString()).empty()) {
        // The filter the user chose says the format; a bitmap when none does.
        const QString chosen = FilterExtension(filter);
        target += chosen.isEmpty() ? QStringLiteral(".bmp") : chosen;
    }
    return target;
}

QString TFormMain::SaveTarget(const QString& fileName, const QString& filter, TSaveKind kind,
                              bool* fullSizeInstead) {
    const QString target = WithExtension(fileName, filter);
    const std::string path = target.toStdString();
    // A name we cannot write is refused before the replace question: asking
    // about a file we would then leave alone would only mislead.
    if (tw::SaveFormatFor(path) == tw::PictureFormat::Unknown) {
        options_.ShowMessage(
            QStringLiteral("Cannot save %1: pictures are saved as %2 files. Nothing was written.")
                .arg(QString::fromStdString(tw::DisplayName(path)), WritableExtensions()));
        return {};
    }
    if (kind == TSaveKind::FullSize && !FitsFullSizeFormat(target)) return {};
    const QFileInfo existing(target);
    if (!existing.exists()) return target;
    // Replacing a photo with a smaller picture loses what the file held; say
    // so plainly. A file whose size cannot be read gets the plain question.
    const QSize written =
        kind == TSaveKind::FullSize ? Document.FullPicture().Rect().size() : Document.Picture().Rect().size();
    QSize size;
    if (existing.isFile()) {
        if (existing.absoluteFilePath() == QFileInfo(Document.FileName()).absoluteFilePath())
            size = Document.FullPicture().Rect().size();
        else
            size = QImageReader(target).size();
    }
    if (!size.isValid() || (size.width() <= written.width() && size.height() <= written.height()))
        return options_.ConfirmReplace(target) ? target : QString();
    const QString command = kind == TSaveKind::FullSize ? QStringLiteral("Save Full-Size Picture")
                            : kind == TSaveKind::Part   ? QStringLiteral("Save Image part")
                                                        : QStringLiteral("Save Picture");
    const QString question =
        QStringLiteral("%1 is %2 × %3; %4 writes %5 × %6. Replace it with the smaller picture?")
            .arg(existing.fileName())
            .arg(size.width())
            .arg(size.height())
            .arg(command)
            .arg(written.width())
            .arg(written.height());
    const QSize full = Document.FullPicture().Rect().size();
    const bool offer = kind == TSaveKind::Picture && fullSizeInstead && full != written;
    switch (options_.ConfirmReplaceSmaller(question, offer)) {
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

bool TFormMain::FitsFullSizeFormat(const QString& target) {
    const tw::Bitmap& full = Document.FullPicture();
    if (tw::SaveFormatFor(target.toStdString()) != tw::PictureFormat::Ico ||
        (full.Width() <= 256 && full.Height() <= 256))
        return true;
    options_.ShowMessage(QStringLiteral("Cannot save %1: icons hold at most 256 x 256 pixels and the "
                                        "full-size picture is %2 x %3. Save it as %4 instead. Nothing "
                                        "was written.")
                             .arg(QString::fromStdString(tw::DisplayName(target.toStdString())))
                             .arg(full.Width())
                             .arg(full.Height())
                             .arg(WritableExtensions(QStringLiteral(".ico"))));
    return false;
}

// --- Recent files and what is remembered -------------------------------------

void TFormMain::RememberFile(const QString& path, bool project) {
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

void TFormMain::SaveWindowState() {
    settings_->SetWindowGeometry(saveGeometry());
    settings_->SetPictureFolder(pictureFolder_);
    if (!projectFolder_.isEmpty()) settings_->SetProjectFolder(projectFolder_);
}

void TFormMain::CreateRecentMenu(QMenu* file) {
    RecentMenu = new QMenu(QStringLiteral("Open &Recent"), this);
    RecentMenu->setObjectName(QStringLiteral("recentFiles"));
    ClearRecentFilesAction = new QAction(QStringLiteral("Clear Recent Files"), this);
    ClearRecentFilesAction->setObjectName(QStringLiteral("clearRecentFiles"));
    connect(ClearRecentFilesAction, &QAction::triggered, this, [this] {
        settings_->ClearRecentFiles();
        RebuildRecentMenu();
    });
    // Below the project commands, above the separator before Exit.
    QAction* before = nullptr;
    const QList<QAction*> items = file->actions();
    for (qsizetype i = items.indexOf(SaveProjectAction) + 1; i > 0 && i < items.size(); ++i)
        if (items[i]->isSeparator()) {
            before = items[i];
            break;
        }
    file->insertMenu(before, RecentMenu);
    RebuildRecentMenu();
}

void TFormMain::RebuildRecentMenu() {
    if (!RecentMenu) return;
    RecentMenu->clear();
    const QStringList files = settings_->RecentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        // "&1 cups.jpg" with the folder as its hint: short, yet every entry can be told apart.
        QAction* open = RecentMenu->addAction(QStringLiteral("&%1 %2").arg(
            i < 9 ? QString::number(i + 1) : QStringLiteral("1&0"), QFileInfo(path).fileName()));
        open->setStatusTip(QDir::toNativeSeparators(path));
        open->setToolTip(open->statusTip());
        connect(open, &QAction::triggered, this,
                [this, path] { tw::RunReportingErrors([this, path] { OpenRecentFile(path); }); });
    }
    RecentMenu->addSeparator();
    RecentMenu->addAction(ClearRecentFilesAction);
    RecentMenu->setEnabled(true);
    ClearRecentFilesAction->setEnabled(!files.isEmpty());
}

void TFormMain::OpenRecentFile(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        settings_->RemoveRecentFile(path);
        RebuildRecentMenu();
        options_.ShowMessage(QStringLiteral("%1 cannot be found any more; it is taken off the recent files.")
                                 .arg(QDir::toNativeSeparators(path)));
        return;
    }
    const bool project = path.endsWith(QLatin1String(kProjectExtension), Qt::CaseInsensitive);
    if (!MaySkipUnsavedChanges(project ? QStringLiteral("opening a project")
                                       : QStringLiteral("opening another picture")))
        return;
    if (project)
        OpenProjectAccept(path);
    else
        OpenPicture1Accept(path);
}

// --- Dropped files ------------------------------------------------------------

QString TFormMain::DroppablePicture(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return {};
    const QString path = urls.first().toLocalFile();
    if (tw::LoadFormatFor(path.toStdString()) == tw::PictureFormat::Unknown) return {};
    return path;
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppablePicture(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFormMain::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppablePicture(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFormMain::dropEvent(QDropEvent* event) {
    const QString path = DroppablePicture(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Opened once the drop is over, so that the program the file came from is
    // not kept waiting by the loading or by an error box.
    QTimer::singleShot(0, this, [this, path] {
        tw::RunReportingErrors([this, path] {
            if (MaySkipUnsavedChanges(QStringLiteral("opening another picture"))) OpenPicture1Accept(path);
        });
    });
}
