#include "document/ProjectFile.h"

#include "document/StrictJson.h"
#include "document/TintwellDocument.h"
#include "platform/FileAccess.h"
#include "platform/PictureChecks.h"
#include "platform/PictureError.h"
#include "platform/PictureFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

namespace {

// Format 2 added Match colour's settings and colour variants; format 3 made a
// part's "growth" a list of grows. Older files read as they are.
constexpr int kFormat = 3;
// Parts have the picture's working size: at most 800 wide and 600 high, but a
// picture wider than 800 is worked on 800 wide whatever its height comes to
// (a portrait photo of 3000 x 4000 at 800 x 1067).
constexpr int32_t kMaxWidth = 800, kMaxHeight = 600;

std::string SizeText(QSize size) {
    return std::to_string(size.width()) + " x " + std::to_string(size.height());
}

// The size a PNG file's header declares; invalid when the bytes are no PNG file.
QSize PngHeaderSize(const QByteArray& png) {
    if (!tw::IsPngAt(png, 0) || png.size() < 24 || png.mid(12, 4) != "IHDR") return {};
    const uint32_t width = tw::Be32(png, 16), height = tw::Be32(png, 20);
    if (width > uint32_t{tw::kMaxPictureSide} || height > uint32_t{tw::kMaxPictureSide}) return {};
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

std::string PartKey(size_t index) {
    return "parts[" + std::to_string(index) + "].bitmap";
}

bool IsLowerHex(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

QJsonArray PointJson(QPoint p) {
    return QJsonArray{p.x(), p.y()};
}

// The picture's path as the project keeps it: relative when it lies in the project's folder.
std::string StoredPicturePath(const std::string& picture, const std::string& projectPath) {
    const std::string absolute = tw::CleanPath(tw::AbsolutePath(picture));
    const std::string folder = tw::FolderOf(tw::CleanPath(tw::AbsolutePath(projectPath)));
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    if (absolute.rfind(prefix, 0) == 0 && absolute.size() > prefix.size())
        return absolute.substr(prefix.size());
    return absolute;
}

class ProjectParser {
  public:
    explicit ProjectParser(const std::string& path) : json_(tw::DisplayName(path)) {}

    TProject Parse(const QJsonObject& root) const {
        json_.CheckKeys(root, "", {"format", "picture", "settings", "parts", "variants"});
        if (!root.contains("format")) json_.Fail("", "\"format\" is missing");
        const int32_t format = json_.Number(root["format"], "format", 1, 1000000);
        if (format > kFormat)
            json_.Fail("format", "this is a newer project file (format " + std::to_string(format) +
                                     "); it needs a newer version of Tintwell");
        TProject project;
        for (const char* key : {"picture", "parts"})
            if (!root.contains(key)) json_.Fail("", "\"" + std::string(key) + "\" is missing");
        const QJsonObject picture = json_.Object(root["picture"], "picture");
        json_.CheckKeys(picture, "picture", {"path", "width", "height", "sha256"});
        for (const char* key : {"path", "width", "height", "sha256"})
            if (!picture.contains(key)) json_.Fail("picture", "\"" + std::string(key) + "\" is missing");
        json_.Text(picture["path"], "picture.path");
        project.Picture = tw::PathFromQString(picture["path"].toString());
        const int32_t width = json_.Number(picture["width"], "picture.width", 1, kMaxWidth);
        const int32_t maxHeight = width == kMaxWidth ? tw::kMaxPictureSide : kMaxHeight;
        project.PictureSize = QSize(width, json_.Number(picture["height"], "picture.height", 1, maxHeight));
        project.PictureHash = json_.Text(picture["sha256"], "picture.sha256");
        if (project.PictureHash.size() != 64 || !IsLowerHex(project.PictureHash))
            json_.Fail("picture.sha256", "expected 64 lower-case hexadecimal digits");
        if (root.contains("settings")) project.Settings = json_.Settings(root["settings"], "settings");
        const QJsonValue parts = root["parts"];
        if (!parts.isArray()) json_.Fail("parts", "expected a list of parts");
        const QJsonArray list = parts.toArray();
        for (qsizetype i = 0; i < list.size(); ++i)
            project.Parts.push_back(
                Part(list[i], "parts[" + std::to_string(i) + "]", project.PictureSize, format));
        if (root.contains("variants"))
            project.Variants = ReadVariants(json_, root["variants"], "variants", project.Parts.size());
        return project;
    }

  private:
    TProjectPart Part(const QJsonValue& value, const std::string& where, QSize size, int format) const {
        const QJsonObject o = json_.Object(value, where);
        json_.CheckKeys(o, where, {"bitmap", "anchor", "settings", "growth"});
        if (!o.contains("bitmap")) json_.Fail(where, "\"bitmap\" is missing");
        TProjectPart part;
        const std::string at = TStrictJson::Join(where, "bitmap");
        const QByteArray png = QByteArray::fromBase64(QByteArray::fromStdString(json_.Text(o["bitmap"], at)),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        // Only the header is read here: what it declares bounds what decoding costs later.
        const QSize declared = PngHeaderSize(png);
        if (!declared.isValid()) json_.Fail(at, "expected a PNG picture in base64");
        if (declared != size)
            json_.Fail(at, "the part is " + SizeText(declared) + " but the picture is " + SizeText(size));
        part.Png = png;
        if (o.contains("anchor"))
            part.Anchor = InPicture(o["anchor"], TStrictJson::Join(where, "anchor"), size);
        if (o.contains("settings"))
            part.Settings = json_.Settings(o["settings"], TStrictJson::Join(where, "settings"));
        if (o.contains("growth"))
            part.Growth = format < 3 ? Growth(o["growth"], TStrictJson::Join(where, "growth"), size)
                                     : Grows(o["growth"], TStrictJson::Join(where, "growth"), size);
        return part;
    }

    QPoint InPicture(const QJsonValue& value, const std::string& where, QSize size) const {
        const QPoint p = json_.Point(value, where);
        if (!QRect(QPoint(0, 0), size).contains(p))
            json_.Fail(where, "[" + std::to_string(p.x()) + ", " + std::to_string(p.y()) +
                                  "] is outside the picture");
        return p;
    }

    // Format 3: the grows in order, each as a format 2 growth, the later ones
    // perhaps with "remove": true.
    TPartGrowth Grows(const QJsonValue& value, const std::string& where, QSize size) const {
        if (!value.isArray() || value.toArray().isEmpty())
            json_.Fail(where, "expected a list of at least one grow");
        const QJsonArray list = value.toArray();
        TPartGrowth growth;
        for (qsizetype i = 0; i < list.size(); ++i) {
            const std::string at = where + "[" + std::to_string(i) + "]";
            const QJsonObject o = json_.Object(list[i], at);
            bool remove = false;
            if (o.contains("remove")) remove = json_.Boolean(o["remove"], TStrictJson::Join(at, "remove"));
            if (i == 0 && remove)
                json_.Fail(TStrictJson::Join(at, "remove"), "the first grow makes the part");
            const TPartGrowth step = Growth(list[i], at, size, true);
            if (i == 0)
                growth = step;
            else
                growth.Then.push_back({step.Seed, step.SeedColor, step.Rules, remove});
        }
        return growth;
    }

    TPartGrowth Growth(const QJsonValue& value, const std::string& where, QSize size,
                       bool mayRemove = false) const {
        const QJsonObject o = json_.Object(value, where);
        if (mayRemove)
            json_.CheckKeys(o, where, {"seed", "seedColor", "rules", "remove"});
        else
            json_.CheckKeys(o, where, {"seed", "seedColor", "rules"});
        for (const char* key : {"seed", "seedColor", "rules"})
            if (!o.contains(key)) json_.Fail(where, "\"" + std::string(key) + "\" is missing");
        TPartGrowth growth;
        growth.Seed = InPicture(o["seed"], TStrictJson::Join(where, "seed"), size);
        const std::string colorAt = TStrictJson::Join(where, "seedColor");
        const QJsonArray rgb = o["seedColor"].toArray();
        if (!o["seedColor"].isArray() || rgb.size() != 3) json_.Fail(colorAt, "expected [r, g, b]");
        int32_t c[3];
        for (int i = 0; i < 3; ++i)
            c[i] = json_.Number(rgb[i], colorAt + "[" + std::to_string(i) + "]", 0, 255);
        growth.SeedColor = RGBToColor(c[0], c[1], c[2]);
        growth.Rules = json_.Rules(o["rules"], TStrictJson::Join(where, "rules"));
        return growth;
    }

    TStrictJson json_;
};

} // namespace

void TProjectPart::SetBitmap(const tw::Bitmap& bitmap) {
    Png = tw::EncodePicture(bitmap, tw::PictureFormat::Png, "part.png");
}

std::string TProject::PicturePath(const std::string& projectPath) const {
    return tw::CleanPath(tw::JoinPath(tw::FolderOf(tw::AbsolutePath(projectPath)), Picture));
}

tw::Bitmap TProject::PartBitmap(size_t index) const {
    const TStrictJson json(File);
    tw::Bitmap bitmap;
    try {
        bitmap = tw::DecodePicture(Parts.at(index).Png, "part.png");
    } catch (const tw::PictureError&) {
        // The reader fails the same way for damaged data and for want of
        // memory; only the first is the file's fault.
        const size_t bytes = 2 * static_cast<size_t>(PictureSize.width()) * PictureSize.height() * 4;
        if (!std::unique_ptr<char[]>(new (std::nothrow) char[bytes])) throw std::bad_alloc();
        json.Fail(PartKey(index), "expected a PNG picture in base64");
    }
    if (bitmap.Rect().size() != PictureSize)
        json.Fail(PartKey(index), "the part is " + SizeText(bitmap.Rect().size()) + " but the picture is " +
                                      SizeText(PictureSize));
    return bitmap;
}

uint64_t TProject::DecodedPartBytes() const {
    // A decoded part is a bitmap of four bytes a pixel.
    return Parts.size() * uint64_t{4} * static_cast<uint64_t>(PictureSize.width()) *
           static_cast<uint64_t>(PictureSize.height());
}

std::string PictureFileHash(const std::string& path) {
    QByteArray bytes;
    try {
        bytes = tw::ReadRegularFile(path, int64_t{1} << 32, "the file is too large for a picture");
    } catch (const tw::FileAccessError& e) {
        throw tw::PictureError("cannot read " + tw::DisplayName(path) + ": " + e.what());
    }
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
}

TProject ProjectOfDocument(const TTintwellDocument& document, const std::string& projectPath) {
    TProject project;
    // The document reads its picture by this name.
    const std::string picture = document.FileName().toStdString();
    project.File = tw::DisplayName(projectPath);
    project.Picture = StoredPicturePath(picture, projectPath);
    project.PictureSize = document.Picture().Rect().size();
    project.PictureHash = PictureFileHash(picture);
    project.Settings = document.CurrentSettings();
    project.Variants = document.Variants();
    for (int i = 0; i < document.PartCount(); ++i) {
        const TImagePart* part = document.Part(i);
        TProjectPart saved;
        saved.SetBitmap(part->Bitmap);
        saved.Settings = part->Settings;
        saved.Anchor = QPoint(part->AnchorX, part->AnchorY);
        saved.Growth = part->Growth;
        project.Parts.push_back(std::move(saved));
    }
    return project;
}

QByteArray ProjectBytes(const TProject& project) {
    QJsonArray parts;
    for (const TProjectPart& part : project.Parts) {
        QJsonObject o{{"bitmap", QString::fromLatin1(part.Png.toBase64())},
                      {"anchor", PointJson(part.Anchor)},
                      {"settings", TStrictJson::SettingsJson(part.Settings)}};
        if (part.Growth) {
            QJsonArray grows;
            for (const TGrowthStep& step : part.Growth->Steps()) {
                const TRGBValues c = ColorToRGBValues(step.SeedColor);
                QJsonObject grow{{"seed", PointJson(step.Seed)},
                                 {"seedColor", QJsonArray{c.R, c.G, c.B}},
                                 {"rules", TStrictJson::RulesJson(step.Rules)}};
                if (step.Remove) grow["remove"] = true;
                grows.append(grow);
            }
            o["growth"] = grows;
        }
        parts.append(o);
    }
    QJsonObject root{
        {"format", kFormat},
        {"picture", QJsonObject{{"path", QFile::decodeName(QByteArray::fromStdString(project.Picture))},
                                {"width", project.PictureSize.width()},
                                {"height", project.PictureSize.height()},
                                {"sha256", QString::fromStdString(project.PictureHash)}}},
        {"settings", TStrictJson::SettingsJson(project.Settings)},
        {"parts", parts}};
    if (!project.Variants.empty()) root["variants"] = VariantsJson(project.Variants);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void SaveProject(const TProject& project, const std::string& path) {
    tw::WriteFileAtomically(path, ProjectBytes(project));
}

TProject ReadProject(const std::string& path) {
    // Parts are compressed masks; even many of them stay far below this.
    TProject project = ProjectParser(path).Parse(
        TStrictJson::ReadObject(path, int64_t{1} << 30, "the file is too large for a project"));
    project.File = tw::DisplayName(path);
    return project;
}

void CheckProjectPartsBudget(const TProject& project) {
    const uint64_t bytes = project.DecodedPartBytes();
    if (bytes <= kProjectPartsBudget) return;
    const auto gigabytes = [](uint64_t b) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3g GB", static_cast<double>(b) / 1e9);
        return std::string(text);
    };
    throw TProjectTooLargeError(
        "Cannot open " + (project.File.empty() ? std::string("the project") : project.File) + ": its " +
        std::to_string(project.Parts.size()) + " parts of " + SizeText(project.PictureSize) +
        " pixels would need " + gigabytes(bytes) + " of memory, more than the " +
        gigabytes(kProjectPartsBudget) + " Tintwell sets aside for a project's parts.");
}

tw::PictureAtBothSizes LoadProjectPicture(const TProject& project, const std::string& picturePath) {
    tw::PictureAtBothSizes picture = tw::LoadPictureAtBothSizes(picturePath);
    const QSize size = picture.Working.Rect().size();
    if (size != project.PictureSize)
        throw tw::PictureError("cannot use " + tw::DisplayName(picturePath) +
                               " for this project: it is worked on at " + std::to_string(size.width()) +
                               " x " + std::to_string(size.height()) + " but the project's parts are " +
                               std::to_string(project.PictureSize.width()) + " x " +
                               std::to_string(project.PictureSize.height()));
    return picture;
}

void RestoreProject(TTintwellDocument& document, const TProject& project, tw::PictureAtBothSizes picture,
                    const QString& fileName) {
    CheckProjectPartsBudget(project);
    std::vector<std::unique_ptr<TImagePart>> parts;
    for (size_t i = 0; i < project.Parts.size(); ++i) {
        const TProjectPart& saved = project.Parts[i];
        auto part = std::make_unique<TImagePart>(project.PartBitmap(i));
        part->Settings = saved.Settings;
        part->AnchorX = saved.Anchor.x();
        part->AnchorY = saved.Anchor.y();
        part->Growth = saved.Growth;
        parts.push_back(std::move(part));
    }
    document.RestoreDocument(std::move(picture.Working), fileName, std::move(parts), project.Settings,
                             std::move(picture.Full), project.Variants, std::move(picture.Metadata));
}
