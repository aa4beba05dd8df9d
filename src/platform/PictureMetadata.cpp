#include "platform/PictureMetadata.h"

// exiv2 0.27's headers use std::auto_ptr and throw(); they are included here
// alone, as system headers (the imported target's include folder), so that
// their warnings stay theirs.
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace tw {

struct TMetadataStore {
    Exiv2::ExifData Exif;
    Exiv2::ByteOrder ByteOrder = Exiv2::littleEndian;
    Exiv2::XmpData Xmp;
    Exiv2::IptcData Iptc;
};

namespace {

// exiv2 once per process: its messages muted (our own say what went wrong),
// the XMP toolkit made safe for several threads, and shut down at exit so that
// nothing it holds is reported as leaked.
class TExiv2Session {
  public:
    TExiv2Session() {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(&TExiv2Session::Lock, &mutex_);
    }
    ~TExiv2Session() { Exiv2::XmpParser::terminate(); }
    TExiv2Session(const TExiv2Session&) = delete;
    TExiv2Session& operator=(const TExiv2Session&) = delete;

  private:
    static void Lock(void* mutex, bool lock) {
        if (lock)
            static_cast<std::recursive_mutex*>(mutex)->lock();
        else
            static_cast<std::recursive_mutex*>(mutex)->unlock();
    }
    std::recursive_mutex mutex_;
};

void StartExiv2() {
    static TExiv2Session session;
}

const Exiv2::byte* Bytes(const QByteArray& b) {
    return reinterpret_cast<const Exiv2::byte*>(b.constData());
}

// IFD0 tags that describe how the pixels of the file the Exif came from are
// stored, or that hold what travels apart (the profile, XMP, IPTC, Photoshop
// data): a result stores its pixels its own way.
bool DescribesStoredPixels(uint16_t tag) {
    static constexpr uint16_t kTags[] = {
        0x00fe, 0x00ff, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109, 0x010a,
        0x0111, 0x0115, 0x0116, 0x0117, 0x0118, 0x0119, 0x011c, 0x0122, 0x0123, 0x0124, 0x0125,
        0x0129, 0x013d, 0x0140, 0x0141, 0x0142, 0x0143, 0x0144, 0x0145, 0x014a, 0x014c, 0x0152,
        0x0153, 0x0154, 0x0155, 0x015b, 0x0200, 0x0201, 0x0202, 0x0203, 0x0205, 0x0206, 0x0207,
        0x0208, 0x0209, 0x0211, 0x0212, 0x0213, 0x0214, 0x02bc, 0x83bb, 0x8649, 0x8773, 0x935c};
    return std::find(std::begin(kTags), std::end(kTags), tag) != std::end(kTags);
}

bool IsKept(const Exiv2::Exifdatum& d) {
    const std::string group = d.groupName();
    if (group == "Image") return !DescribesStoredPixels(d.tag());
    // The other pictures of a TIFF or raw file, and the thumbnail.
    for (const char* other : {"Image2", "Image3", "SubImage", "SubThumb", "Thumbnail"})
        if (group.rfind(other, 0) == 0) return false;
    return true;
}

// Keeps what was read; nothing when it holds nothing.
void Keep(const Exiv2::ExifData& exif, Exiv2::ByteOrder order, const Exiv2::XmpData& xmp,
          const Exiv2::IptcData& iptc, TPictureMetadata& metadata) {
    auto store = std::make_shared<TMetadataStore>();
    for (const Exiv2::Exifdatum& d : exif)
        if (IsKept(d)) store->Exif.add(d);
    store->ByteOrder = order == Exiv2::invalidByteOrder ? Exiv2::littleEndian : order;
    store->Xmp = xmp;
    store->Iptc = iptc;
    if (store->Exif.empty() && store->Xmp.empty() && store->Iptc.empty()) return;
    metadata.Store = std::move(store);
}

std::string ProblemText(const std::exception& e) {
    std::string why = e.what();
    why.erase(std::remove(why.begin(), why.end(), '\n'), why.end());
    return "the metadata cannot be read (" + why + ")";
}

Exiv2::ExifData ResultExif(const TMetadataStore& store, QSize size) {
    Exiv2::ExifData exif = store.Exif;
    Exiv2::ExifThumb(exif).erase();
    const auto has = [&exif](const char* key) { return exif.findKey(Exiv2::ExifKey(key)) != exif.end(); };
    if (has("Exif.Image.Orientation")) exif["Exif.Image.Orientation"] = uint16_t{1};
    if (has("Exif.Photo.PixelXDimension") || has("Exif.Photo.PixelYDimension")) {
        exif["Exif.Photo.PixelXDimension"] = static_cast<uint32_t>(size.width());
        exif["Exif.Photo.PixelYDimension"] = static_cast<uint32_t>(size.height());
    }
    if (!exif.empty()) exif["Exif.Image.Software"] = std::string("Tintwell");
    return exif;
}

Exiv2::XmpData ResultXmp(const TMetadataStore& store, QSize size) {
    Exiv2::XmpData xmp = store.Xmp;
    const auto setIfThere = [&xmp](const char* key, long value) {
        if (xmp.findKey(Exiv2::XmpKey(key)) != xmp.end()) xmp[key] = std::to_string(value);
    };
    setIfThere("Xmp.tiff.Orientation", 1);
    setIfThere("Xmp.tiff.ImageWidth", size.width());
    setIfThere("Xmp.tiff.ImageLength", size.height());
    setIfThere("Xmp.exif.PixelXDimension", size.width());
    setIfThere("Xmp.exif.PixelYDimension", size.height());
    return xmp;
}

QByteArray ExifBlock(const Exiv2::ExifData& exif, Exiv2::ByteOrder order) {
    if (exif.empty()) return {};
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, order, exif);
    return QByteArray(reinterpret_cast<const char*>(blob.data()), static_cast<qsizetype>(blob.size()));
}

QByteArray XmpPacket(const Exiv2::XmpData& xmp) {
    if (xmp.empty()) return {};
    std::string packet;
    if (Exiv2::XmpParser::encode(packet, xmp, Exiv2::XmpParser::useCompactFormat) != 0) return {};
    return QByteArray::fromStdString(packet);
}

} // namespace

