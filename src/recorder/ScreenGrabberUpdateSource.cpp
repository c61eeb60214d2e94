#include "recorder/ScreenGrabberUpdateSource.h"

namespace vtl {

namespace {

class DisplayStreamSource final : public ScreenGrabberUpdateSource {
public:
    explicit DisplayStreamSource(std::unique_ptr<DisplayStream> stream)
        : stream_(std::move(stream)) {}
    bool start(std::string* error) override { return stream_->start(error); }
    void stop() override { stream_->stop(); }

private:
    std::unique_ptr<DisplayStream> stream_;
};

} // namespace

std::unique_ptr<ScreenGrabberUpdateSource>
openDisplayStreamSource(const DisplayStreamConfiguration& configuration, DisplayStreamHandler handler,
                        std::string& error) {
    auto stream = DisplayStream::create(configuration, std::move(handler), error);
    if (!stream) return nullptr;
    return std::make_unique<DisplayStreamSource>(std::move(stream));
}

} // namespace vtl
