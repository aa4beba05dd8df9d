#include "fullsize/FullSizeComposer.h"

#include "platform/Thread.h"
#include "recolour/PartRecolourer.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace {

constexpr int kBandRows = 32;

// Photos repeat colours, and the transform costs several table reads and real
// multiplications: a direct-mapped memo pays for itself. One per thread, kept
// from band to band while the settings (all the transform depends on) stay
// the same, so that its entries are reused.
class TransformMemo {
  public:
    static TransformMemo& ForThread(const TPartRecolourer& things, const TTintwellSettings& settings) {
        thread_local std::unique_ptr<TransformMemo> memo;
        if (!memo) memo = std::make_unique<TransformMemo>();
        memo->Use(things, settings);
        return *memo;
    }
    void Use(const TPartRecolourer& things, const TTintwellSettings& settings) {
        if (!settings_ || !(*settings_ == settings)) {
            for (Entry& e : entries_)
                e.key = 0;
            settings_ = settings;
        }
        things_ = &things;
    }
    uint32_t operator()(uint32_t rgb32) {
        rgb32 |= 0xFF000000u;
        const uint32_t slot = ((rgb32 & 0xFFFFFFu) * 0x9E3779B1u) >> (32 - kBits);
        Entry& e = entries_[slot];
        if (e.key != rgb32) {
            e.key = rgb32;
            e.value = things_->TransformRgb32(rgb32);
        }
        return e.value;
    }

  private:
    static constexpr int kBits = 14;
    const TPartRecolourer* things_ = nullptr;
    std::optional<TTintwellSettings> settings_;
    // Key 0 matches no pixel: every stored key has the top byte set. Key and
    // value side by side: one cache line for a look-up.
    struct Entry {
        uint32_t key = 0, value = 0;
    };
    Entry entries_[1 << kBits];
};

// What one part keeps from row to row on one thread.
struct PartRowScratch {
    TCoverageCarrier::ObjectColumns objectColumns;
    TCoverageCarrier::TRowCache rowCache;
    std::vector<uint8_t> coverage;
    std::vector<TCoverageCarrier::Run> runs;
};

// How much of the unmixing a mixed pixel of coverage c gets, in 256ths: all
// of it up to 70 %, then less and less, none at 255. Unmixing recolours the
// object's share by the object's colour nearby; a pixel that is nearly all
// object is that colour itself, better recoloured as it is, as the part's
// pixels inside the border are.
const std::array<int32_t, 256>& UnmixByCoverage() {
    static const std::array<int32_t, 256> table = [] {
        std::array<int32_t, 256> t{};
        for (int c = 0; c < 256; ++c) {
            const double x = std::min(1.0, (255 - c) / (0.3 * 255));
            t[static_cast<size_t>(c)] = Round(256 * x * x * (3 - 2 * x));
        }
        return t;
    }();
    return table;
}

