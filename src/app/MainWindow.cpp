#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/Accessibility.h"
#include "app/AppSettings.h"
#include "app/HelpModule.h"
#include "app/PartsList.h"
#include "app/PictureView.h"
#include "colour/HSV.h"
#include "dialogs/ColourSettingsDialog.h"
#include "dialogs/ColourVariantsDialog.h"
#include "dialogs/GrowPartDialog.h"
#include "document/ResultSaveJob.h"
#include "grid/nvGrid.h"
#include "grid/nvOffscreenPaint.h"
#include "platform/DeferredCalls.h"
#include "platform/ErrorReport.h"
#include "platform/Rounding.h"
#include "resources/ActionIcons.h"
#include "resources/StartPicture.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <array>

namespace {

// Brush half widths in view pixels: small, medium, large.
constexpr std::array<int, 3> kBrushRadii = {2, 4, 8};

// The text field that has the focus, for the standard edit commands.
QWidget* FocusedTextField() {
    QWidget* w = QApplication::focusWidget();
    if (!w) return nullptr;
    const QMetaObject* meta = w->metaObject();
    return meta->indexOfMethod("cut()") >= 0 && meta->indexOfMethod("paste()") >= 0 ? w : nullptr;
}

// Three part tiles fanned out, the front one in full: every part on show.
QIcon ShowAllPartsIcon() {
    QIcon icon;
    for (const int size : {24, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 24.0, size / 24.0);
        for (int i = 0; i < 3; ++i) {
            const QRectF tile(1.5 + i * 4.0, 1.5 + i * 4.0, 13.0, 13.0);
            p.setPen(QPen(QColor(0x2e, 0x31, 0x36), 1.0));
            p.setBrush(QColor(0xfb, 0xfb, 0xf8));
            p.drawRoundedRect(tile, 1.2, 1.2);
            p.setBrush(QColor(0xf0, 0x84, 0x1e));
            p.drawEllipse(tile.adjusted(3.0, 3.0, -3.0, -3.0));
        }
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool IsSwitch(const QString& argument) {
    for (const char* name : {"/close", "/debug", "-debug"})
        if (argument.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
    return false;
}

} // namespace

// --- Construction -------------------------------------------------------------

TMainWindow::TMainWindow(TMainWindowSetup setup, QWidget* parent)
    : QMainWindow(parent), arguments_(std::move(setup.Arguments)), help_(setup.Help),
      settings_(std::make_unique<TAppSettings>(setup.SettingsFile)), prompts_(std::move(setup.Prompts)) {
    if (!prompts_)
        prompts_ = std::make_unique<TDialogPrompts>(
            this, [this](QWidget* dialog, const QString& keyword) { ShareHelpWith(dialog, keyword); });
    setWindowTitle(QStringLiteral("Tintwell"));
    resize(860, 620);
    // Where the window was last time, when the screen still has room for it.
    restoreGeometry(settings_->WindowGeometry());

    // The updater starts a second instance with "/close" to have this one end.
    if (IsCloseSwitch(arguments_)) {
        prompts_->ShowMessage(
            tr("Please save and close Tintwell at this point. Otherwise the update cannot be applied."));
        // The program ends before its message loop would start (main()).
        closeRequested_ = true;
    }

    CreateActions();
    CreateLayout();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    ConnectDocument();
    CreateDialogs();
    about_ = new tw::TAboutBox(this);
    connect(about_, &tw::TAboutBox::helpRequested, this, [this] {
        if (help_) help_->ShowStartPage();
    });
    ShareHelpWith(about_);

    // The folders of last time, while they are still there.
    const auto existing = [](const QString& folder) { return !folder.isEmpty() && QDir(folder).exists(); };
    if (existing(settings_->PictureFolder())) {
        pictureFolder_ = settings_->PictureFolder();
    } else {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        pictureFolder_ = existing(pictures) ? pictures : QDir::homePath();
    }
    if (existing(settings_->ProjectFolder())) projectFolder_ = settings_->ProjectFolder();
    setAcceptDrops(true);

    tw::NameControlsForAccessibility(
        this,
        {{view_, tr("Picture area"), tr("Scrolls the zoomed picture")},
         {view_->Surface(), tr("Picture"),
          tr("The picture with the selected image parts; Fill grows a part, Brush and Erase paint on it")},
         {partsList_->Grid(), tr("Image parts"),
          tr("The list of image parts; the selected ones are shown on the picture")}});

    StartWithStartPicture();
    // The picture the command line names opens once the window is up.
    if (!PictureArgument(arguments_).isEmpty())
        QTimer::singleShot(0, this, &TMainWindow::OpenArgumentPicture);
}

TMainWindow::~TMainWindow() {
    TDeferredCalls::CancelAll(this);
    // The widgets going now move the focus and may signal: nothing of that
    // reaches a window half taken down.
    QObject::disconnect(qApp, nullptr, this, nullptr);
    document_.disconnect(this);
    // What refers to the document's parts goes before the document does.
    delete saveJob_;
    delete growDialog_;
    delete colourDialog_;
    delete variantsDialog_;
    delete partsList_;
    delete view_;
}

bool TMainWindow::IsCloseSwitch(const QStringList& arguments) {
    return !arguments.isEmpty() && arguments.first() == QStringLiteral("/close");
}

QString TMainWindow::PictureArgument(const QStringList& arguments) {
    for (const QString& argument : arguments)
        if (!IsSwitch(argument)) return argument;
    return {};
}

void TMainWindow::OpenArgumentPicture() {
    if (closeRequested_ || PictureArgument(arguments_).isEmpty()) return;
    tw::RunReportingErrors([this] { OpenPictureFile(PictureArgument(arguments_)); });
}

void TMainWindow::StartWithStartPicture() {
    tw::Bitmap picture(400, 400);
    const tw::Bitmap start = tw::StartPicture();
    picture.CopyRect(0, 0, start, start.Rect().intersected(picture.Rect()));
    document_.SetCurrentSettings(TTintwellSettings::Initial());
    document_.NewDocument(std::move(picture), QString());
    view_->ZoomTo(tw::kZoom100Step, {0, 0});
}

// --- Actions ----------------------------------------------------------------------

QAction* TMainWindow::MakeAction(const char* name, const QString& caption, const QString& hint,
                                 const QString& icon, const QKeySequence& shortcut, bool checkable) {
    auto* action = new QAction(tw::ActionIcon(icon), caption, this);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint.isEmpty() ? caption : hint);
    action->setStatusTip(hint);
    action->setShortcut(shortcut);
    action->setCheckable(checkable);
    addAction(action); // shortcuts work without the tool bar or menus
    return action;
}

void TMainWindow::CreateActions() {
    TActions& a = actions_;
    a.Fill = MakeAction("fill", tr("Fill"), tr("Find an object by hue or saturation rules"), "fill",
                        QKeySequence(Qt::Key_F), true);
    a.Brush = MakeAction("brush", tr("Brush"), tr("Paint the areas to move and color"), "brush",
                         QKeySequence(Qt::Key_B), true);
    a.Erase = MakeAction("erase", tr("Erase"), tr("Remove color from selected image part"), "erase",
                         QKeySequence(Qt::Key_E), true);
    a.ChangeColour = MakeAction("changeColor", tr("Change color..."),
                                tr("Change the color settings on selected image parts"), "change_color");
    tw::SetHelpKeyword(a.ChangeColour, QStringLiteral("Change_color_dialog.htm"));
    a.DeletePart = MakeAction("deleteImagePart", tr("Delete image part"), tr("Delete an image part"),
                              "delete_image_part", QKeySequence(Qt::Key_Delete));
    a.JoinParts = MakeAction("joinSelectedImageParts", tr("Join selected image parts"),
                             tr("Group image parts "), "join_image_parts");
    a.LoadPart = MakeAction("loadImagePart", tr("Load image part from file..."),
                            tr("Load an image part from file"), "load_image_part");
    a.AddPart = MakeAction("addImagePart", tr("Add image part"), QString(), "add_image_part");
    a.SmallBrush =
        MakeAction("smallBrush", tr("Small brush"),
                   tr("Smallest brush, used to paint or delete areas to move"), "brush_small", {}, true);
    a.MediumBrush =
        MakeAction("mediumBrush", tr("Medium brush"),
                   tr("Medium brush, used to paint or delete areas to move"), "brush_medium", {}, true);
    a.LargeBrush =
        MakeAction("largeBrush", tr("Large brush"), tr("Large brush, used to paint or delete areas to move"),
                   "brush_large", {}, true);
    a.SmallerBrush = MakeAction("smallerBrush", tr("Smaller brush"), QString(), QString(),
                                QKeySequence(Qt::Key_BracketLeft));
    a.LargerBrush = MakeAction("largerBrush", tr("Larger brush"), QString(), QString(),
                               QKeySequence(Qt::Key_BracketRight));
    a.OriginalInBackground =
        MakeAction("originalInBackground", tr("Draw original image in background"),
                   tr("Toggles the original image in the back"), "original_in_background", {}, true);
    a.ShowAllParts = MakeAction("showAllParts", tr("Show all parts"),
                                tr("Show every image part, selected or not"), QString(), {}, true);
    a.ShowAllParts->setIcon(ShowAllPartsIcon());
    a.ZoomIn = MakeAction("zoomIn", tr("Zoom +"), QString(), "zoom_plus");
    a.ZoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    a.ZoomOut =
        MakeAction("zoomOut", tr("Zoom -"), QString(), "zoom_minus", QKeySequence(Qt::CTRL | Qt::Key_Minus));
    a.ZoomFit = MakeAction("zoomFit", tr("Whole picture"), tr("Show the whole picture"), QString(),
                           QKeySequence(Qt::CTRL | Qt::Key_0));
    a.Zoom100 = MakeAction("zoom100", tr("Zoom 100 %"), tr("One photo pixel on one screen pixel"), QString(),
                           QKeySequence(Qt::CTRL | Qt::Key_1));
    a.ShowOriginal =
        MakeAction("showOriginal", tr("Show Original"), tr("Show the photo without any part, to compare"),
                   QString(), QKeySequence(Qt::Key_Backslash), true);
    a.Exit = MakeAction("exit", tr("Exit"), QString(), "exit");
    a.Help = MakeAction("help", tr("Help..."), QString(), "help", QKeySequence(Qt::Key_F1));
    a.About = MakeAction("about", tr("About..."), QString(), "about");
    a.OpenPicture = MakeAction("openPicture", tr("&Open Picture..."), tr("Open a new picture to tintwell"),
                               "open_picture", QKeySequence(Qt::CTRL | Qt::Key_O));
    a.SavePicture = MakeAction("savePicture", tr("&Save Picture..."), tr("Save the resulting image"),
                               "save_picture", QKeySequence(Qt::CTRL | Qt::Key_S));
    a.SaveFullSize = MakeAction("saveFullSizePicture", tr("Save &Full-Size Picture..."),
                                tr("Save the resulting image at the picture's own size"), QString(),
                                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    a.SaveFullSize->setToolTip(a.SaveFullSize->statusTip());
    // Ctrl+S belongs to the picture save: two actions on one key would leave
    // the key to neither.
    a.SavePart =
        MakeAction("saveImagePart", tr("&Save Image part..."), tr("Save Picture"), "save_image_part");
    a.OpenProject =
        MakeAction("openProject", tr("Open Project..."), tr("Open a picture with its parts and settings"),
                   QString(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    a.OpenProject->setToolTip(a.OpenProject->text());
    a.SaveProject = MakeAction("saveProject", tr("Save Project..."),
                               tr("Save the picture's parts and settings to go on later"), QString(),
                               QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    a.SaveProject->setToolTip(a.SaveProject->text());
    // A preference, kept between runs, rather than a check box in every save dialog.
    a.KeepMetadata = MakeAction("keepMetadata", tr("Keep Photo Metadata"),
                                tr("Saved pictures keep the photo's camera data, captions and copyright"),
                                QString(), QKeySequence(), true);
    a.ClearRecent = MakeAction("clearRecentFiles", tr("Clear Recent Files"), QString(), QString());
    a.ColourVariants = MakeAction("colourVariants", tr("Colour &Variants..."),
                                  tr("The colours to save the picture in, one picture each"), QString());
    tw::SetHelpKeyword(a.ColourVariants, QStringLiteral("Colour_variants.htm"));
    a.SaveVariants =
        MakeAction("saveColourVariants", tr("Save Colour Va&riants..."),
                   tr("Save the picture in every colour variant, and a contact sheet of them"), QString());
    tw::SetHelpKeyword(a.SaveVariants, QStringLiteral("Colour_variants.htm"));
    a.Cut = MakeAction("cut", tr("Cu&t"), QString(), QString(), QKeySequence::Cut);
    a.Copy = MakeAction("copy", tr("&Copy"), QString(), QString(), QKeySequence::Copy);
    a.Paste = MakeAction("paste", tr("&Paste"), QString(), QString(), QKeySequence::Paste);
    // Del is the text fields' delete while one has the focus, and the parts' otherwise.
    a.Delete = MakeAction("delete", tr("&Delete"), QString(), QString(), QKeySequence(Qt::Key_Delete));
    // Named after the step they take back or do again, enabled only when there is one.
    a.Undo = MakeAction("undo", tr("Undo"), tr("Take back the last change"), "undo",
                        QKeySequence(Qt::CTRL | Qt::Key_Z));
    a.Redo = MakeAction("redo", tr("Redo"), tr("Do the change taken back again"), "redo");
    a.Redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});

    tools_ = new QActionGroup(this);
    for (QAction* tool : {a.Fill, a.Brush, a.Erase})
        tools_->addAction(tool);
    brushSizes_ = new QActionGroup(this);
    for (QAction* size : {a.SmallBrush, a.MediumBrush, a.LargeBrush})
        brushSizes_->addAction(size);
    a.Brush->setChecked(true);
    a.LargeBrush->setChecked(true);
    a.OriginalInBackground->setChecked(true);
    // Every part is on show unless the user turned it off last time: a part
    // just added must not hide the ones before it.
    a.ShowAllParts->setChecked(settings_->ShowAllParts());
    document_.SetShowAllParts(a.ShowAllParts->isChecked());
    a.KeepMetadata->setChecked(settings_->KeepMetadata());
    document_.SetStripMetadata(!a.KeepMetadata->isChecked());

    connect(a.OpenPicture, &QAction::triggered, this, &TMainWindow::openPicture);
    connect(a.OpenProject, &QAction::triggered, this, &TMainWindow::openProject);
    connect(a.SavePicture, &QAction::triggered, this, &TMainWindow::savePicture);
    connect(a.SaveFullSize, &QAction::triggered, this, &TMainWindow::saveFullSizePicture);
    connect(a.SaveProject, &QAction::triggered, this, &TMainWindow::saveProject);
    connect(a.ClearRecent, &QAction::triggered, this, &TMainWindow::clearRecentFiles);
    connect(a.Exit, &QAction::triggered, this, &TMainWindow::exit);
    connect(a.Undo, &QAction::triggered, this, &TMainWindow::undo);
    connect(a.Redo, &QAction::triggered, this, &TMainWindow::redo);
    for (QAction* edit : {a.Cut, a.Copy, a.Paste, a.Delete})
        connect(edit, &QAction::triggered, this, &TMainWindow::editText);
    connect(a.ChangeColour, &QAction::triggered, this, &TMainWindow::changeColour);
    connect(a.ColourVariants, &QAction::triggered, this, &TMainWindow::editColourVariants);
    connect(a.SaveVariants, &QAction::triggered, this, &TMainWindow::saveColourVariants);
    connect(a.AddPart, &QAction::triggered, this, &TMainWindow::addPart);
    connect(a.DeletePart, &QAction::triggered, this, &TMainWindow::deletePart);
    connect(a.JoinParts, &QAction::triggered, this, &TMainWindow::joinParts);
    connect(a.SavePart, &QAction::triggered, this, &TMainWindow::savePart);
    connect(a.LoadPart, &QAction::triggered, this, &TMainWindow::loadPart);
    connect(tools_, &QActionGroup::triggered, this, &TMainWindow::chooseTool);
    connect(brushSizes_, &QActionGroup::triggered, this, &TMainWindow::chooseBrushSize);
    connect(a.SmallerBrush, &QAction::triggered, this, &TMainWindow::smallerBrush);
    connect(a.LargerBrush, &QAction::triggered, this, &TMainWindow::largerBrush);
    connect(a.ZoomIn, &QAction::triggered, this, &TMainWindow::zoomIn);
    connect(a.ZoomOut, &QAction::triggered, this, &TMainWindow::zoomOut);
    connect(a.ZoomFit, &QAction::triggered, this, &TMainWindow::zoomToFit);
    connect(a.Zoom100, &QAction::triggered, this, &TMainWindow::zoom100);
    connect(a.ShowAllParts, &QAction::toggled, this, &TMainWindow::toggleShowAllParts);
    connect(a.KeepMetadata, &QAction::toggled, this, &TMainWindow::toggleKeepMetadata);
    connect(a.OriginalInBackground, &QAction::toggled, this, &TMainWindow::toggleOriginalInBackground);
    connect(a.ShowOriginal, &QAction::toggled, this, &TMainWindow::toggleShowOriginal);
    connect(a.Help, &QAction::triggered, this, &TMainWindow::showHelp);
    connect(a.About, &QAction::triggered, this, &TMainWindow::showAbout);
    // The edit commands and Del follow the keyboard focus.
    connect(qApp, &QApplication::focusChanged, this, &TMainWindow::UpdateActions);
}

void TMainWindow::CreateMenus() {
    const TActions& a = actions_;
    QMenu* file = menuBar()->addMenu(tr("File"));
    file->addActions({a.SavePicture, a.SaveFullSize, a.OpenPicture, a.OpenProject, a.SaveProject});
    file->addSeparator();
    file->addActions({a.ColourVariants, a.SaveVariants});
    recentMenu_ = file->addMenu(tr("Open &Recent"));
    recentMenu_->setObjectName(QStringLiteral("recentFiles"));
    file->addSeparator();
    file->addAction(a.KeepMetadata);
    file->addSeparator();
    file->addAction(a.Exit);
    RebuildRecentMenu();
    QMenu* edit = menuBar()->addMenu(tr("Edit"));
    edit->addActions({a.Undo, a.Redo});
    edit->addSeparator();
    edit->addActions({a.Cut, a.Copy, a.Paste, a.Delete});
    QMenu* view = menuBar()->addMenu(tr("View"));
    view->addActions({a.ZoomIn, a.ZoomOut, a.ZoomFit, a.Zoom100});
    view->addSeparator();
    view->addActions({a.ShowAllParts, a.OriginalInBackground, a.ShowOriginal});
    QMenu* tools = menuBar()->addMenu(tr("Tools"));
    tools->addActions({a.Fill, a.Brush, a.Erase});
    tools->addSeparator();
    tools->addActions({a.SmallBrush, a.MediumBrush, a.LargeBrush, a.SmallerBrush, a.LargerBrush});
    QMenu* help = menuBar()->addMenu(tr("Help"));
    help->addActions({a.Help, a.About});

    partsMenu_ = new QMenu(this);
    partsMenu_->setObjectName(QStringLiteral("partsMenu"));
    partsMenu_->addActions({a.AddPart, a.DeletePart});
    partsMenu_->addSeparator();
    partsMenu_->addAction(a.JoinParts);
    partsMenu_->addSeparator();
    partsMenu_->addActions({a.SavePart, a.LoadPart});
    partsMenu_->addSeparator();
    partsMenu_->addActions({a.ChangeColour, a.ColourVariants});
    TnvGrid* grid = partsList_->Grid();
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this,
            [this, grid](const QPoint& p) { partsMenu_->popup(grid->mapToGlobal(p)); });
}

void TMainWindow::CreateToolBar() {
    const TActions& a = actions_;
    auto* bar = new QToolBar(tr("Tools"), this);
    bar->setObjectName(QStringLiteral("ToolBarTools"));
    bar->setOrientation(Qt::Vertical);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(24, 24));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->addActions({a.Fill, a.Brush, a.Erase});
    bar->addSeparator();
    bar->addAction(a.ChangeColour);
    bar->addSeparator();
    bar->addActions({a.SmallBrush, a.MediumBrush, a.LargeBrush});
    bar->addSeparator();
    bar->addActions({a.OriginalInBackground, a.ShowAllParts});
    bar->addSeparator();
    bar->addAction(a.JoinParts);
    bar->addSeparator();
    bar->addActions({a.ZoomIn, a.ZoomOut});
    bar->addSeparator();
    bar->addActions({a.Undo, a.Redo});
    addToolBar(Qt::LeftToolBarArea, bar);
}

void TMainWindow::CreateLayout() {
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setHandleWidth(7);
    splitter->setChildrenCollapsible(false);

    auto* left = new QWidget(splitter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(4, 4, 0, 4);
    leftLayout->setSpacing(4);
    fileNameLabel_ = new QLabel(left);
    fileNameLabel_->setObjectName(QStringLiteral("fileName"));
    QFont bold = fileNameLabel_->font();
    bold.setBold(true);
    fileNameLabel_->setFont(bold);
    fileNameLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    leftLayout->addWidget(fileNameLabel_);

    view_ = new TPictureView(document_, left);
    leftLayout->addWidget(view_, 1);
    connect(view_, &TPictureView::fillRequested, this, &TMainWindow::GrowPartAt, Qt::QueuedConnection);
    connect(view_, &TPictureView::zoomChanged, this, [this] {
        UpdateStatus();
        UpdateActions();
    });
    connect(view_, &TPictureView::colourUnderCursorChanged, this, &TMainWindow::UpdateColourLabels);

    auto* bottom = new QHBoxLayout();
    bottom->setSpacing(16);
    colourLabel_ = new QLabel(left);
    colourLabel_->setObjectName(QStringLiteral("colourAtCursor"));
    hsvLabel_ = new QLabel(left);
    hsvLabel_->setObjectName(QStringLiteral("hsvAtCursor"));
    for (QLabel* l : {colourLabel_, hsvLabel_})
        l->setMinimumWidth(150);
    UpdateColourLabels();
    bottom->addWidget(colourLabel_);
    bottom->addWidget(hsvLabel_);
    bottom->addStretch(1);
    helpLink_ = new QLabel(tr("Online help"), left);
    helpLink_->setObjectName(QStringLiteral("helpLink"));
    helpLink_->setToolTip(tr("Opens Tintwell's help book"));
    versionLink_ = new QLabel(tr("New version check"), left);
    versionLink_->setObjectName(QStringLiteral("versionLink"));
    versionLink_->setToolTip(tr("Shows this version of Tintwell and where new versions are published"));
    for (QLabel* l : {helpLink_, versionLink_}) {
        QFont f = l->font();
        f.setPixelSize(19);
        l->setFont(f);
        QPalette p = l->palette();
        // Link blue; on a dark desktop a lighter blue that stays readable.
        const bool dark = p.color(QPalette::Window).lightness() < 128;
        p.setColor(QPalette::WindowText, dark ? QColor(120, 170, 255) : QColor(Qt::blue));
        l->setPalette(p);
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
        bottom->addWidget(l);
    }
    leftLayout->addLayout(bottom);

    auto* right = new QWidget(splitter);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 4, 4, 4);
    rightLayout->setSpacing(4);
    partsList_ = new TPartsList(document_, right);
    rightLayout->addWidget(partsList_->Grid(), 1);
    auto* hint = new QLabel(tr("Press CTRL to select multiple"), right);
    hint->setFont(bold);
    rightLayout->addWidget(hint);

    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({width() - 284, 284});
    setCentralWidget(splitter);
}

void TMainWindow::CreateStatusBar() {
    zoomLabel_ = new QLabel(this);
    zoomLabel_->setObjectName(QStringLiteral("zoom"));
    pictureSizeLabel_ = new QLabel(this);
    pictureSizeLabel_->setObjectName(QStringLiteral("pictureSize"));
    partsShownLabel_ = new QLabel(this);
    partsShownLabel_->setObjectName(QStringLiteral("partsShown"));
    for (QLabel* l : {zoomLabel_, pictureSizeLabel_, partsShownLabel_}) {
        l->setContentsMargins(8, 0, 8, 0); // the fields apart
        statusBar()->addPermanentWidget(l);
    }
}

void TMainWindow::CreateDialogs() {
    growDialog_ = new TGrowPartDialog(this);
    colourDialog_ = new TColourSettingsDialog(this);
    variantsDialog_ = new TColourVariantsDialog(this);
    tw::NameControlsForAccessibility(variantsDialog_);
    ShareHelpWith(variantsDialog_, QStringLiteral("Colour_variants.htm"));
    tw::NameControlsForAccessibility(
        growDialog_, {{growDialog_->findChild<QWidget*>(QStringLiteral("previewArea")), tr("Coloring mask"),
                       tr("The part grown from the clicked point, over the picture")}});
    tw::NameControlsForAccessibility(colourDialog_);
    ShareHelpWith(growDialog_, QStringLiteral("Color_mask_generation.htm"));
    ShareHelpWith(colourDialog_, QStringLiteral("Change_color_dialog.htm"));
    // The rules of last time, and whatever the user leaves them at for next time.
    growDialog_->SetRules(settings_->MaskRules());
    connect(growDialog_, &QDialog::finished, this, [this] { settings_->SetMaskRules(growDialog_->Rules()); });
    // "Add this" adds the grown part as one step to undo.
    connect(growDialog_, &TGrowPartDialog::partAccepted, this,
            [this](const tw::Bitmap& mask, QPoint anchor, const std::optional<TPartGrowth>& growth) {
                tw::RunReportingErrors([&] { document_.AddGrownPart(mask, anchor, growth); });
            });
    // "Add to current part" and "Remove from current part": one step to undo as well.
    connect(growDialog_, &TGrowPartDialog::partCombined, this,
            [this](const tw::Bitmap& mask, const std::optional<TPartGrowth>& growth, bool remove) {
                tw::RunReportingErrors([&] { document_.ReshapeCurrentPart(mask, remove, growth); });
            });
}

void TMainWindow::ConnectDocument() {
    connect(&document_, &TTintwellDocument::SelectionChanged, this, [this] {
        UpdateActions();
        UpdateStatus();
    });
    for (auto signal : {&TTintwellDocument::PartInserted, &TTintwellDocument::PartRemoved})
        connect(&document_, signal, this, [this] {
            UpdateActions();
            UpdateStatus();
        });
    connect(&document_, &TTintwellDocument::PictureReplaced, this, [this] {
        UpdateTitle();
        UpdateStatus();
    });
    connect(&document_, &TTintwellDocument::FileStateChanged, this, &TMainWindow::UpdateTitle);
    connect(&document_, &TTintwellDocument::VariantsChanged, this, &TMainWindow::UpdateActions);
    // Undo and redo are named after the step they act on.
    QUndoStack& stack = document_.UndoStack();
    const auto showHistory = [this] {
        QUndoStack& s = document_.UndoStack();
        actions_.Undo->setEnabled(s.canUndo());
        actions_.Redo->setEnabled(s.canRedo());
        actions_.Undo->setText(s.canUndo() ? tr("Undo %1").arg(s.undoText()) : tr("Undo"));
        actions_.Redo->setText(s.canRedo() ? tr("Redo %1").arg(s.redoText()) : tr("Redo"));
    };
    connect(&stack, &QUndoStack::indexChanged, this, showHistory);
    connect(&stack, &QUndoStack::cleanChanged, this, showHistory);
    showHistory();
}

// --- What the window shows ------------------------------------------------------

void TMainWindow::UpdateActions() {
    const TActions& a = actions_;
    const bool current = document_.CurrentPart() != nullptr;
    QWidget* field = FocusedTextField();
    for (QAction* needsPart : {a.Brush, a.Erase, a.ChangeColour, a.SavePart})
        needsPart->setEnabled(current);
    a.DeletePart->setEnabled(current && !field);
    a.JoinParts->setEnabled(current && document_.SelectedCount() > 1);
    a.SaveVariants->setEnabled(!document_.Variants().empty());
    for (QAction* edit : {a.Cut, a.Copy, a.Paste, a.Delete})
        edit->setEnabled(field != nullptr);
    a.ZoomIn->setEnabled(view_->ZoomStep() < view_->ZoomStepCount() - 1);
    a.ZoomOut->setEnabled(view_->ZoomStep() > 0);
    const int size = static_cast<int>(brushSizes_->actions().indexOf(brushSizes_->checkedAction()));
    a.SmallerBrush->setEnabled(size > 0);
    a.LargerBrush->setEnabled(size >= 0 && size + 1 < static_cast<int>(kBrushRadii.size()));
}

void TMainWindow::UpdateStatus() {
    // Of the photo's own size; below 10 % with a tenth, as a large photo's
    // smallest steps would all read 1 %.
    const double percent = view_->PhotoZoom() * 100;
    const QString zoom = percent >= 10 || percent == std::nearbyint(percent)
                             ? QString::number(Round(percent))
                             : QString::number(std::nearbyint(percent * 10) / 10, 'f', 1);
    zoomLabel_->setText(view_->ShowsOriginal() ? tr("Zoom %1 %, original shown").arg(zoom)
                                               : tr("Zoom %1 %").arg(zoom));
    // The size worked on, and the picture's own size when the file is larger
    // (what "Save Full-Size Picture..." writes).
    const tw::Bitmap& picture = document_.Picture();
    QString size = tr("%1 × %2 pixels").arg(picture.Width()).arg(picture.Height());
    const tw::Bitmap& full = document_.FullPicture();
    if (!full.IsEmpty() && full.Rect().size() != picture.Rect().size())
        size += tr(" (own size %1 × %2)").arg(full.Width()).arg(full.Height());
    pictureSizeLabel_->setText(size);
    const int total = document_.PartCount();
    partsShownLabel_->setText(total == 1
                                  ? tr("%1 of %2 part shown").arg(document_.ShownPartCount()).arg(total)
                                  : tr("%1 of %2 parts shown").arg(document_.ShownPartCount()).arg(total));
}

void TMainWindow::UpdateColourLabels() {
    const std::optional<tw::ColorValue> colour = view_ ? view_->ColourUnderCursor() : std::nullopt;
    if (!colour) {
        colourLabel_->setText(tr("Color at cursor"));
        hsvLabel_->setText(tr("Color at cursor"));
        return;
    }
    const tw::ColorValue c = *colour;
    colourLabel_->setText(
        QStringLiteral("R:%1  G:%2  B:%3").arg(c & 255).arg((c >> 8) & 255).arg((c >> 16) & 255));
    const THSVValues hsv = ColorToHSVValues(c);
    hsvLabel_->setText(QStringLiteral("H:%1  S:%2  V:%3").arg(hsv.H).arg(hsv.S).arg(hsv.V));
}

void TMainWindow::UpdateTitle() {
    const bool modified = document_.IsModified();
    const QString project = QFileInfo(document_.ProjectFileName()).fileName();
    const QString picture = QFileInfo(document_.FileName()).fileName();
    if (project.isEmpty() && picture.isEmpty() && !modified) {
        setWindowTitle(QStringLiteral("Tintwell"));
        return;
    }
    QStringList notes;
    if (project.isEmpty() && !picture.isEmpty()) notes << tr("no project");
    // Why the "*" stays after a picture was written: the picture does not hold the parts.
    if (modified && document_.IsExported()) notes << tr("exported");
    QString title = !project.isEmpty() ? project : !picture.isEmpty() ? picture : tr("Untitled");
    if (modified) title += QLatin1Char('*');
    if (!notes.isEmpty()) title += QStringLiteral(" (%1)").arg(notes.join(QStringLiteral(", ")));
    setWindowTitle(title + QStringLiteral(" - Tintwell"));
}

// --- Commands -----------------------------------------------------------------------

void TMainWindow::undo() {
    tw::RunReportingErrors([this] { document_.Undo(); });
}

void TMainWindow::redo() {
    tw::RunReportingErrors([this] { document_.Redo(); });
}

void TMainWindow::editText() {
    // The standard edit commands act on a focused text field only.
    QWidget* field = FocusedTextField();
    if (!field) return;
    const QObject* action = sender();
    const char* method = action == actions_.Cut     ? "cut"
                         : action == actions_.Copy  ? "copy"
                         : action == actions_.Paste ? "paste"
                                                    : "del";
    QMetaObject::invokeMethod(field, method);
}

void TMainWindow::changeColour() {
    tw::RunReportingErrors([this] {
        TImagePart* first = document_.FirstSelectedPart();
        // Without a selected part the dialog still edits the settings for new parts.
        colourDialog_->SetProfile(document_.Profile());
        if (first) colourDialog_->Prepare(first->Settings, &document_.Picture(), first);
        if (colourDialog_->exec() != QDialog::Accepted) return;
        const TTintwellSettings settings = colourDialog_->Settings();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        try {
            document_.ChangeColor(settings);
        } catch (...) {
            QApplication::restoreOverrideCursor();
            throw;
        }
        QApplication::restoreOverrideCursor();
    });
}

void TMainWindow::editColourVariants() {
    tw::RunReportingErrors([this] {
        std::vector<TTintwellSettings> parts;
        for (int i = 0; i < document_.PartCount(); ++i)
            parts.push_back(document_.Part(i)->Settings);
        variantsDialog_->Prepare(document_.Variants(), parts);
        if (variantsDialog_->exec() == QDialog::Accepted) document_.SetVariants(variantsDialog_->Variants());
    });
}

void TMainWindow::addPart() {
    tw::RunReportingErrors([this] { document_.AddBlankPart(); });
}

void TMainWindow::deletePart() {
    tw::RunReportingErrors([this] { document_.DeleteSelectedParts(); });
}

void TMainWindow::joinParts() {
    tw::RunReportingErrors([this] { document_.JoinSelectedParts(); });
}

void TMainWindow::GrowPartAt(QPoint picturePoint, QPoint surfacePoint, Qt::KeyboardModifiers modifiers) {
    const TGrowTarget target = modifiers & Qt::ShiftModifier     ? TGrowTarget::AddToPart
                               : modifiers & Qt::ControlModifier ? TGrowTarget::RemoveFromPart
                                                                 : TGrowTarget::NewPart;
    // The walk paints the part as the document recolours it: stated colours in the picture's values.
    growDialog_->ShowFor(document_.Picture(), picturePoint, surfacePoint,
                         document_.InPictureColours(document_.CurrentSettings()), view_->WorkingZoomStep(),
                         document_.CurrentPart() != nullptr, target);
}

void TMainWindow::chooseTool() {
    const QAction* checked = tools_->checkedAction();
    if (checked == actions_.Fill)
        statusBar()->showMessage(tr("Fill: click to grow a new part; Shift+click adds to the current part, "
                                    "Ctrl+click takes from it"));
    view_->SetTool(checked == actions_.Fill    ? TToolKind::Fill
                   : checked == actions_.Erase ? TToolKind::Erase
                                               : TToolKind::Brush);
}

void TMainWindow::chooseBrushSize() {
    const qsizetype size = brushSizes_->actions().indexOf(brushSizes_->checkedAction());
    if (size >= 0) view_->SetBrushRadius(kBrushRadii[static_cast<size_t>(size)]);
    UpdateActions();
}

void TMainWindow::smallerBrush() {
    const qsizetype size = brushSizes_->actions().indexOf(brushSizes_->checkedAction());
    if (size > 0) brushSizes_->actions()[size - 1]->trigger();
}

void TMainWindow::largerBrush() {
    const QList<QAction*> sizes = brushSizes_->actions();
    const qsizetype size = sizes.indexOf(brushSizes_->checkedAction());
    if (size >= 0 && size + 1 < sizes.size()) sizes[size + 1]->trigger();
}

void TMainWindow::zoomIn() {
    view_->ZoomTo(view_->ZoomStep() + 1);
}

void TMainWindow::zoomOut() {
    view_->ZoomTo(view_->ZoomStep() - 1);
}

void TMainWindow::zoomToFit() {
    view_->ZoomTo(view_->FitZoomStep());
}

void TMainWindow::zoom100() {
    view_->ZoomTo(view_->PhotoZoom100Step());
}

void TMainWindow::toggleShowOriginal(bool on) {
    view_->SetShowOriginal(on);
    UpdateStatus();
}

void TMainWindow::toggleShowAllParts(bool on) {
    document_.SetShowAllParts(on);
    settings_->SetShowAllParts(on);
    view_->RedrawLater();
    UpdateStatus();
}

void TMainWindow::toggleKeepMetadata(bool on) {
    document_.SetStripMetadata(!on);
    settings_->SetKeepMetadata(on);
}

void TMainWindow::toggleOriginalInBackground(bool on) {
    view_->SetShowPicture(on);
}

void TMainWindow::showHelp() {
    QWidget* active = QApplication::focusWidget();
    if (!active) active = QApplication::activeWindow();
    if (help_) help_->ShowHelpFor(active);
}

void TMainWindow::showAbout() {
    about_->exec();
}

void TMainWindow::ShareHelpWith(QWidget* window, const QString& keyword) {
    if (!keyword.isEmpty()) tw::SetHelpKeyword(window, keyword);
    // The help command's F1 works in every window the action belongs to.
    window->addAction(actions_.Help);
    // Application-modal would block the help window too (it has no parent).
    window->setWindowModality(Qt::WindowModal);
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && (watched == helpLink_ || watched == versionLink_)) {
        // The help book is built in; there is no web page or updater to go to.
        if (watched == helpLink_) {
            if (help_) help_->ShowStartPage();
        } else {
            prompts_->ShowMessage(tw::TAboutBox::VersionCheckText());
        }
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Leaving ----------------------------------------------------------------------

void TMainWindow::exit() {
    tw::RunReportingErrors([this] {
        // Unsaved changes bring their own question; without them, the usual one.
        const bool quit =
            document_.IsModified() ? MaySkipUnsavedChanges(tr("quitting")) : prompts_->ConfirmQuit();
        if (!quit) return;
        closeConfirmed_ = true;
        close();
        closeConfirmed_ = false;
    });
}

bool TMainWindow::MaySkipUnsavedChanges(const QString& what) {
    if (!document_.IsModified()) return true;
    // The work is held by a project; the start picture has no file a project
    // could refer to, so there the result picture is all that can be kept.
    const bool asProject = !document_.FileName().isEmpty();
    const QString project = QFileInfo(document_.ProjectFileName()).fileName();
    const QString picture = QFileInfo(document_.FileName()).fileName();
    const QString question = asProject ? tr("Save the parts of %1 as a project before %2?")
                                             .arg(project.isEmpty() ? picture : project, what)
                                       : tr("Save changes to %1 before %2?").arg(tr("Untitled"), what);
    switch (prompts_->AskSaveChanges(question)) {
    case TSaveAnswer::Discard:
        return true;
    case TSaveAnswer::Cancel:
        return false;
    case TSaveAnswer::Save:
        break;
    }
    try {
        if (asProject) return SaveProjectAsked();
        // The normal save: its dialog, its questions; only a written picture lets us go on.
        const QString caption = PictureSaveCaption(tr("Save Picture"));
        const TSaveChoice choice =
            prompts_->ChooseSavePicture(caption, pictureFolder_, SuggestedSaveName(caption));
        return !choice.FileName.isEmpty() && SaveResult(choice.FileName, choice.Filter);
    } catch (...) {
        tw::ReportException(std::current_exception());
        return false;
    }
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    // Exit has asked already; the close box asks only about unsaved changes.
    if (!std::exchange(closeConfirmed_, false) && !MaySkipUnsavedChanges(tr("quitting"))) {
        event->ignore();
        return;
    }
    SaveWindowState();
    QMainWindow::closeEvent(event);
}
