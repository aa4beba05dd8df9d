// The main window's project files: File > "Open Project..." and "Save Project...".

#include "app/Form_Main.h"

#include "document/ProjectFile.h"
#include "platform/ErrorReport.h"
#include "platform/PictureFile.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>

namespace {

const QString kProjectFilter = QStringLiteral("Tintwell projects (*.tintwell)");

} // namespace

void TFormMain::ConnectProjectFiles() {
    if (!options_.ChooseProjectFile)
        options_.ChooseProjectFile = [this](bool save) {
            return save ? QFileDialog::getSaveFileName(this, QStringLiteral("Save Project"), pictureFolder_,
                                                       kProjectFilter, nullptr,
                                                       QFileDialog::DontConfirmOverwrite)
                        : QFileDialog::getOpenFileName(this, QStringLiteral("Open Project"), pictureFolder_,
                                                       kProjectFilter);
        };
    if (!options_.ChooseMovedPicture)
        options_.ChooseMovedPicture = [this](const QString& missing) {
            const QFileInfo info(missing);
            return QFileDialog::getOpenFileName(
                this, QStringLiteral("Where is %1?").arg(info.fileName()), pictureFolder_,
                QStringLiteral("%1;;Images (*.bmp *.jpg *.jpeg *.ico *.png)").arg(info.fileName()));
        };
    if (!options_.ConfirmChangedPicture)
        options_.ConfirmChangedPicture = [this](const QString& picture) {
            return QMessageBox::warning(
                       this, QStringLiteral("Tintwell"),
                       QStringLiteral("%1 has changed since the project was saved. The parts may no longer "
                                      "fit it. Open the project all the same?")
                           .arg(picture),
                       QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
        };

    OpenProjectAction = new QAction(QStringLiteral("Open Project..."), this);
    OpenProjectAction->setStatusTip(QStringLiteral("Open a picture with its parts and settings"));
    SaveProjectAction = new QAction(QStringLiteral("Save Project..."), this);
    SaveProjectAction->setStatusTip(QStringLiteral("Save the picture's parts and settings to go on later"));
    // Errors end the command here: they must not unwind through Qt's signal code.
    const auto guarded = [](const std::function<void()>& command) {
        return [command] { tw::RunReportingErrors(command); };
    };
    connect(OpenProjectAction, &QAction::triggered, this, guarded([this] {
                if (!MaySkipUnsavedChanges(QStringLiteral("opening a project"))) return;
                const QString file = options_.ChooseProjectFile(false);
                if (!file.isEmpty()) OpenProjectAccept(file);
            }));
    connect(SaveProjectAction, &QAction::triggered, this, guarded([this] {
                const QString file = options_.ChooseProjectFile(true);
                if (!file.isEmpty()) SaveProjectAccept(file);
            }));
    // After "Open Picture...", before the separator and Exit.
    for (QAction* menu : menuBar()->actions()) {
        if (!menu->menu() || menu->text() != QStringLiteral("File")) continue;
        QAction* before = nullptr;
        for (QAction* a : menu->menu()->actions())
            if (a->isSeparator()) {
                before = a;
                break;
            }
        menu->menu()->insertActions(before, {OpenProjectAction, SaveProjectAction});
    }
}

void TFormMain::OpenProjectAccept(const QString& fileName) {
    const std::string path = fileName.toStdString();
    // Everything is read and checked before the document changes.
    const TProject project = ReadProject(path);
    std::string picturePath = project.PicturePath(path);
    if (!QFileInfo::exists(QString::fromStdString(picturePath))) {
        const QString moved = options_.ChooseMovedPicture(QString::fromStdString(picturePath));
        if (moved.isEmpty()) return;
        picturePath = moved.toStdString();
    }
    if (PictureFileHash(picturePath) != project.PictureHash &&
        !options_.ConfirmChangedPicture(QString::fromStdString(tw::DisplayName(picturePath))))
        return;
    tw::PictureAtBothSizes picture = LoadProjectPicture(project, picturePath);
    const QString pictureName = QString::fromStdString(picturePath);
    RestoreProject(Document, project, std::move(picture), pictureName);
    const QFileInfo info(pictureName);
    LabelFilename->setText(QDir::toNativeSeparators(info.absoluteFilePath()));
    pictureFolder_ = QFileInfo(fileName).absolutePath();
    ShowNewPictureWhole();
}

bool TFormMain::SaveProjectAccept(const QString& fileName) {
    QString target = fileName;
    if (!target.endsWith(QLatin1String(kProjectExtension))) target += QLatin1String(kProjectExtension);
    if (Document.FileName().isEmpty()) {
        options_.ShowMessage(QStringLiteral("A project refers to its picture file: open a picture first. "
                                            "Nothing was written."));
        return false;
    }
    if (QFileInfo::exists(target) && !options_.ConfirmReplace(target)) return false;
    SaveProject(ProjectOfDocument(Document, target.toStdString()), target.toStdString());
    Document.MarkSaved();
    pictureFolder_ = QFileInfo(target).absolutePath();
    return true;
}