// Draws the runs CoverageRuns gave in scratch, which start at column x0: in
// is the picture's row, out the result's, both from column 0.
void DrawRuns(const TCoverageCarrier& carrier, TransformMemo& memo, bool unmix, const uint32_t* in,
              uint32_t* out, int y, int x0, PartRowScratch& scratch) {
    const std::array<int32_t, 256>& unmixBy = UnmixByCoverage();
    for (const TCoverageCarrier::Run& run : scratch.runs) {
        if (!run.Border) {
            if (run.Coverage != 255) continue;
            for (int x = run.Begin; x < run.End; ++x)
                out[x] = memo(in[x]);
            continue;
        }
        const uint8_t* coverage = scratch.coverage.data() - x0;
        for (int x = run.Begin; x < run.End; ++x) {
            const uint32_t c = coverage[x];
            if (c == 0) continue;
            const uint32_t pixel = in[x], transformed = memo(pixel);
            if (c == 255) {
                out[x] = transformed;
                continue;
            }
            uint32_t object = 0, transformedObject = 0, beyond = 0;
            int32_t share = 0;
            if (unmix) {
                const TCoverageCarrier::TObjectColour o =
                    scratch.rowCache.objectsKept ? scratch.rowCache.objects[static_cast<size_t>(x - x0)]
                                                 : carrier.ObjectAt(x, y, scratch.objectColumns);
                share = (o.Trust * unmixBy[c]) >> 8;
                if (share > 0) object = o.Colour, transformedObject = memo(object), beyond = o.Beyond;
            }
            const uint32_t recoloured =
                RecolourMixedPixel(pixel, transformed, object, transformedObject, beyond, c, share);
            const uint32_t under = out[x];
            if (under == pixel) {
                out[x] = recoloured;
                continue;
            }
            // Over a part below: what lies below shows through as the picture would.
            uint32_t v = 0xFF000000u;
            for (int shift = 0; shift <= 16; shift += 8) {
                const int32_t moved = static_cast<int32_t>((under >> shift) & 0xFF) -
                                      static_cast<int32_t>((pixel >> shift) & 0xFF);
                const int32_t channel = static_cast<int32_t>((recoloured >> shift) & 0xFF) +
                                        DivideRounded((255 - static_cast<int32_t>(c)) * moved, 255);
                v |= static_cast<uint32_t>(std::clamp(channel, 0, 255)) << shift;
            }
            out[x] = v;
        }
    }
}

void DrawPartRow(const TCoverageCarrier& carrier, TransformMemo& memo, bool unmix, const tw::Bitmap* picture,
                 const uint32_t* in, uint32_t* out, int y, int x0, int x1, PartRowScratch& scratch) {
    scratch.coverage.resize(static_cast<size_t>(x1 - x0));
    carrier.CoverageRuns(in, picture, y, x0, x1, scratch.coverage.data(), scratch.runs, scratch.rowCache);
    DrawRuns(carrier, memo, unmix, in, out, y, x0, scratch);
}

// Adds the inside runs (coverage 255 away from the border) to covered, the
// sorted spans of a row that parts above have taken whole; the runs lie
// outside them.
void AddCovered(std::vector<TCoverageCarrier::Span>& covered, const std::vector<TCoverageCarrier::Run>& runs,
                std::vector<TCoverageCarrier::Span>& merged) {
    merged.clear();
    auto older = covered.begin();
    const auto add = [&](TCoverageCarrier::Span s) {
        if (!merged.empty() && merged.back().End == s.Begin)
            merged.back().End = s.End;
        else
            merged.push_back(s);
    };
    for (const TCoverageCarrier::Run& run : runs) {
        if (run.Border || run.Coverage != 255) continue;
        while (older != covered.end() && older->Begin < run.Begin)
            add(*older++);
        add({run.Begin, run.End});
    }
    while (older != covered.end())
        add(*older++);
    covered.swap(merged);
}

// Working rows holding part pixels, plus the edge row on each side, at full size:
// how much of the work a part is, for progress.
int64_t EstimatedRows(const tw::Bitmap& part, int fullHeight) {
    int first = -1, last = -1;
    for (int y = 0; y < part.Height(); ++y) {
        const uint32_t* row = part.Row(y);
        if (std::any_of(row, row + part.Width(),
                        [](uint32_t v) { return (v | 0xFF000000u) != 0xFFFFFFFFu; })) {
            if (first < 0) first = y;
            last = y;
        }
    }
    if (first < 0) return 0;
    return static_cast<int64_t>(last - first + 3) * fullHeight / std::max(1, part.Height());
}

void CheckPartSize(const TFullSizePart& part, const tw::Bitmap& working) {
    if (!part.Bitmap || part.Bitmap->Width() != working.Width() || part.Bitmap->Height() != working.Height())
        throw std::invalid_argument("a part must have the working picture's size");
}

} // namespace

std::optional<tw::Bitmap> ComposeFullSize(const tw::Bitmap& picture, const tw::Bitmap& working,
                                          const std::vector<TFullSizePart>& parts,
                                          const TFullSizeOptions& options) {
    // Every part checked before any work starts.
    for (const TFullSizePart& part : parts)
        CheckPartSize(part, working);
    return ComposeFullSize(
        picture, working, static_cast<int>(parts.size()),
        [&](int i, tw::Bitmap&) { return parts[static_cast<size_t>(i)]; }, options);
}

