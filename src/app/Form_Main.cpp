#include "app/Form_Main.h"

#include "platform/ErrorReport.h"

#include "app/Accessibility.h"
#include "app/AppSettings.h"
#include "app/Form_About.h"
#include "app/HelpModule.h"
#include "colour/HSV.h"
#include "colour/ThreadSafeBitmap.h"
#include "platform/DeferredCalls.h"
#include "platform/PictureError.h"
#include "platform/PictureFile.h"
#include "platform/ZoomedPainter.h"
#include "recolour/PartRecolourer.h"
#include "resources/ActionIcons.h"
#include "resources/StartPicture.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr tw::ColorValue kRed = 0x0000FF;
constexpr tw::ColorValue kYellow = 0x00FFFF;
constexpr tw::ColorValue kGrey = 0x808080;
constexpr tw::ColorValue kBlack = 0x000000;
// What the colour labels say while there is no colour under the cursor to report.
const QString kColorAtCursor = QStringLiteral("Color at cursor");

// The text field that has the focus, for the standard edit commands.
QWidget* FocusedTextField() {
    QWidget* w = QApplication::focusWidget();
    if (!w) return nullptr;
    const QMetaObject* meta = w->metaObject();
    return meta->indexOfMethod("cut()") >= 0 && meta->indexOfMethod("paste()") >= 0 ? w : nullptr;
}

} // namespace

// --- Construction -------------------------------------------------------------

TFormMain::TFormMain(TFormMainOptions options, QWidget* parent)
    : QMainWindow(parent), PictureBitmap(Document.Picture()), CurrentSettings(Document.CurrentSettings()),
      options_(std::move(options)), settings_(std::make_unique<TAppSettings>(options_.SettingsFile)) {
    if (!options_.ShowMessage)
        options_.ShowMessage = [this](const QString& text) {
            QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tintwell"), text, QMessageBox::Ok, this);
            box.exec();
        };
    if (!options_.ConfirmQuit)
        options_.ConfirmQuit = [this] {
            return QMessageBox::question(this, QStringLiteral("Tintwell"),
                                         QStringLiteral("Sure you want to quit?"),
                                         QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
        };
    if (!options_.ConfirmSaveChanges)
        options_.ConfirmSaveChanges = [this](const QString& question) {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Tintwell"), question,
                            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
            box.setDefaultButton(QMessageBox::Save);
            switch (box.exec()) {
            case QMessageBox::Save:
                return TSaveAnswer::Save;
            case QMessageBox::Discard:
                return TSaveAnswer::Discard;
            default:
                return TSaveAnswer::Cancel;
            }
        };
    setWindowTitle(QStringLiteral("Tintwell"));
    resize(860, 620);
    // Where the window was last time, when the screen still has room for it.
    restoreGeometry(settings_->WindowGeometry());
    CreateActions();
    CreateLayout();
    ConnectDocument();
    FormCreate();
    ConnectPictureFiles();
    ConnectProjectFiles();
    tw::NameControlsForAccessibility(
        this,
        {{ScrollBox2, QStringLiteral("Picture area"), QStringLiteral("Scrolls the zoomed picture")},
         {ImageView, QStringLiteral("Picture"),
          QStringLiteral("The picture with the selected image parts; Fill grows a part, Brush and Erase "
                         "paint on it")},
         {nvGridImageParts, QStringLiteral("Image parts"),
          QStringLiteral("The list of image parts; the selected ones are shown on the picture")}});

    // Commands are enabled whenever the event loop runs out of work.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TFormMain::UpdateActions);
}

TFormMain::~TFormMain() {
    TDeferredCalls::CancelAll(this);
    // The grid's rows refer to the parts; let the grid go first, without
    // telling the document of it.
    Document.disconnect(this);
    nvGridImageParts->OnCellSelectionChanged = nullptr;
    delete nvGridImageParts;
    nvGridImageParts = nullptr;
}

bool TFormMain::IsCloseSwitch(const QStringList& arguments) {
    return !arguments.isEmpty() && arguments.first() == QStringLiteral("/close");
}

QAction* TFormMain::MakeAction(const QString& caption, const QString& hint, const QString& icon,
                               const QKeySequence& shortcut, bool checkable) {
    auto* action = new QAction(tw::ActionIcon(icon), caption, this);
    action->setToolTip(hint.isEmpty() ? caption : hint);
    action->setStatusTip(hint);
    action->setShortcut(shortcut);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, action] { ActionTriggered(action); });
    actions_.push_back(action);
    return action;
}

