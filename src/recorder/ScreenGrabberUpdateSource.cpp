#include "recorder/ScreenGrabberUpdateSource.h"

namespace vtl {

namespace {

class DisplayStreamSource final : public ScreenGrabberUpdateSource {
public:
    explicit DisplayStreamSource(std::unique_ptr<DisplayStream> stream)
        : stream_(std::move(stream)) {}
    Status start() override { return stream_->start(); }
    void stop() override { stream_->stop(); }

private:
    std::unique_ptr<DisplayStream> stream_;
};

} // namespace

Result<std::unique_ptr<ScreenGrabberUpdateSource>>
openDisplayStreamSource(const DisplayStreamConfiguration& configuration, DisplayStreamHandler handler) {
    auto stream = DisplayStream::create(configuration, std::move(handler));
    if (!stream) return stream.asFailure();
    return std::unique_ptr<ScreenGrabberUpdateSource>(
        std::make_unique<DisplayStreamSource>(std::move(stream).value()));
}

} // namespace vtl
