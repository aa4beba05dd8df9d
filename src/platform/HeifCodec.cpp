#include "platform/HeifCodec.h"

#include "platform/PictureError.h"
#include "platform/PictureFile.h"

#include <lcms2.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace tw {
namespace {

// libheif once per process, its codecs registered; let go at exit.
class THeifSession {
  public:
    THeifSession() { heif_init(nullptr); }
    ~THeifSession() { heif_deinit(); }
    THeifSession(const THeifSession&) = delete;
    THeifSession& operator=(const THeifSession&) = delete;
};

void StartHeif() {
    static THeifSession session;
}

// Blocks beside the picture larger than this are not metadata we keep.
constexpr size_t kMaxBlockBytes = 16u << 20;

[[noreturn]] void FailRead(const std::string& name, const std::string& reason) {
    throw PictureError("cannot read " + name + ": " + reason);
}

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

// The file's context and primary picture, or the reason they cannot be read.
struct Primary {
    std::unique_ptr<heif_context, ContextDeleter> Context;
    std::unique_ptr<heif_image_handle, HandleDeleter> Handle;
    std::string Problem;
};

Primary OpenPrimary(const QByteArray& data) {
    StartHeif();
    Primary p;
    p.Context.reset(heif_context_alloc());
    if (!p.Context) {
        p.Problem = "not enough memory";
        return p;
    }
    heif_context_set_maximum_image_size_limit(p.Context.get(), kMaxPictureSide);
    heif_error error = heif_context_read_from_memory_without_copy(p.Context.get(), data.constData(),
                                                                  static_cast<size_t>(data.size()), nullptr);
    if (error.code != heif_error_Ok) {
        p.Problem = error.code == heif_error_Invalid_input && data.size() < 12 ? "not a HEIF file"
                    : error.code == heif_error_Unsupported_filetype            ? "not a HEIF file"
                                                                               : std::string(error.message);
        return p;
    }
    heif_image_handle* handle = nullptr;
    error = heif_context_get_primary_image_handle(p.Context.get(), &handle);
    p.Handle.reset(handle);
    if (error.code != heif_error_Ok) p.Problem = error.message;
    return p;
}

QSize CheckedSize(const heif_image_handle* handle, const std::string& name) {
    const int width = heif_image_handle_get_width(handle), height = heif_image_handle_get_height(handle);
    if (width <= 0 || height <= 0) FailRead(name, "the picture has no pixels");
    if (width > kMaxPictureSide || height > kMaxPictureSide ||
        static_cast<long long>(width) * height > kMaxPicturePixels)
        FailRead(name,
                 "the picture is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    return QSize(width, height);
}

QByteArray MetadataBlock(const heif_image_handle* handle, const char* type, const char* contentType) {
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, type);
    if (count <= 0) return {};
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), count);
    for (const heif_item_id id : ids) {
        if (contentType &&
            std::strcmp(heif_image_handle_get_metadata_content_type(handle, id), contentType) != 0)
            continue;
        const size_t size = heif_image_handle_get_metadata_size(handle, id);
        if (size == 0 || size > kMaxBlockBytes) continue;
        QByteArray block(static_cast<qsizetype>(size), '\0');
        if (heif_image_handle_get_metadata(handle, id, block.data()).code == heif_error_Ok) return block;
    }
    return {};
}

// The tone curve a colour description names, where it is one an ICC profile holds plainly.
cmsToneCurve* CurveFor(heif_transfer_characteristics transfer) {
    switch (transfer) {
    case heif_transfer_characteristic_IEC_61966_2_1: { // sRGB
        const double p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        return cmsBuildParametricToneCurve(nullptr, 4, p);
    }
    case heif_transfer_characteristic_ITU_R_BT_709_5:
    case heif_transfer_characteristic_ITU_R_BT_601_6:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit: {
        const double p[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        return cmsBuildParametricToneCurve(nullptr, 4, p);
    }
    default:
        return nullptr;
    }
}

// A file that describes its colours by primaries and a transfer curve rather
// than by a profile (most AVIF files, some HEIC ones): the profile they
// describe, or none for sRGB's own primaries and what no profile can hold.
QByteArray ProfileFromDescription(const heif_image_handle* handle) {
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx) return {};
    std::unique_ptr<heif_color_profile_nclx, void (*)(heif_color_profile_nclx*)> owned(
        nclx, heif_nclx_color_profile_free);
    const auto primaries = nclx->color_primaries;
    if (primaries == heif_color_primaries_ITU_R_BT_709_5 || primaries == heif_color_primaries_unspecified)
        return {};
    cmsToneCurve* curve = CurveFor(nclx->transfer_characteristics);
    if (!curve) return {};
    const cmsCIExyY white{nclx->color_primary_white_x, nclx->color_primary_white_y, 1.0};
    const cmsCIExyYTRIPLE rgb{{nclx->color_primary_red_x, nclx->color_primary_red_y, 1.0},
                              {nclx->color_primary_green_x, nclx->color_primary_green_y, 1.0},
                              {nclx->color_primary_blue_x, nclx->color_primary_blue_y, 1.0}};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &rgb, curves);
    cmsFreeToneCurve(curve);
    if (!profile) return {};
    cmsUInt32Number size = 0;
    QByteArray bytes;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(static_cast<qsizetype>(size));
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    cmsCloseProfile(profile);
    return bytes;
}

} // namespace

