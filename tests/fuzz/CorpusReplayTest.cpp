// Every stored fuzz corpus file, fed through the fuzz targets' own entry
// functions: decoding refuses only with PictureError and the recipe reader only
// with bad input; no other exception, and (under the sanitizer builds) no fault.

#include "FuzzEntry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <exception>
#include <vector>

namespace {

std::vector<QString> CorpusFiles(const char* target) {
    const QDir dir(QStringLiteral(TW_FUZZ_CORPUS "/") + QLatin1String(target));
    std::vector<QString> files;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        files.push_back(dir.filePath(name));
    return files;
}

QByteArray Read(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

const uint8_t* Bytes(const QByteArray& b) {
    return reinterpret_cast<const uint8_t*>(b.constData());
}

TEST(CorpusReplay, PictureFilesDecodeOrFailWithPictureError) {
    const auto files = CorpusFiles("picture");
    ASSERT_GE(files.size(), 4u) << "the seed pictures are missing";
    int perExtension[4] = {};
    for (const QString& path : files) {
        const QByteArray bytes = Read(path);
        const auto start = std::chrono::steady_clock::now();
        try {
            const std::string name = twfuzz::DecodeAsPicture(Bytes(bytes), static_cast<size_t>(bytes.size()));
            if (!bytes.isEmpty()) ++perExtension[static_cast<uint8_t>(bytes[0]) % 4];
            (void)name;
        } catch (const std::exception& e) {
            ADD_FAILURE() << path.toStdString() << ": escaped " << typeid(e).name() << ": " << e.what();
        } catch (...) {
            ADD_FAILURE() << path.toStdString() << ": escaped a non-standard exception";
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << path.toStdString();
    }
    for (int n : perExtension)
        EXPECT_GT(n, 0) << "every extension has at least one seed";
}

// Photo files and their metadata. Files named large-* declare or hold big
// pictures; the sanitizer builds leave them out.
TEST(CorpusReplay, PhotoFilesAndTheirMetadataDecodeOrFailWithPictureError) {
    const auto files = CorpusFiles("photo");
    ASSERT_GE(files.size(), 6u) << "the seed photos are missing";
    int perExtension[6] = {};
    for (const QString& path : files) {
#ifdef TW_SANITIZED_REPLAY
        if (QFileInfo(path).fileName().startsWith(QLatin1String("large-"))) continue;
#endif
        const QByteArray bytes = Read(path);
        try {
            twfuzz::DecodeAsPhoto(Bytes(bytes), static_cast<size_t>(bytes.size()));
            if (!bytes.isEmpty()) ++perExtension[static_cast<uint8_t>(bytes[0]) % 6];
        } catch (const std::exception& e) {
            ADD_FAILURE() << path.toStdString() << ": escaped " << typeid(e).name() << ": " << e.what();
        } catch (...) {
            ADD_FAILURE() << path.toStdString() << ": escaped a non-standard exception";
        }
    }
    for (int n : perExtension)
        EXPECT_GT(n, 0) << "every extension has at least one seed";
}

TEST(CorpusReplay, RecipesAreReadOrRefusedAsBadInput) {
    const auto files = CorpusFiles("recipe");
    ASSERT_GE(files.size(), 3u) << "the seed recipes are missing";
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tw-replay-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    int accepted = 0;
    for (const QString& path : files) {
        const QByteArray bytes = Read(path);
        try {
            if (twfuzz::ReadAsRecipe(dir.path().toStdString(), Bytes(bytes),
                                     static_cast<size_t>(bytes.size())))
                ++accepted;
        } catch (const std::exception& e) {
            ADD_FAILURE() << path.toStdString() << ": escaped " << typeid(e).name() << ": " << e.what();
        }
    }
    EXPECT_GT(accepted, 0) << "at least the seed recipes are valid";
    // The reader never creates anything beside the recipe.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("recipe.json")});
}

} // namespace