int TPictureMetadata::Orientation() const {
    if (!Store) return 1;
    const auto it = Store->Exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (it == Store->Exif.end() || it->count() < 1) return 1;
    const long value = it->toLong();
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
}

int ExifOrientation(const unsigned char* tiff, size_t size) {
    StartExiv2();
    if (tiff == nullptr || size < 8 || size > 0xFFFFFFFFu) return 1;
    // Parsing a camera's Exif with its maker notes takes milliseconds, and a
    // file's segment is asked for its orientation several times while it is
    // opened (its size, the row reader, the working picture): the last few
    // answers are kept with the segments they came from.
    struct TAnswer {
        std::vector<unsigned char> Segment;
        int Orientation;
    };
    static std::mutex lock;
    static std::vector<TAnswer> answers;
    constexpr size_t kAnswersKept = 4, kLargestKept = 256 * 1024;
    const auto same = [&](const TAnswer& a) {
        return a.Segment.size() == size && std::memcmp(a.Segment.data(), tiff, size) == 0;
    };
    {
        const std::lock_guard<std::mutex> guard(lock);
        const auto it = std::find_if(answers.begin(), answers.end(), same);
        if (it != answers.end()) return it->Orientation;
    }
    int orientation = 1;
    try {
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, tiff, static_cast<uint32_t>(size));
        TPictureMetadata metadata;
        Keep(exif, Exiv2::littleEndian, {}, {}, metadata);
        orientation = metadata.Orientation();
    } catch (const std::exception&) {
        orientation = 1;
    }
    const std::lock_guard<std::mutex> guard(lock);
    if (size <= kLargestKept && std::none_of(answers.begin(), answers.end(), same)) {
        if (answers.size() == kAnswersKept) answers.erase(answers.begin());
        answers.push_back({std::vector<unsigned char>(tiff, tiff + size), orientation});
    }
    return orientation;
}

void ReadFileMetadata(const QByteArray& bytes, TPictureMetadata& metadata) {
    StartExiv2();
    try {
        // Over the bytes in memory, not copied.
        auto image = Exiv2::ImageFactory::open(Bytes(bytes), static_cast<long>(bytes.size()));
        if (image.get() == nullptr) return;
        image->readMetadata();
        Keep(image->exifData(), image->byteOrder(), image->xmpData(), image->iptcData(), metadata);
        if (!image->xmpPacket().empty() && image->xmpData().empty())
            metadata.Problem = "the XMP data cannot be read";
    } catch (const std::exception& e) {
        metadata.Store.reset();
        metadata.Problem = ProblemText(e);
    }
}