std::optional<tw::Bitmap> ComposeFullSize(const tw::Bitmap& picture, const tw::Bitmap& working, int partCount,
                                          const std::function<TFullSizePart(int, tw::Bitmap&)>& partAt,
                                          const TFullSizeOptions& options) {
    if (picture.IsEmpty()) throw std::invalid_argument("the full-size picture is empty");
    const TRowBandPool pool(options.Threads);
    const int width = picture.Width(), height = picture.Height();

    // Rows are written by address: QImage::scanLine is not safe from several threads.
    tw::Bitmap result;
    result.Image() = QImage(width, height, QImage::Format_RGB32);
    if (result.Image().isNull()) throw std::bad_alloc();
    uchar* const base = result.Image().bits();
    const qsizetype stride = result.Image().bytesPerLine();
    const auto outRow = [&](int y) { return reinterpret_cast<uint32_t*>(base + stride * y); };

    // Progress in full-size rows: the copy, then a picture's height for each
    // part, of which a part covering fewer rows skips the rest when it is done.
    const int64_t total = static_cast<int64_t>(height) * (1 + std::max(0, partCount));
    int64_t finished = 0;
    const auto control = [&](int64_t weight) {
        TBandControl c;
        c.Cancel = options.Cancel;
        if (options.OnProgress)
            c.OnProgress = [&, weight](int done, int bands) {
                options.OnProgress(static_cast<double>(finished + weight * done / std::max(1, bands)) /
                                   static_cast<double>(std::max<int64_t>(1, total)));
            };
        return c;
    };

    const auto copied = pool.Run(
        height, kBandRows * 4,
        [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y)
                if (options.Background)
                    std::fill_n(outRow(y), width, *options.Background);
                else
                    std::memcpy(outRow(y), picture.Row(y), sizeof(uint32_t) * static_cast<size_t>(width));
        },
        control(height));
    if (!copied) return std::nullopt;
    finished = height;

    // The last part first, so that earlier parts end on top. One part's
    // working-size data at a time.
    tw::Bitmap unused, scratch;
    for (int index = partCount - 1; index >= 0; --index, finished += height) {
        if (options.Cancel && options.Cancel->load()) return std::nullopt;
        const TFullSizePart part = partAt(index, scratch);
        CheckPartSize(part, working);
        const int64_t weight = std::min<int64_t>(height, EstimatedRows(*part.Bitmap, height));
        const TCoverageCarrier carrier(picture.Rect().size(), working, *part.Bitmap,
                                       part.Growth ? &*part.Growth : nullptr, options.Border, pool);
        const QRect bounds = carrier.Bounds();
        if (bounds.isEmpty()) continue;
        const TPartRecolourer things(part.Settings, picture, unused);
        const bool done = pool.Run(
            bounds.height(), kBandRows,
            [&](int first, int end) {
                TransformMemo& memo = TransformMemo::ForThread(things, part.Settings);
                PartRowScratch scratch;
                for (int y = bounds.top() + first; y < bounds.top() + end; ++y)
                    DrawPartRow(carrier, memo, options.Unmix, &picture, picture.Row(y), outRow(y), y,
                                bounds.left(), bounds.right() + 1, scratch);
            },
            control(weight));
        if (!done) return std::nullopt;
    }
    if (options.OnProgress) options.OnProgress(1.0);
    return result;
}

