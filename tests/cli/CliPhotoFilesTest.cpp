// Photographers' files through the batch tool: results keep the camera data,
// captions and colour profile; a colour stated in sRGB looks the same in a
// wide-gamut photo; TIFF, WebP and HEIC/AVIF are read, TIFF and WebP written.

#include "cli/CliTestSupport.h"
#include "colour/ColourProfile.h"
#include "platform/PictureFile.h"
#include "support/ColourMetrics.h"
#include "support/IccProfiles.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

using namespace twtest;

const QStringList kKeptTags = {"Make",      "Model",       "DateTimeOriginal", "Artist",
                               "Copyright", "GPSLatitude", "GPSLongitude",     "Title"};

// The tags exiftool reads from a file, by name.
QJsonObject Tags(const std::string& path) {
    QByteArray out;
    QStringList args = {"-json", "-n"};
    for (const QString& tag : kKeptTags + QStringList{"Caption-Abstract", "Description", "Orientation",
                                                      "Software", "ImageWidth", "ImageHeight"})
        args << "-" + tag;
    args << Q(path);
    RunProgram("exiftool", args, &out);
    return QJsonDocument::fromJson(out).array().at(0).toObject();
}

QByteArray IccOf(const std::string& path) {
    QByteArray out;
    RunProgram("exiftool", {"-b", "-ICC_Profile", Q(path)}, &out);
    return out;
}

// A photo as a camera leaves it: taken on its side (orientation 6), with
// camera data, a caption in IPTC and XMP and a wide-gamut profile.
void MakePhoto(const std::string& path, const std::string& profile) {
    Save(Scene(1000, 700), path);
    const int code = RunProgram("exiftool", {"-q", "-overwrite_original", "-Make=Tintcam", "-Model=TC 1",
                                             "-DateTimeOriginal=2024:05:01 10:11:12", "-Artist=Ann Example",
                                             "-Copyright=(c) Ann Example", "-GPSLatitude=48.1",
                                             "-GPSLatitudeRef=N", "-GPSLongitude=11.5", "-GPSLongitudeRef=E",
                                             "-XMP-dc:Title=Harbour", "-IPTC:Caption-Abstract=Boats at dawn",
                                             "-Orientation#=6", "-ICC_Profile<=" + Q(profile), Q(path)});
    ASSERT_EQ(code, 0) << path;
}

// The same pixels, whatever else the images note (their colour space).
bool SamePixels(const tw::Bitmap& a, const tw::Bitmap& b) {
    if (a.Rect() != b.Rect()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
    return true;
}

bool HaveExiftool() {
    return HaveProgram("exiftool");
}

} // namespace

