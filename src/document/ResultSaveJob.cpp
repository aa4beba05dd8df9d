#include "document/ResultSaveJob.h"

#include "platform/PictureFile.h"

#include <QPointer>

namespace {

constexpr int kSteps = 1000;
constexpr double kComposed = 0.9; // of an item; the rest is encoding and writing

} // namespace

TResultSaveJob::TResultSaveJob(TTintwellDocument::TFullSizeSource source, std::string path, QObject* parent)
    : TResultSaveJob(std::vector<TItem>{{std::move(source), std::move(path), true, {}, {}, {}}}, {}, parent) {
}

TResultSaveJob::TResultSaveJob(std::vector<TItem> items, std::string sheetPath, QObject* parent)
    : QObject(parent), items_(std::move(items)), sheetPath_(std::move(sheetPath)),
      state_(std::make_shared<TState>()) {}

TResultSaveJob::~TResultSaveJob() {
    state_->Cancel = true;
    // What the thread posts afterwards goes with this object.
    if (thread_.joinable()) thread_.join();
}

void TResultSaveJob::Start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] { Run(); });
}

void TResultSaveJob::Cancel() {
    state_->Cancel = true;
}

double TResultSaveJob::Progress() const {
    return state_->Step.load() / static_cast<double>(kSteps);
}

bool TResultSaveJob::Save(size_t index, TContactEntry* entry) {
    TState& state = *state_;
    const TItem& item = items_[index];
    const double share = 1.0 / static_cast<double>(items_.size());
    const auto progress = [&state, index, share](double f) {
        state.Step = static_cast<int>((static_cast<double>(index) + f) * share * kSteps);
    };
    const TTintwellDocument::TFullSizeSource source =
        item.Settings ? item.Source.WithSettings(*item.Settings) : item.Source;
    std::optional<tw::Bitmap> result;
    if (item.FullSize) {
        TFullSizeOptions options;
        options.Cancel = &state.Cancel;
        options.OnProgress = [&progress](double f) { progress(f * kComposed); };
        result = source.Compose(options);
    } else {
        result = source.ComposeWorking();
    }
    if (!result || state.Cancel) return false;
    progress(kComposed);
    if (entry) *entry = {item.Name, item.Colour, ContactThumbnail(*result)};
    // The photo's metadata and profile go with it; TIFF and WebP encoders say how far they are.
    tw::TSaveOptions save = item.Source.SaveOptions();
    save.OnProgress = [&progress](double f) { progress(kComposed + f * (1 - kComposed)); };
    const QByteArray bytes = tw::EncodePicture(*result, tw::SaveFormatFor(item.Path), item.Path, save);
    result.reset();
    // The last moment a cancel keeps the file from being written.
    if (state.Cancel) return false;
    tw::WriteFileAtomically(item.Path, bytes);
    ++state.Written;
    progress(1.0);
    return true;
}

void TResultSaveJob::Run() {
    std::exception_ptr failure;
    bool written = false;
    try {
        std::vector<TContactEntry> sheet(sheetPath_.empty() ? 0 : items_.size());
        written = true;
        for (size_t i = 0; i < items_.size() && written; ++i)
            written = Save(i, sheet.empty() ? nullptr : &sheet[i]);
        if (written && !sheet.empty() && !state_->Cancel)
            tw::WriteFileAtomically(sheetPath_, tw::EncodePicture(ComposeContactSheet(sheet),
                                                                  tw::SaveFormatFor(sheetPath_), sheetPath_));
    } catch (...) {
        failure = std::current_exception();
        written = false;
    }
    state_->Step = kSteps;
    const QPointer<TResultSaveJob> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, written, failure] {
            if (self) emit self->finished(written, failure);
        },
        Qt::QueuedConnection);
}
