#include "document/ViewTiles.h"

#include "fullsize/FullSizeComposer.h"

#include <QMetaObject>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Tiles composed together at most, kBlockTiles x kBlockTiles of them: one
// composition prepares each part's working-size data once, so larger blocks
// cost less per tile, but keep the first tiles of a view waiting longer.
constexpr int kBlockTiles = 6;

} // namespace

struct TViewTiles::TResult {
    uint64_t Serial = 0;
    QSize FullSize;
    QRect Rect;
    TViewLayer Layer = TViewLayer::Result;
    std::shared_ptr<std::atomic<bool>> Cancel;
    std::optional<tw::Bitmap> Pixels;
};

TViewTiles::TViewTiles(TSourceMaker source, QObject* parent)
    : QObject(parent), source_(std::move(source)), worker_(std::make_unique<TRowBandPool::TTaskGroup>()) {
    const char* trace = std::getenv("TW_VIEW_TRACE");
    trace_ = trace && *trace && std::strcmp(trace, "0") != 0;
}

TViewTiles::~TViewTiles() {
    if (cancel_) cancel_->store(true);
    worker_.reset();
}

void TViewTiles::SetFullSize(QSize size) {
    if (size == fullSize_) return;
    fullSize_ = size;
    Clear();
}

QRect TViewTiles::TileRect(QPoint index) const {
    return QRect(index * kTileSize, QSize(kTileSize, kTileSize)).intersected(QRect(QPoint(), fullSize_));
}

const tw::Bitmap* TViewTiles::Tile(QPoint index, TViewLayer layer) {
    const auto it = tiles_.find(Key(index, layer));
    if (it == tiles_.end()) return nullptr;
    it->LastUse = ++uses_;
    return &it->Pixels;
}

std::vector<QPoint> TViewTiles::MissingTiles(const QRect& photoRect, TViewLayer layer) const {
    std::vector<QPoint> missing;
    const QRect r = photoRect.intersected(QRect(QPoint(), fullSize_));
    if (r.isEmpty()) return missing;
    const QPoint a = TileIndex(r.topLeft()), b = TileIndex(r.bottomRight());
    for (int ty = a.y(); ty <= b.y(); ++ty)
        for (int tx = a.x(); tx <= b.x(); ++tx)
            if (!tiles_.contains(Key({tx, ty}, layer))) missing.emplace_back(tx, ty);
    return missing;
}

bool TViewTiles::Sharp(const QRect& photoRect, TViewLayer layer) const {
    return MissingTiles(photoRect, layer).empty();
}

void TViewTiles::Want(const QRect& photoRect, TViewLayer layer) {
    const QRect r = photoRect.intersected(QRect(QPoint(), fullSize_));
    if (r != wanted_ || layer != layer_) {
        wanted_ = r;
        layer_ = layer;
        traceWaiting_ = trace_ && !Sharp(r, layer);
        if (traceWaiting_) traceClock_.start();
    }
    // A block the view no longer shows would keep the one it shows waiting.
    if (busy_ && (composingLayer_ != layer_ || !composing_.intersects(wanted_))) cancel_->store(true);
    StartNext();
}

void TViewTiles::Invalidate(const QRect& photoRect) {
    const QRect r = photoRect.intersected(QRect(QPoint(), fullSize_));
    if (r.isEmpty()) return;
    ++serial_;
    const QPoint a = TileIndex(r.topLeft()), b = TileIndex(r.bottomRight());
    for (int ty = a.y(); ty <= b.y(); ++ty)
        for (int tx = a.x(); tx <= b.x(); ++tx) {
            tiles_.remove(Key({tx, ty}, TViewLayer::Result));
            tiles_.remove(Key({tx, ty}, TViewLayer::PartsOnWhite));
            touched_[IndexKey({tx, ty})] = serial_;
        }
    if (trace_ && r.intersects(wanted_) && !traceWaiting_) {
        traceWaiting_ = true;
        traceClock_.start();
    }
}

void TViewTiles::Clear() {
    tiles_.clear();
    touched_.clear();
    clearedAt_ = ++serial_;
    if (cancel_) cancel_->store(true);
    if (trace_ && !wanted_.isEmpty()) {
        traceWaiting_ = true;
        traceClock_.start();
    }
}

