#include "platform/PictureFile.h"

#include "platform/ErrorReport.h"
#include "platform/FileAccess.h"
#include "platform/HeifCodec.h"
#include "platform/JpegCodec.h"
#include "platform/Metafile.h"
#include "platform/Orientation.h"
#include "platform/PictureChecks.h"
#include "platform/PlainBmp.h"
#include "platform/Rounding.h"
#include "platform/RowBandPool.h"
#include "platform/TiffCodec.h"
#include "platform/WebpCodec.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>

namespace tw {
namespace {

// Larger files are refused before reading them into memory.
constexpr qint64 kMaxFileBytes = 1LL << 30;
// Qt's PNG quality 85 is zlib level 1: a 12-megapixel picture takes about 0.6 s
// of processor time instead of 3 s at the default level, for files a fifth larger.
constexpr int kPngQuality = 85;

[[noreturn]] void FailRead(const std::string& fileName, const std::string& reason) {
    throw PictureError("cannot read " + DisplayName(fileName) + ": " + reason);
}

[[noreturn]] void FailWrite(const std::string& fileName, const std::string& reason) {
    throw PictureError("cannot write " + DisplayName(fileName) + ": " + reason);
}

void CheckSize(QSize size, const std::string& fileName) {
    if (!size.isValid() || size.isEmpty()) FailRead(fileName, "the picture has no pixels");
    if (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide ||
        static_cast<long long>(size.width()) * size.height() > kMaxPicturePixels)
        FailRead(fileName, "the picture is too large (" + std::to_string(size.width()) + " x " +
                               std::to_string(size.height()) + ")");
}

const char* FormatName(PictureFormat f) {
    switch (f) {
    case PictureFormat::Bmp:
        return "BMP";
    case PictureFormat::Png:
        return "PNG";
    case PictureFormat::Ico:
        return "an icon";
    case PictureFormat::Jpeg:
        return "JPEG";
    default:
        return "picture";
    }
}

// The size a BMP header claims, read before any decoder allocates for it.
void CheckBmpHeader(const QByteArray& bytes, const std::string& fileName) {
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') FailRead(fileName, "not a BMP file");
    const uint32_t headerSize = Le32(bytes, 14);
    long long width, height;
    if (headerSize == 12) {
        width = Le16(bytes, 18);
        height = Le16(bytes, 20);
    } else {
        width = static_cast<int32_t>(Le32(bytes, 18));
        height = std::llabs(static_cast<int32_t>(Le32(bytes, 22)));
    }
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels)
        FailRead(fileName,
                 "the picture is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")");

    // Qt's reader leaves the rows missing from a cut-off file blank and reports
    // success, so an uncompressed file must hold every whole row. Run-length
    // coded files can legitimately be short.
    if (headerSize != 12 && headerSize < 40) return; // no header kind we know: the reader refuses it
    if (bytes.size() < 14 + static_cast<qsizetype>(headerSize))
        FailRead(fileName, "the file is truncated or corrupt");
    const int bitsPerPixel = static_cast<int>(Le16(bytes, headerSize == 12 ? 24 : 28));
    const uint32_t compression = headerSize == 12 ? 0 : Le32(bytes, 30);
    constexpr uint32_t kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
    if (width <= 0 || height <= 0 || bitsPerPixel <= 0 || bitsPerPixel > 32)
        return; // the reader refuses these
    if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields) return;
    const long long stride = (width * bitsPerPixel + 31) / 32 * 4;
    const long long needed = stride * height;
    const long long held = bytes.size() - 14 - static_cast<long long>(headerSize);
    if (held < needed)
        FailRead(fileName, "the file is truncated or corrupt (" + std::to_string(held) +
                               " bytes after the header, " + std::to_string(needed) +
                               " needed for the pixels)");
}

