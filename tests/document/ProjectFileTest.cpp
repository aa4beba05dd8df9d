// Project files: the document kept and given back bit for bit, read strictly,
// and run by the batch tool as a recipe.
#include "document/ProjectFile.h"
#include "cli/CliTestSupport.h"
#include "document/DocumentTestSupport.h"
#include "document/StrictJson.h"
#include "masking/PartGrower.h"
#include "platform/PictureFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QImage>

#include <sys/resource.h>

using namespace twtest;

namespace {

// A document on a new scene.png in dir with a grown part and a painted one.
void MakeWork(TTintwellDocument& doc, const TempDir& dir, QSize size) {
    Save(Scene(size.width(), size.height()), dir.Path("scene.png"));
    doc.OpenPicture(Q(dir.Path("scene.png")));
    doc.SetCurrentSettings({175, false, false, 0, 0, false});
    TWalkerRules rules = TWalkerRules::Default();
    rules.UseValue = false;
    rules.NineValueAverage = true;
    rules.Anywhere = true;
    rules.FillHoles = 250;
    const TImagePart* grown =
        doc.AddGrownPart(RectPart(doc.Picture(), QRect(20, 30, 40, 25), doc.CurrentSettings()),
                         QPoint(20, 30), TPartGrower::GrowthAt(doc.Picture(), QPoint(30, 40), rules));
    doc.SetCurrentSettings({30, false, true, 10, -20, true});
    // The blank part is painted; the grown one keeps its growth.
    doc.SetCurrentPart(doc.Part(doc.Part(0) == grown ? 1 : 0));
    doc.BeginStroke();
    doc.Dab(TStrokeKind::Brush, QPoint(100, 60), 6);
    doc.Dab(TStrokeKind::Brush, QPoint(108, 62), 6);
    doc.EndStroke();
    doc.SetCurrentSettings({0, true, false, 40, 0, false});
}

} // namespace

TEST(ProjectFile, RoundTripGivesTheDocumentBackBitForBit) {
    TempDir dir;
    const std::string picture = dir.Path("scene.png"), project = dir.Path("work.tintwell");
    TTintwellDocument doc;
    MakeWork(doc, dir, QSize(160, 120));
    ASSERT_EQ(doc.PartCount(), 2);
    SaveProject(ProjectOfDocument(doc, project), project);
    EXPECT_TRUE(ReadAll(project).contains("\"path\": \"scene.png\"")) << "beside the project: relative";

    TTintwellDocument back;
    back.OpenPicture(Q(picture));
    back.AddBlankPart(); // something to undo, which the restored document must not keep
    const TProject read = ReadProject(project);
    RestoreProject(back, read, LoadProjectPicture(read, read.PicturePath(project)), Q(picture));
    EXPECT_TRUE(Same(Snapshot(doc), Snapshot(back), false));
    EXPECT_EQ(back.CurrentSettings(), doc.CurrentSettings());
    EXPECT_FALSE(back.IsModified());
    EXPECT_EQ(back.UndoStack().count(), 0);
    EXPECT_EQ(back.SelectedCount(), 2);

    EXPECT_NE(back.Part(0)->Growth.has_value(), back.Part(1)->Growth.has_value()) << "one grown, one painted";

    // A portrait photo wider than 800 is worked on 800 wide and taller than 600:
    // its project opens again.
    TTintwellDocument portrait;
    MakeWork(portrait, dir, QSize(900, 1200));
    ASSERT_EQ(portrait.Picture().Height(), 1067);
    SaveProject(ProjectOfDocument(portrait, project), project);
    const TProject tall = ReadProject(project);
    EXPECT_EQ(tall.PictureSize, QSize(800, 1067));
    EXPECT_EQ(tall.Parts.size(), 2u);
}

