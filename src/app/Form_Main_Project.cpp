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
            const QString folder = projectFolder_.isEmpty() ? pictureFolder_ : projectFolder_;
            if (!save)
                return QFileDialog::getOpenFileName(this, QStringLiteral("Open Project"), folder,
                                                    kProjectFilter);
            // The project's own file, or one named after the picture beside it.
            QString suggestion = Document.ProjectFileName();
            if (suggestion.isEmpty() && !Document.FileName().isEmpty()) {
                const QFileInfo picture(Document.FileName());
                suggestion =
                    picture.dir().filePath(picture.completeBaseName() + QLatin1String(kProjectExtension));
            }
            return QFileDialog::getSaveFileName(this, QStringLiteral("Save Project"),
                                                suggestion.isEmpty() ? folder : suggestion, kProjectFilter,
                                                nullptr, QFileDialog::DontConfirmOverwrite);
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
    OpenProjectAction->setObjectName(QStringLiteral("openProject"));
    OpenProjectAction->setStatusTip(QStringLiteral("Open a picture with its parts and settings"));
    OpenProjectAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    SaveProjectAction = new QAction(QStringLiteral("Save Project..."), this);
    SaveProjectAction->setObjectName(QStringLiteral("saveProject"));
    SaveProjectAction->setStatusTip(QStringLiteral("Save the picture's parts and settings to go on later"));
    SaveProjectAction->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    addAction(OpenProjectAction);
    addAction(SaveProjectAction);
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
        CreateRecentMenu(menu->menu());
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
    Document.SetProjectFileName(QFileInfo(fileName).absoluteFilePath());
    const QFileInfo info(pictureName);
    LabelFilename->setText(QDir::toNativeSeparators(info.absoluteFilePath()));
    pictureFolder_ = info.absolutePath();
    RememberFile(fileName, true);
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
    const QString absolute = QFileInfo(target).absoluteFilePath();
    // Saving the project to its own file again asks nothing.
    if (QFileInfo::exists(target) && absolute != Document.ProjectFileName() &&
        !options_.ConfirmReplace(target))
        return false;
    SaveProject(ProjectOfDocument(Document, target.toStdString()), target.toStdString());
    Document.MarkSaved();
    Document.SetProjectFileName(absolute);
    RememberFile(target, true);
    return true;
}

bool TFormMain::SaveProjectAsked() {
    if (!Document.ProjectFileName().isEmpty()) return SaveProjectAccept(Document.ProjectFileName());
    const QString file = options_.ChooseProjectFile(true);
    return !file.isEmpty() && SaveProjectAccept(file);
}
