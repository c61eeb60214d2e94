#include "recorder/VTL3RecordEndcodeQueue.h"

#include "platform/foundation/Log.h"
#include "recorder/VTL3RecorderFrame.h"

#include <cmath>
#include <fstream>

namespace vtl::recording {

namespace {

std::uint64_t truncatedPixels(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 1e15) return 1000000000000000ull;
    return static_cast<std::uint64_t>(value);
}

} // namespace

VTL3RecordEndcodeQueue::VTL3RecordEndcodeQueue(EncodeQueueSettings settings)
    : m_settings(std::move(settings))
    , m_pool(m_settings.pool ? m_settings.pool : &VTLMallocPool::sharedInstance())
    , m_keyFrameRate(m_settings.frameRate)
    , m_qualityTracker(m_settings.frameRate, m_settings.areaWidthPixels, m_settings.areaHeightPixels,
                       m_settings.frameRate)
    , m_thumbnailDownscaleFactor(thumbnailFactor(truncatedPixels(m_settings.areaWidthPixels),
                                                 truncatedPixels(m_settings.areaHeightPixels)))
    , m_runner(m_settings.encodeThreads)
    , m_grabQueue([](const std::unique_ptr<VTL3RecorderFrame>& frame) { return frame->frameIndex(); }) {
    for (unsigned i = 0; i < m_runner.workerCount(); ++i)
        m_compressors.push_back(std::make_unique<JpegCompressor>());
    m_header = makeRecordingHeader(truncatedPixels(m_settings.areaWidthPixels),
                                   truncatedPixels(m_settings.areaHeightPixels), m_keyFrameRate,
                                   m_settings.screenScaling);
    m_grabQueue.startProcessing(
        [this](std::unique_ptr<VTL3RecorderFrame> frame) { processFrame(std::move(frame)); });
}

VTL3RecordEndcodeQueue::~VTL3RecordEndcodeQueue() {
    m_grabQueue.stopProcessing(true);
    for (VTLBufferedWriter* writer : {m_metaDataWriter.get(), m_dataWriter.get(), m_directoryWriter.get(),
                                      m_thumbnailMetaWriter.get(), m_thumbnailDataWriter.get()})
        if (writer) writer->closeFile();
}

bool VTL3RecordEndcodeQueue::prepareForRecording(const std::string& packagePath, std::string& error) {
    m_recordingBasePath = packagePath;
    const std::string base = packagePath + "/";
    std::unique_ptr<VTLBufferedWriter> writers[5];
    const std::string_view names[5] = {kMetaFileName, kDataFileName, kDirectoryFileName, kThumbDataFileName,
                                       kThumbMetaFileName};
    for (int i = 0; i < 5; ++i) {
        writers[i] = VTLBufferedWriter::open(base + std::string(names[i]), m_settings.sinkFactory, error);
        if (!writers[i]) return false;
    }
    m_metaDataWriter = std::move(writers[0]);
    m_dataWriter = std::move(writers[1]);
    m_directoryWriter = std::move(writers[2]);
    m_thumbnailDataWriter = std::move(writers[3]);
    m_thumbnailMetaWriter = std::move(writers[4]);
    m_headerInitialized = false;
    return true;
}

void VTL3RecordEndcodeQueue::setPressureHandler(std::function<void(double)> handler) {
    m_pressureHandler = std::move(handler);
}

void VTL3RecordEndcodeQueue::setErrorHandler(std::function<void(const std::string&)> handler) {
    m_errorHandler = std::move(handler);
}

void VTL3RecordEndcodeQueue::addRecorderFrame(std::unique_ptr<VTL3RecorderFrame> frame) {
    if (!frame) return;
    if (m_finalizing) {
        logMessage("A frame arrived after the recording was finalized; it is dropped.");
        return;
    }
    m_totalQueueCost.fetch_add(frame->costToEncodeFrame());
    m_grabQueue.addObject(std::move(frame));
}

std::span<JpegOutputBuffer> VTL3RecordEndcodeQueue::streamBuffers(std::size_t count) {
    if (m_streamBuffers.size() < count) m_streamBuffers.resize(count);
    return std::span<JpegOutputBuffer>(m_streamBuffers.data(), count);
}

