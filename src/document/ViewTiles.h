#pragma once
// Tiles of the full-size result for a view that magnifies the photo beyond
// the working picture: composed on a worker (ComposeFullSizeRect, so each tile
// is bit for bit that rectangle of "Save Full-Size Picture..."), kept in a
// bounded cache and dropped exactly where an edit may change them. The GUI
// thread only asks, looks and drops; it never waits for a composition. A
// block under way that the view has moved away from is given up.

#include "document/TintwellDocument.h"
#include "platform/Bitmap.h"
#include "platform/RowBandPool.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// What a tile shows; each layer has its own tiles, so that switching back and
// forth finds them still there.
enum class TViewLayer : uint8_t {
    Result,       // the parts over the photo, as saved
    PartsOnWhite, // the parts over white ("Draw original image in background" off)
    Original,     // the photo alone, for a profiled photo (converted on the worker)
};

class TViewTiles : public QObject {
    Q_OBJECT

  public:
    static constexpr int kTileSize = 256;
    // At most this many bytes of tiles are kept; the least recently shown go first.
    static constexpr int64_t kCacheBytes = int64_t{128} * 1024 * 1024;

    // What the tiles show: the photo and the parts the view shows, read on
    // the GUI thread when a composition starts.
    using TSourceMaker = std::function<TTintwellDocument::TFullSizeSource()>;
    explicit TViewTiles(TSourceMaker source, QObject* parent = nullptr);
    // Cancels the composition under way and waits for its end.
    ~TViewTiles() override;

    // The photo's size; a new size (a new picture) drops every tile.
    void SetFullSize(QSize size);
    // The tile at a tile position (converted to the screen for a profiled
    // photo), or null while it is not composed.
    const tw::Bitmap* Tile(QPoint index, TViewLayer layer = TViewLayer::Result);
    static QPoint TileIndex(QPoint photoPixel) {
        return {photoPixel.x() / kTileSize, photoPixel.y() / kTileSize};
    }
    QRect TileRect(QPoint index) const;
    // The photo's rectangle a view shows now: its missing tiles are composed,
    // nearest the centre first. A block being composed that lies outside it,
    // or of another layer, is cancelled.
    void Want(const QRect& photoRect, TViewLayer layer = TViewLayer::Result);
    // Every tile of the rectangle is composed.
    bool Sharp(const QRect& photoRect, TViewLayer layer = TViewLayer::Result) const;
    // An edit may change the parts within photoRect / anywhere (the original
    // stays).
    void Invalidate(const QRect& photoRect);
    void Clear();
    int64_t CachedBytes() const { return static_cast<int64_t>(tiles_.size()) * kTileSize * kTileSize * 4; }
    bool Busy() const { return busy_; }

  signals:
    // Tiles within photoRect were composed.
    void TilesReady(const QRect& photoRect);

  private:
    struct TTile {
        tw::Bitmap Pixels;
        uint64_t LastUse = 0;
    };
    struct TResult;
    static quint64 Key(QPoint index, TViewLayer layer) {
        return (quint64(layer) << 48) | (quint64(uint32_t(index.y()) & 0xFFFFFF) << 24) |
               (uint32_t(index.x()) & 0xFFFFFF);
    }
    static quint64 IndexKey(QPoint index) { return Key(index, TViewLayer::Result); }
    std::vector<QPoint> MissingTiles(const QRect& photoRect, TViewLayer layer) const;
    void StartNext();
    void Finished(const std::shared_ptr<TResult>& result);
    void Trim();

    TSourceMaker source_;
    QSize fullSize_;
    QHash<quint64, TTile> tiles_;
    // Serial of the last edit that touched a tile position (IndexKey); a
    // composition of the parts started before it is not kept for that tile.
    QHash<quint64, uint64_t> touched_;
    uint64_t clearedAt_ = 0;
    uint64_t serial_ = 0;
    uint64_t uses_ = 0;
    QRect wanted_;
    TViewLayer layer_ = TViewLayer::Result;
    // The block being composed, while busy_.
    QRect composing_;
    TViewLayer composingLayer_ = TViewLayer::Result;
    bool busy_ = false;
    std::shared_ptr<std::atomic<bool>> cancel_;
    // The view's timing trace (TW_VIEW_TRACE): when a wanted area is sharp.
    bool trace_ = false;
    bool traceWaiting_ = false;
    QElapsedTimer traceClock_;
    std::unique_ptr<TRowBandPool::TTaskGroup> worker_;
};