void ReadMetadataBlocks(const QByteArray& exifBlock, const QByteArray& xmpPacket,
                        TPictureMetadata& metadata) {
    StartExiv2();
    try {
        Exiv2::ExifData exif;
        Exiv2::ByteOrder order = Exiv2::littleEndian;
        if (!exifBlock.isEmpty())
            order =
                Exiv2::ExifParser::decode(exif, Bytes(exifBlock), static_cast<uint32_t>(exifBlock.size()));
        Exiv2::XmpData xmp;
        if (!xmpPacket.isEmpty() && Exiv2::XmpParser::decode(xmp, xmpPacket.toStdString()) != 0)
            metadata.Problem = "the XMP data cannot be read";
        Keep(exif, order, xmp, {}, metadata);
    } catch (const std::exception& e) {
        metadata.Store.reset();
        metadata.Problem = ProblemText(e);
    }
}

std::vector<TJpegSegment> JpegMetadataSegments(const TPictureMetadata& metadata, QSize size) {
    std::vector<TJpegSegment> segments;
    if (!metadata.Store) return segments;
    StartExiv2();
    // A segment holds at most 65533 bytes after its length.
    constexpr qsizetype kMaxSegment = 65533;
    constexpr int kApp1 = 0xE1, kApp13 = 0xED;
    try {
        const QByteArray exif = ExifBlock(ResultExif(*metadata.Store, size), metadata.Store->ByteOrder);
        if (!exif.isEmpty() && exif.size() + 6 <= kMaxSegment)
            segments.push_back({kApp1, QByteArray("Exif\0\0", 6) + exif});
        const QByteArray xmp = XmpPacket(ResultXmp(*metadata.Store, size));
        static const QByteArray kXmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);
        if (!xmp.isEmpty() && xmp.size() + kXmpHeader.size() <= kMaxSegment)
            segments.push_back({kApp1, kXmpHeader + xmp});
        if (!metadata.Store->Iptc.empty()) {
            const Exiv2::DataBuf irb = Exiv2::Photoshop::setIptcIrb(nullptr, 0, metadata.Store->Iptc);
            static const QByteArray kPhotoshopHeader("Photoshop 3.0\0", 14);
            if (irb.size_ > 0 && irb.size_ + kPhotoshopHeader.size() <= kMaxSegment)
                segments.push_back(
                    {kApp13,
                     kPhotoshopHeader + QByteArray(reinterpret_cast<const char*>(irb.pData_), irb.size_)});
        }
    } catch (const std::exception&) {
        // What cannot be written is left out; the pixels matter more.
    }
    return segments;
}

QByteArray WithFileMetadata(const QByteArray& file, const TPictureMetadata& metadata, QSize size) {
    if (!metadata.Store) return file;
    StartExiv2();
    try {
        auto image = Exiv2::ImageFactory::open(Bytes(file), static_cast<long>(file.size()));
        if (image.get() == nullptr) return file;
        image->readMetadata();
        // The file's own tags (a TIFF's structure) stay as they are.
        Exiv2::ExifData exif = image->exifData();
        for (const Exiv2::Exifdatum& d : ResultExif(*metadata.Store, size))
            if (exif.findKey(Exiv2::ExifKey(d.key())) == exif.end()) exif.add(d);
        image->setExifData(exif);
        image->setXmpData(ResultXmp(*metadata.Store, size));
        image->setIptcData(metadata.Store->Iptc);
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0) return file;
        const Exiv2::DataBuf written = io.read(static_cast<long>(io.size()));
        io.close();
        return QByteArray(reinterpret_cast<const char*>(written.pData_), written.size_);
    } catch (const std::exception&) {
        return file;
    }
}

TWebpMetadata WebpMetadataChunks(const TPictureMetadata& metadata, QSize size) {
    TWebpMetadata chunks;
    if (!metadata.Store) return chunks;
    StartExiv2();
    try {
        chunks.Exif = ExifBlock(ResultExif(*metadata.Store, size), metadata.Store->ByteOrder);
        Exiv2::XmpData xmp = ResultXmp(*metadata.Store, size);
        const Exiv2::IptcData& iptc = metadata.Store->Iptc;
        if (!iptc.empty()) Exiv2::copyIptcToXmp(iptc, xmp, iptc.detectCharset());
        chunks.Xmp = XmpPacket(xmp);
    } catch (const std::exception&) {
        chunks = {};
    }
    return chunks;
}

} // namespace tw