TEST(CliPhotoFiles, ResultsKeepCameraDataCaptionsAndTheProfileOnEveryPath) {
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed (scripts/setup installs it)";
    TempDir dir;
    const std::string profile = dir.Path("wide.icc");
    WriteAll(profile, WideGamutProfile());
    const std::string jpeg = dir.Path("photo.jpg"), tiff = dir.Path("photo.tif"),
                      webp = dir.Path("photo.webp");
    MakePhoto(jpeg, profile);
    // The same photo as TIFF and WebP, the metadata copied across by exiftool.
    for (const std::string& other : {tiff, webp}) {
        Save(tw::LoadPicture(jpeg), other);
        ASSERT_EQ(RunProgram("exiftool", {"-q", "-overwrite_original", "-tagsFromFile", Q(jpeg), "-all:all",
                                          "-ICC_Profile", "-Orientation#=1", Q(other)}),
                  0);
    }
    const QJsonObject source = Tags(jpeg);
    ASSERT_EQ(source["Make"].toString(), "Tintcam");
    const struct {
        std::string picture, output;
        const char* size; // nullptr: the working size
    } cases[] = {
        {jpeg, "w.jpg", nullptr},
        {jpeg, "w.png", nullptr},
        {jpeg, "streamed.jpg", "--original-size"},
        {jpeg, "o.png", "--original-size"},
        {jpeg, "f.tif", "--full-size"},
        {tiff, "t.tif", nullptr},
        {jpeg, "j.webp", nullptr},
        {webp, "w.webp", "--original-size"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        QStringList args = {"recolor", Q(c.picture), "-o", Q(dir.Path(c.output)), "--seed", "300,300"};
        if (c.size) args << c.size;
        const CliRun run = RunCli(args);
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        const QJsonObject result = Tags(dir.Path(c.output));
        for (const QString& tag : kKeptTags)
            EXPECT_EQ(result[tag], source[tag]) << tag.toStdString();
        // WebP has no IPTC: the caption travels as the XMP description (and
        // exiftool leaves it behind when it copies to WebP).
        if (c.picture == webp) {
        } else if (c.output.ends_with(".webp"))
            EXPECT_EQ(result["Description"].toString(), "Boats at dawn");
        else
            EXPECT_EQ(result["Caption-Abstract"].toString(), "Boats at dawn");
        EXPECT_EQ(result["Orientation"].toInt(), 1);
        EXPECT_EQ(result["Software"].toString(), "Tintwell");
        const tw::Bitmap written = tw::LoadPicture(dir.Path(c.output));
        EXPECT_LT(written.Width(), written.Height()) << "stored upright";
        EXPECT_EQ(IccOf(dir.Path(c.output)), ReadAll(profile));
    }
    // Without metadata when asked, the profile still there as the colours need it.
    const CliRun stripped = RunCli({"recolor", Q(jpeg), "-o", Q(dir.Path("s.jpg")), "--seed", "300,300",
                                    "--original-size", "--strip-metadata"});
    ASSERT_EQ(stripped.code, 0) << stripped.err.toStdString();
    const QJsonObject none = Tags(dir.Path("s.jpg"));
    EXPECT_FALSE(none.contains("Make"));
    EXPECT_FALSE(none.contains("Caption-Abstract"));
    EXPECT_EQ(IccOf(dir.Path("s.jpg")), ReadAll(profile));
}

TEST(CliPhotoFiles, UnreadableMetadataWarnsOnceAndKeepsThePixels) {
    TempDir dir;
    const std::string clean = dir.Path("clean.jpg"), broken = dir.Path("broken.jpg");
    Save(Scene(300, 200), clean);
    // An XMP packet cut off in the middle of its first element.
    const QByteArray xmp = QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) +
                           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/"
                           "1999/02/22-rdf-syntax-ns#\"><rdf:Description";
    QByteArray segment("\xff\xe1", 2);
    segment.append(static_cast<char>((xmp.size() + 2) >> 8))
        .append(static_cast<char>((xmp.size() + 2) & 0xff));
    WriteAll(broken, ReadAll(clean).insert(2, segment + xmp));
    const CliRun run = RunCli({"recolor", Q(broken), "-o", Q(dir.Path("out.jpg")), "--seed", "10,10"});
    ASSERT_EQ(run.code, 0);
    EXPECT_EQ(run.err,
              "tintwell-cli: warning: broken.jpg: the XMP data cannot be read; the result has none\n");
    ASSERT_EQ(RunCli({"recolor", Q(clean), "-o", Q(dir.Path("clean-out.jpg")), "--seed", "10,10"}).code, 0);
    EXPECT_EQ(ReadAll(dir.Path("out.jpg")), ReadAll(dir.Path("clean-out.jpg")));
}