void TFormMain::CreateActions() {
    ActionFillMode = MakeAction("Fill", "Find an object by hue or saturation rules", "fill", {}, true);
    ActionBrushMode = MakeAction("Brush", "Paint the areas to move and color", "brush", {}, true);
    ActionEraseMode = MakeAction("Erase", "Remove color from selected image part", "erase", {}, true);
    ActionChangeColor =
        MakeAction("Change color...", "Change the color settings on selected image parts", "change_color");
    tw::SetHelpKeyword(ActionChangeColor, QStringLiteral("Change_color_dialog.htm"));
    ActionDeleteImagePart = MakeAction("Delete image part", "Delete an image part", "delete_image_part");
    ActionJoinSelectedImageParts =
        MakeAction("Join selected image parts", "Group image parts ", "join_image_parts");
    ActionLoadimagepartfromfile =
        MakeAction("Load image part from file...", "Load an image part from file", "load_image_part");
    ActionAddImagePart = MakeAction("Add image part", "", "add_image_part");
    ActionBrushSmall = MakeAction("Small brush", "Smallest brush, used to paint or delete areas to move",
                                  "brush_small", {}, true);
    ActionBrushMedium = MakeAction("Medium brush", "Medium brush, used to paint or delete areas to move",
                                   "brush_medium", {}, true);
    ActionBrushLarge = MakeAction("Large brush", "Large brush, used to paint or delete areas to move",
                                  "brush_large", {}, true);
    ActionOrgImageInBack =
        MakeAction("Draw original image in background", "Toggles the original image in the back",
                   "original_in_background", {}, true);
    ActionZoomPlus = MakeAction("Zoom +", "", "zoom_plus");
    ActionZoomMinus = MakeAction("Zoom -", "", "zoom_minus");
    ActionExit = MakeAction("Exit", "", "exit");
    ActionHelp = MakeAction("Help...", "", "help", QKeySequence(Qt::Key_F1));
    ActionAbout = MakeAction("About...", "", "about");
    OpenPicture1 = MakeAction("&Open Picture...", "Open a new picture to tintwell", "open_picture",
                              QKeySequence(Qt::CTRL | Qt::Key_O));
    SaveCompletePicture = MakeAction("&Save Picture...", "Save the resulting image", "save_picture",
                                     QKeySequence(Qt::CTRL | Qt::Key_S));
    // Ctrl+S belongs to the picture save: two actions on one key would leave
    // the key to neither.
    SaveImagePart = MakeAction("&Save Image part...", "Save Picture", "save_image_part");

    EditCut1 = MakeAction("Cu&t", "", "", QKeySequence::Cut);
    EditCopy1 = MakeAction("&Copy", "", "", QKeySequence::Copy);
    EditPaste1 = MakeAction("&Paste", "", "", QKeySequence::Paste);
    EditDelete1 = MakeAction("&Delete", "", "", QKeySequence(Qt::Key_Delete));
    CreateViewCommands();
    for (QAction* a : actions_)
        addAction(a); // shortcuts work without the tool bar or menus

    // Named after the step they take back or do again, enabled only when there is one.
    ActionUndo = Document.CreateUndoAction(this);
    ActionUndo->setIcon(tw::ActionIcon(QStringLiteral("undo")));
    ActionUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    ActionRedo = Document.CreateRedoAction(this);
    ActionRedo->setIcon(tw::ActionIcon(QStringLiteral("redo")));
    ActionRedo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (QAction* a : {ActionUndo, ActionRedo}) {
        a->setStatusTip(a == ActionUndo ? QStringLiteral("Take back the last change")
                                        : QStringLiteral("Do the change taken back again"));
        addAction(a);
    }

    // Names that tests and the accessibility tree find them by.
    const std::pair<QAction*, const char*> names[] = {
        {ActionFillMode, "fill"},
        {ActionBrushMode, "brush"},
        {ActionEraseMode, "erase"},
        {ActionChangeColor, "changeColor"},
        {ActionDeleteImagePart, "deleteImagePart"},
        {ActionJoinSelectedImageParts, "joinSelectedImageParts"},
        {ActionLoadimagepartfromfile, "loadImagePart"},
        {ActionAddImagePart, "addImagePart"},
        {ActionBrushSmall, "smallBrush"},
        {ActionBrushMedium, "mediumBrush"},
        {ActionBrushLarge, "largeBrush"},
        {ActionOrgImageInBack, "originalInBackground"},
        {ActionZoomPlus, "zoomIn"},
        {ActionZoomMinus, "zoomOut"},
        {ActionZoomFit, "zoomFit"},
        {ActionZoom100, "zoom100"},
        {ActionShowAllParts, "showAllParts"},
        {ActionBrushSmaller, "smallerBrush"},
        {ActionBrushLarger, "largerBrush"},
        {ActionExit, "exit"},
        {ActionHelp, "help"},
        {ActionAbout, "about"},
        {OpenPicture1, "openPicture"},
        {SaveCompletePicture, "savePicture"},
        {SaveImagePart, "saveImagePart"},
        {ActionUndo, "undo"},
        {ActionRedo, "redo"}};
    for (const auto& [action, name] : names)
        action->setObjectName(QLatin1String(name));

    ModeGroup = new QActionGroup(this);
    for (QAction* a : {ActionFillMode, ActionBrushMode, ActionEraseMode})
        ModeGroup->addAction(a);
    BrushSizeGroup = new QActionGroup(this);
    for (QAction* a : {ActionBrushSmall, ActionBrushMedium, ActionBrushLarge})
        BrushSizeGroup->addAction(a);
}