std::optional<tw::Bitmap> ComposeFullSizeRect(const tw::Bitmap& picture, const tw::Bitmap& working,
                                              const std::vector<TFullSizePart>& parts, QRect rect,
                                              const TFullSizeOptions& options) {
    if (picture.IsEmpty()) throw std::invalid_argument("the full-size picture is empty");
    if (rect.isEmpty() || !picture.Rect().contains(rect))
        throw std::invalid_argument("the rectangle must lie within the picture");
    for (const TFullSizePart& part : parts)
        CheckPartSize(part, working);
    const TRowBandPool pool(options.Threads);
    tw::Bitmap result(rect.width(), rect.height());
    for (int y = 0; y < rect.height(); ++y)
        if (options.Background)
            std::fill_n(result.Row(y), rect.width(), *options.Background);
        else
            std::memcpy(result.Row(y), picture.Row(rect.top() + y) + rect.left(),
                        sizeof(uint32_t) * static_cast<size_t>(rect.width()));
    // Rows are written by address: QImage::scanLine is not safe from several threads.
    uchar* const base = result.Image().bits();
    const qsizetype stride = result.Image().bytesPerLine();
    tw::Bitmap unused;
    TBandControl control;
    control.Cancel = options.Cancel;
    // The last part first, so that earlier parts end on top.
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        // Carrying a part up is much of the work: a view moving on cancels between parts too.
        if (options.Cancel && options.Cancel->load()) return std::nullopt;
        const TCoverageCarrier carrier(picture.Rect().size(), working, *part->Bitmap,
                                       part->Growth ? &*part->Growth : nullptr, options.Border, pool);
        const QRect area = carrier.Bounds().intersected(rect);
        if (area.isEmpty()) continue;
        const TPartRecolourer things(part->Settings, picture, unused);
        const bool done = pool.Run(
            area.height(), kBandRows,
            [&](int first, int end) {
                TransformMemo& memo = TransformMemo::ForThread(things, part->Settings);
                PartRowScratch scratch;
                // The row as the whole picture's result holds it, from column 0.
                std::vector<uint32_t> row(static_cast<size_t>(area.right() + 1));
                for (int y = area.top() + first; y < area.top() + end; ++y) {
                    uint32_t* out = reinterpret_cast<uint32_t*>(base + stride * (y - rect.top())) +
                                    (area.left() - rect.left());
                    std::copy_n(out, area.width(), row.data() + area.left());
                    DrawPartRow(carrier, memo, options.Unmix, &picture, picture.Row(y), row.data(), y,
                                area.left(), area.right() + 1, scratch);
                    std::copy_n(row.data() + area.left(), area.width(), out);
                }
            },
            control);
        if (!done) return std::nullopt;
    }
    return result;
}

size_t PreparedPartBytes(QSize workingSize) {
    // Flags per working pixel and, at most (when every pixel is a tap), the
    // colour model and the colours on either side per working pixel, and a
    // transform memo for each composing thread.
    const size_t pixels = static_cast<size_t>(std::max(0, workingSize.width())) *
                          static_cast<size_t>(std::max(0, workingSize.height()));
    return pixels * (1 + sizeof(TCoverageCarrier::TModel) + 2 * sizeof(uint32_t)) +
           static_cast<size_t>(tw::UsableCores()) * sizeof(TransformMemo);
}

