#include "dialogs/ColourVariantsDialog.h"

#include "colour/HexColour.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Item data of the colour column: the goal's value and whether it was stated in sRGB.
constexpr int kValueRole = Qt::UserRole;
constexpr int kSrgbRole = Qt::UserRole + 1;

QIcon Swatch(tw::ColorValue colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(QColorOf(colour));
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawRect(0, 0, 15, 15);
    return QIcon(pixmap);
}

} // namespace

TColourVariantsDialog::TColourVariantsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Colour Variants"));
    setObjectName(QStringLiteral("colourVariants"));
    table_ = new QTableWidget(0, 2, this);
    table_->setObjectName(QStringLiteral("variants"));
    table_->setHorizontalHeaderLabels({tr("Name"), tr("Colour")});
    table_->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(kColour, QHeaderView::Stretch);
    table_->verticalHeader()->setVisible(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setToolTip(tr("Double-click a name or a colour (#rrggbb) to change it"));

    const auto button = [this](const QString& text, const char* name, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        b->setAutoDefault(false);
        return b;
    };
    addGoal_ = button(tr("Add Colour..."), "addColour", tr("A variant with every part matched to a colour"));
    addCurrent_ = button(tr("Add Current Settings"), "addCurrent",
                         tr("A variant with each part's colour settings as they are now"));
    changeGoal_ = button(tr("Colour..."), "changeColour", tr("Choose the selected variant's colour"));
    remove_ = button(tr("Remove"), "remove", tr("Remove the selected variant"));
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    auto* note = new QLabel(tr("\"Save Colour Variants...\" writes one picture for each variant, named "
                               "NAME-VARIANT, and a contact sheet of them all. Names are letters, digits, "
                               "\".\", \"_\" and \"-\"."),
                            this);
    note->setWordWrap(true);
    ok_ = button(tr("OK"), "ok", {});
    ok_->setDefault(true);
    cancel_ = button(tr("Cancel"), "cancel", {});

    auto* side = new QVBoxLayout;
    for (QPushButton* b : {addGoal_, addCurrent_, changeGoal_, remove_})
        side->addWidget(b);
    side->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(table_, 1);
    top->addLayout(side);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(ok_);
    bottom->addWidget(cancel_);
    auto* form = new QVBoxLayout(this);
    form->addLayout(top, 1);
    form->addWidget(note);
    form->addWidget(problem_);
    form->addLayout(bottom);
    resize(520, 360);

    connect(addGoal_, &QPushButton::clicked, this, &TColourVariantsDialog::AddGoal);
    connect(addCurrent_, &QPushButton::clicked, this, &TColourVariantsDialog::AddCurrentSettings);
    connect(changeGoal_, &QPushButton::clicked, this, &TColourVariantsDialog::ChangeGoal);
    connect(remove_, &QPushButton::clicked, this, &TColourVariantsDialog::RemoveSelected);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_) return;
        if (item->column() == kColour) {
            // A colour typed in is a stated one.
            if (const auto colour = ParseHexColour(item->text().trimmed().toStdString())) {
                const QSignalBlocker block(table_);
                item->setData(kValueRole, static_cast<uint>(*colour));
                item->setData(kSrgbRole, true);
            }
            ShowColour(item->row());
        }
        Check();
    });
    connect(table_, &QTableWidget::itemSelectionChanged, this, &TColourVariantsDialog::Check);
}

void TColourVariantsDialog::Prepare(const std::vector<TColourVariant>& variants,
                                    const std::vector<TTintwellSettings>& parts) {
    parts_ = parts;
    perPart_.clear();
    table_->setRowCount(0);
    for (const TColourVariant& v : variants)
        AddRow(v);
    table_->clearSelection();
    Check();
}

void TColourVariantsDialog::AddRow(const TColourVariant& variant) {
    filling_ = true;
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setItem(row, kName, new QTableWidgetItem(QString::fromStdString(variant.Name)));
    auto* colour = new QTableWidgetItem;
    if (variant.Goal) {
        colour->setData(kValueRole, static_cast<uint>(variant.Goal->Value));
        colour->setData(kSrgbRole, variant.Goal->Srgb);
    } else {
        colour->setFlags(colour->flags() & ~Qt::ItemIsEditable);
    }
    table_->setItem(row, kColour, colour);
    perPart_.push_back(variant.Goal ? std::vector<TTintwellSettings>{} : variant.Parts);
    filling_ = false;
    ShowColour(row);
    table_->selectRow(row);
    Check();
}

