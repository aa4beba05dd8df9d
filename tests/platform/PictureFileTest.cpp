#include "platform/PictureFile.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using tw::Bitmap;
using tw::PictureError;
using twtest::TempDir;

Bitmap Photo(int w, int h) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int r = (x * 255) / std::max(1, w - 1), g = (y * 255) / std::max(1, h - 1);
            b.SetPixel(x, y, static_cast<tw::ColorValue>(r + 256 * g + 65536 * std::min(255, (x + y) * 2)));
        }
    return b;
}

double MeanAbsDiff(const Bitmap& a, const Bitmap& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            for (int shift : {0, 8, 16})
                sum += std::abs(static_cast<int>((a.Pixel(x, y) >> shift) & 0xFF) -
                                static_cast<int>((b.Pixel(x, y) >> shift) & 0xFF));
    return sum / (3.0 * a.Width() * a.Height());
}

std::string ExpectReadError(const std::string& path) {
    try {
        tw::LoadPicture(path);
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find(tw::DisplayName(path)), std::string::npos) << e.what();
        return e.what();
    }
    ADD_FAILURE() << "no error for " << path;
    return {};
}

TEST(WorkingSize, ScalesByHeightThenWidth) {
    EXPECT_EQ(tw::WorkingSize({1000, 750}), QSize(800, 600));
    EXPECT_EQ(tw::WorkingSize({700, 1000}), QSize(420, 600));
    EXPECT_EQ(tw::WorkingSize({3000, 4000}), QSize(800, 1067)) << "the width rule replaces the height rule";
    EXPECT_EQ(tw::WorkingSize({640, 480}), QSize(640, 480));
    EXPECT_EQ(tw::WorkingSize({800, 600}), QSize(800, 600));
    EXPECT_EQ(tw::WorkingSize({4000, 3000}), QSize(800, 600));
}

TEST(PictureFile, ExtensionsAreComparedInLowerCase) {
    EXPECT_EQ(tw::ExtensionOf("/a.b/photo.JPG"), ".jpg");
    EXPECT_EQ(tw::ExtensionOf("/a.b/photo"), "");
    EXPECT_EQ(tw::ExtensionOf("x.tar.Gz"), ".gz");
    EXPECT_EQ(tw::SaveFormatFor("P.JPEG"), tw::PictureFormat::Jpeg);
    EXPECT_EQ(tw::SaveFormatFor("p.wmf"), tw::PictureFormat::Wmf);
    EXPECT_EQ(tw::LoadFormatFor("p.wmf"), tw::PictureFormat::Unknown);
    EXPECT_EQ(tw::SaveFormatFor("p.gif"), tw::PictureFormat::Unknown);
}

TEST(PictureFile, RoundTripsEveryWritableFormat) {
    TempDir dir;
    const Bitmap photo = Photo(67, 41);
    for (const char* name : {"a.bmp", "a.png", "A.PNG"}) {
        ASSERT_TRUE(tw::SavePicture(photo, dir.Path(name)));
        EXPECT_EQ(tw::LoadPicture(dir.Path(name)), photo) << name << " must be lossless";
    }
    for (const char* name : {"a.jpg", "a.jpeg", "b.JPG"}) {
        ASSERT_TRUE(tw::SavePicture(photo, dir.Path(name)));
        const Bitmap back = tw::LoadPicture(dir.Path(name));
        ASSERT_EQ(back.Rect(), photo.Rect());
        EXPECT_LT(MeanAbsDiff(back, photo), 3.0) << name;
    }
    ASSERT_TRUE(tw::SavePicture(photo, dir.Path("a.ico")));
    EXPECT_EQ(tw::LoadPicture(dir.Path("a.ico")), photo);
    const Bitmap big = Photo(600, 300);
    ASSERT_TRUE(tw::SavePicture(big, dir.Path("big.ico")));
    EXPECT_EQ(tw::LoadPicture(dir.Path("big.ico")).Rect(), QRect(0, 0, 256, 128)) << "icons hold 256 at most";

    // A BMP written here is 24-bit.
    const QByteArray bmp = twtest::ReadAll(dir.Path("a.bmp"));
    ASSERT_GT(bmp.size(), 30);
    EXPECT_EQ(static_cast<int>(bmp[28]), 24);
}

TEST(PictureFile, UnknownExtensionWritesNothing) {
    TempDir dir;
    EXPECT_FALSE(tw::SavePicture(Photo(4, 4), dir.Path("a.gif")));
    EXPECT_FALSE(tw::SavePicture(Photo(4, 4), dir.Path("noext")));
    EXPECT_FALSE(twtest::FileExists(dir.Path("a.gif")));
    EXPECT_FALSE(twtest::FileExists(dir.Path("noext")));
}

