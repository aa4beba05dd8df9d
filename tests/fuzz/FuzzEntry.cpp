#include "FuzzEntry.h"

#include "cli/CliError.h"
#include "cli/RecipeReader.h"
#include "platform/PictureFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <stdexcept>

namespace twfuzz {

std::string DecodeAsPicture(const uint8_t* data, size_t size) {
    static const char* const kExtensions[] = {".bmp", ".jpg", ".ico", ".png"};
    if (size == 0) return {};
    const std::string name = std::string("fuzz") + kExtensions[data[0] % 4];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    try {
        const tw::Bitmap picture = tw::DecodePicture(bytes, name);
        // Touch the corners: a decoder that reports a size it did not fill shows here.
        if (picture.Width() > 0 && picture.Height() > 0) {
            (void)picture.Pixel(0, 0);
            (void)picture.Pixel(picture.Width() - 1, picture.Height() - 1);
        }
    } catch (const tw::PictureError&) {
    }
    return name;
}

std::string DecodeAsPhoto(const uint8_t* data, size_t size) {
    static const char* const kExtensions[] = {".tif", ".webp", ".heic", ".avif", ".jpg", ".png"};
    if (size == 0) return {};
    const std::string name = std::string("fuzz") + kExtensions[data[0] % 6];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    tw::TSaveOptions options;
    try {
        const tw::Bitmap picture = tw::DecodePicture(bytes, name, {}, &options.Metadata);
        if (picture.Width() > 0 && picture.Height() > 0) {
            (void)picture.Pixel(0, 0);
            (void)picture.Pixel(picture.Width() - 1, picture.Height() - 1);
        }
    } catch (const tw::PictureError&) {
    }
    // What was read, however odd, goes into results without complaint.
    const tw::Bitmap small(3, 2);
    for (tw::PictureFormat format :
         {tw::PictureFormat::Jpeg, tw::PictureFormat::Png, tw::PictureFormat::Tiff, tw::PictureFormat::Webp})
        (void)tw::EncodePicture(small, format, name, options);
    return name;
}

bool ReadAsRecipe(const std::string& dir, const uint8_t* data, size_t size) {
    const QString path = QDir(QString::fromStdString(dir)).filePath(QStringLiteral("recipe.json"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot write the recipe into " + dir);
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    try {
        const cli::TRecipe recipe = cli::ReadRecipe(path.toStdString());
        return !recipe.Job.Tasks.empty() && !recipe.Job.Parts.empty();
    } catch (const cli::CliError& e) {
        if (e.ExitCode != cli::kExitBadInput) throw;
        return false;
    }
}

} // namespace twfuzz
