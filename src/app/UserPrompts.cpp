#include "app/UserPrompts.h"

#include "platform/PictureFile.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>

namespace {

const QString kFilesHelp = QStringLiteral("Opening_and_saving.htm");
const QSize kPreviewSize(200, 150);
constexpr long long kMaxPreviewPixels = 40LL * 1000 * 1000;

QString OpenFilter() {
    return TDialogPrompts::tr(
        "Images (*.bmp *.jpg *.jpeg *.ico *.png *.tif *.tiff *.webp *.heic *.heif *.avif)");
}

QString ProjectFilter() {
    return TDialogPrompts::tr("Tintwell projects (*.tintwell)");
}

// One filter per extension we write, so that the filter can name the format
// of a name typed without one. Bitmaps come third: the type of a name typed
// without extension when nothing else is chosen.
QStringList AllSaveFilters() {
    return {TDialogPrompts::tr("JPEG Image File (*.jpg)"),  TDialogPrompts::tr("JPEG Image File (*.jpeg)"),
            TDialogPrompts::tr("Bitmaps (*.bmp)"),          TDialogPrompts::tr("Icons (*.ico)"),
            TDialogPrompts::tr("PNG Image File (*.png)"),   TDialogPrompts::tr("Enhanced Metafiles (*.emf)"),
            TDialogPrompts::tr("Metafiles (*.wmf)"),        TDialogPrompts::tr("TIFF Image File (*.tif)"),
            TDialogPrompts::tr("TIFF Image File (*.tiff)"), TDialogPrompts::tr("WebP Image File (*.webp)")};
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
            preview->setText(TDialogPrompts::tr("No preview"));
            return;
        }
        try {
            const tw::Bitmap picture = tw::LoadPicture(file, kPreviewSize);
            preview->setPixmap(QPixmap::fromImage(
                picture.Image().scaled(kPreviewSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        } catch (const std::exception&) {
            preview->setText(TDialogPrompts::tr("No preview"));
        }
    });
}

} // namespace

TDialogPrompts::TDialogPrompts(QWidget* window, THelpSharing shareHelp)
    : window_(window), shareHelp_(std::move(shareHelp)) {}

QString TDialogPrompts::PartSaveCaption() {
    return tr("Save Image part");
}

QStringList TDialogPrompts::SaveFilters(const QString& caption) {
    QStringList filters = AllSaveFilters();
    // A part saved as JPEG could not be loaded back.
    if (caption == PartSaveCaption()) filters.move(4, 0);
    return filters;
}

QString TDialogPrompts::FilterExtension(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\(\\*(\\.[A-Za-z0-9]+)\\)\\s*$"));
    return pattern.match(filter).captured(1).toLower();
}

QString TDialogPrompts::WritableExtensions(const QString& except) {
    QStringList extensions;
    for (const QString& filter : AllSaveFilters())
        if (FilterExtension(filter) != except) extensions << FilterExtension(filter);
    const QString last = extensions.takeLast();
    return tr("%1 or %2").arg(extensions.join(QStringLiteral(", ")), last);
}

void TDialogPrompts::ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tintwell"), text, QMessageBox::Ok, window_);
    box.exec();
}

bool TDialogPrompts::ConfirmQuit() {
    return QMessageBox::question(window_, QStringLiteral("Tintwell"), tr("Sure you want to quit?"),
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

TSaveAnswer TDialogPrompts::AskSaveChanges(const QString& question) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tintwell"), question,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, window_);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return TSaveAnswer::Save;
    case QMessageBox::Discard:
        return TSaveAnswer::Discard;
    default:
        return TSaveAnswer::Cancel;
    }
}

