#include "platform/media/MediaAsset.h"

#include "platform/media/PcmReader.h"
#include "platform/media/detail/Ffmpeg.h"
#include "platform/media/detail/MediaInput.h"
#include "platform/media/detail/MovieTrackNames.h"

#include <algorithm>

namespace vtl {

namespace {

constexpr int maximumSampleRate = 768000;
constexpr int maximumChannelCount = 64;

std::string metadataValue(AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    return entry && entry->value ? entry->value : "";
}

MediaType mediaTypeOf(const AVStream* stream) {
    switch (stream->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) ? MediaType::Other : MediaType::Video;
    case AVMEDIA_TYPE_AUDIO:
        return MediaType::Audio;
    case AVMEDIA_TYPE_SUBTITLE:
        return MediaType::Subtitle;
    case AVMEDIA_TYPE_DATA:
        return MediaType::Data;
    default:
        return MediaType::Other;
    }
}

} // namespace

Result<std::shared_ptr<const MediaAsset>> MediaAsset::open(const std::string& path) {
    detail::MediaSource source;
    source.path = path;
    return openSource(std::move(source));
}

Result<std::shared_ptr<const MediaAsset>>
MediaAsset::openBytes(std::shared_ptr<const std::vector<std::uint8_t>> bytes) {
    if (!bytes) return fail("No bytes were given.");
    detail::MediaSource source;
    source.bytes = std::move(bytes);
    return openSource(std::move(source));
}

Result<std::shared_ptr<const MediaAsset>> MediaAsset::openSource(detail::MediaSource source) {
    auto opened = detail::MediaInput::open(source, detail::MediaInput::StreamInfo::Probe);
    if (!opened) return opened.asFailure();
    AVFormatContext* format = (*opened)->format();

    std::shared_ptr<MediaAsset> asset(new MediaAsset);
    asset->source_ = std::move(source);
    asset->formatName_ = format->iformat && format->iformat->name ? format->iformat->name : "";
    if (const std::size_t comma = asset->formatName_.find(','); comma != std::string::npos)
        asset->formatName_.resize(comma);
    asset->originMicroseconds_ = (*opened)->originMicroseconds();
    const AVRational microseconds{1, AV_TIME_BASE};

    std::optional<std::vector<std::string>> names;
    if (asset->formatName_ == "mov") names = detail::readMovieTrackNames(asset->source_);
    if (names && names->size() != format->nb_streams) names.reset();

    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        const AVCodecParameters* parameters = stream->codecpar;
        MediaTrack track;
        track.index = i;
        track.type = mediaTypeOf(stream);
        track.codecName = avcodec_get_name(parameters->codec_id);
        const bool decodes = track.type == MediaType::Video || track.type == MediaType::Audio;
        track.hasDecoder = decodes && avcodec_find_decoder(parameters->codec_id) != nullptr;
        if (decodes && !detail::isUsableTimeBase(stream->time_base))
            return fail("The file has a track without a usable time base.");
        if (detail::isUsableTimeBase(stream->time_base)) track.timeScale = stream->time_base.den;

        if (track.type == MediaType::Video) {
            if (parameters->width <= 0 || parameters->height <= 0 ||
                parameters->width > detail::maximumPictureSide ||
                parameters->height > detail::maximumPictureSide)
                return fail("The movie's picture size (" + std::to_string(parameters->width) + " × " +
                            std::to_string(parameters->height) + ") is not supported.");
            track.widthPixels = parameters->width;
            track.heightPixels = parameters->height;
            if (stream->r_frame_rate.num > 0 && stream->r_frame_rate.den > 0) {
                track.frameRateNumerator = stream->r_frame_rate.num;
                track.frameRateDenominator = stream->r_frame_rate.den;
            }
        } else if (track.type == MediaType::Audio) {
            const int channels = parameters->ch_layout.nb_channels;
            if (parameters->sample_rate <= 0 || parameters->sample_rate > maximumSampleRate ||
                channels <= 0 || channels > maximumChannelCount)
                return fail("The file has a sound track in a format that cannot be played (" +
                            std::to_string(parameters->sample_rate) + " Hz, " + std::to_string(channels) +
                            " channels).");
            track.sampleRate = parameters->sample_rate;
            track.channelCount = channels;
        }

        track.languageCode = metadataValue(stream->metadata, "language");
        track.title = metadataValue(stream->metadata, "title");
        if (track.title.empty() && names) track.title = (*names)[i];

        // Start relative to the file's start, in the stream's own scale.
        const std::int64_t origin = detail::originTicks(asset->originMicroseconds_, stream->time_base);
        track.startTime = detail::mediaTimeFromStreamTicks(stream->start_time, origin, stream->time_base);
        if (!track.startTime.isValid()) {
            track.startTime =
                MediaTime::zero(track.timeScale > 0 ? track.timeScale : MediaTime::defaultTimeScale);
        }
        track.duration = detail::mediaTimeFromTicks(stream->duration, stream->time_base);
        asset->tracks_.push_back(std::move(track));
    }
    // The longest track's end, measured from the file's start; the container's own figure when
    // no track tells.
    MediaTime longest = MediaTime::zero(AV_TIME_BASE);
    for (const MediaTrack& track : asset->tracks_) {
        if (track.type != MediaType::Video && track.type != MediaType::Audio) continue;
        if (!track.startTime.isValid() || !track.duration.isValid()) continue;
        const MediaTime trackEnd =
            MediaTime::fromSeconds(track.startTime.seconds() + track.duration.seconds(), AV_TIME_BASE);
        if (trackEnd.isValid() && trackEnd > longest) longest = trackEnd;
    }
    if (longest.value == 0 && format->duration != AV_NOPTS_VALUE && format->duration > 0)
        longest = detail::mediaTimeFromTicks(format->duration, microseconds);
    asset->duration_ = longest.isValid() ? longest : MediaTime::zero();

    for (unsigned i = 0; i < format->nb_chapters; ++i) {
        const AVChapter* chapter = format->chapters[i];
        const std::int64_t origin = detail::originTicks(asset->originMicroseconds_, chapter->time_base);
        MediaChapter item;
        item.title = metadataValue(chapter->metadata, "title");
        item.start = detail::mediaTimeFromStreamTicks(chapter->start, origin, chapter->time_base);
        item.end = detail::mediaTimeFromStreamTicks(chapter->end, origin, chapter->time_base);
        if (item.start.isValid() && item.end.isValid()) asset->chapters_.push_back(std::move(item));
    }
    return std::shared_ptr<const MediaAsset>(std::move(asset));
}

std::vector<std::size_t> MediaAsset::trackIndexes(MediaType type) const {
    std::vector<std::size_t> indexes;
    for (const MediaTrack& track : tracks_)
        if (track.type == type) indexes.push_back(track.index);
    return indexes;
}

bool MediaAsset::supportsPreciseTiming() const {
    if (tracks_.empty()) return false;
    if (tracks_.front().type != MediaType::Audio) return true;
    PcmFormat format;
    format.sampleRate = 44100;
    format.channelCount = 2;
    format.sampleType = PcmSampleType::Int16;
    format.layout = PcmLayout::Interleaved;
    auto reader = PcmReader::open(shared_from_this(), 0, format);
    if (!reader) return false;
    std::int16_t samples[2 * 256];
    auto read = (*reader)->read(samples, 256);
    return read.ok() && *read > 0;
}

} // namespace vtl