// A goal stated as #rrggbb is an sRGB colour: in a wide-gamut photo it is
// reached in the photo's values, so that both photos look alike once shown.
// An sRGB profile changes nothing, bit for bit.
TEST(CliPhotoFiles, StatedGoalLooksTheSameInAWideGamutPhoto) {
    TempDir dir;
    const tw::Bitmap patch = WovenPatch(RGBToColor(150, 60, 50), 200, 150, 4);
    const TColourProfile wide(WideGamutProfile());
    ASSERT_FALSE(wide.IsSrgb());
    ASSERT_TRUE(TColourProfile(SrgbProfile()).IsSrgb());
    tw::Bitmap widePatch(patch.Width(), patch.Height());
    for (int y = 0; y < patch.Height(); ++y)
        for (int x = 0; x < patch.Width(); ++x)
            widePatch.SetPixel(x, y, wide.FromSrgb(patch.Pixel(x, y)));
    const auto saveWith = [&](const tw::Bitmap& picture, const QByteArray& icc, const std::string& path) {
        tw::TSaveOptions options;
        options.Metadata.IccProfile = icc;
        ASSERT_TRUE(tw::SavePicture(picture, path, options));
    };
    saveWith(patch, {}, dir.Path("plain.png"));
    saveWith(patch, SrgbProfile(), dir.Path("srgb.png"));
    saveWith(widePatch, WideGamutProfile(), dir.Path("wide.png"));
    saveWith(widePatch, {}, dir.Path("wideplain.png"));
    ASSERT_EQ(
        RunCli({"grow", Q(dir.Path("plain.png")), "--seed", "100,75", "-o", Q(dir.Path("part.bmp"))}).code,
        0);
    const tw::Bitmap part = tw::LoadPicture(dir.Path("part.bmp"));
    for (const char* name : {"plain", "srgb", "wide", "wideplain"})
        for (const char* mode : {"--match", "--change"}) {
            const std::string out = dir.Path(std::string(name) + mode + ".png");
            const QStringList settings = std::string(mode) == "--match" ? QStringList{"--match", "#1f2a44"}
                                                                        : QStringList{"--change", "220"};
            ASSERT_EQ(RunCli(QStringList{"recolor", Q(dir.Path(std::string(name) + ".png")), "-o", Q(out),
                                         "--part", Q(dir.Path("part.bmp"))} +
                             settings)
                          .code,
                      0);
        }
    const std::string plain = dir.Path("plain--match.png");
    EXPECT_TRUE(SamePixels(tw::LoadPicture(dir.Path("srgb--match.png")), tw::LoadPicture(plain)));
    tw::Bitmap shown = tw::LoadPicture(dir.Path("wide--match.png"));
    for (int y = 0; y < shown.Height(); ++y)
        for (int x = 0; x < shown.Width(); ++x)
            shown.SetPixel(x, y, wide.ToSrgb(shown.Pixel(x, y)));
    EXPECT_LE(DeltaE2000(MedianLab(shown, &part), MedianLab(tw::LoadPicture(plain), &part)), 2.0);
    EXPECT_LE(DeltaE2000(MedianLab(shown, &part), ColorToLab(RGBToColor(0x1f, 0x2a, 0x44))), 2.0);
    // A part grown from a stated colour to the goal is painted in the photo's values too.
    ASSERT_EQ(RunCli({"grow", Q(dir.Path("wide.png")), "--seed", "100,75", "--match", "#1f2a44",
                      "--match-from", "#963c32", "-o", Q(dir.Path("wide-part.bmp"))})
                  .code,
              0);
    tw::Bitmap grown = tw::LoadPicture(dir.Path("wide-part.bmp"));
    for (int y = 0; y < grown.Height(); ++y)
        for (int x = 0; x < grown.Width(); ++x)
            if (grown.Pixel(x, y) != tw::kWhite) grown.SetPixel(x, y, wide.ToSrgb(grown.Pixel(x, y)));
    EXPECT_LE(DeltaE2000(MedianLab(grown, &grown), ColorToLab(RGBToColor(0x1f, 0x2a, 0x44))), 2.0);
    // A hue number stays in the photo's own values: the profile changes nothing.
    EXPECT_TRUE(SamePixels(tw::LoadPicture(dir.Path("wide--change.png")),
                           tw::LoadPicture(dir.Path("wideplain--change.png"))));
    EXPECT_TRUE(SamePixels(tw::LoadPicture(dir.Path("srgb--change.png")),
                           tw::LoadPicture(dir.Path("plain--change.png"))));
}