TEST(ProjectFile, StrictReaderRefusesBadFilesNamingTheKey) {
    TempDir dir;
    const std::string picture = dir.Path("scene.png"), project = dir.Path("work.tintwell");
    Save(Scene(60, 40), picture);
    TTintwellDocument doc;
    doc.OpenPicture(Q(picture));
    const QByteArray good = ProjectBytes(ProjectOfDocument(doc, project));
    const auto with = [&](const char* from, const char* to) {
        QByteArray bytes = good;
        EXPECT_TRUE(bytes.contains(from)) << from;
        return bytes.replace(from, to);
    };
    const std::pair<QByteArray, std::string> cases[] = {
        {"{\"format\": 3,", "malformed JSON at line 1"},
        {with("\"format\": 3", "\"format\": 4"), "format: this is a newer project file (format 4)"},
        {with("\"format\": 3", "\"formt\": 3"), "unknown key \"formt\""},
        {with("\"width\": 60", "\"width\": \"60\""), "picture.width: expected a whole number"},
        {with("\"height\": 40", "\"height\": 41"),
         "parts[0].bitmap: the part is 60 x 40 but the picture is 60 x 41"},
        {with("\"anchor\": [", "\"anchor\": [99, "), "parts[0].anchor: expected [x, y]"},
        {with("\"bitmap\": \"", "\"bitmap\": \"!!"), "parts[0].bitmap: expected a PNG picture in base64"},
        {with("\"mode\": \"shift\"", "\"mode\": \"twist\""), "settings.mode: expected \"shift\""},
        {with("\"valueTint\": 0", "\"valueTint\": 401"), "settings.valueTint: 401 is out of range"},
        {with("\"sha256\": \"", "\"sha256\": \"x"), "picture.sha256: expected 64 lower-case"},
        // Match colour: a goal, stated or the picture's own, and no tints.
        {with("\"mode\": \"shift\"", "\"mode\": \"match\", \"goal\": \"#1f2a4g\""),
         "settings.goal: expected \"#rrggbb\" or [r, g, b], not \"#1f2a4g\""},
        {with("\"mode\": \"shift\"", "\"mode\": \"match\", \"goal\": [1, 2, 256]"),
         "settings.goal[2]: 256 is out of range"},
        {with("\"mode\": \"shift\"", "\"mode\": \"match\", \"goal\": \"#1f2a44\", \"from\": [1, 2]"),
         "settings.from: expected \"#rrggbb\" or [r, g, b]"},
        {with("\"mode\": \"shift\"", "\"mode\": \"match\", \"goal\": [1, 2, 3]"),
         "settings.hue: does not go with \"mode\": \"match\""},
        {with("\"hue\": 75", "\"goal\": \"#000000\""), "settings.goal: goes with \"mode\": \"match\" only"},
    };
    for (const auto& [bytes, message] : cases) {
        WriteAll(project, bytes);
        try {
            ReadProject(project);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const TJsonFileError& e) {
            EXPECT_NE(std::string(e.what()).find("work.tintwell: " + message), std::string::npos) << e.what();
        }
    }
    // Files of the first formats are still read.
    WriteAll(project, with("\"format\": 3", "\"format\": 1"));
    EXPECT_NO_THROW(ReadProject(project));
    WriteAll(project, with("\"format\": 3", "\"format\": 2"));
    EXPECT_NO_THROW(ReadProject(project));
    // Match colour's settings come back as they were: stated colours as
    // "#rrggbb", the picture's own as [r, g, b].
    const TStrictJson json("work.tintwell");
    TTintwellSettings reference = TTintwellSettings::Match({0x442A1F, true});
    reference.Reference = 0x102030;
    for (const TTintwellSettings& settings :
         {TTintwellSettings::Match({0x442A1F, true}),
          TTintwellSettings::Match({0x010203, false}, {{0xFEFDFC, true}}),
          TTintwellSettings::Match({0x442A1F, true}, {{0x808080, false}}), reference})
        EXPECT_EQ(json.Settings(TStrictJson::SettingsJson(settings), "settings"), settings);
    EXPECT_EQ(TStrictJson::SettingsJson(TTintwellSettings::Match({0x442A1F, true}))["goal"].toString(),
              "#1f2a44");
    // The batch tool refuses it the same way, writing nothing.
    WriteAll(project, with("\"sha256\": \"", "\"sha256\": \"x"));
    EXPECT_TRUE(FailsWith(RunCli({"recipe", Q(project), "-o", Q(dir.Path("out.png"))}), 1, "sha256"));
    EXPECT_FALSE(FileExists(dir.Path("out.png")));
}

