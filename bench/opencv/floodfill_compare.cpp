// The plain flood fill the walk is measured against: read a picture, fill
// from a seed with a per-channel colour range, write the mask as a 24-bit
// bitmap of the picture's size (as `tintwell-cli grow` writes its part).
//
//   floodfill_compare PICTURE X Y RANGE OUT.bmp
//
// Built only where OpenCV is installed; time it as a whole process beside
// `tintwell-cli grow PICTURE --seed X,Y --full-size -o OUT.bmp`.
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: floodfill_compare PICTURE X Y RANGE OUT.bmp\n");
        return 2;
    }
    cv::Mat picture = cv::imread(argv[1], cv::IMREAD_COLOR);
    if (picture.empty()) {
        std::fprintf(stderr, "floodfill_compare: cannot read %s\n", argv[1]);
        return 1;
    }
    const cv::Point seed(std::atoi(argv[2]), std::atoi(argv[3]));
    const double range = std::atof(argv[4]);
    cv::Mat mask = cv::Mat::zeros(picture.rows + 2, picture.cols + 2, CV_8UC1);
    cv::floodFill(picture, mask, seed, cv::Scalar(), nullptr, cv::Scalar::all(range), cv::Scalar::all(range),
                  8 | cv::FLOODFILL_FIXED_RANGE | cv::FLOODFILL_MASK_ONLY | (255 << 8));
    cv::Mat out;
    cv::cvtColor(mask(cv::Rect(1, 1, picture.cols, picture.rows)), out, cv::COLOR_GRAY2BGR);
    if (!cv::imwrite(argv[5], out)) {
        std::fprintf(stderr, "floodfill_compare: cannot write %s\n", argv[5]);
        return 1;
    }
    return 0;
}