// TIFF and WebP as ImageMagick writes them open at the PNG's working size with
// the PNG's pixels where nothing is lost; results written as TIFF and WebP read
// back the same; kinds we do not read are refused in one line.
TEST(CliPhotoFiles, TiffWebpAndHeifOpenLikeThePngAndRoundTrip) {
    if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    TempDir dir;
    const std::string png = dir.Path("scene.png");
    Save(Scene(1000, 700), png);
    ASSERT_EQ(RunCli({"open", Q(png), "-o", Q(dir.Path("png.bmp"))}).code, 0);
    const tw::Bitmap expected = tw::LoadPicture(dir.Path("png.bmp"));
    const struct {
        const char* name;
        QStringList convertArgs;
        bool exact;
    } cases[] = {
        {"lzw.tif", {"-compress", "LZW"}, true},
        {"deep.tif", {"-depth", "16", "-compress", "Zip"}, true},
        {"tiled.tif", {"-define", "tiff:tile-geometry=64x64", "-compress", "JPEG", "-quality", "95"}, false},
        {"strip.tif", {"-compress", "RLE"}, true},
        {"grey.tif", {"-colorspace", "Gray"}, false},
        {"lossless.webp", {"-define", "webp:lossless=true"}, true},
        {"lossy.webp", {"-quality", "90"}, false},
        {"photo.heic", {"-quality", "90"}, false},
        {"photo.avif", {"-quality", "90"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.Path(c.name);
        if (RunProgram("convert", QStringList{Q(png)} + c.convertArgs + QStringList{Q(file)}) != 0) {
            ADD_FAILURE() << "ImageMagick cannot write " << c.name;
            continue;
        }
        const CliRun run = RunCli({"open", Q(file), "-o", Q(dir.Path("opened.bmp"))});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        const tw::Bitmap opened = tw::LoadPicture(dir.Path("opened.bmp"));
        EXPECT_EQ(opened.Rect(), expected.Rect());
        if (c.exact) {
            EXPECT_TRUE(SamePixels(opened, expected));
        }
        const tw::Bitmap full = tw::LoadPicture(file);
        EXPECT_EQ(full.Rect().size(), QSize(1000, 700));
        if (c.exact) {
            EXPECT_TRUE(SamePixels(full, tw::LoadPicture(png)));
        }
    }
    // Written and read back: TIFF and lossless WebP hold the PNG result's pixels.
    for (const char* name : {"back.png", "back.tif", "back.webp"})
        ASSERT_EQ(
            RunCli({"recolor", Q(png), "-o", Q(dir.Path(name)), "--full-size", "--seed", "500,300"}).code, 0);
    const tw::Bitmap back = tw::LoadPicture(dir.Path("back.png"));
    EXPECT_TRUE(SamePixels(tw::LoadPicture(dir.Path("back.tif")), back));
    EXPECT_TRUE(SamePixels(tw::LoadPicture(dir.Path("back.webp")), back));
    ASSERT_EQ(RunCli({"open", Q(png), "-o", Q(dir.Path("lossy.webp")), "--quality", "80"}).code, 0);
    EXPECT_LT(ReadAll(dir.Path("lossy.webp")).size(), ReadAll(dir.Path("back.webp")).size() / 2);
    // Every 16-bit level comes to 8 bits as the nearest v / 257, from TIFF and PNG alike.
    QByteArray levels;
    for (int v = 0; v < 65536; ++v)
        levels.append(static_cast<char>(v >> 8)).append(static_cast<char>(v & 0xff));
    WriteAll(dir.Path("levels.raw"), levels);
    for (const char* name : {"levels.tif", "levels.png"}) {
        ASSERT_EQ(RunProgram("convert", {"-size", "256x256", "-depth", "16", "-endian", "MSB",
                                         "gray:" + Q(dir.Path("levels.raw")), Q(dir.Path(name))}),
                  0);
        const tw::Bitmap grey = tw::LoadPicture(dir.Path(name));
        int wrong = 0;
        for (int v = 0; v < 65536; ++v) {
            const int expected8 = static_cast<int>(std::nearbyint(v / 257.0));
            wrong += grey.Pixel(v % 256, v / 256) != RGBToColor(expected8, expected8, expected8);
        }
        EXPECT_EQ(wrong, 0) << name;
    }
    // Refused: CMYK TIFF, a quality for a format without one, writing HEIC.
    ASSERT_EQ(RunProgram("convert", {Q(png), "-colorspace", "CMYK", Q(dir.Path("cmyk.tif"))}), 0);
    EXPECT_TRUE(FailsWith(RunCli({"open", Q(dir.Path("cmyk.tif")), "-o", Q(dir.Path("x.png"))}), 1, "CMYK"));
    EXPECT_TRUE(FailsWith(RunCli({"open", Q(png), "-o", Q(dir.Path("x.png")), "--quality", "80"}), 1,
                          "a quality applies to WebP results"));
    EXPECT_TRUE(FailsWith(RunCli({"open", Q(png), "-o", Q(dir.Path("x.heic"))}), 1,
                          "HEIC and AVIF pictures are read"));
    EXPECT_FALSE(FileExists(dir.Path("x.png")));
}

// WebP's sides end at 16383 pixels: a longer picture is refused before any work.
TEST(CliPhotoFiles, WebpBeyondItsLargestSideIsRefusedBeforeAnyWork) {
    TempDir dir;
    Save(tw::Bitmap(16400, 8), dir.Path("long.png"));
    const CliRun run = RunCli({"recolor", Q(dir.Path("long.png")), "-o", Q(dir.Path("long.webp")), "--seed",
                               "1,1", "--original-size"});
    EXPECT_TRUE(FailsWith(run, 1, "at most 16383 pixels on a side"));
    EXPECT_FALSE(FileExists(dir.Path("long.webp")));
}