namespace {

// One part ready to draw.
struct PreparedPart {
    PreparedPart(TCoverageCarrier carrier, const TTintwellSettings& settings, const tw::Bitmap& working)
        : carrier(std::move(carrier)), settings(settings), things(settings, working, noTarget) {}
    TCoverageCarrier carrier;
    TTintwellSettings settings;
    tw::Bitmap noTarget; // the recolourer only transforms colours here
    TPartRecolourer things;
};
using TPreparedParts = std::vector<std::unique_ptr<PreparedPart>>;

// Every part carried up, the last one first as the whole-picture composition
// draws them; parts that cover nothing are left out. A walk uses one core, and
// carrying a part up is many short passes: parts are carried up whole, one per
// worker at a time, while this thread makes the next ones. Empty when cancelled.
TPreparedParts PrepareParts(QSize fullSize, const tw::Bitmap& working, int partCount,
                            const std::function<TFullSizePart(int, tw::Bitmap&)>& partAt,
                            const TFullSizeOptions& options, const TRowBandPool& pool) {
    // What the carrying tasks use outlives them: the group, declared last, goes first.
    std::vector<std::unique_ptr<PreparedPart>> prepared(static_cast<size_t>(std::max(0, partCount)));
    std::vector<std::exception_ptr> failures(prepared.size());
    const TRowBandPool single(1);
    tw::Bitmap scratch;
    TRowBandPool::TTaskGroup carrying;
    const auto cancelled = [&] { return options.Cancel && options.Cancel->load(std::memory_order_relaxed); };
    for (int index = partCount - 1; index >= 0 && !cancelled(); --index) {
        TFullSizePart part = partAt(index, scratch);
        CheckPartSize(part, working);
        auto bitmap = std::make_shared<tw::Bitmap>(*part.Bitmap); // scratch is reused for the next
        part.Bitmap = bitmap.get();
        carrying.Wait(static_cast<size_t>(pool.Threads()) - 1);
        const size_t slot = static_cast<size_t>(index);
        // The last one has the cores to itself once the others are done.
        const TRowBandPool* passes = index == 0 ? &pool : &single;
        carrying.Start([&prepared, &failures, &options, fullSize, working = &working, part, bitmap, slot,
                        passes] {
            try {
                TCoverageCarrier carrier(fullSize, *working, *part.Bitmap,
                                         part.Growth ? &*part.Growth : nullptr, options.Border, *passes);
                if (carrier.Bounds().isEmpty()) return;
                prepared[slot] = std::make_unique<PreparedPart>(std::move(carrier), part.Settings, *working);
            } catch (...) {
                failures[slot] = std::current_exception();
            }
        });
    }
    carrying.Wait();
    TPreparedParts parts;
    for (size_t i = prepared.size(); i-- > 0;) {
        if (failures[i]) std::rethrow_exception(failures[i]);
        if (prepared[i]) parts.push_back(std::move(prepared[i]));
    }
    return parts;
}

// Draws the prepared parts over bands of full-size rows, for one worker: its
// own transform memos and scratch rows.
class TBandComposer {
  public:
    TBandComposer(const TPreparedParts& parts, int width, bool unmix)
        : parts_(parts), unmix_(unmix), partRows_(parts.size()), original_(static_cast<size_t>(width)) {
        for (const auto& part : parts) {
            memos_.push_back(std::make_unique<TransformMemo>());
            memos_.back()->Use(part->things, part->settings);
        }
    }

    // rows holds count rows of the picture from row firstRow; they are
    // composed in place.
    void Compose(uint32_t* rows, int firstRow, int count) {
        const int width = static_cast<int>(original_.size());
        for (int i = 0; i < count; ++i) {
            const int y = firstRow + i;
            uint32_t* row = rows + static_cast<size_t>(i) * width;
            // The top part first: what a part takes whole hides every part
            // below it, which then neither works out nor draws those pixels.
            covered_.clear();
            bool any = false;
            for (size_t p = parts_.size(); p-- > 0;) {
                PartRowScratch& r = partRows_[p];
                const QRect bounds = parts_[p]->carrier.Bounds();
                if (y < bounds.top() || y > bounds.bottom()) {
                    r.runs.clear();
                    continue;
                }
                r.coverage.resize(static_cast<size_t>(bounds.width()));
                parts_[p]->carrier.CoverageRuns(row, nullptr, y, bounds.left(), bounds.right() + 1,
                                                r.coverage.data(), r.runs, r.rowCache, covered_);
                if (p > 0) AddCovered(covered_, r.runs, merged_);
                any = any || !r.runs.empty();
            }
            if (!any) continue;
            // Every part reads the picture's pixels, not what the parts below made of them.
            std::copy(row, row + width, original_.begin());
            for (size_t p = 0; p < parts_.size(); ++p)
                DrawRuns(parts_[p]->carrier, *memos_[p], unmix_, original_.data(), row, y,
                         parts_[p]->carrier.Bounds().left(), partRows_[p]);
        }
    }