QSize ReadHeifSize(const QByteArray& data, const std::string& fileName) {
    const std::string name = DisplayName(fileName);
    if (data.isEmpty()) FailRead(name, "the file is empty");
    const Primary p = OpenPrimary(data);
    if (!p.Handle) FailRead(name, p.Problem);
    return CheckedSize(p.Handle.get(), name);
}

Bitmap DecodeHeif(const QByteArray& data, const std::string& fileName) {
    const std::string name = DisplayName(fileName);
    if (data.isEmpty()) FailRead(name, "the file is empty");
    const Primary p = OpenPrimary(data);
    if (!p.Handle) FailRead(name, p.Problem);
    const QSize size = CheckedSize(p.Handle.get(), name);
    const bool alpha = heif_image_handle_has_alpha_channel(p.Handle.get()) != 0;
    const std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
    if (!options) FailRead(name, "not enough memory");
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    const heif_error error =
        heif_decode_image(p.Handle.get(), &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    const std::unique_ptr<heif_image, ImageDeleter> image(decoded);
    if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype)
        FailRead(name, std::string("this kind of HEIF file is not supported (") + error.message + ")");
    if (error.code != heif_error_Ok || !image)
        FailRead(name, std::string("the file is damaged (") + error.message + ")");
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    // Turned a quarter, the sides swap: neither may exceed the longer one checked.
    const int side = std::max(size.width(), size.height());
    if (!plane || width <= 0 || height <= 0 || width > side || height > side)
        FailRead(name, "the file is damaged");
    QImage picture(width, height, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (picture.isNull())
        FailRead(name, "not enough memory for a picture (" + std::to_string(width) + " x " +
                           std::to_string(height) + ")");
    const size_t rowBytes = static_cast<size_t>(width) * (alpha ? 4 : 3);
    for (int y = 0; y < height; ++y)
        std::memcpy(picture.scanLine(y), plane + static_cast<ptrdiff_t>(y) * stride, rowBytes);
    try {
        return Bitmap(picture);
    } catch (const std::exception&) {
        FailRead(name, "not enough memory for a picture (" + std::to_string(width) + " x " +
                           std::to_string(height) + ")");
    }
}

THeifBlocks ReadHeifBlocks(const QByteArray& data) {
    THeifBlocks blocks;
    const Primary p = OpenPrimary(data);
    if (!p.Handle) return blocks;
    const heif_image_handle* handle = p.Handle.get();
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
        if (size > 0 && size <= kMaxBlockBytes) {
            blocks.IccProfile.resize(static_cast<qsizetype>(size));
            if (heif_image_handle_get_raw_color_profile(handle, blocks.IccProfile.data()).code !=
                heif_error_Ok)
                blocks.IccProfile.clear();
        }
    } else if (type == heif_color_profile_type_nclx) {
        blocks.IccProfile = ProfileFromDescription(handle);
    }
    // The Exif block starts with the offset of its TIFF header.
    const QByteArray exif = MetadataBlock(handle, "Exif", nullptr);
    if (exif.size() > 4) {
        const uint32_t offset = static_cast<uint8_t>(exif[0]) << 24 | static_cast<uint8_t>(exif[1]) << 16 |
                                static_cast<uint8_t>(exif[2]) << 8 | static_cast<uint8_t>(exif[3]);
        if (offset < static_cast<uint32_t>(exif.size() - 4)) blocks.Exif = exif.mid(4 + offset);
    }
    blocks.Xmp = MetadataBlock(handle, "mime", "application/rdf+xml");
    return blocks;
}

} // namespace tw