bool VTL3RecordEndcodeQueue::appendDirectoryEntry(std::int64_t frameIndex, double timeSeconds,
                                                  bool keyFrame) {
    const DirectoryEntry entry{static_cast<std::uint64_t>(frameIndex), secondsToTicks(timeSeconds),
                               m_metaDataWriter->currentPosition(), m_dataWriter->currentPosition(),
                               keyFrame};
    const auto bytes = serializeDirectoryEntry(entry);
    return m_directoryWriter->writeData(bytes.data(), bytes.size());
}

bool VTL3RecordEndcodeQueue::ensureHeaderWritten() {
    if (m_headerInitialized) return true;
    const auto bytes = serializeHeader(m_header);
    if (!m_metaDataWriter->writeData(bytes.data(), bytes.size()) || !m_metaDataWriter->commit()) {
        m_metaDataWriter->rollback();
        return false;
    }
    m_headerInitialized = true;
    return true;
}

bool VTL3RecordEndcodeQueue::commitFrameFiles() {
    // Every file takes the frame's bytes before any of them commits, so a failure in one file
    // rolls all of them back to the same frame. Data and meta go first: the directory entry
    // makes the frame visible to a reader.
    if (!m_dataWriter->flush() || !m_metaDataWriter->flush() || !m_directoryWriter->flush()) return false;
    return m_dataWriter->commit() && m_metaDataWriter->commit() && m_directoryWriter->commit();
}

void VTL3RecordEndcodeQueue::failRecording(const std::string& message) {
    {
        std::lock_guard lock(m_errorMutex);
        if (!m_error.empty()) return;
        m_error = message.empty() ? std::string("Writing the recording failed.") : message;
    }
    m_failed = true;
    logMessage("Recording stopped: " + m_error);
    if (m_errorHandler) m_errorHandler(m_error);
}

std::string VTL3RecordEndcodeQueue::errorMessage() const {
    std::lock_guard lock(m_errorMutex);
    return m_error;
}

void VTL3RecordEndcodeQueue::processFrame(std::unique_ptr<VTL3RecorderFrame> frame) {
    const bool movieEncodable = frame->isMovieEncodableNonMetaFrame();
    if (!m_failed && m_metaDataWriter) {
        if (movieEncodable && frame->frameIndex() != m_lastProcessedIndex + 1)
            logMessage("WRONG FRAME INDEX!");
        m_lastProcessedIndex = frame->frameIndex();
        std::string error;
        bool written = ensureHeaderWritten();
        // A picture of another size than the header's would be stored as garbage.
        if (written && movieEncodable &&
            (frame->surfaceWidth() != m_header.displaySizeHorizontal ||
             frame->surfaceHeight() != m_header.displaySizeVertical)) {
            error = "The size of the recorded picture changed during the recording.";
            written = false;
        }
        if (written) {
            if (frame->isKeyFrame()) m_frameCounterSinceLastKeyFrame = 0;
            written = frame->encode(*this, error) && commitFrameFiles();
        }
        if (written) {
            ++m_overallFrameCounter;
        } else {
            for (VTLBufferedWriter* writer :
                 {m_dataWriter.get(), m_metaDataWriter.get(), m_directoryWriter.get()}) {
                if (error.empty() && writer->failed()) error = writer->error();
                writer->rollback();
            }
            failRecording(error);
        }
        m_frameBytesWritten = m_metaDataWriter->committedPosition() + m_dataWriter->committedPosition() +
                              m_directoryWriter->committedPosition();
        m_bytesWritten = m_frameBytesWritten + m_thumbnailBytesWritten;
    } else if (!m_metaDataWriter) {
        logMessage("A frame reached an encode queue that has no files; it is dropped.");
    }
    if (movieEncodable) {
        m_totalQueueCost.fetch_sub(frame->costToEncodeFrame());
        ++m_frameCounterSinceLastKeyFrame;
        adjustFrameRate();
    }
}