void TFormMain::CreateLayout() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("File"));
    file->addAction(SaveCompletePicture);
    file->addAction(OpenPicture1);
    file->addSeparator();
    file->addAction(ActionExit);
    QMenu* edit = bar->addMenu(QStringLiteral("Edit"));
    edit->addAction(ActionUndo);
    edit->addAction(ActionRedo);
    edit->addSeparator();
    edit->addAction(EditCut1);
    edit->addAction(EditCopy1);
    edit->addAction(EditPaste1);
    edit->addAction(EditDelete1);
    CreateViewMenus(bar);
    QMenu* help = bar->addMenu(QStringLiteral("Help"));
    help->addAction(ActionHelp);
    help->addAction(ActionAbout);

    ToolBarTools = new QToolBar(QStringLiteral("Tools"), this);
    ToolBarTools->setObjectName(QStringLiteral("ToolBarTools"));
    ToolBarTools->setOrientation(Qt::Vertical);
    ToolBarTools->setMovable(false);
    ToolBarTools->setFloatable(false);
    ToolBarTools->setIconSize(QSize(24, 24));
    ToolBarTools->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBarTools->addActions({ActionFillMode, ActionBrushMode, ActionEraseMode});
    ToolBarTools->addSeparator();
    ToolBarTools->addAction(ActionChangeColor);
    ToolBarTools->addSeparator();
    ToolBarTools->addActions({ActionBrushSmall, ActionBrushMedium, ActionBrushLarge});
    ToolBarTools->addSeparator();
    ToolBarTools->addActions({ActionOrgImageInBack, ActionShowAllParts});
    ToolBarTools->addSeparator();
    ToolBarTools->addAction(ActionJoinSelectedImageParts);
    ToolBarTools->addSeparator();
    ToolBarTools->addActions({ActionZoomPlus, ActionZoomMinus});
    ToolBarTools->addSeparator();
    ToolBarTools->addActions({ActionUndo, ActionRedo});
    addToolBar(Qt::LeftToolBarArea, ToolBarTools);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setHandleWidth(7);
    Splitter1->setChildrenCollapsible(false);

    auto* left = new QWidget(Splitter1);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(4, 4, 0, 4);
    leftLayout->setSpacing(4);
    LabelFilename = new QLabel(left);
    QFont bold = LabelFilename->font();
    bold.setBold(true);
    LabelFilename->setFont(bold);
    LabelFilename->setTextInteractionFlags(Qt::TextSelectableByMouse);
    leftLayout->addWidget(LabelFilename);

    ScrollBox2 = new QScrollArea(left);
    ScrollBox2->setWidgetResizable(false);
    ScrollBox2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollBox2->setBackgroundRole(QPalette::Base);
    QPalette white = ScrollBox2->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Window, Qt::white);
    ScrollBox2->setPalette(white);
    ScrollBox2->viewport()->setAutoFillBackground(true);
    leftLayout->addWidget(ScrollBox2, 1);
    // Scrolling shows another part of the zoomed picture.
    for (QScrollBar* b : {ScrollBox2->horizontalScrollBar(), ScrollBox2->verticalScrollBar()})
        connect(b, &QScrollBar::valueChanged, this, [this] {
            if (ImageView) ImageView->Invalidate();
        });

    auto* bottom = new QHBoxLayout();
    bottom->setSpacing(16);
    LabelColorAtCurs = new QLabel(kColorAtCursor, left);
    LabelColorAtCursHSV = new QLabel(kColorAtCursor, left);
    for (QLabel* l : {LabelColorAtCurs, LabelColorAtCursHSV})
        l->setMinimumWidth(150);
    bottom->addWidget(LabelColorAtCurs);
    bottom->addWidget(LabelColorAtCursHSV);
    bottom->addStretch(1);
    Label1 = new QLabel(QStringLiteral("Online help"), left);
    Label1->setToolTip(QStringLiteral("Opens Tintwell's help book"));
    Label2 = new QLabel(QStringLiteral("New version check"), left);
    Label2->setToolTip(QStringLiteral("Shows this version of Tintwell and where new versions are published"));
    for (QLabel* l : {Label1, Label2}) {
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

    auto* right = new QWidget(Splitter1);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 4, 4, 4);
    rightLayout->setSpacing(4);
    CreateGrid();
    nvGridImageParts->setParent(right);
    rightLayout->addWidget(nvGridImageParts, 1);
    LabelSelectHint = new QLabel(QStringLiteral("Press CTRL to select multiple"), right);
    LabelSelectHint->setFont(bold);
    rightLayout->addWidget(LabelSelectHint);

    Splitter1->addWidget(left);
    Splitter1->addWidget(right);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({width() - 284, 284});
    setCentralWidget(Splitter1);

    PopupMenuParts = new QMenu(this);
    PopupMenuParts->addAction(ActionAddImagePart);
    PopupMenuParts->addAction(ActionDeleteImagePart);
    PopupMenuParts->addSeparator();
    PopupMenuParts->addAction(ActionJoinSelectedImageParts);
    PopupMenuParts->addSeparator();
    PopupMenuParts->addAction(SaveImagePart);
    PopupMenuParts->addAction(ActionLoadimagepartfromfile);
    PopupMenuParts->addSeparator();
    PopupMenuParts->addAction(ActionChangeColor);
    nvGridImageParts->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(nvGridImageParts, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        UpdateActions();
        PopupMenuParts->popup(nvGridImageParts->mapToGlobal(p));
    });
}

void TFormMain::CreateGrid() {
    nvGridImageParts = new TnvGrid(this);
    TnvGrid& grid = *nvGridImageParts;
    grid.SetHasInfoCol(false);
    grid.SetRowSelect(true);
    grid.SetMultiSelect(true);
    grid.SetExtendLastColumnToWidth(true);
    grid.FocusRect_Grid = false;
    TnvGrid_Column& number = grid.Columns().Add();
    number.SetHeaderText(QStringLiteral("Number"));
    number.SetWidth(50);
    number.SetReadOnly(true);
    number.SetSortEnable(false);
    TnvGrid_Column& image = grid.Columns().Add();
    image.SetHeaderText(QStringLiteral("Image"));
    image.SetWidth(200);
    image.SetReadOnly(true);
    image.SetSortEnable(false);
    grid.OnUserRenderCell = [this](TVokGridView_Custom& g, TPaintCanvas& canvas, TVokCell& cell,
                                   const QString&, bool, bool, TVokDrawStateSet, const TRect& rect,
                                   bool& defaultDraw) {
        nvGridImagePartsUserRenderCell(g, canvas, cell, rect, defaultDraw);
    };
    grid.OnEditorCanModify = [this](TVokGridView_Custom& g, TVokCell* cell) {
        return nvGridImagePartsEditorCanModify(g, cell);
    };
    grid.OnCellSelectionChanged = [this](TVokGridView_Custom& g, TVokCell* cell) {
        nvGridImagePartsCellSelectionChanged(g, cell);
    };
}

