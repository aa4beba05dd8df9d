// The main window's full-size save: the result at the picture's own size,
// composed, encoded and written on a worker thread while the window stays
// responsive, with a progress dialog that can cancel it.

#include "app/Form_Main.h"

#include "platform/ErrorReport.h"
#include "platform/PictureFile.h"

#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <exception>
#include <memory>
#include <thread>

namespace {

constexpr int kProgressSteps = 1000;
constexpr int kComposedStep = 900; // the rest is encoding and writing
constexpr int kShowAfterMs = 500;

} // namespace

// One save at a time. The worker reads only its own copy of the document
// (pixels shared until the window changes them) and hands its outcome back
// through the event loop.
class TFullSizeSave : public QObject {
  public:
    TFullSizeSave(TFormMain& form, TTintwellDocument::TFullSizeSource source, QString target)
        : QObject(&form), form_(form), state_(std::make_shared<State>()), target_(std::move(target)),
          stateKey_(form.Document.StateKey()) {
        progress_ = new QProgressDialog(QStringLiteral("Saving the full-size picture..."),
                                        QStringLiteral("Cancel"), 0, kProgressSteps, &form);
        progress_->setWindowTitle(QStringLiteral("Tintwell"));
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setMinimumDuration(kShowAfterMs);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setValue(0);
        connect(progress_, &QProgressDialog::canceled, this, [this] { Cancel(); });
        poll_ = new QTimer(this);
        connect(poll_, &QTimer::timeout, this, [this] {
            if (progress_) progress_->setValue(state_->Step.load());
        });
        poll_->start(50);

        const std::shared_ptr<State> state = state_;
        const QPointer<TFullSizeSave> self(this);
        worker_ = std::jthread([state, self, source = std::move(source), path = target_.toStdString()] {
            std::exception_ptr failure;
            bool written = false;
            try {
                TFullSizeOptions options;
                options.Cancel = &state->Cancel;
                options.OnProgress = [&](double f) { state->Step = static_cast<int>(f * kComposedStep); };
                std::optional<tw::Bitmap> result = source.Compose(options);
                if (result) {
                    const QByteArray bytes = tw::EncodePicture(*result, tw::SaveFormatFor(path), path);
                    result.reset();
                    // The last moment a cancel keeps the file from being written.
                    if (!state->Cancel) {
                        tw::WriteFileAtomically(path, bytes);
                        written = true;
                    }
                }
            } catch (...) {
                failure = std::current_exception();
            }
            state->Step = kProgressSteps;
            QMetaObject::invokeMethod(
                self.data(),
                [self, failure, written] {
                    if (self) self->Finish(failure, written);
                },
                Qt::QueuedConnection);
        });
    }

    ~TFullSizeSave() override {
        state_->Cancel = true;
        // The jthread joins here; whatever it posts afterwards goes with this object.
    }

    void Cancel() { state_->Cancel = true; }

  private:
    struct State {
        std::atomic<bool> Cancel{false};
        std::atomic<int> Step{0};
    };

    void Finish(std::exception_ptr failure, bool written) {
        if (worker_.joinable()) worker_.join();
        poll_->stop();
        delete progress_;
        TFormMain& form = form_;
        const QString target = target_;
        const TTintwellDocument::TStateKey state = stateKey_;
        deleteLater();
        form.FinishFullSizeSave(this, failure, written, target, state);
    }

    TFormMain& form_;
    std::shared_ptr<State> state_;
    QString target_;
    TTintwellDocument::TStateKey stateKey_; // the document's state the picture shows
    QPointer<QProgressDialog> progress_;
    QTimer* poll_ = nullptr;
    std::jthread worker_;
};

void TFormMain::ConnectFullSizeSave() {
    SaveFullSizePicture = new QAction(QStringLiteral("Save &Full-Size Picture..."), this);
    SaveFullSizePicture->setStatusTip(QStringLiteral("Save the resulting image at the picture's own size"));
    SaveFullSizePicture->setToolTip(SaveFullSizePicture->statusTip());
    SaveFullSizePicture->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    addAction(SaveFullSizePicture);
    // Right after "&Save Picture..." wherever that is in a menu.
    for (QObject* owner : SaveCompletePicture->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(owner)) {
            const QList<QAction*> items = menu->actions();
            const qsizetype at = items.indexOf(SaveCompletePicture);
            menu->insertAction(at + 1 < items.size() ? items[at + 1] : nullptr, SaveFullSizePicture);
        }
    connect(SaveFullSizePicture, &QAction::triggered, this, [this] {
        tw::RunReportingErrors([this] {
            if (OnSaveFullSizePicture) OnSaveFullSizePicture();
        });
    });
    OnSaveFullSizePicture = [this] {
        if (FullSizeSaveRunning()) return;
        // An icon too small for the picture is refused with the reason, and the
        // dialog comes again for another type.
        const QString caption = QStringLiteral("Save Full-Size Picture");
        for (;;) {
            const TSaveChoice choice = options_.ChooseSavePicture(caption, SuggestedSaveName(caption));
            if (choice.FileName.isEmpty()) return;
            if (!FitsFullSizeFormat(WithExtension(choice.FileName, choice.Filter))) continue;
            SaveFullSizePictureAccept(choice.FileName, choice.Filter);
            return;
        }
    };
}

bool TFormMain::SaveFullSizePictureAccept(const QString& fileName, const QString& filter) {
    if (FullSizeSaveRunning()) return false;
    const QString target = SaveTarget(fileName, filter, TSaveKind::FullSize);
    if (target.isEmpty()) return false;
    StartFullSizeSave(target);
    return true;
}

void TFormMain::StartFullSizeSave(const QString& target) {
    if (FullSizeSaveRunning()) return;
    fullSizeSave_ = new TFullSizeSave(*this, Document.FullSizeSource(), target);
}

bool TFormMain::FullSizeSaveRunning() const {
    return fullSizeSave_ != nullptr;
}

void TFormMain::CancelFullSizeSave() {
    if (fullSizeSave_) fullSizeSave_->Cancel();
}

void TFormMain::FinishFullSizeSave(TFullSizeSave* save, std::exception_ptr failure, bool written,
                                   const QString& target, const TTintwellDocument::TStateKey& state) {
    if (save == fullSizeSave_) fullSizeSave_ = nullptr;
    if (failure) {
        tw::ReportException(failure);
        return;
    }
    if (!written) return;
    pictureFolder_ = QFileInfo(target).absolutePath();
    // The result of the document as it was when the save began; the parts are still unsaved.
    Document.MarkExported(state);
}