TEST(PictureFile, IndependentReaderSeesWhatWeWrote) {
    if (!twtest::HaveProgram("identify") || !twtest::HaveProgram("convert"))
        GTEST_SKIP() << "ImageMagick (identify, convert) is not installed; run scripts/setup";
    TempDir dir;
    const Bitmap photo = Photo(53, 29);
    for (const char* name : {"x.bmp", "x.png", "x.jpg", "x.ico"}) {
        ASSERT_TRUE(tw::SavePicture(photo, dir.Path(name)));
        QByteArray out;
        ASSERT_EQ(twtest::RunProgram("identify", {"-format", "%w %h", QString::fromStdString(dir.Path(name))},
                                     &out),
                  0)
            << name;
        EXPECT_EQ(out.trimmed(), "53 29") << name;
        // Pixel check through a conversion to an uncompressed format we read ourselves.
        const std::string ppm = dir.Path(std::string(name) + ".ppm");
        ASSERT_EQ(twtest::RunProgram("convert",
                                     {QString::fromStdString(dir.Path(name)), QString::fromStdString(ppm)}),
                  0);
        QImage theirs(QString::fromStdString(ppm));
        ASSERT_FALSE(theirs.isNull()) << name;
        EXPECT_LT(MeanAbsDiff(Bitmap(theirs), photo), std::string(name) == "x.jpg" ? 3.0 : 0.01) << name;
    }
    QByteArray quality;
    twtest::RunProgram("identify", {"-format", "%Q", QString::fromStdString(dir.Path("x.jpg"))}, &quality);
    EXPECT_EQ(quality.trimmed(), "100");
}

TEST(PictureFile, MalformedFilesGiveOneClearError) {
    TempDir dir;
    const Bitmap photo = Photo(64, 48);
    tw::SavePicture(photo, dir.Path("good.jpg"));
    tw::SavePicture(photo, dir.Path("good.png"));
    const QByteArray jpg = twtest::ReadAll(dir.Path("good.jpg"));

    twtest::WriteAll(dir.Path("empty.jpg"), {});
    EXPECT_NE(ExpectReadError(dir.Path("empty.jpg")).find("empty"), std::string::npos);
    twtest::WriteAll(dir.Path("cut.jpg"), jpg.left(jpg.size() / 2));
    ExpectReadError(dir.Path("cut.jpg"));
    twtest::WriteAll(dir.Path("png.bmp"), twtest::ReadAll(dir.Path("good.png")));
    EXPECT_NE(ExpectReadError(dir.Path("png.bmp")).find("not a BMP file"), std::string::npos);
    std::mt19937 rng(3);
    QByteArray noise(5000, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng());
    twtest::WriteAll(dir.Path("noise.ico"), noise);
    ExpectReadError(dir.Path("noise.ico"));
    EXPECT_NE(ExpectReadError(dir.Path("missing.png")).find("no such file"), std::string::npos);
    twtest::WriteAll(dir.Path("photo.gif"), noise);
    EXPECT_NE(ExpectReadError(dir.Path("photo.gif")).find("unsupported"), std::string::npos);

    // A BMP header that claims 100000 x 100000 pixels is refused before allocating.
    QByteArray bmp(54, '\0');
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    bmp[0] = 'B', bmp[1] = 'M';
    put32(2, 54), put32(10, 54), put32(14, 40), put32(18, 100000), put32(22, 100000);
    bmp[26] = 1, bmp[28] = 24;
    twtest::WriteAll(dir.Path("huge.bmp"), bmp);
    const std::string huge = ExpectReadError(dir.Path("huge.bmp"));
    EXPECT_NE(huge.find("too large"), std::string::npos) << huge;

    // Within the limits but without its pixels: Qt's reader would hand back a
    // blank picture as if all were well.
    put32(18, 16000), put32(22, 16000);
    twtest::WriteAll(dir.Path("hollow.bmp"), bmp + QByteArray(100, '\0'));
    EXPECT_NE(
        ExpectReadError(dir.Path("hollow.bmp")).find("truncated or corrupt (100 bytes after the header, "),
        std::string::npos);
    const Bitmap odd = Photo(63, 5); // rows of 189 bytes and 3 of padding
    ASSERT_TRUE(tw::SavePicture(odd, dir.Path("good.bmp")));
    const QByteArray goodBmp = twtest::ReadAll(dir.Path("good.bmp"));
    twtest::WriteAll(dir.Path("cut.bmp"), goodBmp.left(goodBmp.size() - 100));
    EXPECT_NE(ExpectReadError(dir.Path("cut.bmp")).find("truncated or corrupt"), std::string::npos);
    // Even the last row's padding: the reader reads whole rows.
    twtest::WriteAll(dir.Path("unpadded.bmp"), goodBmp.left(goodBmp.size() - 3));
    ExpectReadError(dir.Path("unpadded.bmp"));
    twtest::WriteAll(dir.Path("whole.bmp"), goodBmp + QByteArray(7, '\0'));
    EXPECT_TRUE(tw::LoadPicture(dir.Path("whole.bmp")) == odd);
}