void TFormMain::FormCreate() {
    // The updater starts a second instance with "/close" to have this one end.
    if (IsCloseSwitch(options_.Arguments)) {
        options_.ShowMessage(QStringLiteral(
            "Please save and close Tintwell at this point. Otherwise the update cannot be applied."));
        // The program ends before its message loop would start (main()).
        closeRequested_ = true;
    }
    LabelFilename->clear();
    ViewBitmap = tw::Bitmap();

    ImageView = new TnvOffscreenPaint();
    ImageView->setObjectName(QStringLiteral("ImageView"));
    ScrollBox2->setWidget(ImageView);
    ImageView->setGeometry(0, 0, 400, 200);
    ImageView->SetColor(tw::kWhite);
    ImageView->setMouseTracking(true);
    ImageView->OnPaint = [this](TnvOffscreenPaint& s) { PaintView(s); };
    ImageView->OnMouseDown = [this](TnvOffscreenPaint& s, TMouseButton b, TShiftState shift, int x, int y) {
        ImageViewMouseDown(s, b, shift, x, y);
    };
    ImageView->OnMouseMove = [this](TnvOffscreenPaint& s, TShiftState shift, int x, int y) {
        ImageViewMouseMove(s, shift, x, y);
    };
    ImageView->OnMouseUp = [this](TnvOffscreenPaint& s, TMouseButton b, TShiftState shift, int x, int y) {
        ImageViewMouseUp(s, b, shift, x, y);
    };
    ImageView->OnClick = [this](TnvOffscreenPaint& s) { ImageViewClick(s); };
    ImageView->installEventFilter(this);
    ScrollBox2->viewport()->installEventFilter(this);

    Document.SetCurrentSettings(TTintwellSettings::Initial());

    SetChecked(ActionBrushMode);
    SetChecked(ActionBrushLarge);
    ActionOrgImageInBack->setChecked(true);
    // Every part is on show unless the user turned it off last time: a part
    // just added must not hide the ones before it.
    ActionShowAllParts->setChecked(settings_->ShowAllParts());
    Document.SetShowAllParts(ActionShowAllParts->isChecked());

    About = new tw::TAbout(this);
    About->OnShowHelp = [this] {
        if (options_.Help) options_.Help->ShowStartPage();
    };
    ShareHelpWith(About);

    InitDocument();
}

void TFormMain::InitDocument() {
    tw::Bitmap picture(400, 400);
    const tw::Bitmap start = tw::StartPicture();
    picture.CopyRect(0, 0, start, start.Rect().intersected(picture.Rect()));
    ZoomIndex = 4;
    Document.NewDocument(std::move(picture), QString());
    ResizeView();
}

void TFormMain::RedrawLater() {
    TDeferredCalls::Queue(this, &TFormMain::RebuildViewBitmap);
}

void TFormMain::UpdateTitle() {
    const bool modified = Document.IsModified();
    const QString project = QFileInfo(Document.ProjectFileName()).fileName();
    const QString picture = QFileInfo(Document.FileName()).fileName();
    if (project.isEmpty() && picture.isEmpty() && !modified) {
        setWindowTitle(QStringLiteral("Tintwell"));
        return;
    }
    QStringList notes;
    if (project.isEmpty() && !picture.isEmpty()) notes << QStringLiteral("no project");
    // Why the "*" stays after a picture was written: the picture does not hold the parts.
    if (modified && Document.IsExported()) notes << QStringLiteral("exported");
    QString title = !project.isEmpty() ? project : !picture.isEmpty() ? picture : QStringLiteral("Untitled");
    if (modified) title += QLatin1Char('*');
    if (!notes.isEmpty()) title += QStringLiteral(" (%1)").arg(notes.join(QStringLiteral(", ")));
    setWindowTitle(title + QStringLiteral(" - Tintwell"));
}

bool TFormMain::MaySkipUnsavedChanges(const QString& what) {
    if (!Document.IsModified()) return true;
    // The work is held by a project; the start picture has no file a project
    // could refer to, so there the result picture is all that can be kept.
    const bool asProject = !Document.FileName().isEmpty();
    const QString project = QFileInfo(Document.ProjectFileName()).fileName();
    const QString picture = QFileInfo(Document.FileName()).fileName();
    const QString question =
        asProject ? QStringLiteral("Save the parts of %1 as a project before %2?")
                        .arg(project.isEmpty() ? picture : project, what)
                  : QStringLiteral("Save changes to %1 before %2?").arg(QStringLiteral("Untitled"), what);
    switch (options_.ConfirmSaveChanges(question)) {
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
        const QString caption = QStringLiteral("Save Picture");
        const TSaveChoice choice = options_.ChooseSavePicture(caption, SuggestedSaveName(caption));
        return !choice.FileName.isEmpty() && SaveCompletePictureAccept(choice.FileName, choice.Filter);
    } catch (...) {
        tw::ReportException(std::current_exception());
        return false;
    }
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // Exit has asked already; the close box asks only about unsaved changes.
    if (!std::exchange(closeConfirmed_, false) && !MaySkipUnsavedChanges(QStringLiteral("quitting"))) {
        event->ignore();
        return;
    }
    SaveWindowState();
    QMainWindow::closeEvent(event);
}

// --- The document's views ---------------------------------------------------------

void TFormMain::ConnectDocument() {
    connect(&Document, &TTintwellDocument::PartInserted, this, &TFormMain::InsertPartRow);
    connect(&Document, &TTintwellDocument::PartRemoved, this,
            [this](int, TImagePart* part) { RemovePartRow(part); });
    connect(&Document, &TTintwellDocument::SelectionChanged, this, &TFormMain::ShowDocumentSelection);
    connect(&Document, &TTintwellDocument::Changed, this,
            [this](const QRect& rect, const QList<TImagePart*>&) { ShowChanged(rect); });
    connect(&Document, &TTintwellDocument::PictureReplaced, this, [this] {
        ViewBitmap = tw::Bitmap();
        UpdateTitle();
    });
    connect(&Document, &TTintwellDocument::FileStateChanged, this, &TFormMain::UpdateTitle);
}