  private:
    const TPreparedParts& parts_;
    const bool unmix_;
    std::vector<std::unique_ptr<TransformMemo>> memos_;
    std::vector<PartRowScratch> partRows_;
    std::vector<TCoverageCarrier::Span> covered_, merged_;
    std::vector<uint32_t> original_;
};

// How far reading may get ahead of the composition: until the working picture
// is ready (all the other core could do meanwhile), at most this much; later,
// only into memory that written bands have given back. Fresh memory costs more
// than the decoding it holds once both cores have other work.
constexpr size_t kReadAheadBytes = size_t{100} << 20;

// Moves the bands of a streamed picture through reading, composing and
// writing. Bands are read in order from the start by one task, while the
// parts are prepared. Then the workers compose them as they come and write
// them out in order, writing first: the encoder is the one step that cannot be
// shared, so it must never wait for a core while a band is ready for it. A
// band's rows are composed where they were read, in a buffer that goes back
// to the reader once they are written.
class TBandScheduler {
  public:
    static constexpr int kBandRows = 16;

    TBandScheduler(QSize size, int workers, const std::atomic<bool>* cancel)
        : width_(size.width()), height_(size.height()), bands_((height_ - 1) / kBandRows + 1),
          bandWords_(static_cast<size_t>(width_) * kBandRows),
          fewestBuffers_(static_cast<size_t>(2 * workers + 2)),
          mostBuffers_(std::max(fewestBuffers_, kReadAheadBytes / (bandWords_ * sizeof(uint32_t)))),
          state_(static_cast<size_t>(bands_), BandState::Unread),
          rowsOfBand_(static_cast<size_t>(bands_), nullptr), cancel_(cancel) {}

    // The reader's task: every band in order, each into a free buffer.
    void Read(const TReadRows& readRows) {
        try {
            for (int band = 0; band < bands_; ++band) {
                uint32_t* rows;
                {
                    std::unique_lock lock(mutex_);
                    changed_.wait(lock, [&] {
                        return stop_ || !spare_.empty() ||
                               buffers_.size() < (early_ ? mostBuffers_ : fewestBuffers_);
                    });
                    if (stop_) return;
                    if (spare_.empty()) {
                        // Not cleared: every row is decoded into before it is read.
                        buffers_.push_back(std::make_unique_for_overwrite<uint32_t[]>(bandWords_));
                        spare_.push_back(buffers_.back().get());
                    }
                    rows = spare_.back();
                    spare_.pop_back();
                }
                readRows(rows, width_, RowsOf(band));
                const std::lock_guard lock(mutex_);
                rowsOfBand_[static_cast<size_t>(band)] = rows;
                state_[static_cast<size_t>(band)] = BandState::Read;
                changed_.notify_all();
            }
        } catch (...) {
            Fail();
        }
    }

    // The working picture is made: from now on reading gets only as far ahead
    // as written bands make room.
    void EndReadAhead() {
        const std::lock_guard lock(mutex_);
        early_ = false;
    }

    // One worker until every band is written or the run stops: the next band
    // to write once it is composed and nobody writes, else the next band read
    // to compose, else a wait. progress (the calling thread's worker only)
    // hears of the fraction written. What compose or writeRows throw leaves.
    void Work(TBandComposer& composer, const TWriteRows& writeRows,
              const std::function<void(double)>& progress) {
        int reported = 0;
        std::unique_lock lock(mutex_);
        for (;;) {
            if (progress && nextToWrite_ > reported) {
                reported = nextToWrite_;
                lock.unlock();
                progress(static_cast<double>(reported) / bands_);
                lock.lock();
                continue; // others may have written meanwhile, the last band too
            }
            if (stop_ || nextToWrite_ == bands_) return;
            if (cancel_ && cancel_->load(std::memory_order_relaxed)) {
                stop_ = true;
                changed_.notify_all();
                return;
            }
            if (!writing_ && Holds(nextToWrite_, BandState::Composed)) {
                const int band = nextToWrite_;
                const uint32_t* rows = rowsOfBand_[static_cast<size_t>(band)];
                writing_ = true;
                lock.unlock();
                writeRows(rows, width_, RowsOf(band));
                lock.lock();
                writing_ = false;
                state_[static_cast<size_t>(band)] = BandState::Written;
                spare_.push_back(std::exchange(rowsOfBand_[static_cast<size_t>(band)], nullptr));
                ++nextToWrite_;
                changed_.notify_all();
            } else if (Holds(nextToCompose_, BandState::Read)) {
                const int band = nextToCompose_++;
                uint32_t* rows = rowsOfBand_[static_cast<size_t>(band)];
                lock.unlock();
                composer.Compose(rows, band * kBandRows, RowsOf(band));
                lock.lock();
                state_[static_cast<size_t>(band)] = BandState::Composed;
                changed_.notify_all();
            } else {
                changed_.wait(lock);
            }
        }
    }