uint32_t Crc32(const QByteArray& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= static_cast<uint8_t>(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray Be32Bytes(uint32_t v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
    return b;
}

// One PNG chunk; declaredLength replaces the true length when given.
QByteArray PngChunk(const QByteArray& type, const QByteArray& data, int64_t declaredLength = -1) {
    const QByteArray body = type + data;
    return Be32Bytes(static_cast<uint32_t>(declaredLength >= 0 ? declaredLength : data.size())) + body +
           Be32Bytes(Crc32(body));
}

// good with extra inserted just before its IEND chunk.
QByteArray BeforeIend(const QByteArray& good, const QByteArray& extra) {
    return good.left(good.size() - 12) + extra + good.right(12);
}

QByteArray IconHolding(const QByteArray& png, int side) {
    QByteArray ico(6 + 16, '\0');
    ico[2] = 1, ico[4] = 1; // an icon with one image
    ico[6] = static_cast<char>(side), ico[7] = static_cast<char>(side);
    ico[10] = 1, ico[12] = 32; // planes, bits per pixel
    for (int i = 0; i < 4; ++i) {
        ico[14 + i] = static_cast<char>((png.size() >> (8 * i)) & 0xFF);
        ico[18 + i] = static_cast<char>((22 >> (8 * i)) & 0xFF);
    }
    return ico + png;
}

// PNG chunks declare their length before their data; a declared length beyond
// the end of the file is refused before the reader reserves memory for it,
// in a PNG file and in a PNG inside an icon. Text chunks are harmless.
TEST(PictureFile, PngChunksMustFitInTheFile) {
    TempDir dir;
    const Bitmap photo = Photo(16, 16);
    ASSERT_TRUE(tw::SavePicture(photo, dir.Path("good.png")));
    const QByteArray good = twtest::ReadAll(dir.Path("good.png"));

    const QByteArray text = PngChunk("tEXt", QByteArray("Comment\0hello", 13)) +
                            PngChunk("zTXt", QByteArray("Comment\0\0", 9) + qCompress("hello").mid(4));
    twtest::WriteAll(dir.Path("text.png"), BeforeIend(good, text));
    EXPECT_TRUE(tw::LoadPicture(dir.Path("text.png")) == photo);

    // 271 bytes that once made the reader ask for 1.5 GB.
    twtest::WriteAll(dir.Path("liar.png"), BeforeIend(good, PngChunk("tEXt", "date", 0x5b000025)));
    const std::string liar = ExpectReadError(dir.Path("liar.png"));
    EXPECT_NE(liar.find("truncated or corrupt (a chunk claims 1526726693 bytes"), std::string::npos) << liar;
    twtest::WriteAll(dir.Path("cut.png"), good.left(good.size() - 20));
    EXPECT_NE(ExpectReadError(dir.Path("cut.png")).find("truncated or corrupt"), std::string::npos);

    twtest::WriteAll(dir.Path("good.ico"), IconHolding(good, 16));
    EXPECT_TRUE(tw::LoadPicture(dir.Path("good.ico")) == photo);
    twtest::WriteAll(dir.Path("liar.ico"),
                     IconHolding(BeforeIend(good, PngChunk("zTXt", "x", 0x7FFFFFF0)), 16));
    EXPECT_NE(ExpectReadError(dir.Path("liar.ico")).find("a chunk claims 2147483632 bytes"),
              std::string::npos);
}

TEST(PictureFile, LoadingAtWorkingSize) {
    TempDir dir;
    tw::SavePicture(Photo(1000, 750), dir.Path("wide.png"));
    tw::SavePicture(Photo(1000, 750), dir.Path("wide.jpg"));
    tw::SavePicture(Photo(700, 1000), dir.Path("tall.bmp"));
    EXPECT_EQ(tw::LoadWorkingPicture(dir.Path("wide.png")).Rect(), QRect(0, 0, 800, 600));
    EXPECT_EQ(tw::LoadWorkingPicture(dir.Path("wide.jpg")).Rect(), QRect(0, 0, 800, 600));
    EXPECT_EQ(tw::LoadWorkingPicture(dir.Path("tall.bmp")).Rect(), QRect(0, 0, 420, 600));
    // The reduction averages: a smooth gradient stays close to a direct reduction.
    const Bitmap reduced = tw::LoadWorkingPicture(dir.Path("wide.png"));
    EXPECT_NEAR(static_cast<int>(reduced.Pixel(400, 300) & 0xFF), 128, 3);
}

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

  private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

TEST(PictureFile, FailedSaveLeavesTheOldFileAndNoLeftovers) {
    TempDir dir;
    const std::string target = dir.Path("keep.bmp");
    tw::SavePicture(Photo(8, 8), target);
    const QByteArray before = twtest::ReadAll(target);
    {
        // The disk "fills up" after 4 KB: the big picture cannot be written whole.
        FileSizeLimit limit(4096);
        EXPECT_THROW(tw::SavePicture(Photo(300, 300), target), PictureError);
    }
    EXPECT_EQ(twtest::ReadAll(target), before);
    EXPECT_EQ(QDir(dir.Dir().path()).entryList(QDir::Files), QStringList{"keep.bmp"}) << "no partial file";

    // A JPEG written as it is encoded: the same bytes as a whole save, and the
    // same care when the disk fills up on the way.
    const tw::Bitmap photo = Photo(300, 200);
    const auto stream = [&](const std::string& path) {
        tw::SavedJpegFile file(photo.Rect().size(), path);
        for (int y = 0; y < photo.Height(); y += 16)
            file.Write(photo.Row(y), photo.Width(), std::min(16, photo.Height() - y));
        file.Commit();
    };
    stream(dir.Path("streamed.jpg"));
    tw::SavePicture(photo, dir.Path("whole.jpg"));
    EXPECT_EQ(twtest::ReadAll(dir.Path("streamed.jpg")), twtest::ReadAll(dir.Path("whole.jpg")));
    {
        FileSizeLimit limit(4096);
        EXPECT_THROW(stream(dir.Path("whole.jpg")), PictureError);
    }
    EXPECT_EQ(twtest::ReadAll(dir.Path("streamed.jpg")), twtest::ReadAll(dir.Path("whole.jpg")));
    EXPECT_EQ(QDir(dir.Dir().path()).entryList(QDir::Files).size(), 3) << "no partial file";

    try {
        tw::SavePicture(Photo(8, 8), dir.Path("no/such/folder/x.png"));
        ADD_FAILURE() << "saving into a missing folder must fail";
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find("does not exist"), std::string::npos) << e.what();
    }
}

} // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TW_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TW_SANITIZED_BUILD 1
#endif
#endif