int TFormMain::RowOf(const TImagePart* part) {
    for (int row = 1; row < nvGridImageParts->RowCount(); ++row)
        if (ImagePartAt(row) == part) return row;
    return -1;
}

void TFormMain::InsertPartRow(int index, TImagePart* part) {
    TnvGrid& grid = *nvGridImageParts;
    grid.DefaultLayout().MinHeight = 70;
    const int row = index + 1; // below the header row
    if (row >= grid.RowCount())
        grid.AddRow(part);
    else
        grid.RootCell().Rows().Insert(row).Data = part;
    grid.Invalidate();
}

void TFormMain::RemovePartRow(TImagePart* part) {
    const int row = RowOf(part);
    if (row < 0) return;
    TnvGrid& grid = *nvGridImageParts;
    const bool was = std::exchange(showingSelection_, true);
    if (TVokCell* cell = grid.Cells(0, row)) cell->SetSelected(false);
    // The row goes while its part is still alive, so nothing the grid fires on the way sees a freed part.
    grid.RootCell().Rows().Delete(row);
    showingSelection_ = was;
    if (!grid.TopLeftCell() && grid.RowCount() > 1)
        if (TVokCell* last = grid.Cells(0, grid.RowCount() - 1)) grid.ScrollCellToTopLeft(*last);
    grid.Invalidate();
}

void TFormMain::ShowDocumentSelection() {
    RedrawLater();
    // Taken from the grid: it shows it already.
    if (showingSelection_) return;
    TnvGrid& grid = *nvGridImageParts;
    const bool was = std::exchange(showingSelection_, true);
    for (int row = 1; row < grid.RowCount(); ++row)
        if (TVokCell* cell = grid.Cells(0, row)) cell->SetSelected(Document.IsSelected(ImagePartAt(row)));
    const int current = RowOf(Document.CurrentPart());
    TVokCell* focused = grid.FocusedCell();
    if (current < 0) {
        if (focused && !ImagePartAt(focused->RowItem() ? focused->RowItem()->Index() : -1))
            grid.SetFocusedCell(nullptr);
    } else if (!focused || !focused->RowItem() || focused->RowItem()->Index() != current) {
        grid.SetFocusedCell(grid.Cells(0, current));
    }
    showingSelection_ = was;
    grid.Invalidate();
}

void TFormMain::TakeGridSelection() {
    std::vector<TImagePart*> selected;
    for (int row = 1; row < nvGridImageParts->RowCount(); ++row)
        if (RowSelected(row))
            if (TImagePart* part = ImagePartAt(row)) selected.push_back(part);
    const bool was = std::exchange(showingSelection_, true);
    Document.SetSelection(selected);
    TVokCell* focused = nvGridImageParts->FocusedCell();
    Document.SetCurrentPart(focused && focused->RowItem() ? ImagePartAt(focused->RowItem()->Index())
                                                          : nullptr);
    showingSelection_ = was;
}

void TFormMain::ShowChanged(const QRect& rect) {
    nvGridImageParts->Invalidate(); // the thumbnails follow
    // A dab has shown itself already, the way the brush shows it.
    if (dabbing_) return;
    if (ViewBitmap.Rect() == PictureBitmap.Rect() && !ViewBitmap.IsEmpty()) {
        Document.ComposeViewRect(ViewBitmap, rect, ActionOrgImageInBack->isChecked());
        ImageView->Invalidate();
    } else {
        RedrawLater();
    }
}

// --- Commands -----------------------------------------------------------------

bool TFormMain::HasCurrentCell() {
    return nvGridImageParts && nvGridImageParts->FocusedCell() != nullptr;
}

void TFormMain::SetChecked(QAction* on) {
    // Its group unchecks the others.
    on->setChecked(true);
    (on->actionGroup() == ModeGroup ? shownMode_ : shownBrushSize_) = on;
}

void TFormMain::ActionTriggered(QAction* action) {
    // An error ends the command here and is shown; it must not unwind through
    // Qt's signal code, which would be left half done.
    try {
        // Qt has already toggled a checkable action; the handler decides its state.
        // Not silently: the tool buttons must see the state come back. In a
        // group, the one checked before comes back.
        QActionGroup* group = action->actionGroup();
        if (group)
            (group == ModeGroup ? shownMode_ : shownBrushSize_)->setChecked(true);
        else if (action->isCheckable())
            action->setChecked(!action->isChecked());
        bool handled = false;
        DispatchAction(action, false, handled);
        if (!action->isEnabled()) return;
        DispatchAction(action, true, handled);
    } catch (...) {
        tw::ReportException(std::current_exception());
    }
}

void TFormMain::UpdateActions() {
    if (updating_) return;
    updating_ = true;
    try {
        for (QAction* a : actions_) {
            bool handled = false;
            DispatchAction(a, false, handled);
        }
        UpdateStatus();
    } catch (...) {
        tw::ReportException(std::current_exception());
    }
    updating_ = false;
}

