#include "platform/PictureFile.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

using tw::Bitmap;
using tw::ColorValue;
using twtest::TempDir;

Bitmap Gradient(QSize size) {
    Bitmap b(size.width(), size.height());
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            b.SetPixel(x, y,
                       static_cast<ColorValue>(x * 255 / size.width() + 256 * (y * 255 / size.height())));
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

// The DCT may decode a JPEG at 1/2, 1/4 or 1/8 of its size, but the working size
// still follows from the size of the file.
TEST(PictureFile, JpegsOpenAtTheWorkingSizeOfTheirFile) {
    TempDir dir;
    const std::string path = dir.Path("photo.jpg");
    const std::pair<QSize, QSize> cases[] = {
        {{1600, 1600}, {800, 800}},  {{1600, 2400}, {800, 1200}}, {{1600, 1700}, {800, 850}},
        {{3001, 4001}, {800, 1067}}, {{2000, 1500}, {800, 600}},  {{1700, 900}, {800, 424}},
        {{1000, 750}, {800, 600}},   {{640, 480}, {640, 480}},
    };
    for (const auto& [size, working] : cases) {
        ASSERT_EQ(tw::WorkingSize(size), working);
        ASSERT_TRUE(tw::SavePicture(Gradient(size), path));
        const Bitmap opened = tw::LoadWorkingPicture(path);
        ASSERT_EQ(opened.Rect().size(), working) << size.width() << " x " << size.height();
        EXPECT_LT(MeanAbsDiff(opened, tw::ReduceToWorkingSize(tw::LoadPicture(path))), 1.5);
    }
}

} // namespace
