#include "fullsize/FullSizeComposer.h"

#include "platform/Thread.h"
#include "recolour/PartRecolourer.h"

#include <algorithm>
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

uint32_t Blend(uint32_t c, uint32_t over, uint32_t under) {
    return 0xFF000000u | (BlendChannel(c, (over >> 16) & 0xFF, (under >> 16) & 0xFF) << 16) |
           (BlendChannel(c, (over >> 8) & 0xFF, (under >> 8) & 0xFF) << 8) |
           BlendChannel(c, over & 0xFF, under & 0xFF);
}

// Draws one part over columns [x0, x1) of full-size row y: in is the
// picture's row, out the result's, both from column 0.
struct PartRowScratch {
    TCoverageCarrier::ObjectColumns objectColumns;
    std::vector<uint8_t> coverage;
    std::vector<TCoverageCarrier::Run> runs;
};

// Draws the runs CoverageRuns gave in scratch, which start at column x0.
void DrawRuns(const TCoverageCarrier& carrier, TransformMemo& memo, bool unmix, const uint32_t* in,
              uint32_t* out, int y, int x0, PartRowScratch& scratch) {
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
            if (c == 255) {
                out[x] = memo(in[x]);
                continue;
            }
            uint32_t recoloured;
            if (unmix) {
                const uint32_t object = carrier.ObjectAt(in[x], x, y, scratch.objectColumns);
                recoloured = RecolourBorderPixel(in[x], object, memo(object));
            } else {
                recoloured = memo(in[x]);
            }
            out[x] = Blend(c, recoloured, out[x]);
        }
    }
}