void TFormMain::DispatchAction(QAction* action, bool execute, bool& handled) {
    if (action == SaveImagePart) {
        action->setEnabled(HasCurrentCell());
        if (execute && OnSaveImagePart) OnSaveImagePart();
        return;
    }
    if (action == OpenPicture1 || action == SaveCompletePicture) {
        // Dialog commands: always available; the picture files come through the seams.
        if (execute) {
            if (action == OpenPicture1 && OnOpenPicture) OnOpenPicture();
            if (action == SaveCompletePicture && OnSavePicture) OnSavePicture();
        }
        return;
    }
    if (action == EditCut1 || action == EditCopy1 || action == EditPaste1 || action == EditDelete1) {
        // The standard edit commands act on a focused text field only.
        QWidget* field = FocusedTextField();
        action->setEnabled(field != nullptr);
        if (execute && field) {
            const char* method = action == EditCut1     ? "cut"
                                 : action == EditCopy1  ? "copy"
                                 : action == EditPaste1 ? "paste"
                                                        : "del";
            QMetaObject::invokeMethod(field, method);
        }
        return;
    }

    handled = true;
    const bool current = HasCurrentCell();
    if (action == ActionFillMode) {
        action->setEnabled(true);
        if (execute) SetChecked(ActionFillMode);
    } else if (action == ActionBrushMode) {
        action->setEnabled(current);
        if (execute) SetChecked(ActionBrushMode);
    } else if (action == ActionEraseMode) {
        action->setEnabled(current);
        if (execute) SetChecked(ActionEraseMode);
    } else if (action == ActionChangeColor) {
        action->setEnabled(current);
        if (execute) ApplyColorSettings();
    } else if (action == ActionBrushSmall) {
        action->setEnabled(true);
        if (execute) SetChecked(ActionBrushSmall);
    } else if (action == ActionBrushMedium) {
        action->setEnabled(true);
        if (execute) SetChecked(ActionBrushMedium);
    } else if (action == ActionBrushLarge) {
        action->setEnabled(true);
        if (execute) SetChecked(ActionBrushLarge);
    } else if (action == ActionAddImagePart) {
        action->setEnabled(true);
        if (execute) AddBlankImagePart();
    } else if (action == ActionDeleteImagePart) {
        // Del is the text fields' delete while one has the focus.
        action->setEnabled(current && !FocusedTextField());
        if (execute) DeleteSelectedImageParts();
    } else if (action == ActionJoinSelectedImageParts) {
        action->setEnabled(current && SelectedRowCount() > 1);
        if (execute) JoinSelectedImageParts();
    } else if (action == ActionLoadimagepartfromfile) {
        action->setEnabled(true);
        if (execute) LoadImagePartFromFile();
    } else if (action == ActionOrgImageInBack) {
        action->setEnabled(true);
        if (execute) {
            action->setChecked(!action->isChecked());
            RedrawLater();
        }
    } else if (action == ActionHelp) {
        action->setEnabled(true);
        if (execute) ShowHelp();
    } else if (action == ActionExit) {
        action->setEnabled(true);
        if (execute) {
            // Unsaved changes bring their own question; without them, the usual one.
            const bool quit = Document.IsModified() ? MaySkipUnsavedChanges(QStringLiteral("quitting"))
                                                    : options_.ConfirmQuit();
            if (quit) {
                closeConfirmed_ = true;
                close();
                closeConfirmed_ = false;
            }
        }
    } else if (action == ActionAbout) {
        action->setEnabled(true);
        if (execute) About->exec();
    } else if (action == ActionZoomPlus) {
        action->setEnabled(ZoomIndex < 9);
        if (execute && ZoomIndex < 9) ZoomTo(ZoomIndex + 1, ViewCentre());
    } else if (action == ActionZoomMinus) {
        action->setEnabled(ZoomIndex > 0);
        if (execute && ZoomIndex > 0) ZoomTo(ZoomIndex - 1, ViewCentre());
    } else if (!DispatchViewAction(action, execute)) {
        handled = false;
    }
}

void TFormMain::ShowHelp() {
    QWidget* active = QApplication::focusWidget();
    if (!active) active = QApplication::activeWindow();
    if (options_.Help) options_.Help->ShowHelpFor(active);
}

void TFormMain::ShareHelpWith(QWidget* window, const QString& keyword) {
    if (!keyword.isEmpty()) tw::SetHelpKeyword(window, keyword);
    // The help command's F1 works in every window the action belongs to.
    window->addAction(ActionHelp);
    // Application-modal would block the help window too (it has no parent).
    window->setWindowModality(Qt::WindowModal);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && (watched == Label1 || watched == Label2)) {
        // The help book is built in; there is no web page or updater to go to.
        if (watched == Label1) {
            if (options_.Help) options_.Help->ShowStartPage();
        } else {
            options_.ShowMessage(tw::TAbout::VersionCheckText());
        }
        return true;
    }
    if (event->type() == QEvent::Leave && watched == ImageView) {
        // The cross and the brush frame go with the pointer.
        mouseSeen_ = false;
        colorAtCursorKnown_ = false;
        ShowColorAtCursor();
        ImageView->Invalidate();
    }
    if (event->type() == QEvent::Wheel && (watched == ImageView || watched == ScrollBox2->viewport()))
        return ViewWheel(static_cast<QWidget*>(watched), static_cast<QWheelEvent*>(event));
    return QMainWindow::eventFilter(watched, event);
}

// --- Image view -----------------------------------------------------------------

double TFormMain::ZoomFactor() const {
    return tw::ZoomFactor(ZoomIndex);
}

void TFormMain::ResizeView() {
    const double f = ZoomFactor();
    ImageView->resize(Round(PictureBitmap.Width() * f), Round(PictureBitmap.Height() * f));
    UpdateStatus();
    RedrawLater();
}

void TFormMain::RebuildViewBitmap() {
    ViewBitmap = Document.ComposeView(ActionOrgImageInBack->isChecked());
    ImageView->Invalidate();
    UpdateStatus();
}