bool TDialogPrompts::ConfirmReplace(const QString& fileName) {
    return QMessageBox::warning(window_, QStringLiteral("Tintwell"),
                                tr("%1 exists already, replace?").arg(fileName),
                                QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

TReplaceAnswer TDialogPrompts::ConfirmReplaceSmaller(const QString& question, bool offerFullSize) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tintwell"), question, QMessageBox::NoButton,
                    window_);
    QPushButton* replace = box.addButton(tr("Replace"), QMessageBox::DestructiveRole);
    QPushButton* full =
        offerFullSize ? box.addButton(tr("Save Full-Size Instead"), QMessageBox::AcceptRole) : nullptr;
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(full ? full : cancel);
    box.exec();
    if (box.clickedButton() == replace) return TReplaceAnswer::Replace;
    if (full && box.clickedButton() == full) return TReplaceAnswer::SaveFullSize;
    return TReplaceAnswer::Cancel;
}

bool TDialogPrompts::ConfirmReplaceFiles(const QStringList& names) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tintwell"),
                    tr("%n of the files to be written exist(s) already. Replace them?", nullptr,
                       static_cast<int>(names.size())),
                    QMessageBox::Ok | QMessageBox::Cancel, window_);
    box.setDetailedText(names.join(QLatin1Char('\n')));
    return box.exec() == QMessageBox::Ok;
}

std::optional<bool> TDialogPrompts::AskVariantsFullSize(const QString& question) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tintwell"), question, QMessageBox::NoButton,
                    window_);
    QPushButton* full = box.addButton(tr("Full Size"), QMessageBox::AcceptRole);
    QPushButton* working = box.addButton(tr("Working Size"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(full);
    box.exec();
    if (box.clickedButton() == full) return true;
    if (box.clickedButton() == working) return false;
    return std::nullopt;
}

bool TDialogPrompts::ConfirmChangedPicture(const QString& picture, const QString& details) {
    QString text =
        tr("%1 has changed since the project was saved. The parts may no longer fit it.").arg(picture);
    if (!details.isEmpty()) text += QStringLiteral("\n\n") + details;
    text += QStringLiteral("\n\n") + tr("Open the project all the same?");
    return QMessageBox::warning(window_, QStringLiteral("Tintwell"), text,
                                QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

QString TDialogPrompts::ChooseOpenPicture(const QString& folder) {
    QFileDialog dialog(window_, tr("Open Picture"), folder, OpenFilter());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog); // the preview needs our own dialog
    AddPreview(dialog);
    if (shareHelp_) shareHelp_(&dialog, kFilesHelp);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

TSaveChoice TDialogPrompts::ChooseSavePicture(const QString& caption, const QString& folder,
                                              const QString& suggestion) {
    QFileDialog dialog(window_, caption, folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = SaveFilters(caption);
    dialog.setNameFilters(filters);
    // A name typed without extension gets the preselected type unless the
    // user picks another: the suggested name's, else a bitmap, or PNG for a
    // part; either loads back as a part.
    QString preselected = caption == PartSaveCaption() ? filters.first() : AllSaveFilters()[2];
    const QString suggestedExtension = QString::fromStdString(tw::ExtensionOf(suggestion.toStdString()));
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
    if (shareHelp_) shareHelp_(&dialog, kFilesHelp);
    if (dialog.exec() != QDialog::Accepted) return TSaveChoice();
    return TSaveChoice(dialog.selectedFiles().value(0), dialog.selectedNameFilter());
}

QString TDialogPrompts::ChoosePartFile(const QString& folder) {
    return QFileDialog::getOpenFileName(window_, tr("Open image to tintwell"), folder,
                                        tr("Images (*.bmp *.png)"));
}

QString TDialogPrompts::ChooseProjectFile(bool save, const QString& folder, const QString& suggestion) {
    if (!save) return QFileDialog::getOpenFileName(window_, tr("Open Project"), folder, ProjectFilter());
    return QFileDialog::getSaveFileName(window_, tr("Save Project"),
                                        suggestion.isEmpty() ? folder : suggestion, ProjectFilter(), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString TDialogPrompts::ChooseMovedPicture(const QString& missing, const QString& folder) {
    const QFileInfo info(missing);
    return QFileDialog::getOpenFileName(window_, tr("Where is %1?").arg(info.fileName()), folder,
                                        QStringLiteral("%1;;%2").arg(info.fileName(), OpenFilter()));
}
