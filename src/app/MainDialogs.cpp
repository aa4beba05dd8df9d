#include "app/MainDialogs.h"

#include "app/Accessibility.h"
#include "app/AppSettings.h"
#include "app/Form_Main.h"
#include "dialogs/ColourSettingsDialog.h"
#include "dialogs/GrowPartDialog.h"

#include <QDialog>
#include <QScrollArea>

TMainDialogs ConnectDialogs(TFormMain& form) {
    TMainDialogs dialogs;
    auto* selection = new TGrowPartDialog(&form);
    auto* colors = new TColourSettingsDialog(&form);
    tw::NameControlsForAccessibility(
        selection,
        {{selection->findChild<QWidget*>(QStringLiteral("previewArea")), QStringLiteral("Coloring mask"),
          QStringLiteral("The part grown from the clicked point, over the picture")}});
    tw::NameControlsForAccessibility(colors);
    dialogs.FormSelection = selection;
    dialogs.FormColorSettings = colors;
    form.ShareHelpWith(selection, QStringLiteral("Color_mask_generation.htm"));
    form.ShareHelpWith(colors, QStringLiteral("Change_color_dialog.htm"));

    // The rules of last time, and whatever the user leaves them at for next time.
    selection->SetRules(form.Settings().MaskRules());
    QObject::connect(selection, &QDialog::finished, &form,
                     [&form, selection] { form.Settings().SetMaskRules(selection->Rules()); });
    // "Add this" hands the grown mask to the parts list.
    QObject::connect(
        selection, &TGrowPartDialog::partAccepted, &form,
        [&form](const tw::Bitmap& mask, QPoint anchor, const std::optional<TPartGrowth>& growth) {
            form.AddImagePart(mask, anchor, growth);
        });
    form.OnShowMaskDialog = [&form, selection](const tw::Bitmap& picture, const QRect& seed, QPoint viewPos,
                                               TTintwellSettings settings) {
        selection->ShowFor(picture, seed.topLeft(), viewPos, settings, form.ZoomIndex);
    };
    form.OnShowColorSettings = [&form, colors](TImagePart* part, TTintwellSettings& settings) {
        // Without a selected part the dialog still edits the settings for new parts.
        if (part) colors->Prepare(settings, &form.PictureBitmap, part);
        if (colors->exec() != QDialog::Accepted) return false;
        settings = colors->Settings();
        return true;
    };
    return dialogs;
}