void TViewTiles::StartNext() {
    if (busy_ || fullSize_.isEmpty()) return;
    std::vector<QPoint> missing = MissingTiles(wanted_, layer_);
    if (missing.empty()) return;
    // Every missing tile at once when they are no more than a block's worth
    // (a dab's few tiles, a view after a pan), wherever they lie; else a block
    // around the missing tile nearest the centre.
    QRect span; // in tiles
    for (QPoint t : missing)
        span |= QRect(t, QSize(1, 1));
    QRect block = span;
    if (span.width() * span.height() > kBlockTiles * kBlockTiles) {
        const QPoint centre = TileIndex(wanted_.center());
        const auto nearest = *std::min_element(missing.begin(), missing.end(), [&](QPoint p, QPoint q) {
            return (p - centre).manhattanLength() < (q - centre).manhattanLength();
        });
        const auto start = [](int at, int first, int last) {
            return std::clamp(at - kBlockTiles / 2, first, std::max(first, last - kBlockTiles + 1));
        };
        block = QRect(start(nearest.x(), span.left(), span.right()),
                      start(nearest.y(), span.top(), span.bottom()), kBlockTiles, kBlockTiles);
    }
    QRect rect;
    for (QPoint t : missing)
        if (block.contains(t)) rect |= TileRect(t);

    busy_ = true;
    composing_ = rect;
    composingLayer_ = layer_;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    auto result = std::make_shared<TResult>();
    result->Serial = serial_;
    result->FullSize = fullSize_;
    result->Rect = rect;
    result->Layer = layer_;
    result->Cancel = cancel_;
    // Read now, on the GUI thread: the pixels are shared, not copied.
    auto source = std::make_shared<TTintwellDocument::TFullSizeSource>(source_());
    worker_->Start([this, result, source] {
        try {
            if (result->Layer == TViewLayer::Original) {
                result->Pixels = tw::Bitmap(result->Rect.width(), result->Rect.height());
                result->Pixels->CopyRect(0, 0, source->FullPicture, result->Rect);
            } else {
                std::vector<TFullSizePart> parts;
                std::vector<tw::Bitmap> scratch(static_cast<size_t>(source->PartCount()));
                for (int i = 0; i < source->PartCount(); ++i)
                    parts.push_back(source->PartAt(i, scratch[static_cast<size_t>(i)]));
                TFullSizeOptions options;
                options.Cancel = result->Cancel.get();
                if (result->Layer == TViewLayer::PartsOnWhite) options.Background = 0xFFFFFFFFu;
                result->Pixels =
                    ComposeFullSizeRect(source->FullPicture, source->Picture, parts, result->Rect, options);
            }
            // Shown as the screen shows the picture: the conversion of a profiled
            // photo is done here, not in every paint.
            if (result->Pixels && !source->Profile.IsSrgb())
                source->Profile.ToScreen(*result->Pixels, result->Pixels->Rect());
        } catch (...) {
            // A view that cannot be made sharp shows the working picture.
            result->Pixels.reset();
        }
        QMetaObject::invokeMethod(
            this, [this, result] { Finished(result); }, Qt::QueuedConnection);
    });
}

void TViewTiles::Finished(const std::shared_ptr<TResult>& result) {
    QElapsedTimer gui;
    if (trace_) gui.start();
    busy_ = false;
    worker_->Wait(); // the task has returned: its thread is ending
    // A cancelled block is never kept, even one that was complete before the
    // cancel reached it: what is kept was composed for what the view wants.
    const bool cancelled = result->Cancel->load();
    if (cancelled && trace_)
        std::fprintf(stderr, "tintwell: composition of %dx%d photo pixels given up\n", result->Rect.width(),
                     result->Rect.height());
    if (result->Pixels && !cancelled && result->FullSize == fullSize_ && result->Serial >= clearedAt_) {
        const QRect r = result->Rect;
        const QPoint a = TileIndex(r.topLeft()), b = TileIndex(r.bottomRight());
        for (int ty = a.y(); ty <= b.y(); ++ty)
            for (int tx = a.x(); tx <= b.x(); ++tx) {
                const quint64 key = Key({tx, ty}, result->Layer);
                // The original does not change with an edit.
                const bool edited = result->Layer != TViewLayer::Original &&
                                    touched_.value(IndexKey({tx, ty}), 0) > result->Serial;
                if (edited || tiles_.contains(key)) continue;
                const QRect t = TileRect({tx, ty});
                TTile tile;
                tile.Pixels = tw::Bitmap(t.width(), t.height());
                for (int y = 0; y < t.height(); ++y)
                    std::memcpy(tile.Pixels.Row(y),
                                result->Pixels->Row(t.top() - r.top() + y) + (t.left() - r.left()),
                                sizeof(uint32_t) * static_cast<size_t>(t.width()));
                tile.LastUse = ++uses_;
                tiles_.insert(key, std::move(tile));
            }
        Trim();
        if (trace_)
            std::fprintf(stderr,
                         "tintwell: %dx%d photo pixels composed, taken in by the GUI thread in %.2f ms\n",
                         r.width(), r.height(), static_cast<double>(gui.nsecsElapsed()) / 1e6);
        emit TilesReady(r);
    }
    if (traceWaiting_ && Sharp(wanted_, layer_)) {
        traceWaiting_ = false;
        std::fprintf(stderr, "tintwell: view sharp after %lld ms (%dx%d photo pixels)\n",
                     static_cast<long long>(traceClock_.elapsed()), wanted_.width(), wanted_.height());
    }
    StartNext();
}

void TViewTiles::Trim() {
    const int64_t keep = kCacheBytes / (int64_t{kTileSize} * kTileSize * 4);
    if (tiles_.size() <= keep) return;
    std::vector<std::pair<uint64_t, quint64>> byUse;
    for (auto it = tiles_.cbegin(); it != tiles_.cend(); ++it)
        byUse.emplace_back(it->LastUse, it.key());
    std::sort(byUse.begin(), byUse.end());
    for (size_t i = 0; i < byUse.size() && tiles_.size() > keep; ++i) {
        const quint64 key = byUse[i].second;
        const QPoint index(int(key & 0xFFFFFF), int((key >> 24) & 0xFFFFFF));
        if (TViewLayer(key >> 48) != layer_ || !TileRect(index).intersects(wanted_)) tiles_.remove(key);
    }
}