TEST(ProjectFile, BatchToolWritesTheDesktopResultAndCarriesPartsToOtherPictures) {
    TempDir dir;
    const std::string project = dir.Path("work.tintwell");
    TTintwellDocument doc;
    MakeWork(doc, dir, QSize(200, 150));
    TProject saved = ProjectOfDocument(doc, project);
    SaveProject(saved, project);
    for (const char* type : {".png", ".jpg"}) {
        const std::string desk = dir.Path(std::string("desk") + type),
                          cli = dir.Path(std::string("cli") + type);
        ASSERT_TRUE(tw::SavePicture(doc.ComposeResult(), desk)); // what "Save Picture..." writes
        const CliRun run = RunCli({"recipe", Q(project), "-o", Q(cli)});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_EQ(ReadAll(cli), ReadAll(desk)) << type;
    }
    // "Save Full-Size Picture..." and --original-size.
    ASSERT_TRUE(tw::SavePicture(*doc.ComposeFullSizeResult(), dir.Path("desk-full.png")));
    ASSERT_EQ(RunCli({"recipe", Q(project), "-o", Q(dir.Path("cli-full.png")), "--original-size"}).code, 0);
    EXPECT_EQ(ReadAll(dir.Path("cli-full.png")), ReadAll(dir.Path("desk-full.png")));

    // On a picture twice the size the seeded part grows from the seed scaled,
    // as "recolor" grows it there; the painted part is its mask stretched.
    saved.Parts[0].Growth = TPartGrower::GrowthAt(doc.Picture(), QPoint(50, 60), TWalkerRules::Default());
    saved.Parts[0].Settings = {175, false, false, 0, 0, false};
    saved.Parts[1].SetBitmap(RectPart(doc.Picture(), QRect(120, 20, 30, 40), {}));
    saved.Parts[1].Settings = {30, false, true, 0, 0, false};
    saved.Parts[1].Growth.reset();
    SaveProject(saved, project);
    Save(Scene(400, 300), dir.Path("big.png"));
    Save(Scene(200, 150), dir.Path("same.png"));
    const CliRun run = RunCli({"recipe", Q(project), "--pictures", Q(dir.Path("big.png")),
                               Q(dir.Path("same.png")), "--output-dir", Q(dir.Path("out")), "--jobs", "2"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count('\n'), 2);
    for (const auto& [name, seed] : {std::pair{"big", "101,121"}, std::pair{"same", "50,60"}}) {
        const std::string reference = dir.Path(std::string(name) + "-ref.png"), mask = dir.Path("mask.bmp");
        const int k = name == std::string("big") ? 2 : 1;
        Save(RectPart(Scene(200 * k, 150 * k), QRect(120 * k, 20 * k, 30 * k, 40 * k), {}), mask);
        ASSERT_EQ(RunCli({"recolor", Q(dir.Path(std::string(name) + ".png")), "-o", Q(reference), "--seed",
                          seed, "--change", "175", "--part", Q(mask), "--shift", "30"})
                      .code,
                  0);
        EXPECT_EQ(ReadAll(dir.Path(std::string("out/") + name + ".png")), ReadAll(reference)) << name;
    }
}

namespace {

// A project of count blank parts on a picture of the given working size, each
// part's PNG data replaced by data (when given) after its header.
std::string ProjectOfBlankParts(const TempDir& dir, QSize size, int count, const QByteArray& data = {}) {
    const std::string picture = dir.Path("plain.png"), project = dir.Path("many.tintwell");
    Save(tw::Bitmap(size.width(), size.height(), RGBToColor(30, 120, 40)), picture);
    TProject p;
    p.Picture = picture;
    p.PictureSize = size;
    p.PictureHash = PictureFileHash(picture);
    TProjectPart blank;
    blank.SetBitmap(tw::Bitmap(size.width(), size.height()));
    if (!data.isEmpty()) blank.Png = blank.Png.left(33) + data;
    p.Parts.assign(static_cast<size_t>(count), blank);
    SaveProject(p, project);
    return project;
}

// A PNG file of the given size whose data inflate to a gigabyte of pixels.
QByteArray PngBomb(int side) {
    QImage image(side, side, QImage::Format_Mono);
    image.fill(1);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

TEST(ProjectFile, PartsAreDecodedOneAtATimeAndTheDesktopRefusesMoreThanItsBudget) {
    TempDir dir;
    // 1200 parts of 800 x 600 take 2.3 GB decoded.
    const std::string project = ProjectOfBlankParts(dir, QSize(800, 600), 1200);
    if (!kSanitizedBuild) {
        const CliRun run = RunCliBytes({"recipe", project, "-o", dir.Path("out.png")});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_LT(run.peakMemoryKb, 300 * 1024);
        EXPECT_EQ(tw::LoadPicture(dir.Path("out.png")), tw::LoadPicture(dir.Path("plain.png")));
    }
    // The desktop program keeps every part: it refuses before decoding any,
    // here parts whose data would not even decode.
    TTintwellDocument doc;
    const int before = doc.PartCount();
    const auto restore = [&](QSize size, int count) -> std::string {
        ProjectOfBlankParts(dir, size, count, "damaged");
        try {
            const TProject read = ReadProject(project);
            RestoreProject(doc, read, LoadProjectPicture(read, dir.Path("plain.png")), "plain.png");
        } catch (const std::exception& e) {
            return e.what();
        }
        return "restored";
    };
    EXPECT_EQ(restore(QSize(800, 600), 1200),
              "Cannot open many.tintwell: its 1200 parts of 800 x 600 pixels would need 2.3 GB of memory, "
              "more than the 2 GB Tintwell sets aside for a project's parts.");
    // Within the budget the damage is found as the parts are decoded.
    EXPECT_EQ(restore(QSize(80, 60), 2), "many.tintwell: parts[0].bitmap: expected a PNG picture in base64");
    EXPECT_EQ(doc.PartCount(), before) << "the document is as it was";
}

TEST(ProjectFile, SizesAreCheckedBeforeAnyPartIsDecoded) {
    TempDir dir;
    const std::string project = ProjectOfBlankParts(dir, QSize(800, 600), 3);
    const QByteArray good = ReadAll(project), bomb = PngBomb(16384).toBase64();
    const QByteArray blank = good.mid(good.indexOf("\"bitmap\": \"") + 11);
    const auto run = [&](const QByteArray& bytes, const std::vector<std::string>& args) {
        WriteAll(project, bytes);
        std::vector<std::string> all{"recipe", project};
        all.insert(all.end(), args.begin(), args.end());
        // A part decoded at its declared size would need 1 GB and more.
        return RunCliBytes(all, [] {
            const rlimit limit{1024ULL << 20, 1024ULL << 20};
            if (!kSanitizedBuild) setrlimit(RLIMIT_AS, &limit);
        });
    };
    const QByteArray bombed = QByteArray(good).replace(blank.left(blank.indexOf('"')), bomb);
    EXPECT_TRUE(
        FailsWith(run(bombed, {"-o", dir.Path("out.png")}), 1,
                  "many.tintwell: parts[0].bitmap: the part is 16384 x 16384 but the picture is 800 x 600"));
    QByteArray huge = QByteArray(bombed).replace("\"width\": 800", "\"width\": 16384");
    huge.replace("\"height\": 600", "\"height\": 16384");
    EXPECT_TRUE(FailsWith(run(huge, {"--pictures", dir.Path("plain.png"), "--output-dir", dir.Path("out")}),
                          1, "many.tintwell: picture.width: 16384 is out of range (1 to 800)"));
    EXPECT_FALSE(FileExists(dir.Path("out.png")));
    EXPECT_FALSE(FileExists(dir.Path("out")));
}

// A part made of several grows ("Add this", "Add to current part", "Remove
// from current part") is saved as its list of grows and grown again from them
// on other pictures exactly as the desktop program made it; a recipe's
// "grows" does the same, and every grow's seed is checked.
TEST(ProjectFile, APartOfSeveralGrowsIsCarriedAsTheDesktopMadeIt) {
    TempDir dir;
    tw::Bitmap picture(200, 150, RGBToColor(30, 60, 200));
    picture.FillRect(QRect(10, 10, 60, 50), RGBToColor(200, 40, 40));
    picture.FillRect(QRect(20, 20, 10, 10), RGBToColor(120, 24, 24)); // a darker patch, taken out again
    picture.FillRect(QRect(120, 10, 60, 50), RGBToColor(205, 42, 40));
    picture.FillRect(QRect(10, 80, 60, 50), RGBToColor(40, 160, 40));
    Save(picture, dir.Path("one.png"));
    TTintwellDocument doc;
    doc.OpenPicture(Q(dir.Path("one.png")));
    doc.SetCurrentSettings({175, false, false, 0, 0, false});
    const auto grow = [&](QPoint seed, const TWalkerRules& rules) {
        return TPartGrower(doc.Picture(), seed, rules, doc.CurrentSettings()).Grow();
    };
    TWalkerRules anywhere = TWalkerRules::Default();
    anywhere.Anywhere = true;
    const TGrownPart first = grow({40, 40}, anywhere); // both red blocks
    doc.SetCurrentPart(doc.AddGrownPart(first.Mask, {40, 40}, first.Growth));
    doc.SetCurrentSettings({30, false, true, 0, 0, false}); // not the part's: it keeps its own
    const TGrownPart green = grow({30, 100}, TWalkerRules::Default());
    ASSERT_TRUE(doc.ReshapeCurrentPart(green.Mask, false, green.Growth));
    TWalkerRules narrow = TWalkerRules::Default();
    narrow.ValueDeviation = 5;
    const TGrownPart patch = grow({25, 25}, narrow);
    ASSERT_TRUE(doc.ReshapeCurrentPart(patch.Mask, true, patch.Growth));
    const TImagePart* part = doc.CurrentPart();
    ASSERT_TRUE(part->Growth);
    ASSERT_EQ(part->Growth->Then.size(), 2u);
    EXPECT_TRUE(part->Growth->Then[1].Remove);
    EXPECT_EQ(part->Bitmap.Pixel(25, 25), tw::kWhite);
    EXPECT_NE(part->Bitmap.Pixel(150, 30), tw::kWhite);

    const std::string project = dir.Path("work.tintwell");
    SaveProject(ProjectOfDocument(doc, project), project);
    EXPECT_TRUE(ReadAll(project).contains("\"remove\": true"));
    EXPECT_EQ(ReadProject(project).Parts.back().Growth, part->Growth);

    // On the same picture under another name the grows give the desktop's part.
    ASSERT_TRUE(tw::SavePicture(doc.ComposeResult(), dir.Path("desk.png")));
    Save(picture, dir.Path("two.png"));
    CliRun run = RunCli(
        {"recipe", Q(project), "--pictures", Q(dir.Path("two.png")), "--output-dir", Q(dir.Path("out"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(ReadAll(dir.Path("out/two.png")), ReadAll(dir.Path("desk.png")));
    WriteAll(dir.Path("job.json"), R"({"picture": "two.png", "output": "recipe.png", "parts": [
        {"grows": [{"seed": [40, 40], "rules": {"anywhere": true}}, {"seed": [30, 100]},
                   {"seed": [25, 25], "rules": {"value": 5}, "remove": true}],
         "settings": {"mode": "change", "hue": 175}},
        {"part": "blank.png", "settings": {"mode": "shift", "hue": 75}}]})");
    Save(tw::Bitmap(200, 150), dir.Path("blank.png"));
    run = RunCli({"recipe", Q(dir.Path("job.json"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(tw::LoadPicture(dir.Path("recipe.png")), tw::LoadPicture(dir.Path("desk.png")));

    // A picture where a later grow's seed lands on another colour fails.
    picture.FillRect(QRect(10, 80, 60, 50), RGBToColor(30, 60, 200));
    Save(picture, dir.Path("three.png"));
    run = RunCli(
        {"recipe", Q(project), "--pictures", Q(dir.Path("three.png")), "--output-dir", Q(dir.Path("out"))});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("part 2: the seed lands on (30,60,200), not on a colour like (40,160,40)"))
        << run.err.toStdString();
}