// Reads BMP, PNG and icon files with Qt's readers, validating the size first.
Bitmap DecodeWithQt(const QByteArray& bytes, PictureFormat format, const std::string& fileName) {
    const char* qtFormat = format == PictureFormat::Bmp   ? "bmp"
                           : format == PictureFormat::Png ? "png"
                                                          : "ico";
    if (format == PictureFormat::Bmp) {
        CheckBmpHeader(bytes, fileName);
        std::optional<Bitmap> plain;
        try {
            plain = DecodePlainBmp(bytes);
        } catch (const std::exception&) {
            FailRead(fileName, "not enough memory for a picture");
        }
        if (plain) {
            CheckSize(plain->Rect().size(), fileName);
            return std::move(*plain);
        }
    }
    const QSize runLengthSize = format == PictureFormat::Bmp ? CheckRunLengthPixels(bytes) : QSize();
    if (format == PictureFormat::Ico) CheckIconPngs(bytes);
    QBuffer buffer;
    buffer.setData(format == PictureFormat::Png && IsPngAt(bytes, 0)
                       ? WithoutSurplusImageData(CheckedPngStream(bytes, 0))
                       : bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, qtFormat);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false);
    if (!reader.canRead()) {
        const std::string article = format == PictureFormat::Ico ? "" : "a ";
        FailRead(fileName, "not " + article + FormatName(format) + " file");
    }

    if (format == PictureFormat::Ico) {
        // An icon file holds several sizes: take the largest.
        int best = 0;
        long long bestArea = -1;
        for (int i = 0; i < std::max(1, reader.imageCount()); ++i) {
            if (!reader.jumpToImage(i)) break;
            const QSize s = reader.size();
            const long long area = static_cast<long long>(s.width()) * s.height();
            if (area > bestArea) bestArea = area, best = i;
        }
        // A PNG image goes through the same checks as a PNG file.
        const QByteArray png = IconPngAt(bytes, best);
        if (!png.isEmpty()) return DecodeWithQt(png, PictureFormat::Png, fileName);
        reader.jumpToImage(best);
    }
    const QSize size = reader.size();
    if (size.isValid()) CheckSize(size, fileName);

    // Our own limits are tighter in pixels; let Qt allocate what they allow.
    QImageReader::setAllocationLimit(static_cast<int>(kMaxPicturePixels * 4 / (1024 * 1024)) + 64);
    QImage image;
    if (runLengthSize.isValid()) {
        // The reader writes into a picture of the right size and kind as it is, so
        // pixels the codes skip keep the first palette entry instead of stale memory.
        image = QImage(runLengthSize, QImage::Format_Indexed8);
        image.fill(0);
    }
    if (!reader.read(&image) || image.isNull()) {
        const std::string why = reader.errorString().toStdString();
        FailRead(fileName, "the file is damaged or truncated" + (why.empty() ? "" : " (" + why + ")"));
    }
    CheckSize(image.size(), fileName);
    try {
        return Bitmap(image);
    } catch (const std::bad_alloc&) {
        FailRead(fileName, "not enough memory for a picture (" + std::to_string(image.width()) + " x " +
                               std::to_string(image.height()) + ")");
    } catch (const std::runtime_error& e) {
        FailRead(fileName, e.what());
    }
}

QByteArray EncodeWithQt(const QImage& image, const char* format, const std::string& fileName,
                        int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(image)) FailWrite(fileName, writer.errorString().toStdString());
    return bytes;
}

QImage ToRgb888(const Bitmap& bitmap) {
    QImage image = bitmap.Image().convertToFormat(QImage::Format_RGB888);
    if (image.isNull() && !bitmap.IsEmpty()) throw PictureError("not enough memory to convert the picture");
    return image;
}

// Icons hold at most 256 x 256: larger pictures are reduced to fit, keeping their shape.
QByteArray EncodeIcon(const Bitmap& bitmap, const std::string& fileName) {
    Bitmap icon = bitmap;
    if (bitmap.Width() > 256 || bitmap.Height() > 256) {
        const QSize fit = bitmap.Rect().size().scaled(256, 256, Qt::KeepAspectRatio);
        icon = Bitmap(std::max(1, fit.width()), std::max(1, fit.height()));
        icon.StretchHalftone(icon.Rect(), bitmap, bitmap.Rect());
    }
    return EncodeWithQt(icon.Image().convertToFormat(QImage::Format_ARGB32), "ico", fileName);
}

