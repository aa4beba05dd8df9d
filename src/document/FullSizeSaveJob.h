#pragma once
// Saving the document's result at the picture's own size in the background:
// composed, encoded and written on the job's own thread from a copy of what
// the document held when the job was made, so the document may change
// meanwhile. The file is written whole or not at all; a cancelled job writes
// nothing. finished() comes on the thread the job lives on.

#include "document/TintwellDocument.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <exception>
#include <memory>
#include <string>
#include <thread>

class TFullSizeSaveJob : public QObject {
    Q_OBJECT

  public:
    TFullSizeSaveJob(TTintwellDocument::TFullSizeSource source, std::string path, QObject* parent = nullptr);
    // Cancels a job still running and waits for its thread.
    ~TFullSizeSaveJob() override;

    void Start();
    // Asks the job to stop; it then writes nothing.
    void Cancel();
    // 0 to 1: composing takes the first nine tenths, encoding and writing the rest.
    double Progress() const;
    const std::string& Path() const { return path_; }

  signals:
    // written: the file is in place; failure: what the job failed with, if it did.
    void finished(bool written, std::exception_ptr failure);

  private:
    struct TState {
        std::atomic<bool> Cancel{false};
        std::atomic<int> Step{0};
    };
    void Run();

    TTintwellDocument::TFullSizeSource source_;
    const std::string path_;
    std::shared_ptr<TState> state_;
    std::thread thread_;
};
