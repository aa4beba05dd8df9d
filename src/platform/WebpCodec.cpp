#include "platform/WebpCodec.h"

#include "platform/PictureError.h"
#include "platform/PictureFile.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>

namespace tw {
namespace {

[[noreturn]] void FailRead(const std::string& name, const std::string& reason) {
    throw PictureError("cannot read " + name + ": " + reason);
}

[[noreturn]] void FailWrite(const std::string& name, const std::string& reason) {
    throw PictureError("cannot write " + name + ": " + reason);
}

WebPBitstreamFeatures Features(const QByteArray& data, const std::string& name) {
    if (data.isEmpty()) FailRead(name, "the file is empty");
    WebPBitstreamFeatures features{};
    const VP8StatusCode status = WebPGetFeatures(reinterpret_cast<const uint8_t*>(data.constData()),
                                                 static_cast<size_t>(data.size()), &features);
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) FailRead(name, "the file is truncated or corrupt");
    if (status != VP8_STATUS_OK) FailRead(name, "not a WebP file");
    if (features.width <= 0 || features.height <= 0) FailRead(name, "the picture has no pixels");
    // libwebp refuses larger sides itself; our own pixel limit is the larger.
    if (features.width > kMaxWebpSide || features.height > kMaxWebpSide)
        FailRead(name, "the picture is too large (" + std::to_string(features.width) + " x " +
                           std::to_string(features.height) + ")");
    return features;
}

struct MuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

int ReportProgress(int percent, const WebPPicture* picture) {
    const auto* progress = static_cast<const std::function<void(double)>*>(picture->user_data);
    if (progress && *progress) (*progress)(percent / 100.0);
    return 1;
}

std::string EncoderError(WebPEncodingError error) {
    switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
        return "not enough memory";
    case VP8_ENC_ERROR_FILE_TOO_BIG:
        return "the file would be larger than WebP allows (4 GB)";
    default:
        return "the WebP encoder failed (error " + std::to_string(static_cast<int>(error)) + ")";
    }
}

} // namespace

QSize ReadWebpSize(const QByteArray& data, const std::string& fileName) {
    const WebPBitstreamFeatures f = Features(data, DisplayName(fileName));
    return QSize(f.width, f.height);
}

