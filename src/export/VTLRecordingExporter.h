#pragma once
// Exports a recording package straight to an H.264 movie without opening it as a document: an
// off-screen composition of the recording (canvas of its size), its system sound ("system.m4a")
// and the sound tracks of its additional movie ("additionalAudioAndVideo.mov", tracks of more
// than two channels skipped), written by a movie exporter at its defaults. Used on one thread;
// owns the composition and the running exporter, and must outlive the export.

#include "export/VTLMovieExporter.h"
#include "platform/foundation/Result.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vtl {

class CompositionDocument;
class SharedMediaManager;

class VTLRecordingExporter {
public:
    // Asks where the movie goes ("m4v" only), offering a name; nullopt: the user cancelled.
    using SavePanel = std::function<std::optional<std::string>(const std::string& suggestedName)>;

    VTLRecordingExporter(std::string recordingPackagePath, SharedMediaManager& media);
    ~VTLRecordingExporter();
    VTLRecordingExporter(const VTLRecordingExporter&) = delete;
    VTLRecordingExporter& operator=(const VTLRecordingExporter&) = delete;

    const std::string& recordingPath() const { return recordingPath_; }
    void setAskForPath(bool ask) { askForPath_ = ask; }
    bool askForPath() const { return askForPath_; }
    void setExportPath(std::string path) { exportPath_ = std::move(path); }
    const std::string& exportPath() const { return exportPath_; }
    void setSavePanel(SavePanel panel) { savePanel_ = std::move(panel); }
    // Handed to each movie exporter this makes.
    void setProgressDelegate(VTLMovieExportProgressDelegate* delegate) { progressDelegate_ = delegate; }
    void setCompletionHandler(std::function<void(const Status&)> handler) {
        completionHandler_ = std::move(handler);
    }

    // With askForPath, asks the save panel first (a cancel starts nothing); then doBeginExport.
    Status beginExport();
    // Builds the composition and starts the movie exporter on it.
    Status doBeginExport();

    // The running (or last) export; null before the first.
    VTLMovieExporter* movieExporter() const { return movieExporter_.get(); }
    std::shared_ptr<CompositionObjectsContainer> objectsContainer() const;

private:
    std::string recordingPath_;
    SharedMediaManager& media_;
    bool askForPath_ = false;
    std::string exportPath_;
    SavePanel savePanel_;
    VTLMovieExportProgressDelegate* progressDelegate_ = nullptr;
    std::function<void(const Status&)> completionHandler_;
    std::unique_ptr<CompositionDocument> document_;
    std::unique_ptr<VTLMovieExporter> movieExporter_;
};

} // namespace vtl
