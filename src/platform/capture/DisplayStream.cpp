#include "platform/capture/DisplayStream.h"

#include "platform/capture/CaptureGeometry.h"
#include "platform/capture/FrameTicker.h"
#include "platform/capture/ScrollDetector.h"
#include "platform/capture/XcbConnection.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/MonotonicClock.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <thread>
#include <time.h>
#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

namespace vtl {

namespace {

constexpr double kDefaultFrameNanoseconds = 1e9 / 60;
// Longest wait before the stream thread looks at its stop flag again.
constexpr std::uint64_t kMaximumWaitNanoseconds = 20000000;
// Wait before looking for a free surface again while every one is held.
constexpr std::uint64_t kSurfaceRetryNanoseconds = 1000000;

// Waits for X events on `fd` for at most `nanoseconds`, with sub-millisecond precision.
void waitForEvents(int fd, std::uint64_t nanoseconds) {
    pollfd p{fd, POLLIN, 0};
    timespec timeout{static_cast<time_t>(nanoseconds / 1000000000ull),
                     static_cast<long>(nanoseconds % 1000000000ull)};
    ppoll(&p, 1, &timeout, nullptr);
}

// The root window's pixels must be 32-bit little-endian B, G, R, X for the surfaces to hold them as they are.
bool rootHasBgrxPixels(xcb_connection_t* c, const xcb_screen_t* screen, std::string& error) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    bool bpp32 = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == screen->root_depth) bpp32 = it.data->bits_per_pixel == 32;
    const xcb_visualtype_t* visual = nullptr;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem && !visual; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == screen->root_visual) {
                visual = v.data;
                break;
            }
    bool lsb = setup->image_byte_order == static_cast<std::uint8_t>(XCB_IMAGE_ORDER_LSB_FIRST);
    if (!bpp32 || !visual || !lsb || visual->red_mask != 0xff0000u || visual->green_mask != 0xff00u ||
        visual->blue_mask != 0xffu) {
        error =
            "The X display's pixel format is not supported: recording needs 24-bit colour stored in 32 bits.";
        return false;
    }
    return true;
}

} // namespace

struct DisplayStream::Impl {
    std::unique_ptr<XcbConnection> connection;
    DisplayStreamConfiguration configuration;
    DisplayStreamHandler handler;
    Rect area; // X11 root pixels, whole numbers
    double frameNanoseconds = kDefaultFrameNanoseconds;
    std::uint8_t damageFirstEvent = 0;

    std::vector<std::shared_ptr<CaptureSurface>> surfaces;
    std::vector<xcb_shm_seg_t> segments;
    std::size_t nextSurface = 0;

    std::mutex controlMutex;
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> running{false};
    xcb_damage_damage_t damage = 0;
    // Receives the damage accumulated since the last grab, once per frame.
    xcb_xfixes_region_t damageRegion = 0;

    ~Impl();
    bool makeSurfaces(std::string& error);
    void joinIfNeeded();
    void run();
    std::shared_ptr<CaptureSurface> freeSurface(std::size_t& index);
    // Fills the surface at `index` with the area's pixels.
    bool grabInto(std::size_t index);
    // The same, first taking the damage accumulated since the last call into `changed` (in
    // surface pixels, what lies in the area), in one round trip: the server takes the damage
    // before the picture, so everything in it is in the picture. False for either part when the
    // server did not answer it.
    struct Grab {
        bool damage = false;
        bool picture = false;
    };
    Grab grabWithDamage(std::size_t index, ChangedRegion& changed);
    // Whether the event says that our damage became non-empty.
    bool isDamageNotify(const xcb_generic_event_t* event) const;
};

DisplayStream::Impl::~Impl() {
    if (!connection) return;
    xcb_connection_t* c = connection->get();
    for (xcb_shm_seg_t seg : segments)
        xcb_shm_detach(c, seg);
    if (damageRegion) xcb_xfixes_destroy_region(c, damageRegion);
    xcb_flush(c);
}