void DrawPartRow(const TCoverageCarrier& carrier, TransformMemo& memo, bool unmix, const tw::Bitmap* picture,
                 const uint32_t* in, uint32_t* out, int y, int x0, int x1, PartRowScratch& scratch) {
    scratch.coverage.resize(static_cast<size_t>(x1 - x0));
    carrier.CoverageRuns(in, picture, y, x0, x1, scratch.coverage.data(), scratch.runs);
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

size_t PreparedPartBytes(QSize workingSize) {
    // Flags per working pixel and, at most (when every pixel is a tap), the
    // filter's four coefficients and the part's own colour per working pixel,
    // and a transform memo for each composing thread.
    const size_t pixels = static_cast<size_t>(std::max(0, workingSize.width())) *
                          static_cast<size_t>(std::max(0, workingSize.height()));
    return pixels * (1 + 4 * sizeof(float) + sizeof(uint32_t)) +
           static_cast<size_t>(tw::UsableCores()) * sizeof(TransformMemo);
}

namespace {

// One part ready to draw.
struct PreparedPart {
    TCoverageCarrier carrier;
    TTintwellSettings settings;
    TPartRecolourer things;
};

// Where a band of rows is on its way through.
enum class BandState { Unread, Read, Composed, Written };

// How far reading may get ahead of the composition: until the working picture
// is ready (all the other core could do meanwhile), at most this much; later,
// only into memory that written bands have given back. Fresh memory costs more
// than the decoding it holds once both cores have other work.
constexpr size_t kReadAheadBytes = size_t{100} << 20;

} // namespace

bool ComposeFullSizeRows(QSize fullSize, const std::function<const tw::Bitmap&()>& workingPicture,
                         int partCount, const std::function<TFullSizePart(int, tw::Bitmap&)>& partAt,
                         const TReadRows& readRows, const TWriteRows& writeRows,
                         const TFullSizeOptions& options) {
    if (fullSize.isEmpty()) throw std::invalid_argument("the full-size picture is empty");
    if (options.Border == TBorderMethod::Rules)
        throw std::invalid_argument("the rules border needs the whole picture");
    const TRowBandPool pool(options.Threads);
    const int width = fullSize.width(), height = fullSize.height();
    const auto cancelled = [&] { return options.Cancel && options.Cancel->load(std::memory_order_relaxed); };

    // Bands are read in order from the start on one thread, while the parts
    // are prepared. Then this thread and the other workers compose them as they
    // come and write them out in order, writing first: the encoder is the one
    // step that cannot be shared, so it must never wait for a core while a band
    // is ready for it. A band's rows are composed where they were read, in a
    // buffer that goes back to the reader once they are written.
    constexpr int kBandRows = 16;
    const int bands = (height - 1) / kBandRows + 1;
    const int workers = pool.Threads();
    const size_t bandWords = static_cast<size_t>(width) * kBandRows;
    const size_t fewestBuffers = static_cast<size_t>(2 * workers + 2);
    const size_t mostBuffers = std::max(fewestBuffers, kReadAheadBytes / (bandWords * sizeof(uint32_t)));
    std::vector<BandState> state(static_cast<size_t>(bands), BandState::Unread);
    std::vector<uint32_t*> rowsOfBand(static_cast<size_t>(bands), nullptr);
    std::vector<std::unique_ptr<uint32_t[]>> buffers;
    std::vector<uint32_t*> spare;
    bool early = true; // the working picture is being made
    const auto rowsOf = [&](int band) { return std::min(kBandRows, height - band * kBandRows); };
    const auto holds = [&](int band, BandState s) {
        return band < bands && state[static_cast<size_t>(band)] == s;
    };

    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false, writing = false;
    std::exception_ptr failure;
    int nextToCompose = 0, nextToWrite = 0;
    const auto fail = [&] {
        const std::lock_guard lock(mutex);
        if (!failure) failure = std::current_exception();
        stop = true;
        changed.notify_all();
    };

    const auto readAll = [&] {
        try {
            for (int band = 0; band < bands; ++band) {
                uint32_t* rows;
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] {
                        return stop || !spare.empty() ||
                               buffers.size() < (early ? mostBuffers : fewestBuffers);
                    });
                    if (stop) return;
                    if (spare.empty()) {
                        // Not cleared: every row is decoded into before it is read.
                        buffers.push_back(std::make_unique_for_overwrite<uint32_t[]>(bandWords));
                        spare.push_back(buffers.back().get());
                    }
                    rows = spare.back();
                    spare.pop_back();
                }
                readRows(rows, width, rowsOf(band));
                const std::lock_guard lock(mutex);
                rowsOfBand[static_cast<size_t>(band)] = rows;
                state[static_cast<size_t>(band)] = BandState::Read;
                changed.notify_all();
            }
        } catch (...) {
            fail();
        }
    };

    tw::Bitmap unused;
    std::vector<std::unique_ptr<PreparedPart>> parts;
    // One worker; the calling thread's also reports progress.
    const auto work = [&](bool caller) {
        try {
            std::vector<std::unique_ptr<TransformMemo>> memos;
            for (const auto& part : parts) {
                memos.push_back(std::make_unique<TransformMemo>());
                memos.back()->Use(part->things, part->settings);
            }
            std::vector<PartRowScratch> partRows(parts.size());
            std::vector<TCoverageCarrier::Span> covered, merged;
            std::vector<uint32_t> original(static_cast<size_t>(width));
            const auto compose = [&](int band) {
                uint32_t* const rows = rowsOfBand[static_cast<size_t>(band)];
                for (int i = 0; i < rowsOf(band); ++i) {
                    const int y = band * kBandRows + i;
                    uint32_t* row = rows + static_cast<size_t>(i) * width;
                    // The top part first: what a part takes whole hides every part
                    // below it, which then neither works out nor draws those pixels.
                    covered.clear();
                    bool any = false;
                    for (size_t p = parts.size(); p-- > 0;) {
                        PartRowScratch& r = partRows[p];
                        const QRect bounds = parts[p]->carrier.Bounds();
                        if (y < bounds.top() || y > bounds.bottom()) {
                            r.runs.clear();
                            continue;
                        }
                        r.coverage.resize(static_cast<size_t>(bounds.width()));
                        parts[p]->carrier.CoverageRuns(row, nullptr, y, bounds.left(), bounds.right() + 1,
                                                       r.coverage.data(), r.runs, covered);
                        if (p > 0) AddCovered(covered, r.runs, merged);
                        any = any || !r.runs.empty();
                    }
                    if (!any) continue;
                    // Every part reads the picture's pixels, not what the parts below made of them.
                    std::copy(row, row + width, original.begin());
                    for (size_t p = 0; p < parts.size(); ++p)
                        DrawRuns(parts[p]->carrier, *memos[p], options.Unmix, original.data(), row, y,
                                 parts[p]->carrier.Bounds().left(), partRows[p]);
                }
            };
            int reported = 0;
            std::unique_lock lock(mutex);
            for (;;) {
                if (caller && options.OnProgress && nextToWrite > reported) {
                    reported = nextToWrite;
                    lock.unlock();
                    options.OnProgress(static_cast<double>(reported) / bands);
                    lock.lock();
                    continue; // others may have written meanwhile, the last band too
                }
                if (stop || nextToWrite == bands) return;
                if (cancelled()) {
                    stop = true;
                    changed.notify_all();
                    return;
                }
                if (!writing && holds(nextToWrite, BandState::Composed)) {
                    const int band = nextToWrite;
                    writing = true;
                    lock.unlock();
                    writeRows(rowsOfBand[static_cast<size_t>(band)], width, rowsOf(band));
                    lock.lock();
                    writing = false;
                    state[static_cast<size_t>(band)] = BandState::Written;
                    spare.push_back(std::exchange(rowsOfBand[static_cast<size_t>(band)], nullptr));
                    ++nextToWrite;
                    changed.notify_all();
                } else if (holds(nextToCompose, BandState::Read)) {
                    const int band = nextToCompose++;
                    lock.unlock();
                    compose(band);
                    lock.lock();
                    state[static_cast<size_t>(band)] = BandState::Composed;
                    changed.notify_all();
                } else {
                    changed.wait(lock);
                }
            }
        } catch (...) {
            fail();
        }
    };

    TRowBandPool::TTaskGroup threads;
    // What the tasks that carry parts up use outlives them: an error on this
    // thread waits for them (below) before anything goes.
    std::vector<std::unique_ptr<PreparedPart>> prepared(static_cast<size_t>(std::max(0, partCount)));
    std::vector<std::exception_ptr> carryFailures(prepared.size());
    const TRowBandPool single(1);
    TRowBandPool::TTaskGroup carrying;
    try {
        threads.Start(readAll);
        const tw::Bitmap& working = workingPicture();
        {
            const std::lock_guard lock(mutex);
            early = false;
        }
        // Every part, the last one first, as the whole-picture composition draws
        // them. A walk uses one core, and carrying a part up is many short
        // passes: parts are carried up whole, one per worker thread at a time,
        // while this thread makes the next ones.
        tw::Bitmap scratch;
        for (int index = partCount - 1; index >= 0 && !cancelled(); --index) {
            TFullSizePart part = partAt(index, scratch);
            CheckPartSize(part, working);
            auto bitmap = std::make_shared<tw::Bitmap>(*part.Bitmap); // scratch is reused for the next
            part.Bitmap = bitmap.get();
            carrying.Wait(static_cast<size_t>(workers) - 1);
            const size_t slot = static_cast<size_t>(index);
            // The last one has the cores to itself once the others are done.
            const TRowBandPool* passes = index == 0 ? &pool : &single;
            carrying.Start([&prepared, &carryFailures, &unused, &options, fullSize, working = &working, part,
                            bitmap, slot, passes] {
                try {
                    TCoverageCarrier carrier(fullSize, *working, *part.Bitmap,
                                             part.Growth ? &*part.Growth : nullptr, options.Border, *passes);
                    if (carrier.Bounds().isEmpty()) return;
                    prepared[slot] = std::unique_ptr<PreparedPart>(new PreparedPart{
                        std::move(carrier), part.Settings, TPartRecolourer(part.Settings, *working, unused)});
                } catch (...) {
                    carryFailures[slot] = std::current_exception();
                }
            });
        }
        carrying.Wait();
        for (size_t i = prepared.size(); i-- > 0;) {
            if (carryFailures[i]) std::rethrow_exception(carryFailures[i]);
            if (prepared[i]) parts.push_back(std::move(prepared[i]));
        }
        scratch = tw::Bitmap();
        for (int i = 1; i < workers; ++i)
            threads.Start([&] { work(false); });
        work(true);
    } catch (...) {
        carrying.Wait();
        fail();
    }
    bool complete;
    {
        const std::lock_guard lock(mutex);
        complete = nextToWrite == bands && !failure;
        stop = true;
        changed.notify_all();
    }
    threads.Wait();
    if (failure) std::rethrow_exception(failure);
    return complete;
}