Bitmap DecodeWebp(const QByteArray& data, const std::string& fileName) {
    const std::string name = DisplayName(fileName);
    const WebPBitstreamFeatures f = Features(data, name);
    if (f.has_animation) FailRead(name, "animated WebP files are not supported");
    QImage image(f.width, f.height, f.has_alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (image.isNull())
        FailRead(name, "not enough memory for a picture (" + std::to_string(f.width) + " x " +
                           std::to_string(f.height) + ")");
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    const auto size = static_cast<size_t>(data.size());
    const auto bufferSize = static_cast<size_t>(image.sizeInBytes());
    const uint8_t* decoded =
        f.has_alpha ? WebPDecodeRGBAInto(bytes, size, image.bits(), bufferSize, image.bytesPerLine())
                    : WebPDecodeRGBInto(bytes, size, image.bits(), bufferSize, image.bytesPerLine());
    if (!decoded) FailRead(name, "the file is truncated or corrupt");
    try {
        return Bitmap(image);
    } catch (const std::exception&) {
        FailRead(name, "not enough memory for a picture (" + std::to_string(f.width) + " x " +
                           std::to_string(f.height) + ")");
    }
}

QByteArray ReadWebpChunk(const QByteArray& data, const char* fourCc) {
    const WebPData whole{reinterpret_cast<const uint8_t*>(data.constData()),
                         static_cast<size_t>(data.size())};
    WebPDemuxer* demux = WebPDemux(&whole);
    if (!demux) return {};
    QByteArray chunk;
    WebPChunkIterator it{};
    if (WebPDemuxGetChunk(demux, fourCc, 1, &it))
        chunk =
            QByteArray(reinterpret_cast<const char*>(it.chunk.bytes), static_cast<qsizetype>(it.chunk.size));
    WebPDemuxReleaseChunkIterator(&it);
    WebPDemuxDelete(demux);
    return chunk;
}

QByteArray EncodeWebp(const Bitmap& bitmap, const std::string& fileName, int quality,
                      const TWebpExtras& extras, const std::function<void(double)>& progress) {
    const std::string name = DisplayName(fileName);
    if (bitmap.IsEmpty()) FailWrite(name, "the picture is empty");
    if (bitmap.Width() > kMaxWebpSide || bitmap.Height() > kMaxWebpSide)
        FailWrite(name, "WebP pictures have at most " + std::to_string(kMaxWebpSide) +
                            " pixels on a side; this one is " + std::to_string(bitmap.Width()) + " x " +
                            std::to_string(bitmap.Height()));
    WebPConfig config;
    if (quality > 0) {
        if (!WebPConfigPreset(&config, WEBP_PRESET_DEFAULT, static_cast<float>(quality)))
            FailWrite(name, "bad quality");
        // Recoloured edges are often saturated; plain chroma subsampling would fringe them.
        config.use_sharp_yuv = 1;
    } else {
        if (!WebPConfigInit(&config) || !WebPConfigLosslessPreset(&config, 2))
            FailWrite(name, "bad settings");
        config.exact = 1;
    }
    config.thread_level = 1;
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) FailWrite(name, "the WebP encoder failed");
    std::unique_ptr<WebPPicture, void (*)(WebPPicture*)> owned(&picture, WebPPictureFree);
    picture.use_argb = quality > 0 ? 0 : 1;
    picture.width = bitmap.Width();
    picture.height = bitmap.Height();
    // RGB32 words lie in memory as B, G, R, X on little-endian machines.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    const QImage& rgb = bitmap.Image();
    const auto import = WebPPictureImportBGRX;
#else
    const QImage rgb = bitmap.Image().convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) FailWrite(name, "not enough memory");
    const auto import = WebPPictureImportRGB;
#endif
    if (!import(&picture, rgb.constBits(), static_cast<int>(rgb.bytesPerLine())))
        FailWrite(name, "not enough memory");
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    std::unique_ptr<WebPMemoryWriter, void (*)(WebPMemoryWriter*)> written(&writer, WebPMemoryWriterClear);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    picture.progress_hook = ReportProgress;
    picture.user_data = const_cast<std::function<void(double)>*>(&progress);
    if (!WebPEncode(&config, &picture)) FailWrite(name, EncoderError(picture.error_code));
    QByteArray plain(reinterpret_cast<const char*>(writer.mem), static_cast<qsizetype>(writer.size));
    if (extras.IccProfile.isEmpty() && extras.Exif.isEmpty() && extras.Xmp.isEmpty()) return plain;

    // The chunks go in through the mux, which makes the extended header they need.
    const WebPData image{reinterpret_cast<const uint8_t*>(plain.constData()),
                         static_cast<size_t>(plain.size())};
    const std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxCreate(&image, 0));
    if (!mux) FailWrite(name, "the WebP encoder failed");
    const auto add = [&](const char* fourCc, const QByteArray& data) {
        if (data.isEmpty()) return;
        const WebPData chunk{reinterpret_cast<const uint8_t*>(data.constData()),
                             static_cast<size_t>(data.size())};
        if (WebPMuxSetChunk(mux.get(), fourCc, &chunk, 1) != WEBP_MUX_OK)
            FailWrite(name, std::string("the WebP encoder failed to add the ") + fourCc + " chunk");
    };
    add("ICCP", extras.IccProfile);
    add("EXIF", extras.Exif);
    add("XMP ", extras.Xmp);
    WebPData assembled{};
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) FailWrite(name, "the WebP encoder failed");
    QByteArray bytes(reinterpret_cast<const char*>(assembled.bytes), static_cast<qsizetype>(assembled.size));
    WebPDataClear(&assembled);
    return bytes;
}

} // namespace tw
