// vistrel-play-recording PACKAGE [--seek T]
// A window that plays a recording package in the recording view: space plays and pauses, the left
// and right arrows seek five seconds back and forward (one second with Shift).

#include "platform/mainloop/QtMainLoop.h"
#include "platform/ui/View.h"
#include "tracks/views/VTLRecordingView.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr const char* usageText =
    "usage: vistrel-play-recording PACKAGE [--seek T]\n"
    "  PACKAGE  a recording package folder\n"
    "  T        seconds to start at (default 0)\n"
    "  keys: space plays and pauses, left and right arrows seek 5 s (1 s with Shift)\n";

int usage() {
    std::fputs(usageText, stderr);
    return 2;
}

bool parseSeconds(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end && *end == '\0' && end != text && std::isfinite(out) && out >= 0;
}

// The window's content: holds the recording view and turns keys into playing and seeking.
class PlayerContent : public vtl::View {
public:
    PlayerContent(const vtl::Rect& frame, vtl::VTLRecordingView* player)
        : View(frame)
        , player_(player) {
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const double step = (event->modifiers() & Qt::ShiftModifier) ? 1.0 : 5.0;
        switch (event->key()) {
        case Qt::Key_Space:
            player_->setIsPlaying(!player_->isPlaying());
            break;
        case Qt::Key_Left:
            player_->setCurrentTime(player_->currentTime() - step);
            break;
        case Qt::Key_Right:
            player_->setCurrentTime(player_->currentTime() + step);
            break;
        default:
            View::keyPressEvent(event);
        }
    }

private:
    vtl::VTLRecordingView* player_;
};

} // namespace

int main(int argc, char** argv) {
    std::string package;
    double seekSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(usageText, stdout);
            return 0;
        }
        if (arg == "--seek" && i + 1 < argc && parseSeconds(argv[i + 1], seekSeconds)) {
            ++i;
        } else if (arg.rfind("--", 0) == 0 && arg != "--seek") {
            std::fprintf(stderr, "vistrel-play-recording: unknown option %s\n", arg.c_str());
            return usage();
        } else if (!arg.empty() && arg[0] != '-' && package.empty()) {
            package = arg;
        } else {
            return usage();
        }
    }
    if (package.empty()) return usage();

    QApplication app(argc, argv);
    vtl::installQtMainLoop();

    auto* player = new vtl::VTLRecordingView(vtl::Rect(0, 0, 960, 540));
    const vtl::Status opened = player->setPath(package);
    if (!opened.ok()) {
        std::fprintf(stderr, "vistrel-play-recording: %s\n", opened.error().c_str());
        delete player;
        return 1;
    }
    // The recording's size, made smaller to fit two thirds of the screen.
    double width = player->recordingSizePixels().width, height = player->recordingSizePixels().height;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const double scale =
            std::min({1.0, area.width() * 2.0 / 3.0 / width, area.height() * 2.0 / 3.0 / height});
        width = std::round(width * scale);
        height = std::round(height * scale);
    }
    PlayerContent window(vtl::Rect(0, 0, width, height), player);
    window.setWindowTitle(QString::fromStdString(std::filesystem::path(package).filename().string()));
    player->setFrame(vtl::Rect(0, 0, width, height));
    player->setAutoresizingMask(vtl::ViewWidthSizable | vtl::ViewHeightSizable);
    player->setFocusPolicy(Qt::NoFocus);
    window.addSubview(player);
    window.show();
    window.setFocus();
    player->setCurrentTime(seekSeconds);
    return app.exec();
}