bool DisplayStream::Impl::makeSurfaces(std::string& error) {
    xcb_connection_t* c = connection->get();
    auto width = static_cast<std::uint32_t>(area.width());
    auto height = static_cast<std::uint32_t>(area.height());
    std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
    int depth = std::clamp(configuration.queueDepth, 2, 32);
    for (int i = 0; i < depth; ++i) {
        int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0) {
            error = "Cannot create shared memory for screen capture.";
            return false;
        }
        void* address = shmat(id, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            error = "Cannot map shared memory for screen capture.";
            return false;
        }
        xcb_shm_seg_t seg = xcb_generate_id(c);
        XcbReply<xcb_generic_error_t> attachError(
            xcb_request_check(c, xcb_shm_attach_checked(c, seg, static_cast<std::uint32_t>(id), 0)));
        // Marked for removal now, so the segment goes away with the last mapping even after a crash.
        shmctl(id, IPC_RMID, nullptr);
        if (attachError) {
            shmdt(address);
            error = "The X server cannot attach shared memory (MIT-SHM needs a local display).";
            return false;
        }
        segments.push_back(seg);
        surfaces.push_back(std::make_shared<CaptureSurface>(
            width, height, static_cast<std::size_t>(width) * 4, static_cast<std::uint8_t*>(address),
            [address] { shmdt(address); }));
    }
    // The first write into fresh shared memory faults in every page, on the server's side and on
    // ours: tens of milliseconds for a full screen, which would cost the first frames of every
    // surface their ticks. Done here, before the stream runs.
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
        if (!grabInto(i)) break;
        const CaptureSurface& surface = *surfaces[i];
        const volatile std::uint8_t* bytes = surface.baseAddress();
        const std::size_t size = surface.bytesPerRow() * surface.height();
        for (std::size_t offset = 0; offset < size; offset += 4096)
            (void)bytes[offset];
    }
    return true;
}

std::shared_ptr<CaptureSurface> DisplayStream::Impl::freeSurface(std::size_t& index) {
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
        std::size_t candidate = (nextSurface + i) % surfaces.size();
        if (!surfaces[candidate]->isInUse()) {
            index = candidate;
            nextSurface = candidate + 1;
            return surfaces[candidate];
        }
    }
    return nullptr;
}

bool DisplayStream::Impl::isDamageNotify(const xcb_generic_event_t* event) const {
    if ((event->response_type & 0x7f) != damageFirstEvent + XCB_DAMAGE_NOTIFY) return false;
    const auto* notify = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
    return notify->damage == damage;
}

bool DisplayStream::Impl::grabInto(std::size_t index) {
    xcb_connection_t* c = connection->get();
    CaptureSurface& surface = *surfaces[index];
    surface.lockForWriting();
    xcb_shm_get_image_cookie_t cookie = xcb_shm_get_image(
        c, connection->root(), static_cast<std::int16_t>(area.minX()), static_cast<std::int16_t>(area.minY()),
        static_cast<std::uint16_t>(area.width()), static_cast<std::uint16_t>(area.height()), ~0u,
        static_cast<std::uint8_t>(XCB_IMAGE_FORMAT_Z_PIXMAP), segments[index], 0);
    xcb_generic_error_t* error = nullptr;
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, cookie, &error));
    surface.unlockForWriting();
    std::free(error);
    return reply != nullptr;
}

