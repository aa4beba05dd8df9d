#include "document/FullSizeSaveJob.h"

#include "platform/PictureFile.h"

#include <QPointer>

namespace {

constexpr int kSteps = 1000;
constexpr int kComposedStep = 900; // the rest is encoding and writing

} // namespace

TFullSizeSaveJob::TFullSizeSaveJob(TTintwellDocument::TFullSizeSource source, std::string path,
                                   QObject* parent)
    : QObject(parent), source_(std::move(source)), path_(std::move(path)),
      state_(std::make_shared<TState>()) {}

TFullSizeSaveJob::~TFullSizeSaveJob() {
    state_->Cancel = true;
    // What the thread posts afterwards goes with this object.
    if (thread_.joinable()) thread_.join();
}

void TFullSizeSaveJob::Start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] { Run(); });
}

void TFullSizeSaveJob::Cancel() {
    state_->Cancel = true;
}

double TFullSizeSaveJob::Progress() const {
    return state_->Step.load() / static_cast<double>(kSteps);
}

void TFullSizeSaveJob::Run() {
    std::exception_ptr failure;
    bool written = false;
    TState& state = *state_;
    try {
        TFullSizeOptions options;
        options.Cancel = &state.Cancel;
        options.OnProgress = [&state](double f) { state.Step = static_cast<int>(f * kComposedStep); };
        std::optional<tw::Bitmap> result = source_.Compose(options);
        if (result) {
            const QByteArray bytes = tw::EncodePicture(*result, tw::SaveFormatFor(path_), path_);
            result.reset();
            // The last moment a cancel keeps the file from being written.
            if (!state.Cancel) {
                tw::WriteFileAtomically(path_, bytes);
                written = true;
            }
        }
    } catch (...) {
        failure = std::current_exception();
    }
    state.Step = kSteps;
    const QPointer<TFullSizeSaveJob> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, written, failure] {
            if (self) emit self->finished(written, failure);
        },
        Qt::QueuedConnection);
}
