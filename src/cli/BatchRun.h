#pragma once
// Working through many pictures: several at once in worker processes, one
// machine's share of a collection, resuming a stopped job and carrying on past
// a picture that fails.

#include "cli/CliArguments.h"
#include "cli/RecolorJob.h"

#include <functional>
#include <string>

namespace cli {

struct TBatchOptions {
    int Jobs = 0; // pictures at once; below 1: one per processor this process may use
    int Shard = 0;
    int ShardCount = 1; // every ShardCount-th picture starting at Shard
    bool SkipExisting = false;
    bool KeepGoing = false;
    // A PNG of every result of the run's share, small, with names (and colour variants' colours).
    std::string ContactSheet;
};

// Takes --jobs N, --shard K/N, --skip-existing, --keep-going and
// --contact-sheet FILE; false for any other flag.
bool TakeBatchFlag(const std::string& flag, ArgReader& args, TBatchOptions& options);

// The work done for one picture: read it, recolour it, write its result;
// warnings go through warn.
using TPictureWork = std::function<void(const TRecolorTask& task, const TWarning& warn)>;

// Runs the job's share of pictures under the options. With several pictures a
// progress bar is drawn when standard error is a terminal, else one line per
// picture in the job's order. Returns the exit code; without KeepGoing the
// first failure is thrown as the single-picture run would throw it. With
// colour variants a picture's results are made together, one after the other;
// --skip-existing leaves out the results that exist, and a picture all of
// whose results exist. The contact sheet comes last, of every result of the
// share there is then.
int RunBatch(TRecolorJob job, const TBatchOptions& options, bool severalPictures, const TPictureWork& work);

// Passes a signal that stops the run on to its workers. Safe in a signal handler.
void StopWorkers(int signal);

} // namespace cli