void TColourVariantsDialog::ShowColour(int row) {
    QTableWidgetItem* item = table_->item(row, kColour);
    if (!item) return;
    const QSignalBlocker block(table_);
    if (!perPart_[static_cast<size_t>(row)].empty() || !(item->flags() & Qt::ItemIsEditable)) {
        item->setText(tr("Settings per part"));
        const std::optional<TColorValue> first = VariantColour({{}, {}, perPart_[static_cast<size_t>(row)]});
        item->setIcon(first ? Swatch(*first) : QIcon());
        return;
    }
    const auto value = static_cast<tw::ColorValue>(item->data(kValueRole).toUInt());
    // What was typed stays until it reads as a colour; the swatch shows the last that did.
    if (ParseHexColour(item->text().trimmed().toStdString()) || item->text().isEmpty())
        item->setText(QString::fromStdString(HexColour(value)));
    item->setIcon(Swatch(value));
    item->setToolTip(item->data(kSrgbRole).toBool() ? tr("Every part matched to this colour")
                                                    : tr("Every part matched to this colour of the picture"));
}

QString TColourVariantsDialog::FreeName(const QString& base) const {
    const auto taken = [this](const QString& name) {
        for (int row = 0; row < table_->rowCount(); ++row)
            if (table_->item(row, kName)->text() == name) return true;
        return false;
    };
    if (!taken(base)) return base;
    for (int n = 2;; ++n)
        if (const QString name = QStringLiteral("%1-%2").arg(base).arg(n); !taken(name)) return name;
}

int TColourVariantsDialog::SelectedRow() const {
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.front().topRow();
}

void TColourVariantsDialog::AddGoal() {
    const std::optional<tw::ColorValue> colour = ChooseColour(chooseColour_, this, 0x442A1F, tr("Colour"));
    if (!colour) return;
    // Named after its colour, which the user may rename to "navy".
    const std::string hex = HexColour(*colour).substr(1);
    AddRow({FreeName(QString::fromStdString(hex)).toStdString(), TGivenColour{*colour, true}, {}});
}

void TColourVariantsDialog::AddCurrentSettings() {
    AddRow({FreeName(tr("variant%1").arg(table_->rowCount() + 1)).toStdString(), std::nullopt, parts_});
}

void TColourVariantsDialog::ChangeGoal() {
    const int row = SelectedRow();
    if (row < 0 || !perPart_[static_cast<size_t>(row)].empty()) return;
    QTableWidgetItem* item = table_->item(row, kColour);
    const auto initial = static_cast<tw::ColorValue>(item->data(kValueRole).toUInt());
    const std::optional<tw::ColorValue> colour = ChooseColour(chooseColour_, this, initial, tr("Colour"));
    if (!colour) return;
    {
        const QSignalBlocker block(table_);
        item->setData(kValueRole, static_cast<uint>(*colour));
        item->setData(kSrgbRole, true);
        item->setText(QString::fromStdString(HexColour(*colour)));
    }
    ShowColour(row);
    Check();
}

void TColourVariantsDialog::RemoveSelected() {
    const int row = SelectedRow();
    if (row < 0) return;
    table_->removeRow(row);
    perPart_.erase(perPart_.begin() + row);
    Check();
}

std::vector<TColourVariant> TColourVariantsDialog::Variants() const {
    std::vector<TColourVariant> variants;
    for (int row = 0; row < table_->rowCount(); ++row) {
        TColourVariant v;
        v.Name = table_->item(row, kName)->text().toStdString();
        const QTableWidgetItem* colour = table_->item(row, kColour);
        if (!perPart_[static_cast<size_t>(row)].empty() || !(colour->flags() & Qt::ItemIsEditable))
            v.Parts = perPart_[static_cast<size_t>(row)];
        else
            v.Goal = TGivenColour{static_cast<tw::ColorValue>(colour->data(kValueRole).toUInt()),
                                  colour->data(kSrgbRole).toBool()};
        variants.push_back(std::move(v));
    }
    return variants;
}

void TColourVariantsDialog::Check() {
    const int row = SelectedRow();
    const bool goalRow = row >= 0 && perPart_[static_cast<size_t>(row)].empty() &&
                         (table_->item(row, kColour)->flags() & Qt::ItemIsEditable);
    changeGoal_->setEnabled(goalRow);
    remove_->setEnabled(row >= 0);
    addCurrent_->setEnabled(!parts_.empty());
    QString problem;
    for (int r = 0; r < table_->rowCount() && problem.isEmpty(); ++r) {
        const QString name = table_->item(r, kName)->text();
        if (!IsVariantName(name.toStdString()))
            problem = name.isEmpty()
                          ? tr("Row %1 has no name.").arg(r + 1)
                          : tr("\"%1\" cannot be a variant's name: use letters, digits, \".\", \"_\" "
                               "and \"-\" only.")
                                .arg(name);
        for (int other = 0; other < r && problem.isEmpty(); ++other)
            if (table_->item(other, kName)->text() == name)
                problem = tr("Two variants are named \"%1\".").arg(name);
        const QTableWidgetItem* colour = table_->item(r, kColour);
        if (problem.isEmpty() && (colour->flags() & Qt::ItemIsEditable) &&
            !ParseHexColour(colour->text().trimmed().toStdString()))
            problem = tr("\"%1\" is not a colour: write it as #rrggbb.").arg(colour->text());
    }
    problem_->setText(problem);
    problem_->setVisible(!problem.isEmpty());
    ok_->setEnabled(problem.isEmpty());
}