std::string NamePart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    // A path ending in a slash has no name part: name the whole path instead.
    if (slash == std::string::npos || slash + 1 == path.size()) return path;
    return path.substr(slash + 1);
}

} // namespace

std::string DisplayName(const std::string& path) {
    return Printable(NamePart(path));
}

std::string ExtensionOf(const std::string& fileName) {
    const std::string name = NamePart(fileName);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

PictureFormat LoadFormatFor(const std::string& fileName) {
    const std::string ext = ExtensionOf(fileName);
    if (ext == ".bmp") return PictureFormat::Bmp;
    if (ext == ".jpg" || ext == ".jpeg") return PictureFormat::Jpeg;
    if (ext == ".ico") return PictureFormat::Ico;
    if (ext == ".png") return PictureFormat::Png;
    if (ext == ".tif" || ext == ".tiff") return PictureFormat::Tiff;
    if (ext == ".webp") return PictureFormat::Webp;
    if (ext == ".heic" || ext == ".heif" || ext == ".avif") return PictureFormat::Heif;
    return PictureFormat::Unknown;
}

PictureFormat SaveFormatFor(const std::string& fileName) {
    const std::string ext = ExtensionOf(fileName);
    if (ext == ".emf") return PictureFormat::Emf;
    if (ext == ".wmf") return PictureFormat::Wmf;
    const PictureFormat format = LoadFormatFor(fileName);
    return format == PictureFormat::Heif ? PictureFormat::Unknown : format;
}

bool KeepsMetadata(PictureFormat format) {
    return format == PictureFormat::Jpeg || format == PictureFormat::Png || format == PictureFormat::Tiff ||
           format == PictureFormat::Webp || format == PictureFormat::Heif;
}

QSize WorkingSize(QSize size) {
    double s = 0;
    if (size.height() > 600) s = 600.0 / size.height();
    if (size.width() > 800) s = 800.0 / size.width();
    if (s == 0) return size;
    // A very long, thin picture keeps a side of one pixel rather than none.
    return QSize(std::max(1, Round(size.width() * s)), std::max(1, Round(size.height() * s)));
}

namespace {

constexpr const char* kReadableExtensions =
    ".bmp, .jpg, .jpeg, .ico, .png, .tif, .tiff, .webp, .heic, .heif or .avif";

Bitmap DecodeFormat(const QByteArray& bytes, PictureFormat format, const std::string& fileName,
                    QSize minimumSize) {
    switch (format) {
    case PictureFormat::Jpeg:
        return DecodeJpeg(bytes, fileName, minimumSize);
    case PictureFormat::Tiff:
        return DecodeTiff(bytes, fileName);
    case PictureFormat::Webp:
        return DecodeWebp(bytes, fileName);
    case PictureFormat::Heif:
        return DecodeHeif(bytes, fileName);
    default:
        try {
            return DecodeWithQt(bytes, format, fileName);
        } catch (const PictureDamage& e) {
            FailRead(fileName, e.what());
        }
    }
}

} // namespace

TPictureMetadata ReadPictureMetadata(const QByteArray& bytes, PictureFormat format) {
    TPictureMetadata metadata;
    switch (format) {
    case PictureFormat::Jpeg:
        metadata.IccProfile = ReadJpegIccProfile(bytes);
        ReadFileMetadata(bytes, metadata);
        break;
    case PictureFormat::Png: {
        metadata.IccProfile = PngIccProfile(bytes);
        QByteArray stream;
        try {
            stream = PngMetadataStream(bytes);
        } catch (const PictureDamage& e) {
            metadata.Problem = std::string("the metadata cannot be read (") + e.what() + ")";
        }
        if (!stream.isEmpty()) ReadFileMetadata(stream, metadata);
        break;
    }
    case PictureFormat::Tiff:
        metadata.IccProfile = ReadTiffIccProfile(bytes);
        ReadFileMetadata(bytes, metadata);
        break;
    case PictureFormat::Webp: {
        metadata.IccProfile = ReadWebpChunk(bytes, "ICCP");
        QByteArray exif = ReadWebpChunk(bytes, "EXIF");
        // Some writers keep JPEG's header in front of the TIFF structure.
        if (exif.startsWith(QByteArray("Exif\0\0", 6))) exif.remove(0, 6);
        const QByteArray xmp = ReadWebpChunk(bytes, "XMP ");
        if (!exif.isEmpty() || !xmp.isEmpty()) ReadMetadataBlocks(exif, xmp, metadata);
        break;
    }
    case PictureFormat::Heif: {
        const THeifBlocks blocks = ReadHeifBlocks(bytes);
        metadata.IccProfile = blocks.IccProfile;
        if (!blocks.Exif.isEmpty() || !blocks.Xmp.isEmpty())
            ReadMetadataBlocks(blocks.Exif, blocks.Xmp, metadata);
        break;
    }
    default:
        break;
    }
    return metadata;
}

Bitmap DecodePicture(const QByteArray& bytes, const std::string& fileName, QSize minimumSize,
                     TPictureMetadata* metadata) {
    const PictureFormat format = LoadFormatFor(fileName);
    if (format == PictureFormat::Unknown) {
        const std::string ext = ExtensionOf(fileName);
        FailRead(fileName,
                 ext.empty() ? std::string("the file name has no extension (use ") + kReadableExtensions + ")"
                             : "unsupported file type \"" + ext + "\" (use " + kReadableExtensions + ")");
    }
    if (bytes.isEmpty()) FailRead(fileName, "the file is empty");
    Bitmap picture = DecodeFormat(bytes, format, fileName, minimumSize);
    // JPEG and TIFF decoders turn their pictures upright themselves, libheif
    // its own; PNG and WebP record the orientation only in their Exif.
    const bool exifTurns = format == PictureFormat::Png || format == PictureFormat::Webp;
    if (!metadata && !exifTurns) return picture;
    TPictureMetadata read = ReadPictureMetadata(bytes, format);
    if (exifTurns) picture = Upright(picture, read.Orientation());
    if (metadata) *metadata = std::move(read);
    return picture;
}

namespace {

QByteArray ReadPictureFile(const std::string& path, bool contents = true) {
    try {
        CheckRegularFile(path, kMaxFileBytes, "the file is too large");
        if (LoadFormatFor(path) == PictureFormat::Unknown) DecodePicture({}, path); // the file type message
        return ReadRegularFile(path, kMaxFileBytes, "the file is too large", contents);
    } catch (const FileAccessError& e) {
        FailRead(path, e.what());
    }
}

} // namespace

void CheckPictureFile(const std::string& path) {
    ReadPictureFile(path, false);
}

QSize PictureFileSize(const std::string& path) {
    const QByteArray bytes = ReadPictureFile(path);
    switch (LoadFormatFor(path)) {
    case PictureFormat::Jpeg:
        return ReadJpegSize(bytes, path);
    case PictureFormat::Tiff:
        return ReadTiffSize(bytes, path);
    case PictureFormat::Webp:
        return ReadWebpSize(bytes, path);
    case PictureFormat::Heif:
        return ReadHeifSize(bytes, path);
    default:
        return DecodePicture(bytes, path).Rect().size();
    }
}

Bitmap LoadPicture(const std::string& path, QSize minimumSize, TPictureMetadata* metadata) {
    return DecodePicture(ReadPictureFile(path), path, minimumSize, metadata);
}

namespace {

Bitmap ReduceTo(const Bitmap& picture, QSize size) {
    if (size == picture.Rect().size()) return picture;
    Bitmap reduced(size.width(), size.height());
    reduced.StretchHalftone(reduced.Rect(), picture, picture.Rect());
    return reduced;
}

// A JPEG's working picture from its bytes, as LoadWorkingPicture makes it: the
// decoder's own reduction, then smooth stretching the rest of the way.
Bitmap DecodeAtWorkingSize(const QByteArray& bytes, const std::string& path, QSize working) {
    return ReduceTo(DecodePicture(bytes, path, working), working);
}

} // namespace

Bitmap ReduceToWorkingSize(const Bitmap& picture) {
    return ReduceTo(picture, WorkingSize(picture.Rect().size()));
}

Bitmap LoadWorkingPicture(const std::string& path, TPictureMetadata* metadata) {
    const QByteArray bytes = ReadPictureFile(path);
    QSize working;
    if (LoadFormatFor(path) == PictureFormat::Jpeg) {
        // Decode no larger than needed: the DCT can drop whole octaves for free. The
        // working size still follows from the file's own size, not the decoded one.
        try {
            working = WorkingSize(ReadJpegDisplaySize(bytes, path));
        } catch (const PictureError&) {
            // The decode below reports the problem.
        }
    }
    const Bitmap picture = DecodePicture(bytes, path, working, metadata);
    return ReduceTo(picture, working.isValid() ? working : WorkingSize(picture.Rect().size()));
}

PictureAtBothSizes LoadPictureAtBothSizes(const std::string& path) {
    const QByteArray bytes = ReadPictureFile(path);
    PictureAtBothSizes both;
    // A JPEG's working picture comes from the decoder's own reduction, as
    // LoadWorkingPicture makes it. That second, smaller decode needs only the
    // file's size, so it runs beside the full one on another core.
    Bitmap reduced;
    QSize reducedTo;
    TRowBandPool::TTaskGroup reducing; // waits for the reduction however this ends
    if (LoadFormatFor(path) == PictureFormat::Jpeg) {
        QSize fileSize;
        try {
            fileSize = ReadJpegDisplaySize(bytes, path);
        } catch (const PictureError&) {
            // The full decode reports the problem.
        }
        const QSize working = WorkingSize(fileSize);
        if (fileSize.isValid() && working != fileSize) {
            reducedTo = working;
            reducing.Start(
                [&reduced, &bytes, &path, working] { reduced = DecodeAtWorkingSize(bytes, path, working); });
        }
    }
    both.Full = DecodePicture(bytes, path, {}, &both.Metadata);
    const QSize working = WorkingSize(both.Full.Rect().size());
    if (reducedTo.isValid() && both.Full.Rect().size() != working && reducedTo == working) {
        reducing.Wait();
        both.Working = std::move(reduced);
    } else {
        both.Working = ReduceTo(both.Full, working);
    }
    return both;
}

std::optional<StreamablePicture> OpenStreamablePicture(const std::string& path) {
    if (LoadFormatFor(path) != PictureFormat::Jpeg) return std::nullopt;
    StreamablePicture picture;
    picture.Path = path;
    picture.Bytes = ReadPictureFile(path);
    {
        const JpegRowReader header(picture.Bytes, path);
        if (!header.Streams()) return std::nullopt;
        picture.FullSize = QSize(header.Width(), header.Height());
    }
    if (WorkingSize(picture.FullSize) == picture.FullSize) return std::nullopt;
    picture.Metadata = ReadPictureMetadata(picture.Bytes, PictureFormat::Jpeg);
    return picture;
}

Bitmap StreamablePicture::Working() const {
    return DecodeAtWorkingSize(Bytes, Path, WorkingSize(FullSize));
}

namespace {
// Recoloured edges are often saturated: halved colour planes would fringe them.
constexpr JpegChroma kSavedJpegChroma = JpegChroma::Full;
constexpr int kSavedJpegQuality = 100;

// What a JPEG result carries besides its pixels, prepared in memory.
TJpegExtras JpegExtrasFor(const TSaveOptions& options, QSize size) {
    TJpegExtras extras;
    if (!options.StripMetadata) extras.Segments = JpegMetadataSegments(options.Metadata, size);
    extras.IccProfile = options.Metadata.IccProfile;
    return extras;
}

} // namespace

SavedJpegFile::SavedJpegFile(QSize size, const std::string& path, const TSaveOptions& options) : path_(path) {
    try {
        file_ = std::make_unique<AtomicFileWriter>(path);
    } catch (const FileAccessError& e) {
        FailWrite(path, e.what());
    }
    jpeg_ = std::make_unique<JpegRowWriter>(
        size.width(), size.height(), path, kSavedJpegQuality, kSavedJpegChroma,
        [this](const char* data, size_t n) { file_->Write(data, n); }, JpegExtrasFor(options, size));
}

SavedJpegFile::~SavedJpegFile() = default;

void SavedJpegFile::Write(const uint32_t* rows, ptrdiff_t strideWords, int count) {
    try {
        jpeg_->Write(rows, strideWords, count);
    } catch (const FileAccessError& e) {
        FailWrite(path_, e.what());
    }
}

void SavedJpegFile::Commit() {
    try {
        jpeg_->Finish();
        file_->Commit();
    } catch (const FileAccessError& e) {
        FailWrite(path_, e.what());
    }
}

QByteArray EncodePicture(const Bitmap& bitmap, PictureFormat format, const std::string& fileName,
                         const TSaveOptions& options) {
    if (bitmap.IsEmpty()) FailWrite(fileName, "the picture is empty");
    const QSize size = bitmap.Rect().size();
    const TPictureMetadata& metadata = options.Metadata;
    const bool withMetadata = !options.StripMetadata && metadata.HasMetadata();
    try {
        switch (format) {
        case PictureFormat::Jpeg:
            return EncodeJpeg(bitmap, fileName, kSavedJpegQuality, kSavedJpegChroma,
                              JpegExtrasFor(options, size));
        case PictureFormat::Bmp:
            return EncodePlainBmp(bitmap);
        case PictureFormat::Png: {
            QByteArray png = EncodeWithQt(ToRgb888(bitmap), "png", fileName, kPngQuality);
            // exiv2 first: it would write a profile of its own again, without a name.
            if (withMetadata) png = WithFileMetadata(png, metadata, size);
            return WithPngIccProfile(png, metadata.IccProfile);
        }
        case PictureFormat::Tiff: {
            const QByteArray tiff = EncodeTiff(bitmap, fileName, metadata.IccProfile, options.OnProgress);
            return withMetadata ? WithFileMetadata(tiff, metadata, size) : tiff;
        }
        case PictureFormat::Webp: {
            TWebpExtras extras;
            extras.IccProfile = metadata.IccProfile;
            if (withMetadata) {
                const TWebpMetadata chunks = WebpMetadataChunks(metadata, size);
                extras.Exif = chunks.Exif;
                extras.Xmp = chunks.Xmp;
            }
            return EncodeWebp(bitmap, fileName, options.Quality, extras, options.OnProgress);
        }
        case PictureFormat::Ico:
            return EncodeIcon(bitmap, fileName);
        case PictureFormat::Emf:
            return EncodeEmf(bitmap);
        case PictureFormat::Wmf:
            return EncodeWmf(bitmap);
        case PictureFormat::Heif:
        case PictureFormat::Unknown:
            break;
        }
    } catch (const PictureError&) {
        throw;
    } catch (const std::exception& e) {
        FailWrite(fileName, e.what());
    }
    FailWrite(fileName, "unsupported file type \"" + ExtensionOf(fileName) + "\"");
}

bool SavePicture(const Bitmap& bitmap, const std::string& path, const TSaveOptions& options) {
    const PictureFormat format = SaveFormatFor(path);
    if (format == PictureFormat::Unknown) return false;
    WriteFileAtomically(path, EncodePicture(bitmap, format, path, options));
    return true;
}

void CheckFitsFormat(QSize size, const std::string& path) {
    if (SaveFormatFor(path) == PictureFormat::Webp &&
        (size.width() > kMaxWebpSide || size.height() > kMaxWebpSide))
        FailWrite(path, "WebP pictures have at most " + std::to_string(kMaxWebpSide) +
                            " pixels on a side; this one is " + std::to_string(size.width()) + " x " +
                            std::to_string(size.height()));
}

void WriteFileAtomically(const std::string& path, const QByteArray& bytes) {
    try {
        ReplaceFileContents(path, bytes);
    } catch (const FileAccessError& e) {
        FailWrite(path, e.what());
    }
}

} // namespace tw