    // Keeps the exception being handled, unless one came first, and stops the run.
    void Fail() {
        const std::lock_guard lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
        stop_ = true;
        changed_.notify_all();
    }

    // Stops the run; whether every band was written and nothing failed.
    bool Stop() {
        const std::lock_guard lock(mutex_);
        const bool complete = nextToWrite_ == bands_ && !failure_;
        stop_ = true;
        changed_.notify_all();
        return complete;
    }

    // Once every task has ended: what failed, thrown again.
    void ThrowFailure() {
        const std::lock_guard lock(mutex_);
        if (failure_) std::rethrow_exception(failure_);
    }

  private:
    // Where a band of rows is on its way through.
    enum class BandState { Unread, Read, Composed, Written };

    int RowsOf(int band) const { return std::min(kBandRows, height_ - band * kBandRows); }
    bool Holds(int band, BandState s) const {
        return band < bands_ && state_[static_cast<size_t>(band)] == s;
    }

    const int width_, height_, bands_;
    const size_t bandWords_, fewestBuffers_, mostBuffers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<BandState> state_;
    std::vector<uint32_t*> rowsOfBand_;
    std::vector<std::unique_ptr<uint32_t[]>> buffers_;
    std::vector<uint32_t*> spare_;
    const std::atomic<bool>* cancel_;
    bool early_ = true; // the working picture is being made
    bool stop_ = false, writing_ = false;
    int nextToCompose_ = 0, nextToWrite_ = 0;
    std::exception_ptr failure_;
};

} // namespace

bool ComposeFullSizeRows(QSize fullSize, const std::function<const tw::Bitmap&()>& workingPicture,
                         int partCount, const std::function<TFullSizePart(int, tw::Bitmap&)>& partAt,
                         const TReadRows& readRows, const TWriteRows& writeRows,
                         const TFullSizeOptions& options) {
    if (fullSize.isEmpty()) throw std::invalid_argument("the full-size picture is empty");
    if (options.Border == TBorderMethod::Rules)
        throw std::invalid_argument("the rules border needs the whole picture");
    if (options.Background) throw std::invalid_argument("a streamed picture is composed over itself");
    const TRowBandPool pool(options.Threads);
    TBandScheduler bands(fullSize, pool.Threads(), options.Cancel);
    TPreparedParts parts;
    // One worker, with its own memos and scratch rows.
    const auto work = [&](const std::function<void(double)>& progress) {
        try {
            TBandComposer composer(parts, fullSize.width(), options.Unmix);
            bands.Work(composer, writeRows, progress);
        } catch (...) {
            bands.Fail();
        }
    };
    TRowBandPool::TTaskGroup tasks;
    try {
        // Reading starts at once, and gets ahead while the working picture is made.
        tasks.Start([&] { bands.Read(readRows); });
        const tw::Bitmap& working = workingPicture();
        bands.EndReadAhead();
        parts = PrepareParts(fullSize, working, partCount, partAt, options, pool);
        for (int i = 1; i < pool.Threads(); ++i)
            tasks.Start([&] { work(nullptr); });
        work(options.OnProgress);
    } catch (...) {
        bands.Fail();
    }
    const bool complete = bands.Stop();
    tasks.Wait();
    bands.ThrowFailure();
    return complete;
}