DisplayStream::Impl::Grab DisplayStream::Impl::grabWithDamage(std::size_t index, ChangedRegion& changed) {
    xcb_connection_t* c = connection->get();
    CaptureSurface& surface = *surfaces[index];
    Grab grab;
    surface.lockForWriting();
    // Moves the accumulated damage into our region and empties it, which re-arms the one
    // notification the server sends when something is drawn again.
    xcb_damage_subtract(c, damage, XCB_NONE, damageRegion);
    const xcb_xfixes_fetch_region_cookie_t fetch = xcb_xfixes_fetch_region(c, damageRegion);
    const xcb_shm_get_image_cookie_t image = xcb_shm_get_image(
        c, connection->root(), static_cast<std::int16_t>(area.minX()), static_cast<std::int16_t>(area.minY()),
        static_cast<std::uint16_t>(area.width()), static_cast<std::uint16_t>(area.height()), ~0u,
        static_cast<std::uint8_t>(XCB_IMAGE_FORMAT_Z_PIXMAP), segments[index], 0);
    XcbReply<xcb_xfixes_fetch_region_reply_t> region(xcb_xfixes_fetch_region_reply(c, fetch, nullptr));
    xcb_generic_error_t* error = nullptr;
    XcbReply<xcb_shm_get_image_reply_t> picture(xcb_shm_get_image_reply(c, image, &error));
    surface.unlockForWriting();
    std::free(error);
    grab.picture = picture != nullptr;
    if (region) {
        grab.damage = true;
        const xcb_rectangle_t* rects = xcb_xfixes_fetch_region_rectangles(region.get());
        const int count = xcb_xfixes_fetch_region_rectangles_length(region.get());
        for (int i = 0; i < count; ++i) {
            Rect inArea = Rect(rects[i].x, rects[i].y, rects[i].width, rects[i].height).intersection(area);
            if (!inArea.isEmpty()) changed.add(inArea.offsetBy(-area.minX(), -area.minY()));
        }
    }
    return grab;
}

void DisplayStream::Impl::joinIfNeeded() {
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
}

void DisplayStream::Impl::run() {
    xcb_connection_t* c = connection->get();
    const int fd = xcb_get_file_descriptor(c);
    const Rect whole(0, 0, area.width(), area.height());
    FrameTicker ticker(frameNanoseconds);
    ticker.start(monotonicNanoseconds());
    ScrollDetector scrollDetector;
    // The last delivered picture, kept from reuse while the next one is compared with it.
    std::shared_ptr<CaptureSurface> previous;
    auto view = [](const CaptureSurface& s) {
        return PixelView{s.baseAddress(), s.bytesPerRow(), s.width(), s.height()};
    };
    bool first = true;
    // The server said something was drawn; since when (monotonic nanoseconds).
    bool dirty = false;
    std::uint64_t dirtySince = 0;
    ChangedRegion carried(configuration.maximumChangedRects);
    // A notification found right after a wait came when it is read; one found after a grab may
    // have come at any moment since the grab, and its tick must not be lost to the time the grab
    // and the handler took.
    bool justWaited = false;
    std::uint64_t lastGrab = 0;

    while (!stopRequested.load()) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if (event->response_type == 0)
                logOnce("capture.xerror", "The X server reported an error to the screen capture.");
            else if (isDamageNotify(event) && !dirty) {
                dirty = true;
                dirtySince = justWaited ? monotonicNanoseconds() : lastGrab;
            }
            std::free(event);
        }
        justWaited = false;
        if (connection->hasError()) {
            logMessage("The connection to the X display was lost; screen capture stopped.");
            break;
        }
        std::uint64_t now = monotonicNanoseconds();
        if (!first && !dirty) {
            waitForEvents(fd, kMaximumWaitNanoseconds);
            justWaited = true;
            continue;
        }
        const std::uint64_t due = first ? now : ticker.dueTime(dirtySince);
        if (now < due) {
            waitForEvents(fd, std::min(due - now, kMaximumWaitNanoseconds));
            justWaited = true;
            continue;
        }

        std::size_t index = 0;
        std::shared_ptr<CaptureSurface> surface = freeSurface(index);
        if (!surface) {
            // Every surface is still held by frames being copied: wait for one, keeping the changes.
            logOnce("capture.ringfull",
                    "All screen capture surfaces are in use; waiting for one to be released.");
            waitForEvents(fd, kSurfaceRetryNanoseconds);
            continue;
        }

        // What was drawn before the damage is taken is in the picture grabbed after it; what is
        // drawn in between is reported again with the next frame. Changes of a failed grab wait
        // in `carried` for the next one.
        ChangedRegion changed = carried;
        carried.clear();
        dirty = false;
        const Grab grab = grabWithDamage(index, changed);
        if (!grab.damage) {
            logOnce("capture.damage", "The changed area of the screen could not be read.");
            changed.add(whole);
        }
        if (!grab.picture) {
            logOnce("capture.grab", "Grabbing the screen area failed; trying again at the next frame.");
            if (connection->hasError()) break;
            carried = changed;
            dirty = true;
            dirtySince = monotonicNanoseconds();
            ticker.take(now, now);
            continue;
        }
        // Drawing elsewhere on the screen wakes the stream too; without a change in the area
        // there is no frame.
        if (!first && changed.isEmpty()) continue;
        // The first picture starts the ticks.
        if (first) ticker.start(now);
        const std::uint64_t displayTime = ticker.take(monotonicNanoseconds(), first ? now : dirtySince);
        lastGrab = now;
        std::shared_ptr<const DisplayStreamUpdate> update;
        if (first || !previous)
            update = std::make_shared<const DisplayStreamUpdate>(std::vector<Rect>{whole});
        else
            update = std::make_shared<const DisplayStreamUpdate>(
                scrollDetector.detect(view(*previous), view(*surface), changed.rectangles()));
        first = false;

        surface->incrementUseCount();
        handler(DisplayStreamFrameStatus::frameComplete, displayTime, surface, update);
        if (previous) previous->decrementUseCount();
        previous = surface;
    }
    if (previous) previous->decrementUseCount();
    handler(DisplayStreamFrameStatus::stopped, monotonicNanoseconds(), nullptr, nullptr);
}