// Caps the address space at what the process maps now plus headroom bytes, for
// the lifetime of the object: large allocations beyond that fail.
class AddressSpaceLimit {
  public:
    explicit AddressSpaceLimit(rlim_t headroom) {
        getrlimit(RLIMIT_AS, &old_);
        QFile statm(QStringLiteral("/proc/self/statm"));
        statm.open(QIODevice::ReadOnly);
        const rlim_t mapped = statm.readAll().split(' ').value(0).toULongLong() * sysconf(_SC_PAGESIZE);
        rlimit limit = old_;
        limit.rlim_cur = mapped + headroom;
        setrlimit(RLIMIT_AS, &limit);
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &old_); }

  private:
    rlimit old_{};
};

// When Qt's reader managed the pixels but there was no memory left for our own
// copy, the bitmap's std::runtime_error used to escape the decoder.
TEST(PictureFile, RunningOutOfMemoryAfterQtsReaderIsAPictureError) {
#ifdef TW_SANITIZED_BUILD
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit here allows";
#else
    const int side = 3000; // 36 MB of pixels, a few kB of PNG
    for (const bool alpha : {true, false}) {
        QImage image(side, side, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB888);
        image.fill(alpha ? qRgba(10, 200, 30, 128) : qRgb(10, 200, 30));
        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            ASSERT_TRUE(image.save(&buffer, "PNG"));
        }
        image = QImage();
        const qsizetype pixels = qsizetype{side} * side * (alpha ? 4 : 3);
        bool refused = false;
        {
            // Room for Qt's image but not for a second full copy.
            const AddressSpaceLimit limit(static_cast<rlim_t>(pixels + pixels / 4 + (16 << 20)));
            try {
                (void)tw::DecodePicture(png, "big.png");
            } catch (const PictureError& e) {
                refused = true;
                EXPECT_NE(std::string(e.what()).find("big.png"), std::string::npos) << e.what();
            } catch (const std::exception& e) {
                ADD_FAILURE() << (alpha ? "alpha" : "opaque") << ": escaped " << e.what();
            }
        }
        // Whether the limit bit depends on how Qt reads; decoding must work again afterwards.
        (void)refused;
        EXPECT_EQ(tw::DecodePicture(png, "big.png").Width(), side);
    }
#endif
}
