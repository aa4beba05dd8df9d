// The colour commands (hsv, transform, solve) and the command line itself.
#include "cli/CliTestSupport.h"

#include "colour/HSV.h"
#include "recolour/PartRecolourer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using twtest::FailsWith;
using twtest::RunCli;

TEST(CliColourStreams, HsvAndTransformAnswerEveryLine) {
    // Blank lines are skipped; CR line ends and extra blanks are accepted.
    const auto hsv = RunCli({"hsv"}, "200 150 100\n0 0 0\n\n255 255 255\r\n  10\t20   30 \n");
    ASSERT_EQ(hsv.code, 0) << hsv.err.toStdString();
    EXPECT_EQ(hsv.out, "30 128 200\n0 0 0\n0 0 255\n210 170 30\n");
    EXPECT_TRUE(hsv.err.isEmpty());

    const auto changed = RunCli({"transform", "--change", "240"}, "200 150 100\n");
    ASSERT_EQ(changed.code, 0) << changed.err.toStdString();
    EXPECT_EQ(changed.out, "100 100 200\n");

    // Defaults are the initial settings (shift by 75); flags combine, "=" works too.
    const tw::Bitmap none;
    tw::Bitmap target;
    TTintwellSettings mixed{0, true, false, -50, 30, true};
    const TPartRecolourer initial(TTintwellSettings::Initial(), none, target);
    const TPartRecolourer keep(mixed, none, target);
    std::mt19937 random(7);
    QByteArray input;
    QByteArray expectInitial, expectKeep;
    for (int i = 0; i < 200; ++i) {
        const TColorValue c = random() & 0xFFFFFF;
        const TRGBValues rgb = ColorToRGBValues(c);
        input += QByteArray::number(rgb.R) + " " + QByteArray::number(rgb.G) + " " +
                 QByteArray::number(rgb.B) + "\n";
        for (auto [things, expect] : {std::pair{&initial, &expectInitial}, std::pair{&keep, &expectKeep}}) {
            const TRGBValues out = ColorToRGBValues(things->TransformColor(c));
            *expect += QByteArray::number(out.R) + " " + QByteArray::number(out.G) + " " +
                       QByteArray::number(out.B) + "\n";
        }
    }
    EXPECT_EQ(RunCli({"transform"}, input).out, expectInitial);
    EXPECT_EQ(RunCli({"transform", "--shift", "10", "--keep", "--saturation-tint=-50", "--value-tint", "30",
                      "--avoid-singularities"},
                     input)
                  .out,
              expectKeep);
}

TEST(CliColourStreams, BadLinesAreBadInputNamingTheLine) {
    for (const char* bad : {"1 2", "1 2 3 4", "1 2 x", "1.5 2 3", "256 0 0", "0 -1 0"}) {
        const auto run = RunCli({"hsv"}, QByteArray("1 2 3\n") + bad + "\n");
        EXPECT_TRUE(FailsWith(run, 1, "line 2")) << bad;
        EXPECT_EQ(run.out, "210 170 3\n") << "lines before the bad one are answered";
    }
    EXPECT_TRUE(FailsWith(RunCli({"transform"}, "300 0 0\n"), 1, "out of range"));
}