DisplayStream::DisplayStream(std::unique_ptr<Impl> impl)
    : impl_(std::move(impl)) {}

DisplayStream::~DisplayStream() {
    stop();
    if (impl_->thread.joinable()) {
        if (impl_->thread.get_id() == std::this_thread::get_id())
            impl_->thread.detach();
        else
            impl_->thread.join();
    }
}

Result<std::unique_ptr<DisplayStream>> DisplayStream::create(const DisplayStreamConfiguration& configuration,
                                                             DisplayStreamHandler handler,
                                                             const char* displayName) {
    std::string error;
    auto impl = std::make_unique<Impl>();
    impl->connection = XcbConnection::open(displayName, error);
    if (!impl->connection) return fail(error);
    xcb_connection_t* c = impl->connection->get();
    impl->configuration = configuration;
    impl->handler = std::move(handler);
    if (!impl->handler) return fail("A display stream needs a handler.");

    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (!shm || !shm->present)
        return fail("The X display has no MIT-SHM extension, which screen recording needs.");

    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    XcbReply<xcb_damage_query_version_reply_t> damageVersion(
        damage && damage->present
            ? xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr)
            : nullptr);
    if (!damageVersion) return fail("The X display has no DAMAGE extension, which screen recording needs.");

    impl->damageFirstEvent = damage->first_event;
    // Damage is fetched as a region once per frame, which needs XFixes regions (version 2).
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    XcbReply<xcb_xfixes_query_version_reply_t> xfixesVersion(
        xfixes && xfixes->present
            ? xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 2, 0), nullptr)
            : nullptr);
    if (!xfixesVersion || xfixesVersion->major_version < 2)
        return fail("The X display has no XFixes extension (version 2), which screen recording needs.");
    if (!rootHasBgrxPixels(c, impl->connection->screen(), error)) return fail(error);

    const auto screens = impl->connection->screens();
    auto screen = std::find_if(screens.begin(), screens.end(), [&](const ScreenDescription& s) {
        return s.displayID == configuration.displayID;
    });
    if (screen == screens.end())
        return fail("There is no screen with display number " + std::to_string(configuration.displayID) +
                    ".");

    Rect area = configuration.sourceRect.isEmpty()
                    ? screen->x11Frame
                    : X11CoordinateSpace(screen->x11Frame).toX11(configuration.sourceRect).integral();
    Rect root(0, 0, impl->connection->screen()->width_in_pixels,
              impl->connection->screen()->height_in_pixels);
    area = area.intersection(root).intersection(screen->x11Frame);
    if (area.isEmpty()) return fail("The area to record lies outside the screen.");

    if (configuration.outputWidth != static_cast<std::uint32_t>(area.width()) ||
        configuration.outputHeight != static_cast<std::uint32_t>(area.height()))
        return fail("The output size " + std::to_string(configuration.outputWidth) + " x " +
                    std::to_string(configuration.outputHeight) + " does not match the recorded area of " +
                    std::to_string(static_cast<long>(area.width())) + " x " +
                    std::to_string(static_cast<long>(area.height())) + " pixels.");

    impl->area = area;
    if (configuration.minimumFrameTimeSeconds > 0)
        impl->frameNanoseconds = configuration.minimumFrameTimeSeconds * 1e9;
    if (!impl->makeSurfaces(error)) return fail(error);
    return std::unique_ptr<DisplayStream>(new DisplayStream(std::move(impl)));
}

