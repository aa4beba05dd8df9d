// The main window's picture files: opening a picture as the new document,
// saving the result picture and single image parts, and pictures dropped on
// the window.

#include "app/Form_Main.h"

#include "platform/ErrorReport.h"

#include "colour/ThreadSafeBitmap.h"
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
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
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
    pictureFolder_ = StartFolder();
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
        options_.ChooseSavePicture = [this](const QString& caption) {
            QFileDialog dialog(this, caption, pictureFolder_);
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            const QStringList filters = SaveFilters(caption);
            dialog.setNameFilters(filters);
            // A name typed without extension gets the preselected type unless the
            // user picks another: a bitmap, or PNG for a part; either loads back
            // as a part.
            dialog.selectNameFilter(caption == kPartSaveCaption ? filters.first() : kBitmapFilter);
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

    OnOpenPicture = [this] {
        if (!MaySkipUnsavedChanges(QStringLiteral("opening another picture"))) return;
        const QString file = options_.ChooseOpenPicture();
        if (!file.isEmpty()) OpenPicture1Accept(file);
    };
    OnSavePicture = [this] {
        const TSaveChoice choice = options_.ChooseSavePicture(QStringLiteral("Save Picture"));
        if (!choice.FileName.isEmpty()) SaveCompletePictureAccept(choice.FileName, choice.Filter);
    };
    OnSaveImagePart = [this] {
        if (!HasCurrentCell()) return;
        const TSaveChoice choice = options_.ChooseSavePicture(kPartSaveCaption);
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
    pictureFolder_ = info.absolutePath();
    ShowNewPictureWhole();
}

tw::Bitmap TFormMain::ComposeResultPicture() {
    return Document.ComposeResult();
}

bool TFormMain::SaveCompletePictureAccept(const QString& fileName, const QString& filter) {
    const tw::Bitmap result = ComposeResultPicture();
    if (!SavePictureByExtension(result, fileName, filter)) return false;
    Document.MarkSaved();
    return true;
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
    SavePictureByExtension(copy, fileName, filter);
}

QStringList TFormMain::SaveFilters(const QString& caption) {
    QStringList filters = kSaveFilters;
    // A part saved as JPEG could not be loaded back.
    if (caption == kPartSaveCaption) filters.move(filters.indexOf(kPngFilter), 0);
    return filters;
}

bool TFormMain::SavePictureByExtension(const tw::Bitmap& bitmap, const QString& fileName,
                                       const QString& filter) {
    const QString target = SaveTarget(fileName, filter);
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

QString TFormMain::SaveTarget(const QString& fileName, const QString& filter, bool fullSize) {
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
    if (fullSize && !FitsFullSizeFormat(target)) return {};
    if (QFileInfo::exists(target) && !options_.ConfirmReplace(target)) return {};
    return target;
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