void TFormMain::PaintView(TnvOffscreenPaint& sender) {
    const TGraphicsLockGuard lock;
    TPaintCanvas& canvas = sender.PaintCanvas();
    if (!ViewBitmap.IsEmpty()) tw::PaintZoomed(ViewBoxState(), {&ViewBitmap}, ZoomIndex, canvas);
    // Sampled before the marks: the small brush's frame crosses the centre,
    // and the labels should report the picture, not the frame. The cursor
    // position is only as fresh as the last mouse event: scrolling, a smaller
    // picture or a smaller window can leave it off the picture or off the
    // painted window, and what lies there is no colour of the picture.
    const double f = ZoomFactor();
    const QRect zoomedPicture(0, 0, Round(ViewBitmap.Width() * f), Round(ViewBitmap.Height() * f));
    const tw::ColorValue sampled = canvas.Pixel(CursorViewPos.x(), CursorViewPos.y());
    colorAtCursorKnown_ = mouseSeen_ && !ViewBitmap.IsEmpty() && zoomedPicture.contains(CursorViewPos) &&
                          sampled != tw::kOutside;
    if (colorAtCursorKnown_) ColorAtCursor = sampled;
    if (mouseSeen_) DrawCursorMarks(canvas, CursorViewPos, 1);
    // The mouse move that asked for this paint showed the colour of the paint
    // before; show the one just read, so the labels never lag a move behind.
    ShowColorAtCursor();
}

tw::ScrollBoxState TFormMain::ViewBoxState() const {
    tw::ScrollBoxState box;
    box.HorzVisible = ScrollBox2->horizontalScrollBar()->isVisible();
    box.HorzPosition = ScrollBox2->horizontalScrollBar()->value();
    box.VertVisible = ScrollBox2->verticalScrollBar()->isVisible();
    box.VertPosition = ScrollBox2->verticalScrollBar()->value();
    box.Width = ScrollBox2->viewport()->width();
    box.Height = ScrollBox2->viewport()->height();
    return box;
}

void TFormMain::ShowColorAtCursor() {
    if (!colorAtCursorKnown_) {
        LabelColorAtCurs->setText(kColorAtCursor);
        LabelColorAtCursHSV->setText(kColorAtCursor);
        return;
    }
    const tw::ColorValue c = ColorAtCursor;
    LabelColorAtCurs->setText(QString::asprintf("R:%d  G:%d  B:%d", static_cast<int>(c & 255),
                                                static_cast<int>((c >> 8) & 255),
                                                static_cast<int>((c >> 16) & 255)));
    const THSVValues hsv = ColorToHSVValues(c);
    LabelColorAtCursHSV->setText(QString::asprintf("H:%d  S:%d  V:%d", hsv.H, hsv.S, hsv.V));
}

void TFormMain::DrawCursorMarks(TPaintCanvas& canvas, QPoint point, double scale) {
    const int x = point.x(), y = point.y();
    canvas.Pen = TPen{kRed, 3, TPenStyle::Solid, TPenMode::Copy};
    canvas.MoveTo(x, y - 30);
    canvas.LineTo(x, y - 10);
    canvas.MoveTo(x, y + 10);
    canvas.LineTo(x, y + 30);
    canvas.MoveTo(x - 30, y);
    canvas.LineTo(x - 10, y);
    canvas.MoveTo(x + 10, y);
    canvas.LineTo(x + 30, y);

    const int a = Round(BrushRadius() * scale);
    canvas.Brush = TBrush{kGrey, TBrushStyle::Solid};
    canvas.FrameRect(QRect(QPoint(x - a - 1, y - a - 1), QPoint(x + a - 2, y + a - 2)));
    canvas.Brush = TBrush{kBlack, TBrushStyle::Solid};
    canvas.FrameRect(QRect(QPoint(x - a, y - a), QPoint(x + a - 1, y + a - 1)));

    QString word = QStringLiteral("Fill");
    if (ActionBrushMode->isChecked())
        word = QStringLiteral("Brush");
    else if (ActionEraseMode->isChecked())
        word = QStringLiteral("Erase");
    canvas.Font.Size = 8;
    canvas.Font.Color = kYellow;
    canvas.Brush.Style = TBrushStyle::Clear;
    canvas.TextOut(x + a, y - a - 10, word);
}

int TFormMain::BrushRadius() const {
    if (ActionBrushMedium->isChecked()) return 4;
    if (ActionBrushLarge->isChecked()) return 8;
    return 2;
}

void TFormMain::TrackViewMouse(TShiftState shift, int X, int Y) {
    const double f = ZoomFactor();
    CursorViewPos = QPoint(X, Y);
    mouseSeen_ = true;
    const int px = Round(X / f), py = Round(Y / f);
    CursorPicturePos = QPoint(px, py);
    ImageView->Invalidate();

    if (!(shift & ssLeft)) return;
    const bool brush = ActionBrushMode->isChecked();
    if (!brush && !ActionEraseMode->isChecked()) return;
    // The dab goes to the part of the focused row.
    TVokCell* current = nvGridImageParts->FocusedCell();
    TImagePart* part = current && current->RowItem() ? ImagePartAt(current->RowItem()->Index()) : nullptr;
    if (!part) return;
    {
        // The grid shows it already; the view is not to be rebuilt mid-stroke.
        const QSignalBlocker quiet(Document);
        Document.SetCurrentPart(part);
    }

    const int r = TTintwellDocument::DabRadius(BrushRadius(), f);
    // Zoomed in so far that the brush is smaller than one picture pixel: the dab
    // takes the pixel the view shows under the cross, so it never paints nothing.
    const QPoint at =
        r > 0 ? QPoint(px, py)
              : tw::PictureAtZoomed(ViewBoxState(), PictureBitmap.Rect().size(), ZoomIndex, {X, Y});
    const bool was = std::exchange(dabbing_, true);
    TDab dab;
    try {
        dab = Document.Dab(brush ? TStrokeKind::Brush : TStrokeKind::Erase, at, r);
    } catch (...) {
        dabbing_ = was;
        throw;
    }
    dabbing_ = was;
    Document.ShowDabInView(ViewBitmap, dab, ActionOrgImageInBack->isChecked());
    ImageView->Repaint();
    nvGridImageParts->Invalidate();
}

