#pragma once
// Saving results in the background: the full-size result of "Save Full-Size
// Picture...", or every colour variant's result (at the working or the full
// size) with a contact sheet of them. Composed, encoded and written on the
// job's own thread from copies of what the document held when the job was
// made, so the document may change meanwhile. Each file is written whole or
// not at all; once cancelled, the job writes nothing more. finished() comes on
// the thread the job lives on.

#include "document/ContactSheet.h"
#include "document/TintwellDocument.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class TResultSaveJob : public QObject {
    Q_OBJECT

  public:
    // One result to write.
    struct TItem {
        TTintwellDocument::TFullSizeSource Source;
        std::string Path;
        bool FullSize = true;
        // For the contact sheet.
        std::string Name;
        std::optional<TColorValue> Colour;
        // Settings the parts are recoloured with first, one per part (a colour variant's).
        std::optional<std::vector<TTintwellSettings>> Settings;
    };

    // The full-size result of source, written to path.
    TResultSaveJob(TTintwellDocument::TFullSizeSource source, std::string path, QObject* parent = nullptr);
    // Every item in turn, then (when sheetPath is not empty) a contact sheet of them.
    TResultSaveJob(std::vector<TItem> items, std::string sheetPath, QObject* parent = nullptr);
    // Cancels a job still running and waits for its thread.
    ~TResultSaveJob() override;

    void Start();
    // Asks the job to stop; it then writes nothing more.
    void Cancel();
    // 0 to 1 over the whole job.
    double Progress() const;
    // The first result's path.
    const std::string& Path() const { return items_.front().Path; }
    // The results written so far.
    int Written() const { return state_->Written.load(); }

  signals:
    // written: every file is in place; failure: what the job failed with, if it did.
    void finished(bool written, std::exception_ptr failure);

  private:
    struct TState {
        std::atomic<bool> Cancel{false};
        std::atomic<int> Step{0};
        std::atomic<int> Written{0};
    };
    void Run();
    // Composes, encodes and writes one item; false when cancelled.
    bool Save(size_t index, TContactEntry* entry);

    std::vector<TItem> items_;
    const std::string sheetPath_;
    std::shared_ptr<TState> state_;
    std::thread thread_;
};