TEST(CliSolve, PrintsTheSettingsThatReachTheGoal) {
    const auto run = RunCli({"solve", "--from", "200,150,100", "--to", "100,100,200"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "--change 240 --saturation-tint 0 --value-tint 0 --avoid-singularities\n");

    // The printed line is valid input for the settings flags and gives the goal.
    QStringList flags = QString::fromUtf8(run.out).trimmed().split(' ');
    flags.prepend("transform");
    EXPECT_EQ(RunCli(flags, "200 150 100\n").out, "100 100 200\n");

    // A grey original: the tint divides by 1 and the limit decides.
    EXPECT_EQ(RunCli({"solve", "--from", "0,0,0", "--to", "200,100,50"}).out,
              "--change 20 --saturation-tint 400 --value-tint 400 --avoid-singularities\n");

    EXPECT_TRUE(FailsWith(RunCli({"solve", "--from", "1,2,3"}), 2, "--to"));
    EXPECT_TRUE(FailsWith(RunCli({"solve", "--from", "1,2", "--to", "1,2,3"}), 2, "--from"));
    EXPECT_TRUE(FailsWith(RunCli({"solve", "--from", "1,2,256", "--to", "1,2,3"}), 1, "out of range"));
}

// From a grey original no saturation tint reaches a coloured goal: the
// settings are still printed, with one warning line saying what they give.
TEST(CliSolve, WarnsWhenTheGoalCannotBeReachedFromGrey) {
    const auto grey = RunCli({"solve", "--from", "76,76,76", "--to", "200,120,60"});
    ASSERT_EQ(grey.code, 0);
    EXPECT_EQ(grey.out, "--change 26 --saturation-tint 400 --value-tint 163 --avoid-singularities\n");
    QStringList flags = QString::fromUtf8(grey.out).trimmed().split(' ');
    flags.prepend("transform");
    const QByteArray given = RunCli(flags, "76 76 76\n").out.trimmed().replace(' ', ',');
    EXPECT_EQ(grey.err,
              "tintwell-cli: warning: the goal cannot be reached from a grey original; these settings "
              "give " +
                  given + "\n");
    EXPECT_TRUE(RunCli({"solve", "--from", "200,150,100", "--to", "100,100,200"}).err.isEmpty());
}

TEST(CliCommandLine, HelpUsageAndStrictNumbers) {
    const auto help = RunCli({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.startsWith("usage: tintwell-cli"));
    EXPECT_TRUE(help.out.contains("--avoid-singularities"));
    EXPECT_EQ(RunCli({"grow", "--help"}).code, 0);

    const auto none = RunCli({});
    EXPECT_TRUE(FailsWith(none, 2, "no command"));
    EXPECT_TRUE(none.err.contains("usage: tintwell-cli")) << "usage errors show the usage";
    EXPECT_TRUE(FailsWith(RunCli({"paint"}), 2, "unknown command \"paint\""));
    EXPECT_TRUE(FailsWith(RunCli({"transform", "--bogus"}), 2, "unknown option --bogus"));
    EXPECT_TRUE(FailsWith(RunCli({"transform", "--keep=1"}), 2, "--keep takes no value"));
    EXPECT_TRUE(FailsWith(RunCli({"transform", "--shift"}), 2, "--shift needs a value"));

    // Malformed numbers are usage errors naming the flag; numbers out of range are bad input.
    for (const char* flag : {"--change", "--shift", "--saturation-tint", "--value-tint"})
        for (const char* text : {"abc", "", "1.5", "12x", "+5", " 5"})
            EXPECT_TRUE(FailsWith(RunCli({"transform", flag, text}), 2, flag)) << flag << " " << text;
    EXPECT_TRUE(FailsWith(RunCli({"transform", "--shift=361"}), 1, "--shift 361 is out of range (0 to 360)"));
    EXPECT_TRUE(FailsWith(RunCli({"transform", "--change", "-1"}), 1, "out of range"));
    EXPECT_TRUE(FailsWith(RunCli({"transform", "--saturation-tint", "401"}), 1, "(-400 to 400)"));
    EXPECT_TRUE(FailsWith(RunCli({"transform", "--value-tint", "-401"}), 1, "(-400 to 400)"));
    EXPECT_TRUE(
        FailsWith(RunCli({"transform", "--value-tint", "99999999999999999999999"}), 1, "out of range"));
    EXPECT_EQ(RunCli({"transform", "--value-tint", "-400", "--saturation-tint", "400", "--change", "360"},
                     "1 2 3\n")
                  .code,
              0);
}

} // namespace