void TFormMain::ImageViewMouseMove(TnvOffscreenPaint&, TShiftState shift, int X, int Y) {
    TrackViewMouse(shift, X, Y);
    ShowColorAtCursor();
}

void TFormMain::ImageViewMouseDown(TnvOffscreenPaint&, TMouseButton, TShiftState shift, int X, int Y) {
    Document.TakeSettingsOfFirstSelected();
    // Everything painted until the button comes up is one step to undo.
    Document.BeginStroke();
    TrackViewMouse(shift, X, Y);
}

void TFormMain::ImageViewMouseUp(TnvOffscreenPaint&, TMouseButton, TShiftState, int, int) {
    Document.EndStroke();
}

void TFormMain::ImageViewClick(TnvOffscreenPaint&) {
    if (!ActionFillMode->isChecked()) return;
    const QRect seed(QPoint(CursorPicturePos.x(), CursorPicturePos.y()),
                     QPoint(CursorPicturePos.x(), CursorPicturePos.y()));
    if (OnShowMaskDialog) OnShowMaskDialog(PictureBitmap, seed, CursorViewPos, CurrentSettings);
}

// --- Image parts ------------------------------------------------------------------

TImagePart* TFormMain::ImagePartAt(int row) {
    TVokCell* cell = nvGridImageParts->Cells(0, row);
    if (!cell || !cell->RowItem()) return nullptr;
    return cell->RowItem()->Data.As<TImagePart>();
}

bool TFormMain::RowSelected(int row) {
    TVokCell* cell = nvGridImageParts->Cells(0, row);
    return cell && cell->Selected();
}

int TFormMain::SelectedRowCount() {
    int n = 0;
    for (int row = 1; row < nvGridImageParts->RowCount(); ++row)
        if (RowSelected(row)) ++n;
    return n;
}

TImagePart* TFormMain::FirstSelectedImagePart() {
    for (int row = 0; row < nvGridImageParts->RowCount(); ++row)
        if (RowSelected(row))
            if (TImagePart* part = ImagePartAt(row)) return part;
    return nullptr;
}

void TFormMain::AddImagePart(const tw::Bitmap& bitmap, QPoint anchor,
                             const std::optional<TPartGrowth>& growth) {
    TakeGridSelection();
    Document.AddGrownPart(bitmap, anchor, growth);
}

void TFormMain::AddBlankImagePart() {
    TakeGridSelection();
    Document.AddBlankPart();
}

void TFormMain::ClearImageParts() {
    Document.ClearParts();
}

void TFormMain::DeleteSelectedImageParts() {
    TakeGridSelection();
    Document.DeleteSelectedParts();
}

void TFormMain::JoinSelectedImageParts() {
    TakeGridSelection();
    Document.JoinSelectedParts();
}

void TFormMain::LoadImagePartFromFile() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open image to tintwell"),
                                                      pictureFolder_, TTintwellDocument::PartFileFilter());
    if (path.isEmpty()) return;
    LoadImagePartFrom(path);
}

void TFormMain::LoadImagePartFrom(const QString& path) {
    TakeGridSelection();
    Document.LoadPartFromFile(path);
    pictureFolder_ = QFileInfo(path).absolutePath();
}

void TFormMain::ApplyColorSettings() {
    TakeGridSelection();
    TImagePart* first = FirstSelectedImagePart();
    TTintwellSettings settings = first ? first->Settings : CurrentSettings;
    // Until the colour settings dialog is connected there is nothing to confirm.
    if (OnShowColorSettings && OnShowColorSettings(first, settings)) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        try {
            Document.ChangeColor(settings);
        } catch (...) {
            QApplication::restoreOverrideCursor();
            throw;
        }
        QApplication::restoreOverrideCursor();
    }
    RedrawLater();
}

void TFormMain::nvGridImagePartsUserRenderCell(TVokGridView_Custom&, TPaintCanvas& canvas, TVokCell& cell,
                                               const TRect& rect, bool& defaultDraw) {
    const TGraphicsLockGuard lock;
    if (!cell.RowItem() || cell.RowItem()->Index() <= 0) return;
    defaultDraw = false;
    const TnvGrid_Column* column = nvGridImageParts->ColumnOf(&cell);
    if (column && column->Index() == 0) {
        canvas.Font.Size = 24;
        canvas.Font.Color = kColorWindowText; // black, or light on a dark desktop
        canvas.Brush.Style = TBrushStyle::Clear;
        canvas.TextOut(rect.Left, rect.Top, QString::number(cell.RowItem()->Index()));
        canvas.Font.Size = 8;
        return;
    }
    const TImagePart* part = cell.RowItem()->Data.As<TImagePart>();
    if (!part || part->Bitmap.IsEmpty() || rect.Height() <= 0) return;
    const double k = static_cast<double>(part->Bitmap.Height()) / rect.Height();
    const int w = Round(part->Bitmap.Width() / k), h = Round(part->Bitmap.Height() / k);
    if (w <= 0 || h <= 0) return;
    tw::Bitmap thumbnail(w, h);
    thumbnail.StretchPlain(thumbnail.Rect(), part->Bitmap, part->Bitmap.Rect());
    canvas.DrawTransparent(rect.Left, rect.Top, thumbnail);
}

bool TFormMain::nvGridImagePartsEditorCanModify(TVokGridView_Custom&, TVokCell*) {
    return false;
}

void TFormMain::nvGridImagePartsCellSelectionChanged(TVokGridView_Custom&, TVokCell*) {
    RedrawLater();
    if (showingSelection_) return;
    TakeGridSelection();
    // A click on a part makes its settings the current ones, even when the selection stays.
    Document.TakeSettingsOfFirstSelected();
}
