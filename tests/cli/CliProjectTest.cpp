// Projects run as recipes on other pictures: options wherever they stand, and
// pictures on which a part's seed lands on another colour.
#include "cli/CliTestSupport.h"

#include "document/ProjectFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>

#include <set>

namespace {

using twtest::Q;
using twtest::RunCli;
using twtest::TempDir;

const TColorValue kRed = RGBToColor(165, 1, 2), kGreen = RGBToColor(40, 120, 30);

// A project on a red picture: a painted part, then a part grown from a red
// seed; red pictures b0..b3 and a green one to carry it to.
struct ProjectOnPictures {
    TempDir dir;
    std::string project = dir.Path("petals.tintwell");

    ProjectOnPictures() {
        twtest::Save(tw::Bitmap(80, 60, kRed), dir.Path("red.png"));
        for (int i = 0; i < 4; ++i)
            twtest::Save(tw::Bitmap(80, 60, kRed), Picture(i));
        twtest::Save(tw::Bitmap(80, 60, kGreen), dir.Path("green.png"));
        TProject p;
        p.Picture = dir.Path("red.png");
        p.PictureSize = QSize(80, 60);
        p.PictureHash = PictureFileHash(p.Picture);
        p.Parts.resize(2);
        tw::Bitmap painted(80, 60);
        painted.FillRect(QRect(5, 5, 10, 10), kRed);
        p.Parts[0].SetBitmap(painted);
        p.Parts[1].SetBitmap(tw::Bitmap(80, 60, kRed));
        p.Parts[1].Growth = TPartGrowth{QPoint(40, 30), kRed, TWalkerRules::Default()};
        SaveProject(p, project);
    }
    std::string Picture(int i) const { return dir.Path("b" + std::to_string(i) + ".png"); }
    std::set<std::string> Results() const {
        std::set<std::string> found;
        for (const QString& name : QDir(Q(dir.Path("out"))).entryList(QDir::Files))
            found.insert(name.toStdString());
        return found;
    }
};

TEST(CliProject, BatchOptionsCountBeforeTheProjectsNameToo) {
    ProjectOnPictures w;
    const QStringList pictures{"--pictures", Q(w.Picture(0)), Q(w.Picture(1)), Q(w.Picture(2)),
                               Q(w.Picture(3))};
    const QStringList out{"--output-dir", Q(w.dir.Path("out"))};
    auto run = RunCli(QStringList{"recipe", "--shard", "1/2", "--jobs", "2", Q(w.project)} + pictures + out);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(w.Results(), (std::set<std::string>{"b1.png", "b3.png"}));

    twtest::WriteAll(w.dir.Path("out/b1.png"), "finished earlier");
    twtest::WriteAll(w.dir.Path("broken.png"), "not a picture");
    run = RunCli(QStringList{"recipe", "--skip-existing", "--keep-going", Q(w.project), "--pictures",
                             Q(w.Picture(1)), Q(w.dir.Path("broken.png")), Q(w.Picture(2))} +
                 out);
    EXPECT_EQ(run.code, 1) << "the broken picture fails, the job goes on";
    EXPECT_TRUE(run.err.startsWith("1 picture skipped")) << run.err.toStdString();
    EXPECT_EQ(twtest::ReadAll(w.dir.Path("out/b1.png")), "finished earlier");
    EXPECT_EQ(w.Results(), (std::set<std::string>{"b1.png", "b2.png", "b3.png"}));
}

TEST(CliProject, APictureWhereASeedLandsOnAnotherColourFails) {
    ProjectOnPictures w;
    const std::string green = w.dir.Path("green.png");
    const std::string line = "tintwell-cli: " + green +
                             ": part 2: the seed lands on (40,120,30), not on a colour like (165,1,2)\n";
    for (const char* jobs : {"1", "2"}) {
        QDir(Q(w.dir.Path("out"))).removeRecursively();
        auto run = RunCli({"recipe", Q(w.project), "--pictures", Q(green), Q(w.Picture(0)), "--output-dir",
                           Q(w.dir.Path("out")), "--keep-going", "--jobs", jobs});
        EXPECT_EQ(run.code, 1) << jobs;
        EXPECT_TRUE(run.err.contains(line.c_str())) << run.err.toStdString();
        EXPECT_TRUE(run.err.endsWith("tintwell-cli: 1 of 2 pictures failed\n")) << run.err.toStdString();
        EXPECT_EQ(w.Results(), std::set<std::string>{"b0.png"}) << jobs;

        run = RunCli({"recipe", Q(w.project), "--pictures", Q(green), "--output-dir", Q(w.dir.Path("out")),
                      "--jobs", jobs});
        EXPECT_EQ(run.code, 1) << jobs;
        EXPECT_TRUE(run.err.endsWith(line.c_str())) << run.err.toStdString();
        EXPECT_EQ(run.err.count("tintwell-cli: "), 1);
        EXPECT_FALSE(twtest::FileExists(w.dir.Path("out/green.png")));
    }
}

} // namespace