bool VTL3RecordEndcodeQueue::encodeThumbnailFrame(VTL3RecorderFrame& frame) {
    std::lock_guard lock(m_thumbnailMutex);
    if (m_failed || m_finalized || !m_thumbnailMetaWriter) return false;
    std::string error;
    // Both files take the thumbnail before either commits: a record never outlives its pixels.
    if (frame.encode(*this, error) && m_thumbnailDataWriter->flush() && m_thumbnailMetaWriter->flush() &&
        m_thumbnailDataWriter->commit() && m_thumbnailMetaWriter->commit()) {
        m_thumbnailBytesWritten =
            m_thumbnailMetaWriter->committedPosition() + m_thumbnailDataWriter->committedPosition();
        m_bytesWritten = m_frameBytesWritten + m_thumbnailBytesWritten;
        return true;
    }
    for (VTLBufferedWriter* writer : {m_thumbnailMetaWriter.get(), m_thumbnailDataWriter.get()}) {
        if (error.empty() && writer->failed()) error = writer->error();
        writer->rollback();
    }
    failRecording(error);
    return false;
}

double VTL3RecordEndcodeQueue::pressureForCost(double totalQueueCost) {
    const float cost = static_cast<float>(totalQueueCost);
    if (!(cost > 20.0f)) return 0.0;
    const float x = (cost - 10.0f) / 30.0f;
    return x * x;
}

void VTL3RecordEndcodeQueue::adjustFrameRate() {
    const double pressure = pressureForCost(m_totalQueueCost.load());
    m_pressure = pressure;
    if (m_pressureHandler) m_pressureHandler(pressure);
}

bool VTL3RecordEndcodeQueue::finalizeRecord(std::string* error) {
    m_finalizing = true;
    m_grabQueue.stopProcessing(false);
    std::lock_guard lock(m_thumbnailMutex);
    if (!m_finalized && m_metaDataWriter) {
        m_finalized = true;
        // A recording without any frame still gets its header, with no entries.
        if (!m_failed && !m_headerInitialized && !ensureHeaderWritten())
            failRecording(m_metaDataWriter->error());
        if (m_headerInitialized) {
            m_header.numberFrameEntries = m_overallFrameCounter;
            m_header.numberThumbs = 0;
            const auto bytes = serializeHeader(m_header);
            if (!m_metaDataWriter->rewriteCommitted(0, bytes.data(), bytes.size()))
                failRecording(m_metaDataWriter->error());
        }
        for (VTLBufferedWriter* writer : {m_metaDataWriter.get(), m_dataWriter.get(), m_directoryWriter.get(),
                                          m_thumbnailMetaWriter.get(), m_thumbnailDataWriter.get()}) {
            const bool hadFailed = writer->failed();
            if (!writer->closeFile() && !hadFailed) failRecording(writer->error());
        }
    } else if (!m_metaDataWriter) {
        failRecording("The recording was never prepared.");
    }
    if (error) *error = errorMessage();
    return !m_failed;
}

double VTL3RecordEndcodeQueue::duration() const {
    std::ifstream file(m_recordingBasePath + "/" + std::string(kDirectoryFileName),
                       std::ios::binary | std::ios::ate);
    if (!file) return 0.0;
    const auto fileSize = static_cast<std::uint64_t>(file.tellg());
    const std::uint64_t entries = usableFrameEntryCount(m_header, fileSize);
    if (entries == 0) return 0.0;
    std::array<std::uint8_t, kDirectoryEntrySizeBytes> bytes{};
    file.seekg(static_cast<std::streamoff>((entries - 1) * kDirectoryEntrySizeBytes));
    if (!file.read(reinterpret_cast<char*>(bytes.data()), bytes.size())) return 0.0;
    const auto entry = parseDirectoryEntry(bytes);
    return entry ? ticksToSeconds(entry->time, m_header.timeScale) : 0.0;
}

Size VTL3RecordEndcodeQueue::size() const {
    return Size{static_cast<double>(m_header.displaySizeHorizontal),
                static_cast<double>(m_header.displaySizeVertical)};
}

} // namespace vtl::recording
