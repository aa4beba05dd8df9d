#include "document/DocumentTestSupport.h"

#include "recolour/PartRecolourer.h"

#include <cstring>
#include <string>

namespace twtest {
namespace {

// Every byte of every row, padding aside.
bool SameBits(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format()) return false;
    const size_t rowBytes = static_cast<size_t>(a.width()) * 4;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), rowBytes) != 0) return false;
    return true;
}

} // namespace

TDocumentSnapshot Snapshot(const TTintwellDocument& doc) {
    TDocumentSnapshot s;
    s.Picture = doc.Picture().Image().copy();
    for (int i = 0; i < doc.PartCount(); ++i) {
        const TImagePart* p = doc.Part(i);
        s.Parts.push_back({p, p->Bitmap.Image().copy(), p->Settings, p->AnchorX, p->AnchorY, p->Growth});
    }
    s.Selection = doc.Selection();
    return s;
}

::testing::AssertionResult Same(const TDocumentSnapshot& a, const TDocumentSnapshot& b, bool identity) {
    if (!SameBits(a.Picture, b.Picture)) return ::testing::AssertionFailure() << "the pictures differ";
    if (a.Parts.size() != b.Parts.size())
        return ::testing::AssertionFailure() << a.Parts.size() << " parts against " << b.Parts.size();
    for (size_t i = 0; i < a.Parts.size(); ++i) {
        const TPartSnapshot &p = a.Parts[i], &q = b.Parts[i];
        const std::string which = "part " + std::to_string(i) + ": ";
        if (identity && p.Object != q.Object)
            return ::testing::AssertionFailure() << which << "another object";
        if (!SameBits(p.Bitmap, q.Bitmap)) return ::testing::AssertionFailure() << which << "bitmaps differ";
        if (!(p.Settings == q.Settings)) return ::testing::AssertionFailure() << which << "settings differ";
        if (p.AnchorX != q.AnchorX || p.AnchorY != q.AnchorY)
            return ::testing::AssertionFailure() << which << "anchors differ";
        if (p.Growth != q.Growth) return ::testing::AssertionFailure() << which << "growths differ";
    }
    if (identity && !(a.Selection == b.Selection))
        return ::testing::AssertionFailure() << "selection, current part or current settings differ";
    return ::testing::AssertionSuccess();
}

tw::Bitmap RectPart(const tw::Bitmap& picture, const QRect& rect, const TTintwellSettings& settings) {
    tw::Bitmap part(picture.Width(), picture.Height(), tw::kWhite);
    part.FillRect(rect, 0);
    RecolourPart(settings, picture, part);
    return part;
}

} // namespace twtest