Status DisplayStream::start() {
    std::lock_guard lock(impl_->controlMutex);
    if (impl_->running.load()) return {};
    impl_->joinIfNeeded();
    xcb_connection_t* c = impl_->connection->get();
    if (impl_->connection->hasError()) {
        return fail("The connection to the X display was lost.");
    }
    // A fresh damage object per run: nothing that happened while stopped is missed, since the
    // first picture after a start covers the whole area anyway. The server notifies once when
    // damage appears and keeps accumulating it until the stream takes it for the next frame, so
    // drawing requests wake neither the server nor the stream one by one.
    if (!impl_->damageRegion) {
        impl_->damageRegion = xcb_generate_id(c);
        xcb_xfixes_create_region(c, impl_->damageRegion, 0, nullptr);
    }
    impl_->damage = xcb_generate_id(c);
    XcbReply<xcb_generic_error_t> damageError(xcb_request_check(
        c, xcb_damage_create_checked(c, impl_->damage, impl_->connection->root(),
                                     static_cast<std::uint8_t>(XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY))));
    if (damageError) {
        impl_->damage = 0;
        return fail("Cannot watch the screen for changes (DAMAGE request failed).");
    }
    impl_->stopRequested = false;
    impl_->running = true;
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
    return {};
}

void DisplayStream::stop() {
    std::thread finishing;
    {
        std::lock_guard lock(impl_->controlMutex);
        if (impl_->running.load()) {
            impl_->stopRequested = true;
            impl_->running = false;
            xcb_connection_t* c = impl_->connection->get();
            if (impl_->damage) {
                xcb_damage_destroy(c, impl_->damage);
                impl_->damage = 0;
                xcb_flush(c);
            }
        }
        // From the handler itself the thread ends after the call returns; it is joined by the next
        // start or stop from another thread, which must not return while the handler still runs.
        if (impl_->thread.joinable() && impl_->thread.get_id() != std::this_thread::get_id())
            finishing = std::move(impl_->thread);
    }
    // Joined outside the lock: the handler may itself be asking to stop.
    if (finishing.joinable()) finishing.join();
}

bool DisplayStream::isRunning() const {
    return impl_->running.load();
}

Result<std::shared_ptr<CaptureSurface>> DisplayStream::grabStill() {
    std::lock_guard lock(impl_->controlMutex);
    if (impl_->running.load()) {
        return fail("A still picture cannot be taken while the stream is running.");
    }
    impl_->joinIfNeeded();
    std::size_t index = 0;
    std::shared_ptr<CaptureSurface> surface = impl_->freeSurface(index);
    if (!surface) {
        return fail("Every capture surface is in use.");
    }
    if (!impl_->grabInto(index)) {
        return fail("Grabbing the screen area failed.");
    }
    return surface;
}

Rect DisplayStream::areaX11() const {
    return impl_->area;
}

} // namespace vtl
